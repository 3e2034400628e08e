// Another program fighting over the level while the program holds it, in
// five spans of the same length, each after the other:
//
//   sin pelea   nothing else touches the volume: the program's CPU at rest;
//   cada 20 ms  a second connection sets another level every 20 ms: the
//               program's writes that undid a change (corrections and ticks
//               alike);
//   tecla       a volume key held down, 30 changes a second: how long each
//               change lasts (until the level is back, or the next change)
//               and the share of the span the level was at its value;
//   bucle       a tight loop, blind: another level set again as soon as the
//               server has taken the last one;
//   réplica     a tight loop that answers: another holder with no bound that
//               sets its level again as soon as it sees the program's; here
//               every write of the program is seen, so the longest time
//               without one is measured.
//
// The program's CPU time is read for each span. Run by bench/ejecutar, which
// starts the program on the auto road against a private server and passes
// its pid and the level it holds.
//
//   bench_pelea <pid> <level 0..65535> [seconds of each span, 30 by default] [Fijo|Tope]
//
// Under Tope (the program's Modo) the other program's levels lie beyond the
// ceiling, so that each of its changes is one to undo.
#include "cpu_proceso.h"
#include "estadistica.h"
#include "observador_pulse.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr int kSegundosPorDefecto = 30;
constexpr auto kPeriodoPelea = std::chrono::milliseconds(20);
constexpr int kCambiosTeclaPorSegundo = 30; // a held key's repeat
constexpr auto kPeriodoTecla =
    std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::seconds(1)) /
    kCambiosTeclaPorSegundo;
constexpr double kVueltaAcordadaMs = 100; // a change must be undone within this
constexpr long kNivelMaximo = 65535;
constexpr int kPercentil99 = 99;
// Between spans: longer than a pause of corrections, so that none that the
// span before left is still running when the next one starts.
constexpr auto kEntreTramos = std::chrono::milliseconds(3000);
// Two other levels, taken in turn, so that every change is one; under a
// ceiling, two beyond it.
constexpr pa_volume_t kAjenosFijo[] = {PA_VOLUME_NORM / 5, PA_VOLUME_NORM * 4 / 5};
constexpr pa_volume_t kAjenosTope[] = {PA_VOLUME_NORM * 4 / 5, PA_VOLUME_NORM};
const pa_volume_t* ajenos = kAjenosFijo; // the pair in use

enum class Otro { Nadie, Periodico, Tecla, Bucle, Replica };

struct Tramo {
    long cambiosAjenos = 0;
    std::uint64_t vueltas = 0; // the program's writes that undid a change
    std::uint64_t cambios = 0; // every change the server reported
    double cpuMs = 0;
    std::vector<double> vueltasMs; // tecla: each change until the level was back
    double fueraMs = 0;            // tecla: the level away from its value
    double huecoMaximoMs = 0;      // réplica: the longest time without a write seen
};

// The held key: each change, then the wait for the level until the next one.
void Tecla(banco::ObservadorPulse& observador, pa_volume_t nivel, Reloj::time_point fin,
           Tramo& tramo) {
    for (auto siguiente = Reloj::now(); siguiente < fin; siguiente += kPeriodoTecla) {
        const auto plazo = std::chrono::duration_cast<std::chrono::milliseconds>(
            siguiente + kPeriodoTecla - Reloj::now());
        const double ms = observador.MedirVuelta(ajenos[tramo.cambiosAjenos % 2], nivel, plazo);
        ++tramo.cambiosAjenos;
        if (ms >= 0) {
            tramo.vueltasMs.push_back(ms);
        }
        tramo.fueraMs += ms >= 0 ? ms : Ms(kPeriodoTecla).count();
        std::this_thread::sleep_until(siguiente + kPeriodoTecla);
    }
}

// The answering loop: the longest time without a write of the program seen,
// from the start of the span to its end.
void Replica(banco::ObservadorPulse& observador, pa_volume_t nivel, Reloj::time_point fin,
             Tramo& tramo) {
    const auto inicio = Reloj::now();
    observador.Replicar(ajenos[0], nivel);
    std::this_thread::sleep_until(fin);
    const auto vistas = observador.DejarDeReplicar();
    auto anterior = inicio;
    for (const auto vista : vistas) {
        tramo.huecoMaximoMs = std::max(tramo.huecoMaximoMs, Ms(vista - anterior).count());
        anterior = vista;
    }
    tramo.huecoMaximoMs = std::max(tramo.huecoMaximoMs, Ms(fin - anterior).count());
    tramo.vueltas = vistas.size();
    tramo.cambiosAjenos = static_cast<long>(vistas.size()) + 1;
}

bool Medir(banco::ObservadorPulse& observador, pid_t pid, pa_volume_t nivel, int segundos,
           Otro otro, Tramo& tramo) {
    std::this_thread::sleep_for(kEntreTramos);
    const double cpuInicio = banco::CpuProcesoMs(pid);
    const std::uint64_t vueltasInicio = observador.Vueltas();
    const std::uint64_t cambiosInicio = observador.Cambios();
    const auto fin = Reloj::now() + std::chrono::seconds(segundos);
    switch (otro) {
    case Otro::Nadie:
    case Otro::Periodico:
        for (auto siguiente = Reloj::now(); siguiente < fin; siguiente += kPeriodoPelea) {
            if (otro == Otro::Periodico) {
                observador.Desviar(ajenos[tramo.cambiosAjenos % 2], nivel);
                ++tramo.cambiosAjenos;
            }
            std::this_thread::sleep_until(siguiente + kPeriodoPelea);
        }
        break;
    case Otro::Tecla:
        Tecla(observador, nivel, fin, tramo);
        break;
    case Otro::Bucle:
        while (Reloj::now() < fin &&
               observador.DesviarConfirmado(ajenos[tramo.cambiosAjenos % 2])) {
            ++tramo.cambiosAjenos;
        }
        break;
    case Otro::Replica:
        Replica(observador, nivel, fin, tramo);
        break;
    }
    const double cpuFin = banco::CpuProcesoMs(pid);
    if (otro != Otro::Replica) {
        tramo.vueltas = observador.Vueltas() - vueltasInicio;
    }
    tramo.cambios = observador.Cambios() - cambiosInicio;
    tramo.cpuMs = cpuFin - cpuInicio;
    // The loops leave their level: the program's next write puts it back.
    return cpuInicio >= 0 && cpuFin >= 0 && observador.Esperar(nivel);
}

void Informar(const char* nombre, const Tramo& tramo, int segundos) {
    const double spanMs = segundos * banco::kMiliPorSegundo;
    std::printf("%s: %ld cambios ajenos, %llu escrituras del programa que los deshicieron "
                "(%.2f por segundo), %llu cambios en el servidor, CPU del programa %.1f ms "
                "(%.2f %% de un núcleo)\n",
                nombre, tramo.cambiosAjenos, static_cast<unsigned long long>(tramo.vueltas),
                static_cast<double>(tramo.vueltas) / segundos,
                static_cast<unsigned long long>(tramo.cambios), tramo.cpuMs,
                tramo.cpuMs / spanMs * banco::kCien);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "uso: %s <pid> <nivel> [segundos] [Fijo|Tope]\n", argv[0]);
        return 2;
    }
    const auto pid = static_cast<pid_t>(std::strtol(argv[1], nullptr, 10));
    const long nivelCanal = std::strtol(argv[2], nullptr, 10);
    if (nivelCanal < 0 || nivelCanal > kNivelMaximo) {
        std::fprintf(stderr, "el nivel va de 0 a %ld\n", kNivelMaximo);
        return 2;
    }
    const int segundos = argc > 3 ? std::max(1, std::atoi(argv[3])) : kSegundosPorDefecto;
    if (argc > 4 && std::strcmp(argv[4], "Tope") == 0) {
        ajenos = kAjenosTope;
    }
    banco::ObservadorPulse observador;
    const pa_volume_t nivel = banco::VolumenDeCanal(static_cast<std::uint16_t>(nivelCanal));
    if (!observador.Listo() || !observador.Esperar(nivel)) {
        std::fprintf(stderr, "el programa no tiene el nivel en el servidor de PULSE_SERVER\n");
        return 1;
    }
    Tramo quieto;
    Tramo pelea;
    Tramo tecla;
    Tramo bucle;
    Tramo replica;
    if (!Medir(observador, pid, nivel, segundos, Otro::Nadie, quieto) ||
        !Medir(observador, pid, nivel, segundos, Otro::Periodico, pelea) ||
        !Medir(observador, pid, nivel, segundos, Otro::Tecla, tecla) ||
        !Medir(observador, pid, nivel, segundos, Otro::Bucle, bucle) ||
        !Medir(observador, pid, nivel, segundos, Otro::Replica, replica)) {
        std::fprintf(stderr, "el programa terminó o dejó de sostener el nivel durante la medida\n");
        return 1;
    }
    std::printf("Tramos de %d s\n", segundos);
    Informar("sin pelea", quieto, segundos);
    Informar("otro nivel cada 20 ms", pelea, segundos);
    Informar("tecla sostenida, 30 cambios por segundo", tecla, segundos);
    const auto aTiempo = std::count_if(tecla.vueltasMs.begin(), tecla.vueltasMs.end(),
                                       [](double ms) { return ms <= kVueltaAcordadaMs; });
    std::printf("  tecla: nivel de vuelta antes del cambio siguiente en %zu de %ld cambios "
                "(en %.0f ms o menos: %ld); hasta la vuelta: mediana %.1f ms, p99 %.1f ms, "
                "max %.1f ms; nivel en su valor el %.1f %% del tramo\n",
                tecla.vueltasMs.size(), tecla.cambiosAjenos, kVueltaAcordadaMs,
                static_cast<long>(aTiempo), banco::Mediana(tecla.vueltasMs),
                banco::Percentil(tecla.vueltasMs, kPercentil99), banco::Maximo(tecla.vueltasMs),
                banco::kCien * (1 - tecla.fueraMs / (segundos * banco::kMiliPorSegundo)));
    Informar("bucle ciego", bucle, segundos);
    Informar("bucle que responde", replica, segundos);
    std::printf("  bucle que responde: lo más largo sin una escritura del programa %.0f ms\n",
                replica.huecoMaximoMs);
    return 0;
}
