#include "look/ventana.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace ventana {

namespace {

// Centres a window once more when it first comes on screen: a window
// manager's frame has its size only then, and the centring before showing
// could count only the window itself.
class CentrarConMarco : public QObject {
public:
    static constexpr char kNombre[] = "CentrarConMarco";

    explicit CentrarConMarco(QWidget* ventana)
        : QObject(ventana)
        , ventana_(ventana) {
        setObjectName(QLatin1String(kNombre));
        ventana->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (objeto == ventana_ && evento->type() == QEvent::Show && ventana_->windowHandle()) {
            ventana_->removeEventFilter(this);
            ventana_->windowHandle()->installEventFilter(this);
        } else if (objeto != ventana_ && evento->type() == QEvent::Expose &&
                   ventana_->windowHandle()->isExposed() && !ventana_->isMinimized()) {
            // Never for a minimised window: moving it would restore it behind
            // the program's back. It waits for its first exposure in use.
            objeto->removeEventFilter(this);
            deleteLater();
            CentrarEnPantalla(ventana_);
        }
        return false;
    }

private:
    QWidget* ventana_;
};

} // namespace

void PintarFondo(QWidget* control, const QColor& color) {
    QPalette paleta = control->palette();
    paleta.setColor(QPalette::Window, color);
    control->setPalette(paleta);
    control->setAutoFillBackground(true);
}

QFont Fuente(const char* familia, double puntos, bool negrita, bool cursiva) {
    QFont fuente{QString::fromLatin1(familia)};
    fuente.setPointSizeF(puntos);
    fuente.setBold(negrita);
    fuente.setItalic(cursiva);
    return fuente;
}

void CentrarEnPantalla(QWidget* ventanaACentrar) {
    const QScreen* pantalla = QGuiApplication::primaryScreen();
    if (pantalla == nullptr) {
        return;
    }
    // A window not shown yet takes its size from its layout only when the
    // layout runs: run it now, so that the size measured is the final one.
    ventanaACentrar->ensurePolished();
    if (QLayout* disposicion = ventanaACentrar->layout()) {
        disposicion->activate();
    }
    const QSize marco = ventanaACentrar->frameGeometry().size();
    ventanaACentrar->move(pantalla->geometry().center() -
                          QPoint(marco.width() / 2, marco.height() / 2));
    if (!ventanaACentrar->isVisible() &&
        ventanaACentrar->findChild<QObject*>(QLatin1String(CentrarConMarco::kNombre),
                                             Qt::FindDirectChildrenOnly) == nullptr) {
        new CentrarConMarco(ventanaACentrar);
    }
}

void TextosEspanoles(QMessageBox& caja) {
    const std::pair<QMessageBox::StandardButton, const char*> textos[] = {
        {QMessageBox::Ok, kTextoAceptar},
        {QMessageBox::Cancel, kTextoCancelar},
        {QMessageBox::Yes, kTextoSi},
        {QMessageBox::No, kTextoNo},
    };
    for (const auto& [boton, texto] : textos) {
        if (QAbstractButton* estandar = caja.button(boton)) {
            estandar->setText(QString::fromUtf8(texto));
        }
    }
}

} // namespace ventana
