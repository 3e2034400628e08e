#include "volume/volumen.h"

#include <cmath>
#include <limits>

namespace volumen {

std::uint16_t RecortarNivel(std::int32_t nivelGuardado) {
    // The low 16 bits: a negative level as its two's complement.
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(nivelGuardado) & 0xFFFFu);
}

std::int16_t NivelAPosicion(double nivel) {
    return static_cast<std::int16_t>(std::trunc(nivel / kUnidadesPorPosicion));
}

std::int32_t PosicionANivel(std::int16_t posicion) {
    return static_cast<std::int32_t>(posicion) * kUnidadesPorPosicion;
}

std::optional<std::uint16_t> CanalDeTexto(const QString& textoNivel) {
    bool ok = false;
    const double nivel = textoNivel.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(nivel)) {
        return std::nullopt;
    }
    // The level plus 65536 must be a signed 32-bit whole number; halves go to even.
    const double suma = std::nearbyint(nivel + kModuloNivel);
    if (suma < std::numeric_limits<std::int32_t>::min() ||
        suma > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return RecortarNivel(static_cast<std::int32_t>(suma));
}

void FijarVolumen(const QString& textoNivel, SalidaVolumen& salida) {
    if (const auto canal = CanalDeTexto(textoNivel)) {
        salida.Escribir(PalabraVolumen(*canal));
    }
}

CicloControl::CicloControl(SalidaVolumen& salida, std::function<QString()> textoNivel,
                           QObject* padre)
    : QObject(padre)
    , salida_(salida)
    , textoNivel_(std::move(textoNivel)) {
    Timer.setObjectName(QStringLiteral("Timer"));
    Timer.setInterval(kIntervaloControlMs);
    // The coarse timer drifts by up to 5 %; the level is held on a steady beat.
    Timer.setTimerType(Qt::PreciseTimer);
    connect(&Timer, &QTimer::timeout, this, &CicloControl::Timer_Timer);
}

void CicloControl::Arrancar() {
    FijarVolumen(textoNivel_(), salida_);
    salida_.Sostener(true);
    Timer.start();
}

void CicloControl::Parar() {
    Timer.stop();
    salida_.Sostener(false);
}

void CicloControl::Timer_Timer() { FijarVolumen(textoNivel_(), salida_); }

} // namespace volumen
