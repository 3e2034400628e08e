// Message boxes in widget tests: while a watcher lives, every message box that
// opens modally is recorded and closed with its OK button (or, lacking one,
// its escape button), from inside the box's own event loop.
#pragma once

#include "support/dialogos.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <vector>

struct CajaVista {
    QString nombre;
    QString titulo;
    QString texto;
    QMessageBox::Icon icono = QMessageBox::NoIcon;
    QMessageBox::StandardButtons botones;
    QWidget* padre = nullptr;
    bool seleccionable = false;
};

class VigiaCajas {
public:
    VigiaCajas() {
        constexpr int kPasoMs = 5;
        sondeo_.setInterval(kPasoMs);
        QObject::connect(&sondeo_, &QTimer::timeout, [this] { Mirar(); });
        sondeo_.start();
    }
    const std::vector<CajaVista>& vistas() const { return vistas_; }

private:
    void Mirar() {
        auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        // A box that was answered is hidden at once, so it is never seen twice.
        if (caja == nullptr || !caja->isVisible()) {
            return;
        }
        vistas_.push_back({caja->objectName(), caja->windowTitle(), caja->text(), caja->icon(),
                           caja->standardButtons(), caja->parentWidget(),
                           caja->textInteractionFlags().testFlag(Qt::TextSelectableByMouse)});
        QAbstractButton* boton = caja->button(QMessageBox::Ok);
        if (boton == nullptr) {
            boton = caja->escapeButton();
        }
        if (boton != nullptr) {
            boton->click();
        } else {
            caja->reject();
        }
    }

    QTimer sondeo_;
    std::vector<CajaVista> vistas_;
};

// Runs `accion` on the first modal widget that is not a message box, from
// inside its event loop. Gives up after `esperaMs`; the caller's checks then
// fail.
inline void AlAbrirseDialogo(std::function<void(QWidget*)> accion, int esperaMs = 10000) {
    constexpr int kPasoMs = 5;
    AlAbrirseModalQue([](QWidget* modal) { return qobject_cast<QMessageBox*>(modal) == nullptr; },
                      std::move(accion), esperaMs, kPasoMs);
}
