// What the output does about the device's volume, decided in one place for
// every platform: what a write or a change calls for in the mode (the
// device's channels, its mute, which devices and streams are held), whether
// another program's change is undone now, the bound on fights and the check
// at the end of a pause, the notice, and when writing starts to fail or
// works again. The outputs only read and write the device and tell this
// class what they saw. Kept free of Qt and of platform headers; time is in
// milliseconds of a steady clock, given by the caller.
#pragma once

#include "volume/salida_volumen.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace volumen {

// A device's channels, each as a fraction of full volume (1 is 100 %; a
// Linux device may go beyond it). A device that has no channels of its own
// is given as one: its master volume.
using Canales = std::vector<double>;

// Why the output asks.
enum class Motivo {
    Escritura,        // the level is written: the activation, a tick
    Cambio,           // the device told of a change of its volume
    NuevoDispositivo, // another device is the one held now: a new default,
                      // the chosen one back, a device or a stream first seen
                      // under a ceiling
    FinPausa,         // a pause of corrections is over: the device is checked
};

// Whose change the device told of: the echo of the output's own write, or
// anyone else's.
enum class Origen { Propio, Ajeno };

// What to do.
struct Decision {
    Canales objetivo;               // every channel as it must be
    std::vector<std::size_t> mover; // the channels to write; none: write nothing
    bool desilenciar = false;       // the device's mute is to be undone
    bool avisar = false;            // someone else's change is undone: tell the caller
    bool pausa = false;             // a fight: listen to nothing until FinPausaMs(),
                                    // then check with Motivo::FinPausa

    // Nothing to write to the device.
    bool Nada() const { return mover.empty() && !desilenciar; }
};

class PoliticaCorrecciones {
public:
    // The bound on fights. Every change from outside is undone at once up to
    // kCorreccionesPorSegundo in any second: a person, even with a volume
    // key held down (about 30 changes a second), never meets the bound. One
    // more within that second is a machine: corrections pause for one beat
    // of the cycle (whose ticks go on writing), then the device is checked
    // and corrected once, and they may go out again.
    static constexpr std::size_t kCorreccionesPorSegundo = 50;
    static constexpr std::int64_t kVentanaMs = 1000;
    static constexpr std::int64_t kPausaMs = kIntervaloControlMs;

    // `tolerancia`: how far a channel may read from its value and still be
    // it, for the platform's own rounding.
    explicit PoliticaCorrecciones(double tolerancia)
        : tolerancia_(tolerancia) {}

    // A stream's own volume at full (1), as a ceiling holds it (see LimitarFlujos).
    static constexpr double kVolumenPleno = 1.0;

    void Configurar(Modo modo) { modo_ = modo; }

    // Which devices are held. Under Tope the ceiling holds on every output
    // device, whichever is the default or chosen (in any mixer a player can
    // be moved to another output); otherwise the one device held is the
    // default, or the chosen one.
    static bool CadaDispositivo(Modo modo) { return modo == Modo::Tope; }
    bool CadaDispositivo() const { return CadaDispositivo(modo_); }
    // Whether the applications' own streams are held too: under Tope none may
    // be louder than the ceiling, so a stream whose own volume goes beyond
    // full (Linux servers allow 150 % and more) comes back to full, at once,
    // as a device does. Decidir takes a stream with NivelFlujo as its level.
    bool LimitarFlujos() const { return modo_ == Modo::Tope; }
    static Canales NivelFlujo(std::size_t canales) { return Canales(canales, kVolumenPleno); }
    // Forgets past corrections and any pause: a new hold starts afresh.
    void Reiniciar();

    // What the channels must be, given what the level gives each of them
    // (`nivel`) and what the device holds (`actual`, nothing when it could
    // not be read): the level held in the mode, channel by channel.
    Canales Objetivo(const Canales& nivel, const std::optional<Canales>& actual) const;

    // What to do, and when, about the device. Under Fijo a write moves every
    // channel; otherwise only what is beyond the mode moves. Else a device
    // that reads as the output's own write (`origen`), or within the mode,
    // asks for nothing; a new device is given the level at once, outside the
    // bound and without a notice; anyone else's change is undone within the
    // bound, with a notice. Under Piso a muted device (`silenciado`) is
    // unmuted as a channel below the floor is raised: a floor that a mute
    // beats is no floor. The output never mutes, so a mute is never its own
    // echo. Under Fijo and Tope the mute is the user's.
    Decision Decidir(Motivo motivo, const Canales& nivel, const std::optional<Canales>& actual,
                     std::int64_t ahoraMs, Origen origen = Origen::Ajeno, bool silenciado = false);

    bool EnPausa(std::int64_t ahoraMs) const { return ahoraMs < finPausaMs_; }
    // When the pause in course ends.
    std::int64_t FinPausaMs() const { return finPausaMs_; }

    // How a write went. The new state when it differs from the last one
    // told: writing starts to fail, fails for another reason, or works again.
    std::optional<EstadoSalida> Resultado(EstadoSalida estado);
    EstadoSalida Estado() const { return estado_; }

private:
    bool Permitir(std::int64_t ahoraMs);
    std::vector<std::size_t> Distintos(const Canales& objetivo,
                                       const std::optional<Canales>& actual) const;

    double tolerancia_;
    Modo modo_ = Modo::Fijo;
    std::array<std::int64_t, kCorreccionesPorSegundo> momentos_{}; // ring of the last ones
    std::size_t siguiente_ = 0; // the oldest entry once the ring is full
    std::size_t cuenta_ = 0;
    std::int64_t finPausaMs_ = 0;
    EstadoSalida estado_ = EstadoSalida::Escribe;
};

} // namespace volumen
