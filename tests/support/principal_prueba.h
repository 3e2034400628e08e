// The main window as the program puts it together, in the test's own
// process: the lock, the window (CtrlVolFrm, or a test's own kind of it) and
// the controller around them.
#pragma once

#include "access/acceso.h"
#include "app/controlador.h"
#include "app/ctrl_vol_frm.h"

template <typename Ventana = CtrlVolFrm> struct PrincipalPrueba {
    explicit PrincipalPrueba(volumen::SalidaVolumen& salida)
        : ventana(salida, cerrojo)
        , controlador(ventana, cerrojo, salida) {}

    acceso::Cerrojo cerrojo;
    Ventana ventana;
    Controlador controlador;
};
