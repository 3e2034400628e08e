#include "access/intentos.h"

#include <algorithm>

namespace acceso {

namespace {

constexpr int kPrimeraEsperaS = 1;
constexpr int kEsperaMaximaS = 30;
// Doublings after which the wait has reached its top and stops growing (and
// the shift below stays small).
constexpr int kDoblesHastaElTope = 5;

} // namespace

int Intentos::SegundosAntesDeJuzgar() const {
    const int dobles = fallosSeguidos_ - kFallosSinEspera;
    if (dobles < 0) {
        return 0;
    }
    return std::min(kPrimeraEsperaS << std::min(dobles, kDoblesHastaElTope), kEsperaMaximaS);
}

void Intentos::Anotar(bool correcta) {
    fallosSeguidos_ = correcta ? 0 : fallosSeguidos_ + 1;
}

} // namespace acceso
