// Quelvaren holds the audio output volume at the level the user chooses.

#include "about/acerca_de.h"
#include "access/acceso.h"
#include "app/controlador.h"
#include "app/ctrl_vol_frm.h"
#include "app/instancia_unica.h"
#include "app/linea_ordenes.h"
#include "app/plataforma.h"
#include "app/traduccion.h"
#include "settings/ajustes.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // The command line's own options print and end here, before anything of
    // the desktop, the audio output or a running copy is touched.
    if (const auto salida = linea_ordenes::Atender(argc, argv)) {
        return *salida;
    }
    if (!plataforma::PrepararSesionGrafica()) {
        return plataforma::kSalidaSinSesion;
    }
    // The audio output connects on its own thread while Qt starts up, so the
    // first write finds the connection ready. It is free of Qt.
    const auto salida = volumen::CrearSalidaDelSistema();
    QApplication aplicacion(argc, argv);
    // The program lives in the tray: closing a dialog while the main window
    // is hidden must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Every window carries the program's icon, the dialogs and message boxes too.
    QApplication::setWindowIcon(acerca_de::IconoPrograma());
    CargarTraduccionQt();

    // A second start brings the running program's window back and ends.
    InstanciaUnica instancia(ajustes::NombreAplicacion());
    if (instancia.AvisarALaQueCorre()) {
        return 0;
    }
    instancia.Escuchar();

    Controlador::AdelantarPrimeraEscritura(*salida);
    // The main window, the lock that guards it and what runs around it.
    acceso::Cerrojo cerrojo;
    CtrlVolFrm principal(*salida, cerrojo);
    Controlador controlador(principal, cerrojo, *salida);
    if (!controlador.Arrancar(instancia)) {
        return 0;
    }
    return QApplication::exec();
}
