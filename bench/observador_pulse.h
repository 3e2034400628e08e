// A second libpulse connection that watches the sink volume from the
// server's side: it sees a write once the server holds it. Used by the
// benchmarks to tell when a write has landed; their servers have one sink.
// Talks to the server that the environment names (PULSE_SERVER), never
// starts one.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace banco {

inline constexpr auto kEsperaPorDefecto = std::chrono::seconds(5);

// The sink volume that the program writes for a channel value 0..65535.
pa_volume_t VolumenDeCanal(std::uint16_t canal);

class ObservadorPulse {
public:
    ObservadorPulse();
    ~ObservadorPulse();
    ObservadorPulse(const ObservadorPulse&) = delete;
    ObservadorPulse& operator=(const ObservadorPulse&) = delete;

    bool Listo() const { return listo_; }

    // Waits until the sink shows the volume on its first channel,
    // or until the wait has passed.
    bool Esperar(pa_volume_t volumen, std::chrono::milliseconds espera = kEsperaPorDefecto);
    // Sets every channel of the default sink from here, as another program
    // would, and waits until the server shows it.
    bool Fijar(pa_volume_t volumen);
    // How many volume changes this connection has seen.
    std::uint64_t Cambios();

    // Sets every channel of the default sink to `otro`, as another program
    // would, without waiting. From the server's answer on, the first reading
    // of the sink at `objetivo` counts as a return: the holder undid it.
    void Desviar(pa_volume_t otro, pa_volume_t objetivo);
    // Desviar, then waits for the return; the milliseconds from sending the
    // change to seeing the level back, or negative when the wait has passed.
    double MedirVuelta(pa_volume_t otro, pa_volume_t objetivo,
                       std::chrono::milliseconds espera = kEsperaPorDefecto);
    // How many changes of Desviar were undone so far.
    std::uint64_t Vueltas();

    // Another program in a tight loop, blind: sets `otro` and waits only for
    // the server to take it, so as to set it again at once.
    bool DesviarConfirmado(pa_volume_t otro);
    // Another program that holds its own level with no bound: from now on
    // each return of the sink to `objetivo` after its change (as Desviar
    // counts them) is answered at once with `otro`, until DejarDeReplicar,
    // which returns when each of those returns was seen.
    void Replicar(pa_volume_t otro, pa_volume_t objetivo);
    std::vector<std::chrono::steady_clock::time_point> DejarDeReplicar();

private:
    static void EnEstado(pa_context* contexto, void* datos);
    static void EnAlarma(pa_mainloop_api* api, pa_time_event* alarma, const timeval* cuando,
                         void* datos);
    static void EnEvento(pa_context* contexto, pa_subscription_event_type_t tipo,
                         std::uint32_t indice, void* datos);
    static void EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos);
    static void EnDesviado(pa_context* contexto, int exito, void* datos);
    void DesviarBloqueado(pa_volume_t otro, pa_volume_t objetivo);
    pa_operation* FijarBloqueado(pa_volume_t volumen, pa_context_success_cb_t alFijar);

    pa_threaded_mainloop* bucle_ = nullptr;
    pa_context* contexto_ = nullptr;
    pa_volume_t visto_ = PA_VOLUME_INVALID;
    std::uint64_t cambios_ = 0;
    pa_volume_t objetivo_ = PA_VOLUME_INVALID; // the level a return comes back to
    bool desviado_ = false;                    // a change of Desviar stands, not yet undone
    std::uint64_t vueltas_ = 0;
    bool replicando_ = false;
    pa_volume_t replica_ = PA_VOLUME_INVALID; // what Replicar answers with
    std::vector<std::chrono::steady_clock::time_point> replicas_;
    bool listo_ = false;
    bool vencido_ = false;
};

} // namespace banco
