// The access password the lock keeps in memory, and the access check.
#include "access/acceso.h"

#include "access/acceso_frm.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <memory>

namespace acceso {

namespace {

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

bool AccesoFrmVisible() {
    const auto ventanas = QApplication::topLevelWidgets();
    for (const QWidget* ventana : ventanas) {
        if (qobject_cast<const AccesoFrm*>(ventana) != nullptr && ventana->isVisible()) {
            return true;
        }
    }
    return false;
}

void Cerrojo::FijarClave(const QString& clave) {
    gstrClave = clave;
}

void Cerrojo::FijarClaveAdministrador(const QString& huella) {
    huellaAdministrador_ = huella;
    huellaLeida_ = LeerHuella(huella);
}

bool Cerrojo::HayClaveAdministrador() const {
    return !huellaAdministrador_.isEmpty();
}

bool Cerrojo::HayClave() const {
    return !gstrClave.isEmpty() || HayClaveAdministrador();
}

bool Cerrojo::ComprobarAcceso(const std::function<void()>& accionPermitida) {
    if (!HayClave()) {
        gblnAcceso = true;
    } else {
        // A fresh dialog at every check, gone again when it closes.
        AccesoFrm frm(*this);
        frm.exec();
    }
    const bool concedido = gblnAcceso;
    if (concedido && accionPermitida) {
        accionPermitida();
    }
    gblnAcceso = false;
    return concedido;
}

bool Cerrojo::ClaveCorrecta(const QString& escrita) const {
    if (!HayClaveAdministrador()) {
        return escrita == gstrClave;
    }
    return huellaLeida_.has_value() && CoincideSinCongelar(*huellaLeida_, escrita);
}

} // namespace acceso
