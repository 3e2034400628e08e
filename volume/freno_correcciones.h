// The bound on corrective writes while another program fights over the level.
// Kept free of Qt: both platforms' outputs use it on their own threads.
#pragma once

#include "volume/salida_volumen.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace volumen {

// Corrections go out at once up to kCorreccionesPorSegundo in any second.
// One more asked for within that second means a fight: corrections pause for
// one beat of the cycle (whose tick keeps writing), then may go out again.
// Time is in milliseconds of a steady clock, given by the caller.
class FrenoCorrecciones {
public:
    static constexpr std::size_t kCorreccionesPorSegundo = 5;
    static constexpr std::int64_t kVentanaMs = 1000;
    static constexpr std::int64_t kPausaMs = kIntervaloControlMs;

    // Whether a correction may go out now; counts it when it may.
    bool Permitir(std::int64_t ahoraMs) {
        if (ahoraMs < finPausaMs_) {
            return false;
        }
        const std::int64_t masAntigua = momentos_[siguiente_];
        if (cuenta_ == kCorreccionesPorSegundo && ahoraMs - masAntigua < kVentanaMs) {
            finPausaMs_ = ahoraMs + kPausaMs;
            ++pausas_;
            return false;
        }
        momentos_[siguiente_] = ahoraMs;
        siguiente_ = (siguiente_ + 1) % kCorreccionesPorSegundo;
        if (cuenta_ < kCorreccionesPorSegundo) {
            ++cuenta_;
        }
        return true;
    }

    // Forgets past corrections (a new hold starts afresh).
    void Reiniciar() { *this = FrenoCorrecciones{}; }

    // Whether corrections are paused at this moment.
    bool EnPausa(std::int64_t ahoraMs) const { return ahoraMs < finPausaMs_; }
    // How many fights were detected so far.
    std::uint64_t Pausas() const { return pausas_; }

private:
    std::array<std::int64_t, kCorreccionesPorSegundo> momentos_{}; // ring of the last ones
    std::size_t siguiente_ = 0; // oldest entry once the ring is full
    std::size_t cuenta_ = 0;
    std::int64_t finPausaMs_ = 0;
    std::uint64_t pausas_ = 0;
};

} // namespace volumen
