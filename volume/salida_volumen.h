// The narrow seam between the program and the platform's audio output.
// Kept free of Qt: the Windows implementation is compiled without it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace volumen {

// The beat of the enforcement cycle: one write every two seconds. The
// output's own back-offs never wait longer than one beat.
inline constexpr int kIntervaloControlMs = 2000;

// How the level is held. Fijo: each channel at the level. Tope: the level is
// a ceiling: a channel above it comes down to it, one at or below it is left
// alone; it holds on every output device, and no application's own stream
// may go beyond full volume. Piso: the level is a floor, the mirror of Tope,
// and the device's mute is undone. Under Fijo and Tope the mute is the user's.
// PoliticaCorrecciones decides what each mode calls for.
enum class Modo { Fijo, Tope, Piso };

// What a channel must be, given what it is and the level for it.
template <typename Valor> constexpr Valor ValorEnModo(Modo modo, Valor actual, Valor nivel) {
    switch (modo) {
    case Modo::Tope:
        return std::min(actual, nivel);
    case Modo::Piso:
        return std::max(actual, nivel);
    case Modo::Fijo:
        break;
    }
    return nivel;
}

// Which device is held and how.
struct Preferencias {
    Modo modo = Modo::Fijo;
    // Empty: the default output device, whichever it is at each moment.
    // Otherwise one device by name (Linux: the sink's name; Windows: the
    // endpoint's ID), held whether or not it is the default; while it is
    // absent nothing is written, and when it appears it gets the level.
    // Under Tope, which holds every device, it plays no part.
    std::string dispositivo;
};

// Whether the level can be written to the device held, and if not, why.
enum class EstadoSalida {
    Escribe,     // the device takes the level
    NoResponde,  // the audio system or the device does not answer, or refuses it
    NoConectado, // no device to hold: the chosen one is absent, or there is no output
};

// Writes a volume word to the default output device: low 16 bits for the
// left channel(s), high 16 bits for the right channel(s). A write never waits
// on the audio system and returns nothing; the next write tries again, and
// AlCambiarEstado tells when writing fails and when it works again.
class SalidaVolumen {
public:
    virtual ~SalidaVolumen() = default;
    // Writes the word to the current default device. The word written last
    // is the level in force, the one that Sostener holds.
    virtual void Escribir(std::uint32_t palabra) = 0;
    // While held, the output watches the default device and writes the level
    // in force back at once whenever the device's volume differs from it: a
    // change by another program or by the volume keys, a new default device,
    // a server back after a loss. Corrections are bounded by
    // PoliticaCorrecciones.
    // Released, nothing is written but by Escribir.
    virtual void Sostener(bool sostener) = 0;
    // Before the first write. With the defaults the output behaves as
    // described above. Under Tope and Piso a write (the activation, every
    // tick) only brings the channels that are beyond the level to it.
    virtual void Configurar(const Preferencias& /*preferencias*/) {}
    // Called on the output's own thread each time a change made by someone
    // else is undone or limited while held (never for the output's own
    // writes). An empty function stops the calls; once set to empty, no call
    // is running or comes later.
    virtual void AlCorregir(std::function<void()> /*aviso*/) {}
    // Called on the output's own thread when writing starts to fail (with
    // why), fails for another reason, or works again; at once, from here,
    // when it is failing as the function is set. An empty function stops
    // the calls as AlCorregir does.
    virtual void AlCambiarEstado(std::function<void(EstadoSalida)> /*aviso*/) {}
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
