// A Windows program made of the Core Audio output alone: linking it proves
// that the output needs nothing beyond ole32. Running it (on Windows) sets
// the default device to half volume on every channel.
#include "volume/salida_volumen.h"

#include <cstdint>

namespace {
constexpr std::uint32_t kMitadEnAmbosCanales = 0x80008000u;
}

int main() {
    const auto salida = volumen::CrearSalidaDelSistema();
    salida->Escribir(kMitadEnAmbosCanales);
    return 0;
}
