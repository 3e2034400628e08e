// The Linux output: the volume of the current default sink, set through
// libpulse over one persistent connection.
//
// libpulse runs its own loop thread (pa_threaded_mainloop). Escribir only
// takes that loop's lock for a moment, records the word and sends requests;
// the replies are handled on the loop thread. Nothing here ever waits for
// the server, so a server that is gone or hung cannot freeze the caller.
#include "volume/salida_volumen.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstdint>

namespace volumen {
namespace {

constexpr char kNombreCliente[] = "Quelvaren";
constexpr std::uint32_t kMascaraCanal = 0xFFFFu; // one channel per 16-bit half
constexpr unsigned kBitsMitad = 16;              // the right channel is the high half
constexpr std::uint64_t kCanalMaximo = 0xFFFFu;  // full volume of a channel value

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

class SalidaPulse final : public SalidaVolumen {
public:
    SalidaPulse();
    ~SalidaPulse() override;
    SalidaPulse(const SalidaPulse&) = delete;
    SalidaPulse& operator=(const SalidaPulse&) = delete;

    void Escribir(std::uint32_t palabra) override;
    void Sostener(bool /*sostener*/) override {} // held by the ticks alone for now

private:
    // Everything below runs with the loop's lock held: either on the loop
    // thread (callbacks) or in Escribir and the destructor, which take it.
    void Conectar();
    void SoltarContexto();
    void IniciarEscritura();
    void TerminarEscritura();

    static void EnEstado(pa_context* contexto, void* datos);
    static void EnServidor(pa_context* contexto, const pa_server_info* info, void* datos);
    static void EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos);
    static void EnVolumenFijado(pa_context* contexto, int exito, void* datos);

    pa_threaded_mainloop* bucle_ = nullptr;
    pa_context* contexto_ = nullptr;
    std::uint32_t palabra_ = 0;  // the latest word asked for
    bool enCurso_ = false;       // a write is on its way to the server
    bool repetir_ = false;       // a newer write came while one was on its way
    bool volumenPedido_ = false; // the write in course found its sink
};

SalidaPulse::SalidaPulse() {
    bucle_ = pa_threaded_mainloop_new();
    if (bucle_ != nullptr && pa_threaded_mainloop_start(bucle_) < 0) {
        pa_threaded_mainloop_free(bucle_);
        bucle_ = nullptr;
    }
}

SalidaPulse::~SalidaPulse() {
    if (bucle_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(bucle_);
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
    if (contexto_ != nullptr && !PA_CONTEXT_IS_GOOD(pa_context_get_state(contexto_))) {
        // The server went away since the last write; this write tries anew.
        SoltarContexto();
    }
    if (contexto_ == nullptr) {
        Conectar(); // the word goes out as soon as the connection is ready
    } else if (pa_context_get_state(contexto_) == PA_CONTEXT_READY) {
        if (enCurso_) {
            repetir_ = true;
        } else {
            IniciarEscritura();
        }
    }
    pa_threaded_mainloop_unlock(bucle_);
}

void SalidaPulse::Conectar() {
    contexto_ = pa_context_new(pa_threaded_mainloop_get_api(bucle_), kNombreCliente);
    if (contexto_ == nullptr) {
        return;
    }
    pa_context_set_state_callback(contexto_, &SalidaPulse::EnEstado, this);
    // The server named by the environment or the client configuration; never
    // start one of our own.
    if (pa_context_connect(contexto_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        SoltarContexto();
    }
}

void SalidaPulse::SoltarContexto() {
    if (contexto_ == nullptr) {
        return;
    }
    // Disconnecting cancels the requests on their way: no callback follows.
    pa_context_set_state_callback(contexto_, nullptr, nullptr);
    pa_context_disconnect(contexto_);
    pa_context_unref(contexto_);
    contexto_ = nullptr;
    enCurso_ = false;
    repetir_ = false;
    volumenPedido_ = false;
}

void SalidaPulse::EnEstado(pa_context* contexto, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    // A connection is only made by a write: once ready, that write goes out.
    if (pa_context_get_state(contexto) == PA_CONTEXT_READY && !salida->enCurso_) {
        salida->IniciarEscritura();
    }
    // A failed or ended context is let go at the next write, which connects again.
}

// One write: ask which sink is the default now, look up its channel map, set
// every channel. Each step is a request whose reply starts the next.
void SalidaPulse::IniciarEscritura() {
    enCurso_ = true;
    repetir_ = false;
    volumenPedido_ = false;
    pa_operation* operacion = pa_context_get_server_info(contexto_, &SalidaPulse::EnServidor, this);
    if (operacion == nullptr) {
        enCurso_ = false;
        return;
    }
    pa_operation_unref(operacion);
}

void SalidaPulse::TerminarEscritura() {
    enCurso_ = false;
    if (repetir_) {
        IniciarEscritura();
    }
}

void SalidaPulse::EnServidor(pa_context* contexto, const pa_server_info* info, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (info == nullptr || info->default_sink_name == nullptr) {
        salida->TerminarEscritura();
        return;
    }
    pa_operation* operacion = pa_context_get_sink_info_by_name(contexto, info->default_sink_name,
                                                               &SalidaPulse::EnSumidero, salida);
    if (operacion == nullptr) {
        salida->TerminarEscritura();
        return;
    }
    pa_operation_unref(operacion);
}

void SalidaPulse::EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos) {
    auto* salida = static_cast<SalidaPulse*>(datos);
    if (fin != 0) {
        // End of the list (or an error). Without a sink there is nothing to set.
        if (!salida->volumenPedido_) {
            salida->TerminarEscritura();
        }
        return;
    }
    if (info == nullptr || salida->volumenPedido_) {
        return;
    }
    // The latest word, not the one that started this write: a write that
    // waited on a slow server carries the level of its moment of arrival.
    const pa_cvolume volumen = VolumenParaMapa(salida->palabra_, info->channel_map);
    if (!pa_cvolume_valid(&volumen)) {
        return;
    }
    pa_operation* operacion = pa_context_set_sink_volume_by_index(
        contexto, info->index, &volumen, &SalidaPulse::EnVolumenFijado, salida);
    if (operacion == nullptr) {
        return; // the end-of-list call finishes this write
    }
    salida->volumenPedido_ = true;
    pa_operation_unref(operacion);
}

void SalidaPulse::EnVolumenFijado(pa_context* /*contexto*/, int /*exito*/, void* datos) {
    // Success or not, the next write simply tries again.
    static_cast<SalidaPulse*>(datos)->TerminarEscritura();
}

} // namespace

std::unique_ptr<SalidaVolumen> CrearSalidaDelSistema(bool /*restaurarAlCambiar*/) {
    return std::make_unique<SalidaPulse>();
}

} // namespace volumen
