// How long a change of the volume by another program lasts while control
// holds the level: the real output and the real control cycle (a write now,
// then one every two seconds) against a private PulseAudio server of its own,
// and a second connection that changes the default sink's volume at random
// moments and times each change until the level is back.
//
//   bench_restauracion con|sin [changes] [Fijo|Tope]
//
// "con": the output as the program makes it, restoring on change; "sin":
// restoring on change turned off (CrearSalidaDelSistema(false)), so only the
// next tick undoes a change. bench/ejecutar runs both side by side. Under
// Tope the level is a ceiling, the changes go beyond it, and the server has
// a second sink and a playing stream, which a ceiling holds too.
//
// The changes come at least kHuecoMinimoMs apart (a person or a program
// changing the volume now and then, not a fight, which has a benchmark of
// its own: bench_pelea). The wait before each change spans a whole beat on
// top of that, so that it falls at any moment between two ticks, also when
// the level came back at a tick.
#include "estadistica.h"
#include "observador_pulse.h"
#include "support/servidor_pulse.h"
#include "volume/volumen.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kCambiosPorDefecto = 200;
constexpr int kHuecoMinimoMs = 210;
constexpr int kHuecoMaximoMs = kHuecoMinimoMs + volumen::kIntervaloControlMs;
constexpr int kPercentil99 = 99;
constexpr std::uint16_t kNivel = 32768; // the level held: 50 %
// Two other levels, taken in turn, so that every change is one.
constexpr pa_volume_t kAjenos[] = {PA_VOLUME_NORM / 5, PA_VOLUME_NORM * 4 / 5};
// Under a ceiling, two levels beyond it.
constexpr pa_volume_t kAjenosTope[] = {PA_VOLUME_NORM * 4 / 5, PA_VOLUME_NORM};
constexpr auto kEsperaVuelta = std::chrono::milliseconds(3 * volumen::kIntervaloControlMs);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication aplicacion(argc, argv);
    if (argc < 2 || (std::strcmp(argv[1], "con") != 0 && std::strcmp(argv[1], "sin") != 0)) {
        std::fprintf(stderr, "uso: %s con|sin [cambios] [Fijo|Tope]\n", argv[0]);
        return 2;
    }
    const bool restaurar = std::strcmp(argv[1], "con") == 0;
    const int cambios = argc > 2 ? std::max(1, std::atoi(argv[2])) : kCambiosPorDefecto;
    const bool tope = argc > 3 && std::strcmp(argv[3], "Tope") == 0;
    const pa_volume_t* ajenos = tope ? kAjenosTope : kAjenos;

    ServidorPulse servidor;
    if (!servidor.Listo()) {
        std::fprintf(stderr, "no arranca el servidor privado de PulseAudio\n");
        return EXIT_FAILURE;
    }
    if (tope && (!servidor.AgregarSumidero(QStringLiteral("otro"), 2) ||
                 !servidor.AgregarFlujo(ServidorPulse::kSumideroInicial))) {
        std::fprintf(stderr, "no se pudo añadir el segundo sumidero o el flujo\n");
        return EXIT_FAILURE;
    }
    banco::ObservadorPulse observador;
    const auto salida = volumen::CrearSalidaDelSistema(restaurar);
    if (tope) {
        salida->Configurar({volumen::Modo::Tope, {}});
    }
    volumen::CicloControl ciclo(*salida, [] { return QString::number(kNivel); });
    ciclo.Arrancar();
    const pa_volume_t nivel = banco::VolumenDeCanal(kNivel);
    if (!observador.Listo() || !observador.Esperar(nivel)) {
        std::fprintf(stderr, "el nivel no llegó al servidor\n");
        return EXIT_FAILURE;
    }

    std::vector<double> vueltasMs;
    bool perdido = false;
    std::thread otroPrograma([&] {
        std::mt19937 azar(std::random_device{}());
        std::uniform_int_distribution<int> hueco(kHuecoMinimoMs, kHuecoMaximoMs);
        for (int i = 0; i < cambios && !perdido; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(hueco(azar)));
            const double ms = observador.MedirVuelta(ajenos[i % 2], nivel, kEsperaVuelta);
            perdido = ms < 0;
            vueltasMs.push_back(ms);
        }
        QMetaObject::invokeMethod(&aplicacion, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    otroPrograma.join();
    ciclo.Parar();
    if (perdido) {
        std::fprintf(stderr, "un cambio no se deshizo en %lld ms\n",
                     static_cast<long long>(kEsperaVuelta.count()));
        return EXIT_FAILURE;
    }
    std::printf(
        "%s restaurar al cambiar%s: hasta el nivel de vuelta: mediana %.1f ms, p99 %.1f ms, "
        "max %.1f ms (%d cambios)\n",
        restaurar ? "con" : "sin", tope ? " (Tope)" : "", banco::Mediana(vueltasMs),
        banco::Percentil(vueltasMs, kPercentil99), banco::Maximo(vueltasMs), cambios);
    return EXIT_SUCCESS;
}
