// The tray's handling of the icon's callbacks: a left click leads back to the
// window, through its lock.
#include "access/acceso.h"
#include "tray/bandeja.h"
#include "tray/shell_qt.h"

#include <QPointer>
#include <QWidget>

namespace bandeja {

namespace {

// Takes the icon's callbacks that the shell posts to one window.
class Receptor : public QObject {
public:
    Receptor(QWidget* ventana, acceso::Cerrojo& cerrojo)
        : QObject(ventana)
        , cerrojo_(&cerrojo) {
        ventana->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (evento->type() != MensajeIcono::Tipo()) {
            return QObject::eventFilter(objeto, evento);
        }
        if (cerrojo_) {
            Form_MouseMove(*cerrojo_, static_cast<MensajeIcono*>(evento)->MensajeRaton());
        }
        return true;
    }

private:
    QPointer<acceso::Cerrojo> cerrojo_;
};

} // namespace

void AtenderIcono(QWidget* ventana, acceso::Cerrojo& cerrojo) {
    new Receptor(ventana, cerrojo);
}

void Form_MouseMove(acceso::Cerrojo& cerrojo, std::uint32_t mensajeRaton) {
    // Real movement over the window in use never counts, and neither does
    // tray activity while the access dialog is open.
    if (mensajeRaton != WM_LBUTTONUP || acceso::AccesoFrmVisible()) {
        return;
    }
    cerrojo.VolverALaVentana();
}

} // namespace bandeja
