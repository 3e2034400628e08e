// What runs around the main window and is no window's work: the lock that
// guards it, told where a locked window may hide; the tray icon with its tip
// and its notices; the output's news; the administrator's policy, at start and
// whenever it changes; a second start of the program and the end of the
// session. No screen is needed to drive it: everything it shows goes through
// the window and the tray.
#pragma once

#include "access/acceso.h"
#include "app/ctrl_vol_frm.h"
#include "settings/ajustes.h"
#include "volume/volumen.h"

#include <QObject>
#include <QTimer>

class InstanciaUnica;

class Controlador : public QObject {
    Q_OBJECT
public:
    // Has `cerrojo` guard `ventana`, and listens to the window, the output
    // and the policy. The three live as long as the controller.
    Controlador(CtrlVolFrm& ventana, acceso::Cerrojo& cerrojo, volumen::SalidaVolumen& salida,
                QObject* padre = nullptr);
    ~Controlador() override;

    // Readies the output before anything is written: its mode and device from
    // the store. On the auto road, writes the level that the activation will
    // write, as soon as the program starts and before the window is built;
    // the activation in Form_Load then writes the same word again.
    static void AdelantarPrimeraEscritura(volumen::SalidaVolumen& salida);

    // The start: the window's load sequence and its first showing; from then
    // on a later start of the program (`instancia`) leads back to the window,
    // and the end of the session ends the program. False when the program is
    // to end now: access refused at start, or the session ended meanwhile.
    bool Arrancar(InstanciaUnica& instancia);

    // Puts the administrator's policy in force, at start and whenever it
    // changes: its access password, for the lock; its level and its
    // autoactivation, shown by the window; its mode and device, for the
    // output, written at once while control runs.
    void AplicarPolitica();

    // A later start of the program: as a left click on the tray icon.
    void OtroArranque();

private:
    void PonerClaveAdministrador();
    // Control started or stopped: the tip says so, and a notice of a level
    // that cannot be written.
    void ControlCambiado();
    // A change by someone else was undone or limited: the notice, when the
    // store asks for it (Aviso=S).
    void AvisarCorreccion();
    // The output can write the level, or no longer can, and why: the tip says
    // so while control runs and, with Aviso=S, a notice too.
    void CambiarEstadoSalida(volumen::EstadoSalida estado);
    void AvisarEstadoSalida();
    // "Funcionando" (with a second line while the level cannot be written)
    // or "Parado".
    QString TextoTip() const;

    CtrlVolFrm& ventana_;
    acceso::Cerrojo& cerrojo_;
    volumen::SalidaVolumen& salida_;
    ajustes::VigiaPolitica vigiaPolitica_;
    volumen::EstadoSalida estadoSalida_ = volumen::EstadoSalida::Escribe;
    volumen::EstadoSalida estadoAvisado_ = volumen::EstadoSalida::Escribe; // by the last notice
    QTimer avisoEstadoPendiente_; // a notice that had to wait for the previous one
    bool terminado_ = false;      // the session ended during the start
};
