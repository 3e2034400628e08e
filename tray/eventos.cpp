// The hiding of the minimised main window and its one way back, which always
// passes through the access check.
#include "access/acceso.h"
#include "tray/bandeja.h"

#include <QPointer>
#include <QScopedValueRollback>
#include <QTimer>
#include <QWidget>

namespace bandeja {

namespace {

// Runs as soon as the event loop is back, after the state change has settled.
constexpr int kTrasElCambio = 0;

// True while the way back itself restores the window: the one restore that
// needs no further check.
bool gRestaurando = false;

// Whether the window can be used now: on show and not minimised.
bool Utilizable(const QWidget* ventana) {
    return ventana->isVisible() && !ventana->isMinimized();
}

void Restaurar(QWidget* ventana) {
    const QScopedValueRollback<bool> restaurando(gRestaurando, true);
    ventana->setWindowState(ventana->windowState() & ~Qt::WindowMinimized);
    ventana->show();
    ventana->raise();
    ventana->activateWindow();
}

// The one way back to a usable window: the tray click, a second start and a
// restore by anyone else all come here. Access granted, the window is
// restored; refused, it stays minimised.
void VolverALaVentana(QWidget* ventana) {
    // Never a second check inside the first, and nothing to do for a window
    // already in use.
    if (acceso::AccesoFrmVisible() || Utilizable(ventana)) {
        return;
    }
    const QPointer<QWidget> guardada(ventana);
    const bool concedido = acceso::ComprobarAcceso([guardada] {
        if (guardada) {
            Restaurar(guardada);
        }
    });
    // Refused: minimised it stays (hidden too, behind an icon on show).
    if (!concedido && guardada && !guardada->isMinimized()) {
        guardada->setWindowState(guardada->windowState() | Qt::WindowMinimized);
    }
}

} // namespace

void Form_Resize(QWidget* ventana, Qt::WindowStates estadoAnterior) {
    if (!ventana->isMinimized()) {
        // Restored by something other than the way back (the taskbar, the
        // window manager): minimised again at once, before anything in it can
        // be used, and back only through the access check. With no password
        // set that check passes without a dialog, so the restore simply
        // stands (minimising only to restore at once would make it flicker).
        if ((estadoAnterior & Qt::WindowMinimized) && !gRestaurando && ventana->isVisible() &&
            !gstrClave.isEmpty()) {
            ventana->setWindowState(ventana->windowState() | Qt::WindowMinimized);
            QTimer::singleShot(kTrasElCambio, ventana, [ventana] { VolverALaVentana(ventana); });
        }
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
    // Real movement over the window in use never counts, and neither does
    // tray activity while the access dialog is open. A window minimised on
    // the taskbar is not in use.
    if (acceso::AccesoFrmVisible() || Utilizable(ventana)) {
        return;
    }
    if (mensajeRaton != WM_LBUTTONUP) {
        return;
    }
    VolverALaVentana(ventana);
}

} // namespace bandeja
