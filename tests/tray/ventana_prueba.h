// A plain top-level window standing in for the main window: it hands its state
// changes to the tray the way the main window does, and carries an icon.
#pragma once

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
    }

protected:
    void changeEvent(QEvent* evento) override {
        QWidget::changeEvent(evento);
        if (evento->type() == QEvent::WindowStateChange) {
            bandeja::Form_Resize(this, static_cast<QWindowStateChangeEvent*>(evento)->oldState());
        }
    }
};
