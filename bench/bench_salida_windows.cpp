// The Windows output's answer to another program's change, under Wine,
// against doubles of Core Audio (tests/support/dobles_core_audio.h; Wine's
// own endpoint volume answers every level call with E_NOTIMPL). It measures
// the program's own code path (the callback's note, the worker, the
// correction policy, the write) as Wine runs it, not a real Windows audio
// stack: there the audio service's own delivery of the notification and the
// driver's work come on top.
//
// The real output holds the level on a stereo endpoint; another program
// changes its volume (the double calls the registered callback from a thread
// of its own, as Windows does), each change some time after the last one was
// undone, at most a few dozen a second, so the bound on fights never steps
// in. Each change is timed from the moment it is made until the double has
// taken the output's write of every channel.
//
//   bench_salida_windows.exe [changes, 200 by default]
#include "estadistica.h"
#include "support/dobles_core_audio.h"
#include "volume/salida_windows.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace {

using dobles::Reloj;
using Ms = std::chrono::duration<double, std::milli>;

constexpr int kCambiosPorDefecto = 200;
constexpr std::uint16_t kCanalMitad = 0x8000;            // the level held: half volume
constexpr std::uint32_t kCanalEnAmbasMitades = 0x10001u; // the word carries it twice
constexpr std::uint32_t kMitad = kCanalMitad * kCanalEnAmbasMitades;
constexpr float kCanalMaximo = 65535.0f; // a channel value at full volume
constexpr float kMitadEscalar = kCanalMitad / kCanalMaximo;
constexpr float kAjenos[] = {0.2f, 0.8f}; // another program's levels, in turn
constexpr UINT kCanales = 2;
constexpr int kHuecoMinimoMs = 25; // at most 40 changes a second
constexpr int kHuecoMaximoMs = 125;
constexpr auto kEsperaVuelta = std::chrono::seconds(5);
constexpr auto kSondeo = std::chrono::microseconds(200);
constexpr int kPercentil99 = 99;

// Waits until the double holds `cuantas` writes; false when it does not in time.
bool EsperarEscrituras(dobles::VolumenDoble& volumen, std::size_t cuantas) {
    const auto limite = Reloj::now() + kEsperaVuelta;
    while (volumen.Escrituras().size() < cuantas) {
        if (Reloj::now() > limite) {
            return false;
        }
        std::this_thread::sleep_for(kSondeo);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    const int cambios = argc > 1 ? std::max(1, std::atoi(argv[1])) : kCambiosPorDefecto;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    dobles::Notificador notificador;
    dobles::DispositivoDoble dispositivo{notificador, L"{0.0.0.00000000}.{banco}", kCanales};
    dobles::EnumeradorDoble enumerador{notificador, {&dispositivo}};
    dobles::VolumenDoble& volumen = dispositivo.volumen;
    auto salida = volumen::CrearSalidaWindows(
        [&enumerador](IMMDeviceEnumerator** e) { return enumerador.Fabricar(e); });
    salida->Escribir(kMitad);
    salida->Sostener(true);
    if (!EsperarEscrituras(volumen, kCanales)) {
        std::fprintf(stderr, "el nivel no llegó al doble\n");
        return EXIT_FAILURE;
    }

    std::mt19937 azar(std::random_device{}());
    std::uniform_int_distribution<int> hueco(kHuecoMinimoMs, kHuecoMaximoMs);
    std::vector<double> vueltasMs;
    for (int i = 0; i < cambios; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(hueco(azar)));
        const std::size_t antes = volumen.Escrituras().size();
        const auto inicio = Reloj::now();
        volumen.Ajeno(kAjenos[i % 2]);
        if (!EsperarEscrituras(volumen, antes + kCanales)) {
            std::fprintf(stderr, "un cambio no se deshizo\n");
            return EXIT_FAILURE;
        }
        const auto escrituras = volumen.Escrituras();
        const auto& ultima = escrituras[antes + kCanales - 1];
        if (ultima.valor != kMitadEscalar) {
            std::fprintf(stderr, "la corrección escribió otro nivel\n");
            return EXIT_FAILURE;
        }
        vueltasMs.push_back(Ms(ultima.cuando - inicio).count());
    }
    salida.reset();
    CoUninitialize();
    std::printf("Wine, dobles de Core Audio: del cambio ajeno a la escritura de todos los canales: "
                "mediana %.2f ms, p99 %.2f ms, max %.2f ms (%d cambios)\n",
                banco::Mediana(vueltasMs), banco::Percentil(vueltasMs, kPercentil99),
                banco::Maximo(vueltasMs), cambios);
    return EXIT_SUCCESS;
}
