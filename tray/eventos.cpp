// The hiding of the minimised main window and its return from the tray.
#include "access/acceso.h"
#include "tray/bandeja.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace bandeja {

namespace {

// Runs as soon as the event loop is back, after the state change has settled.
constexpr int kTrasElCambio = 0;

void Restaurar(QWidget* ventana) {
    ventana->setWindowState(ventana->windowState() & ~Qt::WindowMinimized);
    ventana->show();
    ventana->raise();
    ventana->activateWindow();
}

} // namespace

void Form_Resize(QWidget* ventana) {
    if (!ventana->isMinimized()) {
        return;
    }
    // Hidden only once the minimise is over: showMinimized() shows the window
    // right after changing its state and would undo a hide done here. Without
    // an icon on show the window stays minimised on the taskbar, so it can
    // always be reached.
    QTimer::singleShot(kTrasElCambio, ventana, [ventana] {
        if (ventana->isMinimized() && ventana->isVisible() && IconoVisible()) {
            ventana->hide();
        }
    });
}

void Form_MouseMove(QWidget* ventana, std::uint32_t mensajeRaton) {
    // Real movement over the shown window never counts, and neither does
    // tray activity while the access dialog is open.
    if (acceso::AccesoFrmVisible() || ventana->isVisible()) {
        return;
    }
    if (mensajeRaton != WM_LBUTTONUP) {
        return;
    }
    const QPointer<QWidget> guardada(ventana);
    acceso::ComprobarAcceso([guardada] {
        if (guardada) {
            Restaurar(guardada);
        }
    });
}

} // namespace bandeja
