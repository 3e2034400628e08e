// A plain top-level window standing in for the main window: guarded by a lock
// of its own, which the tray tells where a locked window may hide, it hands
// its state changes to the lock and takes the icon's clicks the way the main
// window does, and carries an icon.
#pragma once

#include "access/acceso.h"
#include "tray/bandeja.h"

#include <QColor>
#include <QEvent>
#include <QIcon>
#include <QPixmap>
#include <QWidget>
#include <QWindowStateChangeEvent>

inline constexpr int kLadoIconoPrueba = 32;
inline constexpr int kAnchoVentanaPrueba = 320;
inline constexpr int kAltoVentanaPrueba = 200;

inline QIcon IconoPrueba(const QColor& color) {
    QPixmap dibujo(kLadoIconoPrueba, kLadoIconoPrueba);
    dibujo.fill(color);
    return QIcon(dibujo);
}

class VentanaPrueba : public QWidget {
public:
    VentanaPrueba() {
        setWindowTitle(QStringLiteral("Ventana de prueba"));
        setWindowIcon(IconoPrueba(Qt::darkGreen));
        resize(kAnchoVentanaPrueba, kAltoVentanaPrueba);
        cerrojo.Proteger(this, &bandeja::IconoVisible);
        bandeja::AtenderIcono(this, cerrojo);
    }

    acceso::Cerrojo cerrojo;

protected:
    void changeEvent(QEvent* evento) override {
        QWidget::changeEvent(evento);
        if (evento->type() == QEvent::WindowStateChange) {
            cerrojo.CambioDeEstado(static_cast<QWindowStateChangeEvent*>(evento)->oldState());
        }
    }
};
