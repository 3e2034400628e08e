// A long run of device writes in one process, watching its resident memory:
// kEscrituras writes of varying words through the real output, against a
// private PulseAudio server. Each write is waited for until the server holds
// it, so every call is a device write of its own (none is merged into a
// later one) and the server keeps up. VmRSS is read from /proc/self/status
// before the first write, after the warm-up and every kPaso writes.
//
//   bench_aguante [writes]
#include "observador_pulse.h"
#include "support/servidor_pulse.h"
#include "volume/volumen.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr long kEscrituras = 100000;
constexpr long kCalentamiento = 1000;
constexpr long kPaso = 10000;
// Odd steps walk through every channel value before repeating one, and a
// write never repeats the level before it.
constexpr std::uint32_t kPasoIzquierdo = 7919;
constexpr std::uint32_t kPasoDerecho = 104729;
constexpr std::uint32_t kMascaraCanal = 0xFFFFu;
constexpr unsigned kBitsMitad = 16;
constexpr double kKibPorMib = 1024.0;

long CampoEstado(const std::string& clave) {
    std::ifstream estado("/proc/self/status");
    std::string linea;
    while (std::getline(estado, linea)) {
        if (linea.rfind(clave + ":", 0) == 0) {
            return std::strtol(linea.c_str() + clave.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

double Mib(long kib) {
    return static_cast<double>(kib) / kKibPorMib;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long escrituras = argc > 1 ? std::max(kCalentamiento, std::atol(argv[1])) : kEscrituras;

    ServidorPulse servidor;
    if (!servidor.Listo()) {
        std::fprintf(stderr, "no arranca el servidor privado de PulseAudio\n");
        return EXIT_FAILURE;
    }
    banco::ObservadorPulse observador;
    if (!observador.Listo()) {
        std::fprintf(stderr, "el observador no conecta\n");
        return EXIT_FAILURE;
    }
    const auto salida = volumen::CrearSalidaDelSistema();
    const std::uint64_t cambiosAntes = observador.Cambios();

    const long rssInicio = CampoEstado("VmRSS");
    long rssCalentado = 0;
    long rssMin = 0;
    long rssMax = 0;
    const auto inicio = std::chrono::steady_clock::now();
    std::printf("Escrituras seguidas en un proceso (%ld), VmRSS a lo largo:\n", escrituras);
    std::printf("  %7d escrituras: %.2f MiB\n", 0, Mib(rssInicio));
    for (long i = 1; i <= escrituras; ++i) {
        const auto n = static_cast<std::uint32_t>(i);
        const std::uint16_t izquierdo = (n * kPasoIzquierdo) & kMascaraCanal;
        const std::uint16_t derecho = (n * kPasoDerecho) & kMascaraCanal;
        salida->Escribir(static_cast<std::uint32_t>(derecho) << kBitsMitad | izquierdo);
        if (!observador.Esperar(banco::VolumenDeCanal(izquierdo))) {
            std::fprintf(stderr, "la escritura %ld no llega al servidor\n", i);
            return EXIT_FAILURE;
        }
        if (i == kCalentamiento || i % kPaso == 0) {
            const long rss = CampoEstado("VmRSS");
            if (i == kCalentamiento) {
                rssCalentado = rssMin = rssMax = rss;
            }
            rssMin = std::min(rssMin, rss);
            rssMax = std::max(rssMax, rss);
            std::printf("  %7ld escrituras: %.2f MiB\n", i, Mib(rss));
            std::fflush(stdout);
        }
    }
    const double segundos =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
    const long rssFin = CampoEstado("VmRSS");
    std::printf("inicio %.2f MiB, tras %ld escrituras %.2f MiB, final %.2f MiB, VmHWM %.2f MiB\n",
                Mib(rssInicio), kCalentamiento, Mib(rssCalentado), Mib(rssFin),
                Mib(CampoEstado("VmHWM")));
    std::printf("crecimiento tras el calentamiento %+.0f KiB (muestras entre %.2f y %.2f MiB)\n",
                static_cast<double>(rssFin - rssCalentado), Mib(rssMin), Mib(rssMax));
    std::printf(
        "%ld escrituras en %.1f s (%.0f por segundo); cambios vistos por el servidor %llu\n",
        escrituras, segundos, static_cast<double>(escrituras) / segundos,
        static_cast<unsigned long long>(observador.Cambios() - cambiosAntes));
    return EXIT_SUCCESS;
}
