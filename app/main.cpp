// Quelvaren holds the audio output volume at the level the user chooses.

#include "app/ctrl_vol_frm.h"
#include "version_programa.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication aplicacion(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(version_programa::kMayor)
                                            .arg(version_programa::kMenor)
                                            .arg(version_programa::kRevision));
    // The program lives in the tray: closing a dialog while the main window
    // is hidden must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    const auto salida = volumen::CrearSalidaDelSistema();
    CtrlVolFrm principal(*salida);
    if (principal.Form_Load() == CtrlVolFrm::Camino::Rechazado) {
        return 0;
    }
    principal.MostrarVentanaInicial();
    return QApplication::exec();
}
