// The narrow seam between the program and the platform's audio output.
// Kept free of Qt: the Windows implementation is compiled without it.
#pragma once

#include <cstdint>
#include <memory>

namespace volumen {

// Writes a volume word to the default output device: low 16 bits for the
// left channel(s), high 16 bits for the right channel(s). A write never waits
// on the audio system and never reports failure; the next write tries again.
class SalidaVolumen {
public:
    virtual ~SalidaVolumen() = default;
    virtual void Escribir(std::uint32_t palabra) = 0;
};

// The platform's own output: libpulse on Linux, Core Audio on Windows.
std::unique_ptr<SalidaVolumen> CrearSalidaDelSistema();

} // namespace volumen
