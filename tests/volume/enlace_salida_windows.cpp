// A Windows program made of the Core Audio output alone: linking it proves
// that the output needs nothing beyond ole32. Running it (on Windows) sets
// the default device to half volume on every channel, holds it there for a
// moment (another program's change is put back at once), lets it go, and
// ends: the worker thread and its COM apartment must end with the output.
#include "volume/salida_volumen.h"

#include <chrono>
#include <cstdint>
#include <thread>

namespace {
constexpr std::uint32_t kMitadEnAmbosCanales = 0x80008000u;
constexpr std::uint32_t kCuartoEnAmbosCanales = 0x40004000u;
constexpr auto kSostenido = std::chrono::seconds(1);
} // namespace

int main() {
    {
        const auto salida = volumen::CrearSalidaDelSistema();
        salida->Escribir(kMitadEnAmbosCanales);
        salida->Sostener(true);
        std::this_thread::sleep_for(kSostenido);
        salida->Sostener(false);
        salida->Escribir(kCuartoEnAmbosCanales);
        salida->Escribir(kMitadEnAmbosCanales); // only the newest word need go out
    }
    // The benchmarks' output: Sostener does nothing.
    const auto soloEscribe = volumen::CrearSalidaDelSistema(false);
    soloEscribe->Sostener(true);
    soloEscribe->Escribir(kMitadEnAmbosCanales);
    return 0;
}
