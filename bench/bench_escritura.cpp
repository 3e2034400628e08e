// Cost of one device write over the output's persistent connection, against
// a private PulseAudio server with a null sink.
//
// Two figures, each over kEscrituras writes that alternate between two levels:
//   - "llamada": the time Escribir takes in the calling (GUI) thread;
//   - "completa": from the call until the server holds the new volume, seen
//     by a second libpulse connection subscribed to sink changes. This adds
//     the change notification's own trip to the write.
//
//   bench_escritura [escrituras]
#include "estadistica.h"
#include "observador_pulse.h"
#include "support/servidor_pulse.h"
#include "volume/volumen.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;
using Microsegundos = std::chrono::duration<double, std::micro>;

constexpr int kEscrituras = 1000;
constexpr int kCalentamiento = 20;
constexpr std::uint16_t kNivelA = 0x3000;
constexpr std::uint16_t kNivelB = 0xC000;
constexpr int kPercentil90 = 90;
constexpr int kPercentil99 = 99;

void Informar(const char* nombre, const std::vector<double>& microsegundos) {
    std::printf("%-9s n=%zu  mediana %8.1f us  p90 %8.1f us  p99 %8.1f us  max %8.1f us\n", nombre,
                microsegundos.size(), banco::Mediana(microsegundos),
                banco::Percentil(microsegundos, kPercentil90),
                banco::Percentil(microsegundos, kPercentil99), banco::Maximo(microsegundos));
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
    banco::ObservadorPulse observador;
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
        if (!observador.Esperar(banco::VolumenDeCanal(nivel))) {
            std::fprintf(stderr, "la escritura %d no llega al servidor\n", i);
            return EXIT_FAILURE;
        }
        const auto fin = Reloj::now();
        if (i >= 0) {
            llamada.push_back(Microsegundos(trasLlamada - inicio).count());
            completa.push_back(Microsegundos(fin - inicio).count());
        }
    }
    std::printf("Escritura del volumen por la conexion persistente (%d escrituras)\n", escrituras);
    Informar("llamada", llamada);
    Informar("completa", completa);
    return EXIT_SUCCESS;
}
