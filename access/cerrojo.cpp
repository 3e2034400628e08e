// The lock's state and its one road back: what the lock does with the window
// it guards. Window states are what the window system reports, never the
// truth: the state of the lock is.
#include "access/acceso.h"
#include "look/ventana.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace acceso {

namespace {

// Runs as soon as the event loop is back, after the event at hand is over.
constexpr int kTrasElEvento = 0;

// Wayland cannot minimise for sure, nor tell whether a window is minimised.
bool EsWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// Whether the platform takes a minimised window off the screen (X11,
// Windows); the offscreen platform leaves it exposed.
bool MinimizarLaDescubre() {
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

// Dialogs of the window in use (the exit question, the configuration,
// About) close with the lock, as if cancelled.
void CerrarDialogos() {
    const auto ventanas = QApplication::topLevelWidgets();
    for (QWidget* ventana : ventanas) {
        if (auto* dialogo = qobject_cast<QDialog*>(ventana);
            dialogo != nullptr && dialogo->isVisible()) {
            dialogo->reject();
        }
    }
}

} // namespace

// A child of the guarded window: it goes with the window, as early as the
// window's children go, and with it the lock's watches and deferred calls.
class Cerrojo::Vigia : public QObject {
public:
    Vigia(QWidget* ventana, Cerrojo& cerrojo)
        : QObject(ventana)
        , cerrojo_(cerrojo) {
        ventana->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        return cerrojo_.Filtrar(objeto, evento);
    }

private:
    Cerrojo& cerrojo_;
};

Cerrojo::Cerrojo(QObject* padre)
    : QObject(padre) {}

Cerrojo::~Cerrojo() {
    delete vigia_;
}

void Cerrojo::Proteger(QWidget* ventana, std::function<bool()> iconoVisible) {
    ventana_ = ventana;
    iconoVisible_ = std::move(iconoVisible);
    presentable_ = ventana_->isVisible();
    vigia_ = new Vigia(ventana_, *this);
    VigilarVentanaNativa();
}

void Cerrojo::TrasElEvento(std::function<void()> accion) {
    if (vigia_) {
        QTimer::singleShot(kTrasElEvento, vigia_, std::move(accion));
    }
}

bool Cerrojo::IconoVisible() const {
    return iconoVisible_ && iconoVisible_();
}

void Cerrojo::Bloquear() {
    if (estado_ == Estado::Abierto) {
        estado_ = Estado::Cerrado;
        emit EmpiezaBloqueo();
        foco_ = ventana_->focusWidget();
        CerrarDialogos();
        ventana_->setEnabled(false);
    }
    if (presentable_) {
        Presentar();
    } else if (!EsWayland()) {
        // Never shown yet: it will first map minimised, unless it hides.
        ventana_->setWindowState(ventana_->windowState() | Qt::WindowMinimized);
    }
}

void Cerrojo::MostrarPorPrimeraVez() {
    presentable_ = true;
    if (estado_ != Estado::Abierto) {
        Presentar();
    }
}

void Cerrojo::VolverALaVentana(bool cerrarAlConceder) {
    switch (estado_) {
    case Estado::Preguntando:
        // The dialog already gone (cancelled, or put away from outside)
        // while its check ends: asked again once it has.
        if (!AccesoFrmVisible()) {
            VolverMasTarde(cerrarAlConceder);
        }
        return;
    case Estado::Abierto:
        if (ventana_->isVisible() && !ventana_->isMinimized() && !Presente()) {
            // Taken away by another program, unseen until now: locked.
            Perdida();
            break;
        }
        // Minimised where the program could not see it (Wayland): no lock
        // was ever on, so it simply comes back.
        if (!ventana_->isVisible() || ventana_->isMinimized()) {
            Restaurar();
        }
        return;
    case Estado::Cerrado:
        break;
    }
    estado_ = Estado::Preguntando;
    const QPointer<Cerrojo> vivo(this);
    const bool concedido = ComprobarAcceso();
    // The lock, or the window, gone while the dialog was on show.
    if (!vivo || vigia_.isNull()) {
        return;
    }
    if (!concedido) {
        estado_ = Estado::Cerrado;
        Presentar();
        return;
    }
    Abrir();
    if (cerrarAlConceder) {
        ventana_->close();
    } else {
        Restaurar();
    }
}

// Later, from a fresh turn of the event loop: never inside the event that
// asked for it.
void Cerrojo::VolverMasTarde(bool cerrarAlConceder) {
    TrasElEvento([this, cerrarAlConceder] { VolverALaVentana(cerrarAlConceder); });
}

void Cerrojo::CambioDeEstado(Qt::WindowStates anterior) {
    if (estado_ == Estado::Abierto) {
        Revisar();
        return;
    }
    // Restored by someone else: on show, inert, until the check says.
    if (estado_ == Estado::Cerrado && (anterior & Qt::WindowMinimized) &&
        !ventana_->isMinimized() && ventana_->isVisible()) {
        VolverMasTarde();
    }
}

bool Cerrojo::PermitirCierre() {
    if (estado_ == Estado::Abierto) {
        return true;
    }
    if (estado_ == Estado::Cerrado) {
        VolverMasTarde(true);
    }
    return false;
}

bool Cerrojo::Filtrar(QObject* objeto, QEvent* evento) {
    if (objeto == ventana_) {
        if (evento->type() == QEvent::WinIdChange) {
            VigilarVentanaNativa();
        } else if (evento->type() == QEvent::Show) {
            presentable_ = true;
        }
        return false;
    }
    switch (evento->type()) {
    case QEvent::Expose:
        Expuesta();
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
        // A click or a key on the locked window asks for the password;
        // neither reaches the window.
        if (estado_ == Estado::Cerrado) {
            VolverMasTarde();
        }
        return estado_ != Estado::Abierto;
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
        return estado_ != Estado::Abierto;
    default:
        return false;
    }
}

// Clicks, keys and exposure are seen on the native window, before the
// widgets (disabled while locked) swallow them.
void Cerrojo::VigilarVentanaNativa() {
    QWindow* nativa = ventana_->windowHandle();
    if (nativa != nullptr && nativa != nativa_) {
        nativa_ = nativa;
        nativa->installEventFilter(vigia_);
    }
}

bool Cerrojo::AlaVista() const {
    return nativa_ != nullptr && nativa_->isExposed() && MinimizarLaDescubre();
}

// Whether the window system still has the window where it, or a window
// manager, can bring it back.
bool Cerrojo::Presente() const {
    const ventana::Nativa nativa = ventana::EstadoNativa(ventana_);
    return nativa == ventana::Nativa::Presente || nativa == ventana::Nativa::Minimizada;
}

void Cerrojo::Expuesta() {
    if (nativa_ == nullptr) {
        return;
    }
    if (nativa_->isExposed()) {
        expuesta_ = true;
        esperandoVista_ = false;
        // Put away behind the icon, yet on the screen: shown by another
        // program behind Qt's back. It asks, as a click on it would.
        if (estado_ == Estado::Cerrado && !ventana_->isVisible() &&
            ventana::EstadoNativa(ventana_) == ventana::Nativa::Presente) {
            VolverMasTarde();
        }
    } else if (expuesta_ && ventana_->isVisible() && !ventana_->isMinimized() && !esperandoVista_ &&
               MinimizarLaDescubre() && !Presente()) {
        // Off the screen, neither hidden nor minimised by anyone who can
        // bring it back: another program unmapped or destroyed it.
        Perdida();
        return;
    }
    if (estado_ == Estado::Abierto) {
        Revisar();
    }
}

// The window taken away by another program (unmapped, destroyed): what Qt
// believes on show is gone. It locks, as any window put away does, and the
// next show makes it anew.
void Cerrojo::Perdida() {
    expuesta_ = false;
    ventana::RehacerNativa(ventana_);
    if (estado_ != Estado::Preguntando) {
        Bloquear();
    }
}

// Shows the window, made anew where another program destroyed it.
void Cerrojo::Mostrar() {
    if (ventana::EstadoNativa(ventana_) == ventana::Nativa::Ninguna) {
        ventana::RehacerNativa(ventana_);
    }
    ventana_->show();
}

// A minimise of a window in use locks it. Reports that the screen
// contradicts (a window still on show) are not believed, nor any that comes
// between the program's own restore and the window on show again: a restore
// may be reported as minimised first.
void Cerrojo::Revisar() {
    if (esperandoVista_ || !ventana_->isMinimized() || AlaVista()) {
        return;
    }
    Bloquear();
}

void Cerrojo::Abrir() {
    estado_ = Estado::Abierto;
    ventana_->setEnabled(true);
    emit TerminaBloqueo();
    if (foco_) {
        foco_->setFocus();
    }
}

void Cerrojo::Restaurar() {
    esperandoVista_ = !AlaVista();
    ventana_->setWindowState(ventana_->windowState() & ~Qt::WindowMinimized);
    Mostrar();
    ventana_->raise();
    ventana_->activateWindow();
}

// Where the locked window goes: behind the icon on show; on the taskbar
// minimised (X11, Windows); or, where minimising cannot be trusted, it stays
// on screen, inert.
void Cerrojo::Presentar() {
    if (IconoVisible()) {
        if (!ventana_->isVisible() && Presente()) {
            // Shown by another program behind Qt's back: Qt, believing it
            // hidden already, would leave it on the screen. Let go of it; the
            // window gets a new one when it next shows.
            ventana::RehacerNativa(ventana_);
        }
        ventana_->hide();
        // showMinimized() shows the window right after changing its state,
        // which would undo a hide done inside that change.
        TrasElEvento([this] {
            if (estado_ != Estado::Abierto && IconoVisible()) {
                ventana_->hide();
            }
        });
        return;
    }
    if (!EsWayland()) {
        ventana_->setWindowState(ventana_->windowState() | Qt::WindowMinimized);
    }
    Mostrar();
}

} // namespace acceso
