#include "access/acceso.h"

#include "access/acceso_frm.h"
#include "access/huella_clave.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <memory>
#include <optional>

namespace acceso {

namespace {

// The administrator's password: the text as given, and the hash read from it
// (nothing when the text is no hash).
QString gHuellaAdministrador;
std::optional<Huella> gHuellaLeida;

// Derives the hash on a thread of its own, so that the window does not
// freeze for the second it takes; the user's input waits meanwhile.
bool CoincideSinCongelar(const Huella& huella, const QString& clave) {
    bool coincide = false;
    std::unique_ptr<QThread> hilo(
        QThread::create([&coincide, huella, clave] { coincide = CoincideHuella(huella, clave); }));
    QEventLoop espera;
    QObject::connect(hilo.get(), &QThread::finished, &espera, &QEventLoop::quit);
    hilo->start();
    espera.exec(QEventLoop::ExcludeUserInputEvents);
    // The loop also ends when the program is asked to end: the thread is
    // waited for all the same.
    hilo->wait();
    return coincide;
}

} // namespace

bool ComprobarAcceso(const std::function<void()>& accionPermitida) {
    if (gstrClave.isEmpty() && !HayClaveAdministrador()) {
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

void FijarClaveAdministrador(const QString& huella) {
    gHuellaAdministrador = huella;
    gHuellaLeida = LeerHuella(huella);
}

bool HayClaveAdministrador() {
    return !gHuellaAdministrador.isEmpty();
}

bool ClaveCorrecta(const QString& escrita) {
    if (!HayClaveAdministrador()) {
        return escrita == gstrClave;
    }
    return gHuellaLeida.has_value() && CoincideSinCongelar(*gHuellaLeida, escrita);
}

} // namespace acceso
