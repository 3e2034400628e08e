#include "access/intentos.h"

#include <algorithm>

namespace acceso {

namespace {

constexpr int kPrimeraEsperaS = 1;
constexpr int kEsperaMaximaS = 30;
// Doublings after which the wait has reached its top and stops growing (and
// the shift below stays small).
constexpr int kDoblesHastaElTope = 5;

int gFallosSeguidos = 0;

} // namespace

int SegundosAntesDeJuzgar() {
    const int dobles = gFallosSeguidos - kFallosSinEspera;
    if (dobles < 0) {
        return 0;
    }
    return std::min(kPrimeraEsperaS << std::min(dobles, kDoblesHastaElTope), kEsperaMaximaS);
}

void AnotarIntento(bool correcta) {
    gFallosSeguidos = correcta ? 0 : gFallosSeguidos + 1;
}

} // namespace acceso
