#include "look/ventana.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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
    const QSize marco = ventanaACentrar->frameGeometry().size();
    ventanaACentrar->move(pantalla->geometry().center() -
                          QPoint(marco.width() / 2, marco.height() / 2));
}

} // namespace ventana
