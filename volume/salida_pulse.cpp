// The Linux output: the volume of the current default sink, set through
// libpulse over one persistent connection.
//
// libpulse runs its own loop thread (pa_threaded_mainloop). Escribir and
// Sostener only take that loop's lock for a moment, record what they are
// asked and arm the loop's work; connecting, the requests and their replies,
// the server's change events and the timers all run on the loop thread.
// Nothing here ever waits for the server, so a server that is gone or hung
// cannot freeze the caller.
//
// One request chain is on its way at a time: a write (the word, always) or a
// check (the word, only where the sink's volume differs from it). Events and
// writes that come meanwhile are coalesced into one more chain. What each
// reply calls for (a write, a correction, a pause, a notice) is decided by
// PoliticaCorrecciones.
#include "volume/politica_correcciones.h"
#include "volume/salida_volumen.h"
#include "volume/volumen_asentado.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
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
    void PedirComprobacion(bool buscarPredeterminado);
    void IniciarPaso(Paso paso, bool buscarPredeterminado);
    void TerminarPaso();
    void ArmarAlarma(pa_time_event* alarma, int esperaMs);
    void Informar(EstadoSalida estado);
    static std::int64_t AhoraMs();

    static void EnEstado(pa_context* contexto, void* datos);
    static void EnEvento(pa_context* contexto, pa_subscription_event_type_t tipo,
                         std::uint32_t indice, void* datos);
    static void EnServidor(pa_context* contexto, const pa_server_info* info, void* datos);
    static void EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos);
    static void EnVolumenFijado(pa_context* contexto, int exito, void* datos);
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

    Paso paso_ = Paso::Ninguno;
    bool volumenPedido_ = false;                       // the chain in course has sent its volume
    bool sumideroVisto_ = false;                       // ... and has found its sink
    bool escribirDespues_ = false;                     // a write was asked for meanwhile
    bool comprobarDespues_ = false;                    // a check was asked for meanwhile
    bool buscarDespues_ = false;                       // ... and the default sink may have changed
    std::uint32_t indiceSumidero_ = PA_INVALID_INDEX;  // the default sink, as last seen
    pa_cvolume volumenEnCurso_{};                      // what the chain in course sets ...
    std::uint32_t sumideroEnCurso_ = PA_INVALID_INDEX; // ... on which sink
    VolumenAsentado asentado_;                         // what the sink made of our last write
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
            comprobarDespues_ = false;
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
    indiceSumidero_ = PA_INVALID_INDEX; // looked up again by the next request
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
    volumenPedido_ = false;
    escribirDespues_ = false;
    comprobarDespues_ = false;
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
    indiceSumidero_ = PA_INVALID_INDEX;
    asentado_.Olvidar();
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
// (which sink is the default); during a pause of corrections, of nothing (the
// end of the pause checks anyway, and a fight's flood of sink events would
// cost CPU for nothing); released, of nothing.
void SalidaPulse::Suscribir() {
    const auto mascara = sostenida_ && !pausaProgramada_
                             ? static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                                   PA_SUBSCRIPTION_MASK_SERVER)
                             : PA_SUBSCRIPTION_MASK_NULL;
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
            salida->PedirComprobacion(salida->indiceSumidero_ == PA_INVALID_INDEX);
        }
        return;
    }
    if (clase == PA_SUBSCRIPTION_EVENT_SERVER) {
        salida->PedirComprobacion(true); // the default sink may be another one now
    } else if (clase == PA_SUBSCRIPTION_EVENT_SINK && suceso == PA_SUBSCRIPTION_EVENT_CHANGE &&
               (indice == salida->indiceSumidero_ || salida->indiceSumidero_ == PA_INVALID_INDEX)) {
        salida->PedirComprobacion(false);
    }
    // Other sinks, and sinks that come and go, are no concern of ours: a new
    // default is announced by the server's own event.
}

void SalidaPulse::PedirEscritura() {
    if (paso_ != Paso::Ninguno) {
        escribirDespues_ = true;
    } else {
        IniciarPaso(Paso::Escritura, true);
    }
}

void SalidaPulse::PedirComprobacion(bool buscarPredeterminado) {
    if (pausaProgramada_) {
        return; // the end of the pause checks anyway
    }
    if (paso_ != Paso::Ninguno) {
        comprobarDespues_ = true;
        buscarDespues_ = buscarDespues_ || buscarPredeterminado;
    } else {
        IniciarPaso(Paso::Comprobacion, buscarPredeterminado);
    }
}

// One chain: which sink is the default now (unless a change of the known
// default is checked), that sink's channel map and volume, then the volume.
// Each step is a request whose reply starts the next.
void SalidaPulse::IniciarPaso(Paso paso, bool buscarPredeterminado) {
    paso_ = paso;
    volumenPedido_ = false;
    sumideroVisto_ = false;
    if (paso == Paso::Escritura) {
        escribirDespues_ = false;
    } else {
        comprobarDespues_ = false;
        buscarDespues_ = false;
    }
    const bool buscar = buscarPredeterminado || indiceSumidero_ == PA_INVALID_INDEX;
    pa_operation* operacion = nullptr;
    if (!buscar) {
        operacion = pa_context_get_sink_info_by_index(contexto_, indiceSumidero_,
                                                      &SalidaPulse::EnSumidero, this);
    } else if (!preferencias_.dispositivo.empty()) {
        operacion = pa_context_get_sink_info_by_name(contexto_, preferencias_.dispositivo.c_str(),
                                                     &SalidaPulse::EnSumidero, this);
    } else {
        operacion = pa_context_get_server_info(contexto_, &SalidaPulse::EnServidor, this);
    }
    if (operacion == nullptr) {
        paso_ = Paso::Ninguno;
        Informar(EstadoSalida::NoResponde);
        return;
    }
    pa_operation_unref(operacion);
}

void SalidaPulse::TerminarPaso() {
    paso_ = Paso::Ninguno;
    if (escribirDespues_) {
        IniciarPaso(Paso::Escritura, true);
    } else if (comprobarDespues_ && sostenida_ && !pausaProgramada_) {
        IniciarPaso(Paso::Comprobacion, buscarDespues_);
    }
}

void SalidaPulse::EnServidor(pa_context* contexto, const pa_server_info* info, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (info == nullptr || info->default_sink_name == nullptr) {
        salida->Informar(info == nullptr ? EstadoSalida::NoResponde : EstadoSalida::NoConectado);
        salida->TerminarPaso();
        return;
    }
    pa_operation* operacion = pa_context_get_sink_info_by_name(contexto, info->default_sink_name,
                                                               &SalidaPulse::EnSumidero, salida);
    if (operacion == nullptr) {
        salida->TerminarPaso();
        return;
    }
    pa_operation_unref(operacion);
}

void SalidaPulse::EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (fin != 0) {
        // End of the list (or an error). Without a sink there is nothing to set.
        if (!salida->volumenPedido_) {
            if (!salida->sumideroVisto_) {
                salida->Informar(fin > 0 || pa_context_errno(contexto) == PA_ERR_NOENTITY
                                     ? EstadoSalida::NoConectado
                                     : EstadoSalida::NoResponde);
            }
            salida->TerminarPaso();
        }
        return;
    }
    if (info == nullptr || salida->volumenPedido_) {
        return;
    }
    salida->sumideroVisto_ = true;
    const std::uint32_t anterior = std::exchange(salida->indiceSumidero_, info->index);
    // The latest word, not the one that started this chain: a chain that
    // waited on a slow server carries the level of its moment of arrival.
    const pa_cvolume nivel = VolumenParaMapa(salida->palabra_, info->channel_map);
    if (!pa_cvolume_valid(&nivel)) {
        return;
    }
    const Canales canalesNivel = CanalesDe(nivel);
    const std::optional<Canales> actual = CanalesDe(info->volume);
    const std::int64_t ahora = AhoraMs();
    Motivo motivo = Motivo::Escritura;
    Origen origen = Origen::Ajeno;
    if (salida->paso_ == Paso::Comprobacion) {
        if (!salida->sostenida_) {
            return;
        }
        if (std::exchange(salida->finPausa_, false)) {
            motivo = Motivo::FinPausa;
        } else if (info->index != anterior) {
            motivo = Motivo::NuevoDispositivo;
        } else {
            motivo = Motivo::Cambio;
        }
        // The sink at our own write, as this device holds it (rounded, too).
        const pa_cvolume objetivo = VolumenDe(salida->politica_.Objetivo(canalesNivel, actual));
        if (salida->asentado_.EsElNivel(objetivo, info->index, info->volume, ahora)) {
            origen = Origen::Propio;
        }
    }
    const Decision decision =
        salida->politica_.Decidir(motivo, canalesNivel, actual, ahora, origen);
    if (decision.pausa) {
        // A fight: no corrections for a while; the ticks go on writing.
        salida->pausaProgramada_ = true;
        salida->Suscribir();
        salida->ArmarAlarma(salida->alarmaPausa_,
                            static_cast<int>(salida->politica_.FinPausaMs() - ahora));
    }
    if (decision.mover.empty()) {
        if (salida->paso_ == Paso::Escritura && !salida->escribirDespues_) {
            // A ceiling or a floor already kept asks for no write at all: a
            // quieter (or louder) device is never touched.
            salida->escrituraPendiente_ = false;
        }
        if (motivo == Motivo::Escritura || motivo == Motivo::NuevoDispositivo) {
            salida->Informar(EstadoSalida::Escribe); // the device holds what it must
        }
        return;
    }
    const pa_cvolume volumen = VolumenDe(decision.objetivo);
    pa_operation* operacion = pa_context_set_sink_volume_by_index(
        contexto, info->index, &volumen, &SalidaPulse::EnVolumenFijado, salida);
    if (operacion == nullptr) {
        return; // the end-of-list call finishes this chain
    }
    salida->volumenPedido_ = true;
    salida->volumenEnCurso_ = volumen;
    salida->sumideroEnCurso_ = info->index;
    pa_operation_unref(operacion);
    if (decision.avisar && salida->alCorregir_) {
        salida->alCorregir_();
    }
}

void SalidaPulse::EnVolumenFijado(pa_context* /*contexto*/, int exito, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    // Success or not, the next write simply tries again.
    if (exito != 0) {
        salida->asentado_.Escrito(salida->volumenEnCurso_, salida->sumideroEnCurso_, AhoraMs());
        if (!salida->escribirDespues_) {
            salida->escrituraPendiente_ = false;
        }
    }
    salida->Informar(exito != 0 ? EstadoSalida::Escribe : EstadoSalida::NoResponde);
    salida->TerminarPaso();
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
        salida->PedirComprobacion(true);
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
