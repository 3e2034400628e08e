// Another program fighting over the level: while the program holds it, a
// second connection sets another level every kPeriodoPeleaMs. Counted: how
// many times the program put its level back (its writes that undid a change,
// corrections and ticks alike) and the program's CPU time. The same span
// without a fight, just before, gives the figures to compare with.
//
// Run by bench/ejecutar, which starts the program on the auto road against a
// private server and passes its pid and the level it holds.
//
//   bench_pelea <pid> <level 0..65535> [seconds of each span, 30 by default]
#include "cpu_proceso.h"
#include "observador_pulse.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

using Reloj = std::chrono::steady_clock;

constexpr int kSegundosPorDefecto = 30;
constexpr auto kPeriodoPelea = std::chrono::milliseconds(20);
constexpr long kNivelMaximo = 65535;
// Two other levels, taken in turn, so that every change is one.
constexpr pa_volume_t kAjenos[] = {PA_VOLUME_NORM / 5, PA_VOLUME_NORM * 4 / 5};

struct Tramo {
    long cambiosAjenos = 0;
    std::uint64_t vueltas = 0; // the program's writes that undid a change
    std::uint64_t cambios = 0; // every change the server reported
    double cpuMs = 0;
};

// One span; with `pelea`, another level every kPeriodoPelea.
bool Medir(banco::ObservadorPulse& observador, pid_t pid, pa_volume_t nivel, int segundos,
           bool pelea, Tramo& tramo) {
    const double cpuInicio = banco::CpuProcesoMs(pid);
    const std::uint64_t vueltasInicio = observador.Vueltas();
    const std::uint64_t cambiosInicio = observador.Cambios();
    const auto fin = Reloj::now() + std::chrono::seconds(segundos);
    for (auto siguiente = Reloj::now(); siguiente < fin; siguiente += kPeriodoPelea) {
        if (pelea) {
            observador.Desviar(kAjenos[tramo.cambiosAjenos % 2], nivel);
            ++tramo.cambiosAjenos;
        }
        std::this_thread::sleep_until(siguiente + kPeriodoPelea);
    }
    const double cpuFin = banco::CpuProcesoMs(pid);
    tramo.vueltas = observador.Vueltas() - vueltasInicio;
    tramo.cambios = observador.Cambios() - cambiosInicio;
    tramo.cpuMs = cpuFin - cpuInicio;
    return cpuInicio >= 0 && cpuFin >= 0;
}

void Informar(const char* nombre, const Tramo& tramo, int segundos) {
    std::printf("%s: %ld cambios ajenos, %llu escrituras del programa que los deshicieron "
                "(%.2f por segundo), %llu cambios en el servidor, CPU del programa %.1f ms\n",
                nombre, tramo.cambiosAjenos, static_cast<unsigned long long>(tramo.vueltas),
                static_cast<double>(tramo.vueltas) / segundos,
                static_cast<unsigned long long>(tramo.cambios), tramo.cpuMs);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "uso: %s <pid> <nivel> [segundos]\n", argv[0]);
        return 2;
    }
    const auto pid = static_cast<pid_t>(std::strtol(argv[1], nullptr, 10));
    const long nivelCanal = std::strtol(argv[2], nullptr, 10);
    if (nivelCanal < 0 || nivelCanal > kNivelMaximo) {
        std::fprintf(stderr, "el nivel va de 0 a %ld\n", kNivelMaximo);
        return 2;
    }
    const int segundos = argc > 3 ? std::max(1, std::atoi(argv[3])) : kSegundosPorDefecto;
    banco::ObservadorPulse observador;
    const pa_volume_t nivel = banco::VolumenDeCanal(static_cast<std::uint16_t>(nivelCanal));
    if (!observador.Listo() || !observador.Esperar(nivel)) {
        std::fprintf(stderr, "el programa no tiene el nivel en el servidor de PULSE_SERVER\n");
        return 1;
    }
    Tramo quieto;
    Tramo pelea;
    if (!Medir(observador, pid, nivel, segundos, false, quieto) ||
        !Medir(observador, pid, nivel, segundos, true, pelea)) {
        std::fprintf(stderr, "el programa terminó durante la medida\n");
        return 1;
    }
    std::printf("Tramos de %d s, otro nivel cada %lld ms en la pelea\n", segundos,
                static_cast<long long>(kPeriodoPelea.count()));
    Informar("sin pelea", quieto, segundos);
    Informar("con pelea", pelea, segundos);
    return 0;
}
