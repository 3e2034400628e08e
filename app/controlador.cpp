#include "app/controlador.h"

#include "app/fin_sesion.h"
#include "app/instancia_unica.h"
#include "tray/bandeja.h"

namespace {

// The tip's second line while the level cannot be written. The notify-icon
// record holds 63 characters of ANSI: both lines and the break between them.
constexpr char kTipNoResponde[] = "No se puede ajustar: el dispositivo no responde";
constexpr char kTipNoConectado[] = "No se puede ajustar: dispositivo no conectado";
static_assert(sizeof(bandeja::kTipFuncionando) + sizeof(kTipNoResponde) <= bandeja::kLongitudTip &&
                  sizeof(bandeja::kTipFuncionando) + sizeof(kTipNoConectado) <=
                      bandeja::kLongitudTip,
              "both lines of the tip must fit in the notify-icon record");

} // namespace

Controlador::Controlador(CtrlVolFrm& ventana, acceso::Cerrojo& cerrojo,
                         volumen::SalidaVolumen& salida, QObject* padre)
    : QObject(padre)
    , ventana_(ventana)
    , cerrojo_(cerrojo)
    , salida_(salida) {
    // A locked window hides behind the icon when the icon is on show; a
    // click on the icon leads back through the lock.
    cerrojo_.Proteger(&ventana_, &bandeja::IconoVisible);
    bandeja::AtenderIcono(&ventana_, cerrojo_);
    // The administrator's password makes a first one needless: it is in
    // force before the start-up asks.
    PonerClaveAdministrador();

    connect(&ventana_, &CtrlVolFrm::NivelCargado, this, &Controlador::AplicarPolitica);
    connect(&ventana_, &CtrlVolFrm::ControlCambiado, this, &Controlador::ControlCambiado);
    connect(&ventana_, &CtrlVolFrm::Cargada, this,
            [this](bool autoActivado) { bandeja::AgregarIcono(&ventana_, autoActivado); });
    connect(&ventana_, &CtrlVolFrm::Descargada, this, [this] { bandeja::QuitarIcono(&ventana_); });
    connect(&vigiaPolitica_, &ajustes::VigiaPolitica::Cambiada, this,
            &Controlador::AplicarPolitica);

    // The output tells of each change undone on its own thread; the notice
    // is shown from this one.
    salida_.AlCorregir([this] {
        QMetaObject::invokeMethod(this, &Controlador::AvisarCorreccion, Qt::QueuedConnection);
    });
    salida_.AlCambiarEstado([this](volumen::EstadoSalida estado) {
        QMetaObject::invokeMethod(
            this, [this, estado] { CambiarEstadoSalida(estado); }, Qt::QueuedConnection);
    });
    avisoEstadoPendiente_.setSingleShot(true);
    avisoEstadoPendiente_.setInterval(bandeja::kEsperaEntreAvisosMs);
    connect(&avisoEstadoPendiente_, &QTimer::timeout, this, &Controlador::AvisarEstadoSalida);
}

Controlador::~Controlador() {
    salida_.AlCorregir({});
    salida_.AlCambiarEstado({});
}

void Controlador::AdelantarPrimeraEscritura(volumen::SalidaVolumen& salida) {
    // How and where the level is held, before anything is written.
    salida.Configurar(ajustes::LeerPreferencias());
    // The first write only when control will start by itself with nothing
    // asked first: with no usable password the first-password box comes
    // before the activation.
    if (!ajustes::LeerAuto().valor) {
        return;
    }
    const auto clave = ajustes::LeerClave().valor;
    if ((!clave || clave->isEmpty()) && !ajustes::LeerPolitica(ajustes::kClavePolitica)) {
        return;
    }
    volumen::FijarVolumen(CtrlVolFrm::TextoNivelInicial(ajustes::LeerNivel().valor), salida);
}

bool Controlador::Arrancar(InstanciaUnica& instancia) {
    // The end of the session (or the installer's request, on Windows) ends
    // the program also while the window is locked, and while the start-up
    // still asks for a password.
    AtenderFinDeSesion([this] {
        terminado_ = true;
        ventana_.Form_Unload();
    });
    if (ventana_.Form_Load() == CtrlVolFrm::Camino::Rechazado || terminado_) {
        return false;
    }
    ventana_.MostrarVentanaInicial();
    connect(&instancia, &InstanciaUnica::Mostrar, this, &Controlador::OtroArranque);
    return true;
}

void Controlador::OtroArranque() {
    bandeja::Form_MouseMove(cerrojo_, bandeja::WM_LBUTTONUP);
}

void Controlador::PonerClaveAdministrador() {
    cerrojo_.FijarClaveAdministrador(
        ajustes::LeerPolitica(ajustes::kClavePolitica).value_or(QString()));
}

void Controlador::AplicarPolitica() {
    PonerClaveAdministrador();
    const auto nivel = ajustes::LeerNivel();
    const auto autoactivar = ajustes::LeerAuto();
    ventana_.MostrarPolitica(nivel.Impuesto() ? std::optional(nivel.valor) : std::nullopt,
                             autoactivar.Impuesto() ? std::optional(autoactivar.valor)
                                                    : std::nullopt);
    salida_.Configurar(ajustes::LeerPreferencias());
    if (ventana_.Ciclo().Activo()) {
        ventana_.Ciclo().Timer_Timer();
    }
}

void Controlador::ControlCambiado() {
    bandeja::CambiarTip(TextoTip());
    AvisarEstadoSalida();
}

void Controlador::AvisarCorreccion() {
    if (!ajustes::LeerAviso().valor) {
        return;
    }
    // Worded by the mode the level is held in.
    const volumen::Modo modo = ajustes::LeerPreferencias().modo;
    const char* texto = modo == volumen::Modo::Tope   ? "El volumen no puede pasar de %1."
                        : modo == volumen::Modo::Piso ? "El volumen no puede bajar de %1."
                                                      : "El volumen está fijado en %1.";
    bandeja::Avisar(QString::fromUtf8(texto).arg(ventana_.NivelEnVigor()));
}

void Controlador::CambiarEstadoSalida(volumen::EstadoSalida estado) {
    if (estado == estadoSalida_) {
        return;
    }
    estadoSalida_ = estado;
    if (ventana_.Ciclo().Activo()) {
        bandeja::CambiarTip(TextoTip());
        AvisarEstadoSalida();
    }
}

void Controlador::AvisarEstadoSalida() {
    if (!ventana_.Ciclo().Activo() || estadoSalida_ == estadoAvisado_ ||
        !ajustes::LeerAviso().valor) {
        return;
    }
    const char* texto = "Ya se puede ajustar el volumen.";
    switch (estadoSalida_) {
    case volumen::EstadoSalida::NoResponde:
        texto = "No se puede ajustar el volumen: el dispositivo no responde.";
        break;
    case volumen::EstadoSalida::NoConectado:
        texto = "No se puede ajustar el volumen: el dispositivo no está conectado.";
        break;
    case volumen::EstadoSalida::Escribe:
        break;
    }
    if (bandeja::Avisar(QString::fromUtf8(texto))) {
        estadoAvisado_ = estadoSalida_;
    } else if (bandeja::IconoVisible()) {
        avisoEstadoPendiente_.start(); // after the notice that went out a moment ago
    }
}

QString Controlador::TextoTip() const {
    if (!ventana_.Ciclo().Activo()) {
        return QString::fromLatin1(bandeja::kTipParado);
    }
    const QString tip = QString::fromLatin1(bandeja::kTipFuncionando);
    switch (estadoSalida_) {
    case volumen::EstadoSalida::NoResponde:
        return tip + QLatin1Char('\n') + QLatin1String(kTipNoResponde);
    case volumen::EstadoSalida::NoConectado:
        return tip + QLatin1Char('\n') + QLatin1String(kTipNoConectado);
    case volumen::EstadoSalida::Escribe:
        break;
    }
    return tip;
}
