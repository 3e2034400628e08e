// The access room: the lock that guards the main window and the
// configuration, with the access password it keeps in memory, the one check
// that opens it (the access dialog, access/acceso_frm.h) and the one road
// back to the window. It may use the look room alone.
#pragma once

#include "access/huella_clave.h"
#include "access/intentos.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class AccesoFrm;
class QWidget;
class QWindow;

namespace acceso {

// The longest password the access dialog's box takes.
inline constexpr int kLongitudMaximaClave = 20;

// Whether an access dialog is on screen now.
bool AccesoFrmVisible();

// The lock of the main window, and the access password that opens it.
//
// Locked is the program's own state, not the window system's: it begins
// wherever the program puts the window away (the activation, the auto road,
// Escape, a minimise, a refused check) and ends only when the way back grants
// access. While locked the window is disabled, so nothing in it answers the
// mouse, the keyboard or the accessibility interface; the handlers that change
// anything ask Bloqueado() themselves. How a locked window is put away
// depends on the desktop: with a tray icon on show it hides; otherwise on X11
// it asks to be minimised on the taskbar, and on Wayland (which cannot
// minimise for sure) it stays on screen, inert. Whatever the window system
// does with it, a restore by anyone else, a click or a key on it, a second
// start and the tray icon all lead to the access check, and only a grant
// gives the window back.
class Cerrojo : public QObject {
    Q_OBJECT
public:
    explicit Cerrojo(QObject* padre = nullptr);
    ~Cerrojo() override;

    // --- The access password in memory; nobody else keeps it.

    // The user's access password in clear (gstrClave); empty for none. Given
    // at start-up and by the configuration dialog.
    void FijarClave(const QString& clave);
    // The user's password, for the configuration dialog to show masked.
    QString ClaveParaMostrar() const { return gstrClave; }
    // The access password that an administrator's policy sets, as its hash
    // (access/huella_clave.h); empty for none. While one is set it is the
    // access password: the user's is not used, and no first password is asked
    // for. A text that is no hash is still a password set, one that nothing
    // typed matches.
    void FijarClaveAdministrador(const QString& huella);
    bool HayClaveAdministrador() const;
    // Whether a check asks for a password: the user's or the administrator's.
    bool HayClave() const;

    // --- The access check.

    // With no password set, access is granted without a dialog; otherwise the
    // access dialog is shown modally. When access is granted runs
    // `accionPermitida`. Leaves the grant (gblnAcceso) false and returns
    // whether access was granted.
    bool ComprobarAcceso(const std::function<void()>& accionPermitida = {});
    // Whether the check under way has granted access (gblnAcceso): set by a
    // correct entry in the dialog, false whenever no check is under way.
    bool AccesoConcedido() const { return gblnAcceso; }
    // Whether a typed password opens the lock: the one place where an entry is
    // judged, exact, character by character, letter case significant, against
    // the password in force. Checking the administrator's takes about a
    // second: meanwhile the windows repaint and the timers run, and the user's
    // input waits until it is done.
    bool ClaveCorrecta(const QString& escrita) const;

    // --- The window it guards.

    // Guards `ventana`; call once, before the window is first shown.
    // `iconoVisible` says whether a tray icon is on show right now, where the
    // locked window can hide behind it; without one none ever is.
    void Proteger(QWidget* ventana, std::function<bool()> iconoVisible);

    // Whether the window is locked (also while the access check is on show).
    bool Bloqueado() const { return estado_ != Estado::Abierto; }
    // Locks the window and puts it away. Before the window is first shown only
    // the state changes; MostrarPorPrimeraVez puts it away then.
    void Bloquear();
    // The first showing of a window locked before it was ever shown (the auto
    // road), once the tray icon has been added.
    void MostrarPorPrimeraVez();
    // The one way back: the tray click, a second start, a restore by anyone
    // else, a click or a key on the locked window, a close request. Locked,
    // it runs the access check, and on a grant gives the window back (or
    // closes it, `cerrarAlConceder`); open, it brings back a window that was
    // put away where the program could not see it.
    void VolverALaVentana(bool cerrarAlConceder = false);
    // A close request (the close box, a taskbar's close, WM_DELETE_WINDOW):
    // true when the window may close now. While locked it is refused and the
    // access check runs instead; on a grant the window is closed.
    bool PermitirCierre();
    // The window's state changed, from `anterior`: a minimise by the user
    // locks the window; a restore of a locked window by anyone else (the
    // taskbar, the window manager) leads to the access check.
    void CambioDeEstado(Qt::WindowStates anterior);

signals:
    // The lock begins: from now on nothing of the window's content changes
    // what the program does. Told before the window is disabled.
    void EmpiezaBloqueo();
    // Access was granted: the window is enabled, and comes back right after.
    void TerminaBloqueo();

private:
    // The dialog judges entries, counts the wrong ones and grants access.
    friend class ::AccesoFrm;
    class Vigia;

    enum class Estado {
        Abierto,     // the window is in use, or may be
        Cerrado,     // put away; nothing in it can be used
        Preguntando, // locked, with the access check on show
    };

    void Abrir();
    void VolverMasTarde(bool cerrarAlConceder = false);
    // Runs `accion` as soon as the event loop is back, unless the window has
    // gone meanwhile.
    void TrasElEvento(std::function<void()> accion);
    bool Filtrar(QObject* objeto, QEvent* evento);
    void VigilarVentanaNativa();
    bool AlaVista() const;
    bool Presente() const;
    bool IconoVisible() const;
    void Expuesta();
    void Perdida();
    void Mostrar();
    void Revisar();
    void Restaurar();
    void Presentar();

    // The access password in clear; empty when none is set.
    QString gstrClave;
    // Set by the access dialog on a correct entry; false whenever no check is
    // under way.
    bool gblnAcceso = false;
    // The administrator's password: the text as given, and the hash read from
    // it (nothing when the text is no hash).
    QString huellaAdministrador_;
    std::optional<Huella> huellaLeida_;
    // Wrong entries in a row, over the whole run.
    Intentos intentos_;

    QWidget* ventana_ = nullptr;
    // Watches the window on the lock's behalf; goes with the window.
    QPointer<QObject> vigia_;
    std::function<bool()> iconoVisible_;
    QPointer<QWindow> nativa_;
    QPointer<QWidget> foco_;
    Estado estado_ = Estado::Abierto;
    // Shown once: before that, locking only changes the state.
    bool presentable_ = false;
    // Between the program's own restore and the window on show again.
    bool esperandoVista_ = false;
    // Its native window has been on the screen since it was made.
    bool expuesta_ = false;
};

} // namespace acceso
