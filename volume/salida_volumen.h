// The narrow seam between the program and the platform's audio output.
// Kept free of Qt: the Windows implementation is compiled without it.
#pragma once

#include <cstdint>
#include <memory>

namespace volumen {

// The beat of the enforcement cycle: one write every two seconds. The
// output's own back-offs never wait longer than one beat.
inline constexpr int kIntervaloControlMs = 2000;

// Writes a volume word to the default output device: low 16 bits for the
// left channel(s), high 16 bits for the right channel(s). A write never waits
// on the audio system and never reports failure; the next write tries again.
class SalidaVolumen {
public:
    virtual ~SalidaVolumen() = default;
    // Writes the word to the current default device. The word written last
    // is the level in force, the one that Sostener holds.
    virtual void Escribir(std::uint32_t palabra) = 0;
    // While held, the output watches the default device and writes the level
    // in force back at once whenever the device's volume differs from it: a
    // change by another program or by the volume keys, a new default device,
    // a server back after a loss. Corrections are bounded by FrenoCorrecciones.
    // Released, nothing is written but by Escribir.
    virtual void Sostener(bool sostener) = 0;
};

// The platform's own output: libpulse on Linux, Core Audio on Windows.
// Connects to the audio system at once (never starting a server). With
// restaurarAlCambiar false, Sostener does nothing: the benchmarks measure the
// two-second cycle alone with it.
// On Windows, a level written just before the output is destroyed still goes
// out: the destructor waits one beat at most for the worker to write it and
// end. A worker held up longer by the audio service is let go, and writes it
// only if the service answers while the process still runs.
std::unique_ptr<SalidaVolumen> CrearSalidaDelSistema(bool restaurarAlCambiar = true);

} // namespace volumen
