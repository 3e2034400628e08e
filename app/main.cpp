// Quelvaren holds the audio output volume at the level the user chooses.

#include "about/acerca_de.h"
#include "app/ctrl_vol_frm.h"
#include "app/fin_sesion.h"
#include "app/instancia_unica.h"
#include "app/linea_ordenes.h"
#include "app/plataforma.h"
#include "app/traduccion.h"
#include "settings/ajustes.h"
#include "tray/bandeja.h"

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

    CtrlVolFrm::AdelantarPrimeraEscritura(*salida);
    CtrlVolFrm principal(*salida);
    // The end of the session (or the installer's request, on Windows) ends
    // the program also while the window is locked, and while the start-up
    // still asks for a password.
    bool terminado = false;
    AtenderFinDeSesion([&principal, &terminado] {
        terminado = true;
        principal.Form_Unload();
    });
    if (principal.Form_Load() == CtrlVolFrm::Camino::Rechazado || terminado) {
        return 0;
    }
    principal.MostrarVentanaInicial();

    // Once started, a later start acts as a left click on the tray icon.
    QObject::connect(&instancia, &InstanciaUnica::Mostrar, &principal,
                     [&principal] { bandeja::Form_MouseMove(&principal, bandeja::WM_LBUTTONUP); });
    return QApplication::exec();
}
