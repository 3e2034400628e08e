// Cost of one device write over the output's persistent connection, against
// a private PulseAudio server with a null sink.
//
// Two figures, each over kEscrituras writes that alternate between two levels:
//   - "llamada": the time Escribir takes in the calling (GUI) thread;
//   - "completa": from the call until the server holds the new volume, seen
//     by a second libpulse connection subscribed to sink changes. This adds
//     the change notification's own trip to the write.
//
// Build and run:
//   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build --target bench_escritura
//   build/bench/bench_escritura [escrituras]
#include "support/servidor_pulse.h"
#include "volume/volumen.h"

#include <QCoreApplication>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;

constexpr int kEscrituras = 1000;
constexpr int kCalentamiento = 20;
constexpr auto kEsperaMaxima = std::chrono::seconds(5);
constexpr std::uint16_t kNivelA = 0x3000;
constexpr std::uint16_t kNivelB = 0xC000;
constexpr double kNormaPulse = PA_VOLUME_NORM;
constexpr double kCanalMaximo = 65535.0;
constexpr double kMicrosegundosPorNano = 1e-3;
constexpr int kPercentil50 = 50;
constexpr int kPercentil90 = 90;
constexpr int kPercentil99 = 99;
constexpr int kCien = 100;

pa_volume_t VolumenEsperado(std::uint16_t canal) {
    return static_cast<pa_volume_t>(canal * kNormaPulse / kCanalMaximo + 0.5);
}

// A second connection that watches the default sink's volume.
class Observador {
public:
    Observador() {
        bucle_ = pa_threaded_mainloop_new();
        pa_threaded_mainloop_start(bucle_);
        pa_threaded_mainloop_lock(bucle_);
        contexto_ = pa_context_new(pa_threaded_mainloop_get_api(bucle_), "bench-observador");
        pa_context_set_state_callback(contexto_, &Observador::EnEstado, this);
        pa_context_set_subscribe_callback(contexto_, &Observador::EnEvento, this);
        pa_context_connect(contexto_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(contexto_)) &&
               pa_context_get_state(contexto_) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_wait(bucle_);
        }
        listo_ = pa_context_get_state(contexto_) == PA_CONTEXT_READY;
        if (listo_) {
            pa_operation_unref(
                pa_context_subscribe(contexto_, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr));
        }
        pa_threaded_mainloop_unlock(bucle_);
    }
    ~Observador() {
        pa_threaded_mainloop_lock(bucle_);
        pa_context_disconnect(contexto_);
        pa_context_unref(contexto_);
        pa_threaded_mainloop_unlock(bucle_);
        pa_threaded_mainloop_stop(bucle_);
        pa_threaded_mainloop_free(bucle_);
    }
    Observador(const Observador&) = delete;
    Observador& operator=(const Observador&) = delete;

    bool Listo() const { return listo_; }

    // Waits until the sink shows the volume on its first channel, or until
    // kEsperaMaxima has passed.
    bool Esperar(pa_volume_t volumen) {
        pa_threaded_mainloop_lock(bucle_);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(bucle_);
        vencido_ = false;
        timeval limite{};
        pa_timeval_add(
            pa_gettimeofday(&limite),
            std::chrono::duration_cast<std::chrono::microseconds>(kEsperaMaxima).count());
        pa_time_event* alarma = api->time_new(api, &limite, &Observador::EnAlarma, this);
        while (visto_ != volumen && !vencido_) {
            pa_threaded_mainloop_wait(bucle_);
        }
        api->time_free(alarma);
        const bool visto = visto_ == volumen;
        pa_threaded_mainloop_unlock(bucle_);
        return visto;
    }

private:
    static void EnEstado(pa_context* /*contexto*/, void* datos) {
        pa_threaded_mainloop_signal(static_cast<Observador*>(datos)->bucle_, 0);
    }
    static void EnAlarma(pa_mainloop_api* /*api*/, pa_time_event* /*alarma*/,
                         const timeval* /*cuando*/, void* datos) {
        auto* observador = static_cast<Observador*>(datos);
        observador->vencido_ = true;
        pa_threaded_mainloop_signal(observador->bucle_, 0);
    }
    static void EnEvento(pa_context* contexto, pa_subscription_event_type_t /*tipo*/,
                         std::uint32_t indice, void* datos) {
        pa_operation* op =
            pa_context_get_sink_info_by_index(contexto, indice, &Observador::EnSumidero, datos);
        if (op != nullptr) {
            pa_operation_unref(op);
        }
    }
    static void EnSumidero(pa_context* /*contexto*/, const pa_sink_info* info, int fin,
                           void* datos) {
        auto* observador = static_cast<Observador*>(datos);
        if (fin == 0 && info != nullptr && info->volume.channels > 0) {
            observador->visto_ = info->volume.values[0];
            pa_threaded_mainloop_signal(observador->bucle_, 0);
        }
    }

    pa_threaded_mainloop* bucle_ = nullptr;
    pa_context* contexto_ = nullptr;
    pa_volume_t visto_ = PA_VOLUME_INVALID;
    bool listo_ = false;
    bool vencido_ = false;
};

double Percentil(std::vector<double> valores, int percentil) {
    std::sort(valores.begin(), valores.end());
    const auto indice = static_cast<std::size_t>(percentil) * (valores.size() - 1) / kCien;
    return valores[indice];
}

void Informar(const char* nombre, const std::vector<double>& microsegundos) {
    std::printf("%-9s n=%zu  mediana %8.1f us  p90 %8.1f us  p99 %8.1f us  max %8.1f us\n", nombre,
                microsegundos.size(), Percentil(microsegundos, kPercentil50),
                Percentil(microsegundos, kPercentil90), Percentil(microsegundos, kPercentil99),
                *std::max_element(microsegundos.begin(), microsegundos.end()));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int escrituras = argc > 1 ? std::max(1, std::atoi(argv[1])) : kEscrituras;

    ServidorPulse servidor;
    if (!servidor.Listo()) {
        std::fprintf(stderr, "no arranca el servidor privado de PulseAudio\n");
        return EXIT_FAILURE;
    }
    Observador observador;
    if (!observador.Listo()) {
        std::fprintf(stderr, "el observador no conecta\n");
        return EXIT_FAILURE;
    }
    const auto salida = volumen::CrearSalidaDelSistema();

    std::vector<double> llamada;
    std::vector<double> completa;
    for (int i = -kCalentamiento; i < escrituras; ++i) {
        const std::uint16_t nivel = (i % 2 == 0) ? kNivelA : kNivelB;
        const auto inicio = Reloj::now();
        salida->Escribir(volumen::PalabraVolumen(nivel));
        const auto trasLlamada = Reloj::now();
        if (!observador.Esperar(VolumenEsperado(nivel))) {
            std::fprintf(stderr, "la escritura %d no llega al servidor\n", i);
            return EXIT_FAILURE;
        }
        const auto fin = Reloj::now();
        if (i >= 0) {
            llamada.push_back(
                std::chrono::duration<double, std::nano>(trasLlamada - inicio).count() *
                kMicrosegundosPorNano);
            completa.push_back(std::chrono::duration<double, std::nano>(fin - inicio).count() *
                               kMicrosegundosPorNano);
        }
    }
    std::printf("Escritura del volumen por la conexion persistente (%d escrituras)\n", escrituras);
    Informar("llamada", llamada);
    Informar("completa", completa);
    return EXIT_SUCCESS;
}
