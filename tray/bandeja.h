// The tray room: the notify-icon record with its three operations, the
// notices by the icon, and the icon's clicks that lead back to the window
// through its lock. It may use the access and look rooms.
#pragma once

#include <QString>
#include <cstdint>

namespace acceso {
class Cerrojo;
}
class QIcon;
class QWidget;

namespace bandeja {

// Messages of the notify request.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;
// Fields the record carries.
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;
// Mouse messages the icon reports to the main window.
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x200;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x203;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x205;
inline constexpr std::uint32_t WM_MBUTTONUP = 0x208;

inline constexpr std::uint32_t kIdIcono = 1;
inline constexpr int kLongitudTip = 64;
inline constexpr char kTipFuncionando[] = "Funcionando";
inline constexpr char kTipParado[] = "Parado";

// The notify-icon record, laid out as the shell's first NOTIFYICONDATA form
// (32-bit handles, ANSI tip of 64 bytes).
struct NOTIFYICONDATA {
    std::uint32_t cbSize;
    std::uint32_t hWnd;
    std::uint32_t uID;
    std::uint32_t uFlags;
    std::uint32_t uCallbackMessage;
    std::uint32_t hIcon;
    char szTip[kLongitudTip];
};
inline constexpr std::uint32_t kTamanoRegistro = 88;
static_assert(sizeof(NOTIFYICONDATA) == kTamanoRegistro, "the record must keep the shell's layout");

// The one record of the run; all zero until its first write.
extern NOTIFYICONDATA gNid;

// What takes the notify requests: the system tray of the platform, or a
// recording double in the tests.
class Shell {
public:
    virtual ~Shell() = default;
    // Carries out one request (NIM_ADD, NIM_MODIFY or NIM_DELETE) with the
    // record as it stands; returns whether the request was accepted.
    virtual bool NotifyIcon(std::uint32_t mensaje, const NOTIFYICONDATA& datos) = 0;
    // Whether the icon is really on show in a system tray right now.
    virtual bool IconoVisible() const = 0;
    // Shows a notice by the icon (a balloon, or the desktop's notifications).
    virtual void MostrarAviso(const QString& titulo, const QString& texto) = 0;
};

// The notify request, sent to the shell in use. Nobody examines its result.
bool Shell_NotifyIcon(std::uint32_t mensaje, const NOTIFYICONDATA& datos);
// The shell in use: the one put in place by EstablecerShell, else the
// platform's tray (created at first use, ended with the application).
Shell& ShellEnUso();
// Puts `shell` in the place of the platform's tray; nullptr gives the
// platform's tray back. For tests.
void EstablecerShell(Shell* shell);

// The 32-bit handle the record carries for a window: the low half of its
// native id (the native window is created if it does not exist yet). A window
// keeps its first handle for good, also when its native window is made anew.
std::uint32_t ManejadorVentana(QWidget* ventana);
// The window of a handle; nullptr when none has it. Creates no native window.
QWidget* VentanaDeManejador(std::uint32_t manejador);
// The handles the record carries for icons. The same icon always gets the
// same handle; a null icon gets kSinIcono.
inline constexpr std::uint32_t kSinIcono = 0;
std::uint32_t ManejadorIcono(const QIcon& icono);
// The icon behind a handle; a null icon for kSinIcono or an unknown handle.
QIcon IconoDeManejador(std::uint32_t manejador);

// Adds the icon of `ventana` to the tray. With control already started by
// itself (auto-activation) the tip in the record is left as it is; otherwise
// the tip becomes "Parado".
void AgregarIcono(QWidget* ventana, bool autoActivado);
// Writes a new tip into the record and sends the modify request.
void CambiarTip(const QString& texto);
// Removes the icon of `ventana` from the tray.
void QuitarIcono(QWidget* ventana);

// Whether the icon is really on show in a system tray right now.
bool IconoVisible();

// A notice by the icon, titled with the program's name: at most one in
// kEsperaEntreAvisosMs (a fight or a held volume key never floods the
// desktop), and none while the icon is not on show. Whether it was shown.
inline constexpr int kEsperaEntreAvisosMs = 10000;
bool Avisar(const QString& texto);

// The icon's callbacks, as the shell posts them to the window that added the
// icon, run the tray's handling of them (Form_MouseMove) with `cerrojo`, the
// lock that guards that window. Call once per window.
void AtenderIcono(QWidget* ventana, acceso::Cerrojo& cerrojo);
// The main window's mouse-move handling, which receives the icon's callback
// with the mouse message that happened over the icon. A left-button release
// runs the lock's way back: the access check, and on a grant the window in
// normal state. Nothing happens while the window is in use or the check is
// on show.
void Form_MouseMove(acceso::Cerrojo& cerrojo, std::uint32_t mensajeRaton);

} // namespace bandeja
