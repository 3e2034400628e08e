#include "look/ventana.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <utility>

namespace ventana {

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
