// The Linux output: the volume of the current default sink (or the chosen
// one; under a ceiling, of every sink and every stream), set through libpulse
// over one persistent connection.
//
// libpulse runs its own loop thread (pa_threaded_mainloop). Escribir and
// Sostener only take that loop's lock for a moment, record what they are
// asked and arm the loop's work; connecting, the requests and their replies,
// the server's change events and the timers all run on the loop thread.
// Nothing here ever waits for the server, so a server that is gone or hung
// cannot freeze the caller.
//
// One request chain is on its way at a time: a write (the word, always) or a
// check (the word, only where the sink's volume differs from it). A chain
// reads the sinks held (and under a ceiling the streams), sets what must be
// set, and ends when every request of it is answered. Events and writes that
// come meanwhile are coalesced into one more chain. What each reply calls for
// (a write, a correction, an unmute, a pause, a notice) is decided by
// PoliticaCorrecciones, sink by sink and stream by stream, under one bound.
#include "volume/politica_correcciones.h"
#include "volume/salida_volumen.h"
#include "volume/volumen_asentado.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace volumen {
namespace {

constexpr char kNombreCliente[] = "Quelvaren";
constexpr std::uint32_t kMascaraCanal = 0xFFFFu; // one channel per 16-bit half
constexpr unsigned kBitsMitad = 16;              // the right channel is the high half
constexpr std::uint64_t kCanalMaximo = 0xFFFFu;  // full volume of a channel value

// A lost connection is tried again after this long, then after twice as long
// each time, up to one beat of the cycle. The wait starts short again only
// after a connection that lasted a beat: a server that takes each connection
// and fails soon after (a crash loop, a broken module) is not tried again
// and again every moment.
constexpr int kPrimeraEsperaConexionMs = 100;
constexpr std::int64_t kVidaConexionEstableMs = kIntervaloControlMs;
constexpr std::int64_t kNunca = -1;
// Two channels closer than this are the same level (see VolumenAsentado).
constexpr double kTolerancia =
    static_cast<double>(VolumenAsentado::kToleranciaLectura) / PA_VOLUME_NORM;

// The positions that take the left and the right half of the word.
constexpr pa_channel_position_mask_t kPosicionesIzquierdas =
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_FRONT_LEFT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_REAR_LEFT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_SIDE_LEFT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_TOP_FRONT_LEFT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_TOP_REAR_LEFT);
constexpr pa_channel_position_mask_t kPosicionesDerechas =
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_FRONT_RIGHT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_REAR_RIGHT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_SIDE_RIGHT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_TOP_FRONT_RIGHT) |
    PA_CHANNEL_POSITION_MASK(PA_CHANNEL_POSITION_TOP_REAR_RIGHT);

bool EnPosiciones(pa_channel_position_t posicion, pa_channel_position_mask_t posiciones) {
    // Positions outside the known range (invalid) are in no set.
    return posicion >= 0 && posicion < PA_CHANNEL_POSITION_MAX &&
           (PA_CHANNEL_POSITION_MASK(posicion) & posiciones) != 0;
}

// A channel value 0..65535 as a sink volume: 65535 is PA_VOLUME_NORM (100 %),
// rounded to the nearest step and never above the norm.
pa_volume_t VolumenDeCanal(std::uint16_t canal) {
    const std::uint64_t escalado =
        (static_cast<std::uint64_t>(canal) * PA_VOLUME_NORM + kCanalMaximo / 2) / kCanalMaximo;
    return static_cast<pa_volume_t>(escalado);
}

// Every channel of the sink at the level the word gives it: left channels
// take the low half, right channels the high half, and channels that are
// neither (mono, centre, LFE, aux...) the larger of the two.
pa_cvolume VolumenParaMapa(std::uint32_t palabra, const pa_channel_map& mapa) {
    const auto izquierdo = static_cast<std::uint16_t>(palabra & kMascaraCanal);
    const auto derecho = static_cast<std::uint16_t>((palabra >> kBitsMitad) & kMascaraCanal);
    const pa_volume_t volIzquierdo = VolumenDeCanal(izquierdo);
    const pa_volume_t volDerecho = VolumenDeCanal(derecho);
    const pa_volume_t volOtro = std::max(volIzquierdo, volDerecho);

    pa_cvolume volumen;
    pa_cvolume_init(&volumen);
    volumen.channels = mapa.channels;
    for (unsigned i = 0; i < mapa.channels; ++i) {
        const pa_channel_position_t posicion = mapa.map[i];
        if (EnPosiciones(posicion, kPosicionesIzquierdas)) {
            volumen.values[i] = volIzquierdo;
        } else if (EnPosiciones(posicion, kPosicionesDerechas)) {
            volumen.values[i] = volDerecho;
        } else {
            volumen.values[i] = volOtro;
        }
    }
    return volumen;
}

// A sink's channels for PoliticaCorrecciones, and back.
Canales CanalesDe(const pa_cvolume& volumen) {
    Canales canales(volumen.channels);
    for (unsigned i = 0; i < volumen.channels; ++i) {
        canales[i] = static_cast<double>(volumen.values[i]) / PA_VOLUME_NORM;
    }
    return canales;
}
pa_cvolume VolumenDe(const Canales& canales) {
    pa_cvolume volumen;
    pa_cvolume_init(&volumen);
    volumen.channels = static_cast<std::uint8_t>(canales.size());
    for (unsigned i = 0; i < volumen.channels; ++i) {
        volumen.values[i] = static_cast<pa_volume_t>(std::lround(canales[i] * PA_VOLUME_NORM));
    }
    return volumen;
}

class SalidaPulse final : public SalidaVolumen {
public:
    explicit SalidaPulse(bool restaurarAlCambiar);
    ~SalidaPulse() override;
    SalidaPulse(const SalidaPulse&) = delete;
    SalidaPulse& operator=(const SalidaPulse&) = delete;

    void Escribir(std::uint32_t palabra) override;
    void Sostener(bool sostener) override;
    void Configurar(const Preferencias& preferencias) override;
    void AlCorregir(std::function<void()> aviso) override;
    void AlCambiarEstado(std::function<void(EstadoSalida)> aviso) override;

private:
    // The request chain on its way to the server.
    enum class Paso { Ninguno, Escritura, Comprobacion };
    // What a chain reads, as a mask: the sinks held; before them, which sink
    // is the default (it may be another one now); the streams.
    static constexpr unsigned kSumideros = 1u << 0;
    static constexpr unsigned kBuscar = 1u << 1;
    static constexpr unsigned kFlujos = 1u << 2;
    static constexpr unsigned kTodo = kSumideros | kBuscar | kFlujos;
    // A set asked of the server, kept until it is answered.
    enum class Que { VolumenSumidero, SilencioSumidero, VolumenFlujo };
    struct Fijacion {
        SalidaPulse* salida;
        Que que;
        std::uint32_t indice;
        pa_cvolume volumen;
    };

    // Everything below runs with the loop's lock held: either on the loop
    // thread (callbacks) or in the public calls and the destructor, which
    // take it.
    bool Conectado() const;
    bool SinConexion() const; // none, or one the server has failed
    void OlvidarPeticiones();
    void Conectar();
    void SoltarContexto();
    void ProgramarConexion(int esperaMs);
    void ProgramarReconexion();
    void Suscribir();
    void PedirEscritura();
    void PedirComprobacion(unsigned que);
    void IniciarPaso(Paso paso, unsigned que);
    pa_operation* PedirSumideros(bool buscar);
    bool Pedir(pa_operation* operacion);
    void Respondido();
    void TerminarPaso();
    Motivo MotivoDe(bool nuevo) const;
    void AjustarSumidero(const pa_sink_info& info);
    void AjustarFlujo(const pa_sink_input_info& info);
    void Atender(const Decision& decision, std::int64_t ahoraMs);
    void Fijar(Que que, std::uint32_t indice, const pa_cvolume& volumen);
    void ArmarAlarma(pa_time_event* alarma, int esperaMs);
    void Informar(EstadoSalida estado);
    static std::int64_t AhoraMs();

    static void EnEstado(pa_context* contexto, void* datos);
    static void EnEvento(pa_context* contexto, pa_subscription_event_type_t tipo,
                         std::uint32_t indice, void* datos);
    static void EnServidor(pa_context* contexto, const pa_server_info* info, void* datos);
    static void EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos);
    static void EnFlujo(pa_context* contexto, const pa_sink_input_info* info, int fin, void* datos);
    static void EnFijado(pa_context* contexto, int exito, void* datos);
    static void EnAlarmaConexion(pa_mainloop_api* api, pa_time_event* alarma, const timeval* cuando,
                                 void* datos);
    static void EnAlarmaPausa(pa_mainloop_api* api, pa_time_event* alarma, const timeval* cuando,
                              void* datos);

    const bool restaurarAlCambiar_;
    pa_threaded_mainloop* bucle_ = nullptr;
    pa_mainloop_api* api_ = nullptr;
    pa_context* contexto_ = nullptr;
    pa_time_event* alarmaConexion_ = nullptr; // the next connection attempt
    pa_time_event* alarmaPausa_ = nullptr;    // the end of a pause of corrections
    bool conexionProgramada_ = false;
    bool pausaProgramada_ = false;
    int esperaConexionMs_ = kPrimeraEsperaConexionMs;
    std::int64_t listaDesdeMs_ = kNunca; // when the connection in use became ready

    std::uint32_t palabra_ = 0;       // the latest word asked for: the level in force
    bool hayPalabra_ = false;         // a word was ever asked for
    bool escrituraPendiente_ = false; // the latest word has not reached the server yet
    bool sostenida_ = false;          // the level in force is held
    PoliticaCorrecciones politica_{kTolerancia};
    bool finPausa_ = false; // the next check is the one at the end of a pause

    // The chain in course.
    Paso paso_ = Paso::Ninguno;
    int enVuelo_ = 0;                      // its requests not answered yet
    bool enFinPausa_ = false;              // it is the check at the end of a pause
    bool sumideroVisto_ = false;           // it has found a sink
    bool escrito_ = false;                 // it has written, or found the level kept
    std::optional<EstadoSalida> fallo_;    // what went wrong in it
    std::set<std::uint32_t> vistos_;       // the sinks it has found
    std::set<std::uint32_t> flujosVistos_; // the streams it has found
    std::list<Fijacion> fijaciones_;       // its sets on their way
    // Asked for while it runs.
    bool escribirDespues_ = false;
    unsigned comprobarDespues_ = 0; // what to check (none: 0)

    std::uint32_t indiceSumidero_ = PA_INVALID_INDEX;    // the sink held, as last seen
    std::set<std::uint32_t> conocidos_;                  // the sinks held, as last listed
    std::set<std::uint32_t> flujosConocidos_;            // the streams, as last listed
    std::map<std::uint32_t, VolumenAsentado> asentados_; // what each sink made of our writes
    Preferencias preferencias_;
    std::function<void()> alCorregir_;
    std::function<void(EstadoSalida)> alCambiarEstado_;
};

SalidaPulse::SalidaPulse(bool restaurarAlCambiar)
    : restaurarAlCambiar_(restaurarAlCambiar) {
    bucle_ = pa_threaded_mainloop_new();
    if (bucle_ != nullptr && pa_threaded_mainloop_start(bucle_) < 0) {
        pa_threaded_mainloop_free(bucle_);
        bucle_ = nullptr;
    }
    if (bucle_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(bucle_);
    api_ = pa_threaded_mainloop_get_api(bucle_);
    // Without a time the alarms start disarmed.
    alarmaConexion_ = api_->time_new(api_, nullptr, &SalidaPulse::EnAlarmaConexion, this);
    alarmaPausa_ = api_->time_new(api_, nullptr, &SalidaPulse::EnAlarmaPausa, this);
    // Connect on the loop thread at once, while the caller goes on with its
    // own start: the first write finds the connection ready.
    ProgramarConexion(0);
    pa_threaded_mainloop_unlock(bucle_);
}

SalidaPulse::~SalidaPulse() {
    if (bucle_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(bucle_);
    api_->time_free(alarmaConexion_);
    api_->time_free(alarmaPausa_);
    SoltarContexto();
    pa_threaded_mainloop_unlock(bucle_);
    pa_threaded_mainloop_stop(bucle_);
    pa_threaded_mainloop_free(bucle_);
}

void SalidaPulse::Escribir(std::uint32_t palabra) {
    if (bucle_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(bucle_);
    palabra_ = palabra;
    hayPalabra_ = true;
    escrituraPendiente_ = true;
    if (Conectado()) {
        PedirEscritura();
    } else if (SinConexion()) {
        // No connection, or a lost one: try anew now rather than after the
        // back-off. The word goes out as soon as the connection is ready.
        ProgramarConexion(0);
    }
    pa_threaded_mainloop_unlock(bucle_);
}

void SalidaPulse::Sostener(bool sostener) {
    if (bucle_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(bucle_);
    const bool antes = sostenida_;
    sostenida_ = sostener && restaurarAlCambiar_;
    if (sostenida_ != antes) {
        if (sostenida_) {
            politica_.Reiniciar();
        } else {
            // Released: no check left waiting, no pause to end.
            comprobarDespues_ = 0;
            pausaProgramada_ = false;
            api_->time_restart(alarmaPausa_, nullptr);
        }
        if (Conectado()) {
            Suscribir();
        } else if (sostenida_ && hayPalabra_ && SinConexion()) {
            ProgramarConexion(0);
        }
    }
    pa_threaded_mainloop_unlock(bucle_);
}

void SalidaPulse::Configurar(const Preferencias& preferencias) {
    if (bucle_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(bucle_);
    preferencias_ = preferencias;
    politica_.Configurar(preferencias.modo);
    // Looked up again by the next request: every sink and stream found then
    // is new to these preferences.
    indiceSumidero_ = PA_INVALID_INDEX;
    conocidos_.clear();
    flujosConocidos_.clear();
    if (sostenida_ && Conectado()) {
        Suscribir(); // a ceiling listens to the streams too; the others do not
    }
    pa_threaded_mainloop_unlock(bucle_);
}

void SalidaPulse::AlCorregir(std::function<void()> aviso) {
    if (bucle_ == nullptr) {
        return;
    }
    // Under the loop's lock: no call of the old function runs meanwhile.
    pa_threaded_mainloop_lock(bucle_);
    alCorregir_ = std::move(aviso);
    pa_threaded_mainloop_unlock(bucle_);
}

void SalidaPulse::AlCambiarEstado(std::function<void(EstadoSalida)> aviso) {
    if (bucle_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(bucle_);
    alCambiarEstado_ = std::move(aviso);
    if (alCambiarEstado_ && politica_.Estado() != EstadoSalida::Escribe) {
        alCambiarEstado_(politica_.Estado());
    }
    pa_threaded_mainloop_unlock(bucle_);
}

void SalidaPulse::Informar(EstadoSalida estado) {
    const std::optional<EstadoSalida> nuevo = politica_.Resultado(estado);
    if (nuevo && alCambiarEstado_) {
        alCambiarEstado_(*nuevo);
    }
}

bool SalidaPulse::Conectado() const {
    return contexto_ != nullptr && pa_context_get_state(contexto_) == PA_CONTEXT_READY;
}

bool SalidaPulse::SinConexion() const {
    return contexto_ == nullptr || !PA_CONTEXT_IS_GOOD(pa_context_get_state(contexto_));
}

// The requests on their way are gone with the connection: none is waited for.
void SalidaPulse::OlvidarPeticiones() {
    paso_ = Paso::Ninguno;
    enVuelo_ = 0;
    fijaciones_.clear();
    escribirDespues_ = false;
    comprobarDespues_ = 0;
}

void SalidaPulse::Conectar() {
    contexto_ = pa_context_new(api_, kNombreCliente);
    if (contexto_ == nullptr) {
        if (escrituraPendiente_) {
            Informar(EstadoSalida::NoResponde);
        }
        ProgramarReconexion();
        return;
    }
    pa_context_set_state_callback(contexto_, &SalidaPulse::EnEstado, this);
    pa_context_set_subscribe_callback(contexto_, &SalidaPulse::EnEvento, this);
    // The server named by the environment or the client configuration; never
    // start one of our own. A refusal here has already failed the context,
    // whose state callback has programmed the next attempt.
    if (pa_context_connect(contexto_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        ProgramarReconexion();
    }
}

void SalidaPulse::SoltarContexto() {
    if (contexto_ == nullptr) {
        return;
    }
    // Disconnecting cancels the requests on their way: no callback follows.
    pa_context_set_state_callback(contexto_, nullptr, nullptr);
    pa_context_set_subscribe_callback(contexto_, nullptr, nullptr);
    pa_context_disconnect(contexto_);
    pa_context_unref(contexto_);
    contexto_ = nullptr;
    OlvidarPeticiones();
    // The next server may hold other sinks and streams.
    indiceSumidero_ = PA_INVALID_INDEX;
    conocidos_.clear();
    flujosConocidos_.clear();
    asentados_.clear();
}

void SalidaPulse::ArmarAlarma(pa_time_event* alarma, int esperaMs) {
    timeval cuando{};
    pa_timeval_add(pa_gettimeofday(&cuando), static_cast<pa_usec_t>(esperaMs) * PA_USEC_PER_MSEC);
    api_->time_restart(alarma, &cuando);
}

void SalidaPulse::ProgramarConexion(int esperaMs) {
    ArmarAlarma(alarmaConexion_, esperaMs);
    conexionProgramada_ = true;
}

// After a failure: the next attempt after the back-off, but only while there
// is something to write. Otherwise the next Escribir connects.
void SalidaPulse::ProgramarReconexion() {
    if (conexionProgramada_ || !(sostenida_ || escrituraPendiente_)) {
        return;
    }
    ProgramarConexion(esperaConexionMs_);
    esperaConexionMs_ = std::min(esperaConexionMs_ * 2, kIntervaloControlMs);
}

void SalidaPulse::EnAlarmaConexion(pa_mainloop_api* /*api*/, pa_time_event* /*alarma*/,
                                   const timeval* /*cuando*/, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    salida->conexionProgramada_ = false;
    if (!salida->SinConexion()) {
        return; // connected, or on the way
    }
    salida->SoltarContexto(); // a failed context cannot be used again
    salida->Conectar();
}

void SalidaPulse::EnEstado(pa_context* contexto, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    const pa_context_state_t estado = pa_context_get_state(contexto);
    if (estado == PA_CONTEXT_READY) {
        salida->listaDesdeMs_ = AhoraMs();
        if (salida->sostenida_) {
            salida->Suscribir();
        }
        // On every connection, the first or after a loss, the level in
        // force goes out at once when it is held or has not landed yet.
        if (salida->hayPalabra_ && (salida->escrituraPendiente_ || salida->sostenida_)) {
            salida->PedirEscritura();
        }
    } else if (!PA_CONTEXT_IS_GOOD(estado)) {
        // The server is gone (or refused us). Requests on their way are
        // cancelled; the context is let go by the next attempt.
        if (salida->listaDesdeMs_ != kNunca &&
            AhoraMs() - salida->listaDesdeMs_ >= kVidaConexionEstableMs) {
            salida->esperaConexionMs_ = kPrimeraEsperaConexionMs;
        }
        salida->listaDesdeMs_ = kNunca;
        salida->OlvidarPeticiones();
        if (salida->escrituraPendiente_) {
            salida->Informar(EstadoSalida::NoResponde); // a level that cannot go out
        }
        salida->ProgramarReconexion();
    }
}

// While held, the server tells of every change of a sink and of the server
// (which sink is the default), and under a ceiling of every stream; during a
// pause of corrections, of nothing (the end of the pause checks anyway, and a
// fight's flood of sink events would cost CPU for nothing); released, of
// nothing.
void SalidaPulse::Suscribir() {
    pa_subscription_mask_t mascara = PA_SUBSCRIPTION_MASK_NULL;
    if (sostenida_ && !pausaProgramada_) {
        const pa_subscription_mask_t flujos =
            politica_.LimitarFlujos() ? PA_SUBSCRIPTION_MASK_SINK_INPUT : PA_SUBSCRIPTION_MASK_NULL;
        mascara = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                      PA_SUBSCRIPTION_MASK_SERVER | flujos);
    }
    pa_operation* operacion = pa_context_subscribe(contexto_, mascara, nullptr, nullptr);
    if (operacion != nullptr) {
        pa_operation_unref(operacion);
    }
}

void SalidaPulse::EnEvento(pa_context* /*contexto*/, pa_subscription_event_type_t tipo,
                           std::uint32_t indice, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (!salida->sostenida_) {
        return;
    }
    const auto clase = tipo & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto suceso = tipo & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (salida->politica_.CadaDispositivo()) {
        // Every sink, and every stream: one that comes or changes is checked
        // (a new one gets the level at once); which is the default does not
        // matter.
        if (suceso == PA_SUBSCRIPTION_EVENT_REMOVE) {
            return;
        }
        if (clase == PA_SUBSCRIPTION_EVENT_SINK) {
            salida->PedirComprobacion(kSumideros);
        } else if (clase == PA_SUBSCRIPTION_EVENT_SINK_INPUT) {
            salida->PedirComprobacion(kFlujos);
        }
        return;
    }
    if (!salida->preferencias_.dispositivo.empty()) {
        // One sink by name: the default does not matter; the sink may come
        // (it gets the level at once) or go (nothing is written meanwhile).
        if (clase != PA_SUBSCRIPTION_EVENT_SINK) {
            return;
        }
        if (suceso == PA_SUBSCRIPTION_EVENT_REMOVE && indice == salida->indiceSumidero_) {
            salida->indiceSumidero_ = PA_INVALID_INDEX;
        } else if (suceso == PA_SUBSCRIPTION_EVENT_NEW ||
                   (suceso == PA_SUBSCRIPTION_EVENT_CHANGE && indice == salida->indiceSumidero_)) {
            salida->PedirComprobacion(
                salida->indiceSumidero_ == PA_INVALID_INDEX ? kSumideros | kBuscar : kSumideros);
        }
        return;
    }
    if (clase == PA_SUBSCRIPTION_EVENT_SERVER) {
        salida->PedirComprobacion(kSumideros | kBuscar); // the default sink may be another one now
    } else if (clase == PA_SUBSCRIPTION_EVENT_SINK && suceso == PA_SUBSCRIPTION_EVENT_CHANGE &&
               (indice == salida->indiceSumidero_ || salida->indiceSumidero_ == PA_INVALID_INDEX)) {
        salida->PedirComprobacion(kSumideros);
    }
    // Other sinks, and sinks that come and go, are no concern of ours: a new
    // default is announced by the server's own event.
}

void SalidaPulse::PedirEscritura() {
    if (paso_ != Paso::Ninguno) {
        escribirDespues_ = true;
    } else {
        IniciarPaso(Paso::Escritura, kTodo);
    }
}

void SalidaPulse::PedirComprobacion(unsigned que) {
    if (pausaProgramada_) {
        return; // the end of the pause checks anyway
    }
    if (paso_ != Paso::Ninguno) {
        comprobarDespues_ |= que;
    } else {
        IniciarPaso(Paso::Comprobacion, que);
    }
}

// One chain: the sinks held (which sink is the default now, unless a change
// of the known one is checked; that sink's channel map and volume; or every
// sink under a ceiling), and under a ceiling every stream; then what must be
// set. Each reply may ask for more; the chain ends when all are answered.
void SalidaPulse::IniciarPaso(Paso paso, unsigned que) {
    paso_ = paso;
    enVuelo_ = 0;
    enFinPausa_ = paso == Paso::Comprobacion && std::exchange(finPausa_, false);
    sumideroVisto_ = false;
    escrito_ = false;
    fallo_.reset();
    vistos_.clear();
    flujosVistos_.clear();
    if (paso == Paso::Escritura) {
        escribirDespues_ = false;
    } else {
        comprobarDespues_ = 0;
    }
    if ((que & kSumideros) != 0) {
        Pedir(PedirSumideros((que & kBuscar) != 0));
    }
    if ((que & kFlujos) != 0 && politica_.LimitarFlujos()) {
        Pedir(pa_context_get_sink_input_info_list(contexto_, &SalidaPulse::EnFlujo, this));
    }
    if (enVuelo_ == 0) {
        // Nothing went out (the connection is failing): this chain is over,
        // and the next write or event starts another.
        paso_ = Paso::Ninguno;
        if (fallo_) {
            Informar(*fallo_);
        }
    }
}

pa_operation* SalidaPulse::PedirSumideros(bool buscar) {
    if (politica_.CadaDispositivo()) {
        return pa_context_get_sink_info_list(contexto_, &SalidaPulse::EnSumidero, this);
    }
    if (!buscar && indiceSumidero_ != PA_INVALID_INDEX) {
        return pa_context_get_sink_info_by_index(contexto_, indiceSumidero_,
                                                 &SalidaPulse::EnSumidero, this);
    }
    if (!preferencias_.dispositivo.empty()) {
        return pa_context_get_sink_info_by_name(contexto_, preferencias_.dispositivo.c_str(),
                                                &SalidaPulse::EnSumidero, this);
    }
    return pa_context_get_server_info(contexto_, &SalidaPulse::EnServidor, this);
}

// A request of the chain in course sent (or not: the connection is failing).
bool SalidaPulse::Pedir(pa_operation* operacion) {
    if (operacion == nullptr) {
        fallo_ = EstadoSalida::NoResponde;
        return false;
    }
    pa_operation_unref(operacion);
    ++enVuelo_;
    return true;
}

// A request of the chain in course answered. The last one tells how the
// chain went and starts the next one.
void SalidaPulse::Respondido() {
    if (paso_ == Paso::Ninguno || --enVuelo_ > 0) {
        return;
    }
    if (fallo_) {
        Informar(*fallo_);
    } else if (escrito_) {
        Informar(EstadoSalida::Escribe); // the device holds what it must
    }
    // The level in force is on the server: written, or, for a write, kept
    // already (a ceiling or a floor asks for no write at all: a quieter, or
    // louder, device is never touched).
    if (!fallo_ && (escrito_ || paso_ == Paso::Escritura) && !escribirDespues_) {
        escrituraPendiente_ = false;
    }
    TerminarPaso();
}

void SalidaPulse::TerminarPaso() {
    paso_ = Paso::Ninguno;
    if (escribirDespues_) {
        IniciarPaso(Paso::Escritura, kTodo);
    } else if (comprobarDespues_ != 0 && sostenida_ && !pausaProgramada_) {
        IniciarPaso(Paso::Comprobacion, comprobarDespues_);
    }
}

void SalidaPulse::EnServidor(pa_context* contexto, const pa_server_info* info, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (info == nullptr || info->default_sink_name == nullptr) {
        salida->fallo_ = info == nullptr ? EstadoSalida::NoResponde : EstadoSalida::NoConectado;
    } else {
        salida->Pedir(pa_context_get_sink_info_by_name(contexto, info->default_sink_name,
                                                       &SalidaPulse::EnSumidero, salida));
    }
    salida->Respondido();
}

void SalidaPulse::EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (fin != 0) {
        // End of the list (or an error). Without a sink there is nothing to set.
        const bool completa = fin > 0 || pa_context_errno(contexto) == PA_ERR_NOENTITY;
        if (!salida->sumideroVisto_) {
            salida->fallo_ = completa ? EstadoSalida::NoConectado : EstadoSalida::NoResponde;
        }
        if (completa) {
            // The sinks held now: one that was not among them is new; what
            // was learnt of a sink that is gone is let go.
            salida->conocidos_ = salida->vistos_;
            std::erase_if(salida->asentados_, [salida](const auto& entrada) {
                return salida->vistos_.count(entrada.first) == 0;
            });
        }
        salida->Respondido();
        return;
    }
    if (info == nullptr) {
        return;
    }
    salida->sumideroVisto_ = true;
    salida->AjustarSumidero(*info);
    salida->vistos_.insert(info->index);
}

void SalidaPulse::EnFlujo(pa_context* /*contexto*/, const pa_sink_input_info* info, int fin,
                          void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (fin != 0) {
        if (fin > 0) {
            salida->flujosConocidos_ = salida->flujosVistos_;
        }
        salida->Respondido();
        return;
    }
    if (info == nullptr) {
        return;
    }
    salida->AjustarFlujo(*info);
    salida->flujosVistos_.insert(info->index);
}

// Why the chain in course looks at a sink or a stream: one not held before
// is new.
Motivo SalidaPulse::MotivoDe(bool nuevo) const {
    if (paso_ == Paso::Escritura) {
        return Motivo::Escritura;
    }
    if (enFinPausa_) {
        return Motivo::FinPausa;
    }
    return nuevo ? Motivo::NuevoDispositivo : Motivo::Cambio;
}

void SalidaPulse::AjustarSumidero(const pa_sink_info& info) {
    const bool nuevo = conocidos_.count(info.index) == 0;
    indiceSumidero_ = info.index;
    if (paso_ == Paso::Comprobacion && !sostenida_) {
        return;
    }
    // The latest word, not the one that started this chain: a chain that
    // waited on a slow server carries the level of its moment of arrival.
    const pa_cvolume nivel = VolumenParaMapa(palabra_, info.channel_map);
    if (!pa_cvolume_valid(&nivel)) {
        return;
    }
    const Canales canalesNivel = CanalesDe(nivel);
    const std::optional<Canales> actual = CanalesDe(info.volume);
    const std::int64_t ahora = AhoraMs();
    Origen origen = Origen::Ajeno;
    if (paso_ == Paso::Comprobacion) {
        // The sink at our own write, as this device holds it (rounded, too).
        const pa_cvolume objetivo = VolumenDe(politica_.Objetivo(canalesNivel, actual));
        if (asentados_[info.index].EsElNivel(objetivo, info.index, info.volume, ahora)) {
            origen = Origen::Propio;
        }
    }
    const Motivo motivo = MotivoDe(nuevo);
    const Decision decision =
        politica_.Decidir(motivo, canalesNivel, actual, ahora, origen, info.mute != 0);
    Atender(decision, ahora);
    if (decision.Nada()) {
        if (motivo == Motivo::Escritura || motivo == Motivo::NuevoDispositivo) {
            escrito_ = true; // the device holds what it must
        }
        return;
    }
    if (!decision.mover.empty()) {
        Fijar(Que::VolumenSumidero, info.index, VolumenDe(decision.objetivo));
    }
    if (decision.desilenciar) {
        Fijar(Que::SilencioSumidero, info.index, {});
    }
}

// A stream's own volume, under a ceiling: never beyond full.
void SalidaPulse::AjustarFlujo(const pa_sink_input_info& info) {
    if ((paso_ == Paso::Comprobacion && !sostenida_) || !politica_.LimitarFlujos() ||
        info.has_volume == 0 || info.volume_writable == 0) {
        return;
    }
    const bool nuevo = flujosConocidos_.count(info.index) == 0;
    const std::int64_t ahora = AhoraMs();
    const Decision decision =
        politica_.Decidir(MotivoDe(nuevo), PoliticaCorrecciones::NivelFlujo(info.volume.channels),
                          CanalesDe(info.volume), ahora);
    Atender(decision, ahora);
    if (decision.mover.empty()) {
        return;
    }
    Fijar(Que::VolumenFlujo, info.index, VolumenDe(decision.objetivo));
}

// What a decision calls for besides the sets: the notice of someone else's
// change undone, and in a fight no corrections for a while (the ticks go on
// writing).
void SalidaPulse::Atender(const Decision& decision, std::int64_t ahoraMs) {
    if (decision.avisar && alCorregir_) {
        alCorregir_();
    }
    if (!decision.pausa) {
        return;
    }
    pausaProgramada_ = true;
    Suscribir();
    ArmarAlarma(alarmaPausa_, static_cast<int>(politica_.FinPausaMs() - ahoraMs));
}

void SalidaPulse::Fijar(Que que, std::uint32_t indice, const pa_cvolume& volumen) {
    Fijacion& fijacion = fijaciones_.emplace_back(Fijacion{this, que, indice, volumen});
    pa_operation* operacion = nullptr;
    switch (que) {
    case Que::VolumenSumidero:
        operacion = pa_context_set_sink_volume_by_index(contexto_, indice, &fijacion.volumen,
                                                        &SalidaPulse::EnFijado, &fijacion);
        break;
    case Que::SilencioSumidero:
        operacion = pa_context_set_sink_mute_by_index(contexto_, indice, 0, &SalidaPulse::EnFijado,
                                                      &fijacion);
        break;
    case Que::VolumenFlujo:
        operacion = pa_context_set_sink_input_volume(contexto_, indice, &fijacion.volumen,
                                                     &SalidaPulse::EnFijado, &fijacion);
        break;
    }
    if (!Pedir(operacion)) {
        fijaciones_.pop_back();
    }
}

void SalidaPulse::EnFijado(pa_context* /*contexto*/, int exito, void* datos) {
    const Fijacion fijacion = *static_cast<const Fijacion*>(datos);
    SalidaPulse* salida = fijacion.salida;
    salida->fijaciones_.remove_if([datos](const Fijacion& f) { return &f == datos; });
    if (fijacion.que == Que::VolumenFlujo) {
        // A stream that has just ended cannot be set: nothing is wrong with
        // the device. The next write or event tries again anyway.
    } else if (exito != 0) {
        if (fijacion.que == Que::VolumenSumidero) {
            salida->asentados_[fijacion.indice].Escrito(fijacion.volumen, fijacion.indice,
                                                        AhoraMs());
        }
        salida->escrito_ = true;
    } else {
        salida->fallo_ = EstadoSalida::NoResponde; // the next write simply tries again
    }
    salida->Respondido();
}

void SalidaPulse::EnAlarmaPausa(pa_mainloop_api* /*api*/, pa_time_event* /*alarma*/,
                                const timeval* /*cuando*/, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    salida->pausaProgramada_ = false;
    // The fight may be over with the other program's level left on the sink:
    // listen again, and check at once.
    if (salida->sostenida_ && salida->Conectado()) {
        salida->finPausa_ = true;
        salida->Suscribir();
        salida->PedirComprobacion(kTodo);
    }
}

std::int64_t SalidaPulse::AhoraMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::unique_ptr<SalidaVolumen> CrearSalidaDelSistema(bool restaurarAlCambiar) {
    return std::make_unique<SalidaPulse>(restaurarAlCambiar);
}

} // namespace volumen
