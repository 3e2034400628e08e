// The window-system platform the program runs on, chosen before Qt starts.
//
// In a Wayland session that also offers XWayland the program runs through
// XWayland (xcb, and Wayland itself only when the X server does not answer):
// there it can centre its window, see its minimised state and show its tray
// icon on any compositor. Without XWayland it runs on Wayland itself.
// Wherever it may run on Wayland it takes Qt's compose input method, as Qt
// does on X, instead of the Wayland text-input one: under some compositors
// (weston) Qt 6.4's Wayland input method crashes on the first paint of a text
// box; dead keys and the compose key keep working. Whatever the user sets in
// QT_QPA_PLATFORM or QT_IM_MODULE wins. With no graphical session at all the
// program says so and ends.
#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace plataforma {

// Exit code when there is no graphical session.
inline constexpr int kSalidaSinSesion = 1;
// The one line written to standard error in that case.
inline constexpr char kMensajeSinSesion[] =
    "Quelvaren necesita una sesión gráfica (X11 o Wayland) para mostrar su ventana y su icono.";

struct Decision {
    QString plataforma;     // value for QT_QPA_PLATFORM; empty leaves it alone
    QString metodoEntrada;  // value for QT_IM_MODULE; empty leaves it alone
    bool sinSesion = false; // no graphical session: refuse to start
};

// What to do in this environment (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM,
// QT_IM_MODULE). Pure: reads only its argument.
Decision Decidir(const QProcessEnvironment& entorno);

// Applies the decision to this process and names the application; call at
// the very start of main(), before the QApplication exists. False, after
// writing kMensajeSinSesion on standard error, when there is no graphical
// session. Only X11/Wayland systems decide anything; elsewhere it only names
// the application.
bool PrepararSesionGrafica();

} // namespace plataforma
