// Tray integration: the notify-icon record with its three operations, the
// hiding of the minimised main window and the return from the tray.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

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

// The lock of the main window. Locked is the program's own state, not the
// window system's: it begins wherever the program puts the window away (the
// activation, the auto road, Escape, a minimise, a refused check) and ends
// only when the way back grants access. While locked the window is disabled,
// so nothing in it answers the mouse, the keyboard or the accessibility
// interface; the handlers that change anything ask Bloqueada() themselves.
// How a locked window is put away depends on the desktop: with a tray icon on
// show it hides; otherwise on X11 it asks to be minimised on the taskbar, and
// on Wayland (which cannot minimise for sure) it stays on screen, inert.
// Whatever the window system does with it, a restore by anyone else, a click
// or a key on it, a second start and the tray icon all lead to the access
// check, and only a grant gives the window back.

// What the window does when the lock begins (after `congelar`, the window's
// content must no longer change what the program does) and when it ends
// (`descongelar` runs before the window comes back). Call once, before
// Form_Load.
void PrepararCerrojo(QWidget* ventana, std::function<void()> congelar,
                     std::function<void()> descongelar);
// Locks the window and puts it away. Before the window is first shown only
// the state changes; MostrarBloqueada puts it away then.
void Bloquear(QWidget* ventana);
// Whether the window is locked (also while the access check is on show).
bool Bloqueada(const QWidget* ventana);
// The first showing of a window locked before it was ever shown (the auto
// road), once the tray icon has been added.
void MostrarBloqueada(QWidget* ventana);
// A close request (the close box, a taskbar's close, WM_DELETE_WINDOW): true
// when the window may close now. While locked it is refused and the access
// check runs instead; on a grant the window is closed.
bool PermitirCierre(QWidget* ventana);

// The main window's resize handling, given the state it had before: a
// minimise by the user locks the window (and hides it behind an icon on
// show); a restore of a locked window by anyone else (the taskbar, the window
// manager) leads to the access check.
void Form_Resize(QWidget* ventana, Qt::WindowStates estadoAnterior);
// The main window's mouse-move handling, which receives the icon's callback
// with the mouse message that happened over the icon. A left-button release
// runs the way back: the access check, and on a grant the window in normal
// state. Nothing happens while the window is in use or the check is on show.
void Form_MouseMove(QWidget* ventana, std::uint32_t mensajeRaton);

} // namespace bandeja
