// What one check of the administrator's password costs: the PBKDF2 hash at
// the count --clave-politica writes, derived on a thread of its own while the
// window's event loop goes on.
//
// Two figures, over kComprobaciones checks of the right password:
//   - "derivación": CoincideHuella alone, on the calling thread;
//   - "hueco": the longest the event loop went without running a timer set
//     to fire every kPulsoMs while the lock's ClaveCorrecta ran (what the
//     window would freeze for).
//
//   bench_clave_politica [comprobaciones]
#include "access/acceso.h"
#include "access/huella_clave.h"
#include "estadistica.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kComprobaciones = 5;
constexpr int kPulsoMs = 10;
constexpr double kNanosegundosPorMilisegundo = 1e6;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication aplicacion(argc, argv);
    const int comprobaciones = argc > 1 ? std::max(1, std::atoi(argv[1])) : kComprobaciones;
    const QString clave = QStringLiteral("ñandú 中");
    const acceso::Huella huella = acceso::CrearHuella(clave);
    acceso::Cerrojo cerrojo;
    cerrojo.FijarClaveAdministrador(acceso::TextoHuella(huella));

    std::vector<double> derivacion;
    std::vector<double> hueco;
    QElapsedTimer reloj;
    for (int i = 0; i < comprobaciones; ++i) {
        reloj.start();
        if (!acceso::CoincideHuella(huella, clave)) {
            std::fprintf(stderr, "la clave no coincide con su huella\n");
            return EXIT_FAILURE;
        }
        derivacion.push_back(reloj.nsecsElapsed() / kNanosegundosPorMilisegundo);

        QTimer pulso;
        pulso.setTimerType(Qt::PreciseTimer);
        pulso.setInterval(kPulsoMs);
        QElapsedTimer desdeElUltimo;
        double mayor = 0;
        QObject::connect(&pulso, &QTimer::timeout, [&] {
            mayor = std::max(mayor, desdeElUltimo.nsecsElapsed() / kNanosegundosPorMilisegundo);
            desdeElUltimo.restart();
        });
        pulso.start();
        desdeElUltimo.start();
        if (!cerrojo.ClaveCorrecta(clave)) {
            std::fprintf(stderr, "la comprobación rechaza la clave\n");
            return EXIT_FAILURE;
        }
        hueco.push_back(
            std::max(mayor, desdeElUltimo.nsecsElapsed() / kNanosegundosPorMilisegundo));
    }
    std::printf("Clave del administrador: %s, %d iteraciones (%d comprobaciones)\n",
                acceso::kAlgoritmoHuella, huella.iteraciones, comprobaciones);
    std::printf("derivación  mediana %7.1f ms  max %7.1f ms\n", banco::Mediana(derivacion),
                banco::Maximo(derivacion));
    std::printf("hueco       mediana %7.1f ms  max %7.1f ms  (temporizador de %d ms)\n",
                banco::Mediana(hueco), banco::Maximo(hueco), kPulsoMs);
    return EXIT_SUCCESS;
}
