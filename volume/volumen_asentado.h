// Tells the echo of the program's own write from another program's change,
// also on devices that round what they are given: hardware volume steps
// (ALSA controls without dB data), Bluetooth absolute volume (16 or 128
// steps). There every read-back differs from the volume written; compared
// with that, each echo would look like a change, and each correction would
// round the same way again, without end.
//
// What the device reports right after a write of ours has landed is the level
// as this device holds it; later readings are compared with both that and
// the volume written. Linux output only; kept free of Qt.
#pragma once

#include <pulse/def.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cstdint>

namespace volumen {

class VolumenAsentado {
public:
    // How far a channel may read back from the volume written and still be
    // it: servers that convert through floating point give a step or so less
    // (PipeWire reads 255 back as 254). Two steps of 65536 cannot be heard.
    static constexpr pa_volume_t kToleranciaLectura = 2;
    // How long after a write has landed the device's own report of it may
    // come (a hardware control answers after the server has).
    static constexpr std::int64_t kAsentamientoMs = 500;
    // The most a device rounds: a full step of the coarsest devices known
    // (16 steps over the range). A reading farther off is another program's.
    static constexpr pa_volume_t kRedondeoMaximo = PA_VOLUME_NORM / 16;

    // Whether two volumes are the same, channel by channel, within `margen`.
    static bool Iguales(const pa_cvolume& uno, const pa_cvolume& otro,
                        pa_volume_t margen = kToleranciaLectura) {
        if (uno.channels != otro.channels) {
            return false;
        }
        for (unsigned i = 0; i < uno.channels; ++i) {
            const pa_volume_t mayor = std::max(uno.values[i], otro.values[i]);
            const pa_volume_t menor = std::min(uno.values[i], otro.values[i]);
            if (mayor - menor > margen) {
                return false;
            }
        }
        return true;
    }

    // A write of `escrito` to the sink has landed at `ahoraMs`. What the
    // device makes of it is learnt anew each time, so that a change by
    // someone else taken for the device's rounding lasts one write at most.
    void Escrito(const pa_cvolume& escrito, std::uint32_t sumidero, std::int64_t ahoraMs) {
        conocido_ = false;
        escrito_ = escrito;
        sumidero_ = sumidero;
        escritoMs_ = ahoraMs;
    }

    // Whether `leido`, read from the sink when `escrito` is the volume in
    // force, is that level as the device holds it: nothing to correct.
    bool EsElNivel(const pa_cvolume& escrito, std::uint32_t sumidero, const pa_cvolume& leido,
                   std::int64_t ahoraMs) {
        if (Iguales(escrito, leido)) {
            return true;
        }
        if (sumidero != sumidero_ || !Iguales(escrito, escrito_, 0)) {
            return false; // a level or a sink that no write of ours has reached yet
        }
        if (conocido_ && Iguales(asentado_, leido)) {
            return true;
        }
        if (ahoraMs - escritoMs_ <= kAsentamientoMs && Iguales(escrito, leido, kRedondeoMaximo)) {
            asentado_ = leido;
            conocido_ = true;
            return true;
        }
        return false;
    }

    // The connection is gone: the next server may hold other devices.
    void Olvidar() { *this = VolumenAsentado{}; }

private:
    pa_cvolume escrito_{};
    std::uint32_t sumidero_ = PA_INVALID_INDEX;
    std::int64_t escritoMs_ = 0;
    pa_cvolume asentado_{};
    bool conocido_ = false;
};

} // namespace volumen
