#include "access/acceso.h"

#include "access/acceso_frm.h"

#include <QApplication>

namespace acceso {

bool ComprobarAcceso(const std::function<void()>& accionPermitida) {
    if (gstrClave.isEmpty()) {
        gblnAcceso = true;
    } else {
        // A fresh dialog at every check, gone again when it closes.
        AccesoFrm frm;
        frm.exec();
    }
    const bool concedido = gblnAcceso;
    if (concedido && accionPermitida) {
        accionPermitida();
    }
    gblnAcceso = false;
    return concedido;
}

bool AccesoFrmVisible() {
    const auto ventanas = QApplication::topLevelWidgets();
    for (const QWidget* ventana : ventanas) {
        if (qobject_cast<const AccesoFrm*>(ventana) != nullptr && ventana->isVisible()) {
            return true;
        }
    }
    return false;
}

bool ClaveCorrecta(const QString& tecleada) {
    return tecleada == gstrClave;
}

} // namespace acceso
