#include "look/ventana.h"

#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
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

// Relative luminance of an sRGB colour, 0 for black to 1 for white.
double Luminancia(const QColor& color) {
    constexpr double kUmbralLineal = 0.04045;
    constexpr double kPendienteLineal = 12.92;
    constexpr double kDesplazamiento = 0.055;
    constexpr double kGamma = 2.4;
    const auto lineal = [=](double canal) {
        return canal <= kUmbralLineal
                   ? canal / kPendienteLineal
                   : std::pow((canal + kDesplazamiento) / (1 + kDesplazamiento), kGamma);
    };
    constexpr double kPesoRojo = 0.2126;
    constexpr double kPesoVerde = 0.7152;
    constexpr double kPesoAzul = 0.0722;
    return kPesoRojo * lineal(color.redF()) + kPesoVerde * lineal(color.greenF()) +
           kPesoAzul * lineal(color.blueF());
}

// Disabled text: halfway between the text and its background, as the usual
// themes grey it.
QColor Atenuado(const QColor& texto, const QColor& fondo) {
    return QColor((texto.red() + fondo.red()) / 2, (texto.green() + fondo.green()) / 2,
                  (texto.blue() + fondo.blue()) / 2);
}

// The Windows fonts the windows were drawn with, and what stands in for them
// elsewhere: metric-compatible or close in width, so that texts fit their
// controls as designed.
void SustituirFuentesAusentes() {
    static const bool hecho = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
        QFont::insertSubstitutions(QStringLiteral("Arial"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
        QFont::insertSubstitutions(
            QStringLiteral("Verdana"),
            {QStringLiteral("DejaVu Sans"), QStringLiteral("Bitstream Vera Sans")});
        QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"), {QStringLiteral("Comic Neue")});
        return true;
    }();
    static_cast<void>(hecho);
}

} // namespace

double Contraste(const QColor& uno, const QColor& otro) {
    constexpr double kDestello = 0.05; // the glare every screen adds
    const double a = Luminancia(uno) + kDestello;
    const double b = Luminancia(otro) + kDestello;
    return std::max(a, b) / std::min(a, b);
}

QColor TextoLegible(const QColor& fondo, const QColor& preferido) {
    if (Contraste(fondo, preferido) >= kContrasteLegible) {
        return preferido;
    }
    const QColor negro(Qt::black);
    const QColor blanco(Qt::white);
    return Contraste(fondo, negro) >= Contraste(fondo, blanco) ? negro : blanco;
}

void ColorTexto(QWidget* control, const QColor& color, const QColor& fondo) {
    QPalette paleta = control->palette();
    const QColor texto = TextoLegible(fondo, color);
    for (const auto grupo : {QPalette::Active, QPalette::Inactive}) {
        paleta.setColor(grupo, QPalette::WindowText, texto);
    }
    paleta.setColor(QPalette::Disabled, QPalette::WindowText, Atenuado(texto, fondo));
    control->setPalette(paleta);
}

void PintarFondo(QWidget* control, const QColor& color) {
    QPalette paleta = control->palette();
    paleta.setColor(QPalette::Window, color);
    control->setPalette(paleta);
    control->setAutoFillBackground(true);
    ColorTexto(control, control->palette().color(QPalette::Active, QPalette::WindowText), color);
}

QFont Fuente(const char* familia, double puntos, bool negrita, bool cursiva) {
    SustituirFuentesAusentes();
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

void PrepararCaja(QMessageBox& caja) {
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
    caja.setAccessibleName(caja.windowTitle());
    caja.setAccessibleDescription(caja.text());
    if (auto* etiqueta = caja.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        etiqueta->setAccessibleName(caja.text());
    }
}

void RehacerNativa(QWidget* ventanaARehacer) {
    ventanaARehacer->hide();
    if (QWindow* nativa = ventanaARehacer->windowHandle()) {
        nativa->destroy();
    }
}

} // namespace ventana
