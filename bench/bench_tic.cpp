// How long a control tick holds up the user interface: the real output and
// the real control cycle in a QApplication (offscreen), against a private
// PulseAudio server.
//
// The program ticks every 2 s; here a bench timer calls the cycle's
// Timer_Timer directly every kIntervaloTicMs, so that kTics ticks take
// seconds instead of minutes. Each write is done long before the next one
// is due, as with the real interval. The level alternates between two
// values, so every tick changes the volume.
//
// Two figures:
//   - the time each Timer_Timer call takes in the GUI thread, by the wall
//     clock (what the user waits) and by the thread's own CPU clock (the
//     work itself, without the moments the machine gave the CPU to others);
//   - the event loop's lateness: a 1 ms precise timer runs alongside, and
//     every gap between its timeouts beyond 1 ms is time the loop could not
//     serve it. Blocks of the same length with the bench timer but without
//     ticks give the loop's own lateness, to compare with; the two kinds of
//     block alternate, so that a busy moment of the machine falls on both.
//
//   bench_tic [ticks]
#include "estadistica.h"
#include "observador_pulse.h"
#include "support/servidor_pulse.h"
#include "volume/volumen.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;
using Microsegundos = std::chrono::duration<double, std::micro>;

constexpr int kTics = 200;
constexpr int kBloques = 5; // pairs of blocks without and with ticks
constexpr int kCalentamiento = 5;
constexpr int kIntervaloTicMs = 10;
constexpr int kIntervaloSondaMs = 1;
constexpr double kIntervaloSondaUs = 1000.0 * kIntervaloSondaMs;
constexpr int kPercentil99 = 99;
constexpr double kMicroPorSegundo = 1e6;
constexpr double kNanoPorMicro = 1e3;
constexpr std::uint16_t kNivelA = 16384;
constexpr std::uint16_t kNivelB = 49152;

struct Fase {
    std::vector<double> ticUs;     // each Timer_Timer call, wall clock
    std::vector<double> ticCpuUs;  // each Timer_Timer call, the thread's CPU clock
    std::vector<double> retrasoUs; // each gap of the 1 ms timer beyond 1 ms
    double primerTicUs = -1;       // the first call, which connects
};

// The calling thread's CPU time, in microseconds.
double CpuHiloUs() {
    timespec tiempo{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &tiempo);
    return static_cast<double>(tiempo.tv_sec) * kMicroPorSegundo +
           static_cast<double>(tiempo.tv_nsec) / kNanoPorMicro;
}

// Runs the bench timer for `tics` timeouts (plus a warm-up) and adds the
// figures to `fase`; with `conTics`, each timeout calls the cycle's tick.
void Ejecutar(volumen::CicloControl& ciclo, int tics, bool conTics, Fase& fase) {
    std::vector<double> retrasoUs;
    QEventLoop bucle;
    QTimer sonda;
    sonda.setTimerType(Qt::PreciseTimer);
    sonda.setInterval(kIntervaloSondaMs);
    auto anterior = Reloj::now();
    QObject::connect(&sonda, &QTimer::timeout, [&] {
        const auto ahora = Reloj::now();
        retrasoUs.push_back(
            std::max(0.0, Microsegundos(ahora - anterior).count() - kIntervaloSondaUs));
        anterior = ahora;
    });

    QTimer disparador;
    disparador.setTimerType(Qt::PreciseTimer);
    disparador.setInterval(kIntervaloTicMs);
    int cuenta = -kCalentamiento;
    QObject::connect(&disparador, &QTimer::timeout, [&] {
        if (conTics) {
            const double cpuInicio = CpuHiloUs();
            const auto inicio = Reloj::now();
            ciclo.Timer_Timer();
            const double us = Microsegundos(Reloj::now() - inicio).count();
            const double cpuUs = CpuHiloUs() - cpuInicio;
            if (fase.primerTicUs < 0) {
                fase.primerTicUs = us;
            }
            if (cuenta >= 0) {
                fase.ticUs.push_back(us);
                fase.ticCpuUs.push_back(cpuUs);
            }
        }
        if (cuenta == 0) {
            retrasoUs.clear(); // the warm-up's gaps do not count
        }
        if (++cuenta == tics) {
            bucle.quit();
        }
    });
    sonda.start();
    disparador.start();
    bucle.exec();
    fase.retrasoUs.insert(fase.retrasoUs.end(), retrasoUs.begin(), retrasoUs.end());
}

void Informar(const char* nombre, const std::vector<double>& us) {
    std::printf("%-34s n=%5zu  mediana %7.1f us  p99 %7.1f us  max %7.1f us\n", nombre, us.size(),
                banco::Mediana(us), banco::Percentil(us, kPercentil99), banco::Maximo(us));
}

} // namespace

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    const int tics = argc > 1 ? std::max(1, std::atoi(argv[1])) : kTics;

    ServidorPulse servidor;
    if (!servidor.Listo()) {
        std::fprintf(stderr, "no arranca el servidor privado de PulseAudio\n");
        return EXIT_FAILURE;
    }
    banco::ObservadorPulse observador;
    const auto salida = volumen::CrearSalidaDelSistema();
    bool alterna = false;
    volumen::CicloControl ciclo(*salida, [&alterna] {
        alterna = !alterna;
        return QString::number(alterna ? kNivelA : kNivelB);
    });

    Fase sinTics;
    Fase conTics;
    const int ticsPorBloque = std::max(1, tics / kBloques);
    for (int bloque = 0; bloque < kBloques; ++bloque) {
        Ejecutar(ciclo, ticsPorBloque, false, sinTics);
        Ejecutar(ciclo, ticsPorBloque, true, conTics);
    }
    const std::uint16_t ultimo = alterna ? kNivelA : kNivelB;
    if (!observador.Listo() || !observador.Esperar(banco::VolumenDeCanal(ultimo))) {
        std::fprintf(stderr, "el último tic no llegó al servidor\n");
        return EXIT_FAILURE;
    }

    std::printf("Tic del ciclo de control en el hilo de la interfaz (%d tics, uno cada %d ms, "
                "en %d bloques alternos con otros tantos sin tics)\n",
                ticsPorBloque * kBloques, kIntervaloTicMs, kBloques);
    std::printf("%-34s %.1f us\n", "primer tic (conecta)", conTics.primerTicUs);
    Informar("Timer_Timer, reloj de pared", conTics.ticUs);
    Informar("Timer_Timer, CPU del hilo", conTics.ticCpuUs);
    Informar("retraso del bucle, sin tics", sinTics.retrasoUs);
    Informar("retraso del bucle, con tics", conTics.retrasoUs);
    return EXIT_SUCCESS;
}
