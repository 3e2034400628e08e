// Start-up to the first device write on the auto road: the time from exec
// until the audio server holds the stored level, seen from the server's side
// by a second libpulse connection. Before each run the sink is put at another
// level, so the program's first write is a change the server reports.
//
// Run by bench/ejecutar, which starts the X server, the tray host and the
// audio server, and writes a store with Auto=S and the level passed here.
//
//   bench_primera_escritura <path to quelvaren> <stored level 0..65535> [runs]
#include "estadistica.h"
#include "observador_pulse.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;
using Milisegundos = std::chrono::duration<double, std::milli>;

constexpr int kEjecucionesPorDefecto = 15;
constexpr auto kEsperaMaxima = std::chrono::seconds(10);
// Lets the tray host drop the icon of the program just ended.
constexpr useconds_t kPausaEntreEjecucionesUs = 200000;
constexpr long kNivelMaximo = 65535;

// Exec to the first write, in milliseconds; negative when none came in time.
double MedirUnaVez(banco::ObservadorPulse& observador, const char* programa, pa_volume_t esperado) {
    const pa_volume_t previo = esperado == PA_VOLUME_NORM ? PA_VOLUME_MUTED : PA_VOLUME_NORM;
    if (!observador.Fijar(previo)) {
        return -1;
    }
    const auto inicio = Reloj::now();
    const pid_t hijo = fork();
    if (hijo == 0) {
        execl(programa, programa, static_cast<char*>(nullptr));
        _exit(127);
    }
    const bool escrito = observador.Esperar(esperado, kEsperaMaxima);
    const double ms = Milisegundos(Reloj::now() - inicio).count();
    kill(hijo, SIGKILL);
    waitpid(hijo, nullptr, 0);
    usleep(kPausaEntreEjecucionesUs);
    return escrito ? ms : -1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "uso: %s <programa> <nivel> [ejecuciones]\n", argv[0]);
        return 2;
    }
    const long nivel = std::strtol(argv[2], nullptr, 10);
    if (nivel < 0 || nivel > kNivelMaximo) {
        std::fprintf(stderr, "el nivel va de 0 a %ld\n", kNivelMaximo);
        return 2;
    }
    const int ejecuciones = argc > 3 ? std::atoi(argv[3]) : kEjecucionesPorDefecto;
    banco::ObservadorPulse observador;
    if (!observador.Listo()) {
        std::fprintf(stderr, "no hay servidor de audio en PULSE_SERVER\n");
        return 2;
    }
    const pa_volume_t esperado = banco::VolumenDeCanal(static_cast<std::uint16_t>(nivel));

    std::vector<double> tiempos;
    for (int i = 0; i < ejecuciones; ++i) {
        const double ms = MedirUnaVez(observador, argv[1], esperado);
        if (ms < 0) {
            std::fprintf(stderr, "la ejecución %d no escribió el nivel\n", i + 1);
            return 1;
        }
        tiempos.push_back(ms);
    }
    std::printf("arranque hasta la primera escritura: mediana %.1f ms, min %.1f ms, max %.1f ms "
                "(%d ejecuciones)\n",
                banco::Mediana(tiempos), banco::Percentil(tiempos, 0), banco::Maximo(tiempos),
                ejecuciones);
    return 0;
}
