// Tray integration: the notify-icon record with its three operations, the
// hiding of the minimised main window and the return from the tray.
#pragma once

#include <QString>
#include <cstdint>

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
// native id (the native window is created if it does not exist yet).
std::uint32_t ManejadorVentana(QWidget* ventana);
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

// The main window's resize handling, given the state it had before: a
// minimised window hides to the tray, unless no tray icon is on show (then it
// stays minimised on the taskbar). A window that leaves the minimised state
// by anything but the way back (the taskbar, the window manager) is minimised
// again at once and comes back only through the access check.
void Form_Resize(QWidget* ventana, Qt::WindowStates estadoAnterior);
// The main window's mouse-move handling, which receives the icon's callback
// with the mouse message that happened over the icon. A left-button release
// brings the window back, hidden or minimised on the taskbar, behind the
// access check; refused, it stays minimised.
void Form_MouseMove(QWidget* ventana, std::uint32_t mensajeRaton);

} // namespace bandeja
