// The volume room: the level arithmetic, the device write and the two-second
// cycle that holds the level, over the output seam (volume/salida_volumen.h,
// free of Qt). On the ground floor: it uses Qt Core and the platform's audio
// alone, never Qt Widgets.
#pragma once

#include "volume/salida_volumen.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

namespace volumen {

inline constexpr std::int32_t kNivelMaximo = 65535;          // full volume
inline constexpr std::int32_t kModuloNivel = 65536;          // levels are reduced, not clamped
inline constexpr int kPosicionMaxima = 32767;                // scroll bar range 0..32767
inline constexpr int kUnidadesPorPosicion = 2;               // one scroll step is two levels
inline constexpr std::uint32_t kCanalEnAmbasMitades = 65537; // v * 65537 = v in both halves

// A stored level reduced to 0..65535 (its low 16 bits).
std::uint16_t RecortarNivel(std::int32_t nivelGuardado);
// A level 0..65535 to its scroll position (halved, cut toward zero).
std::int16_t NivelAPosicion(double nivel);
// A scroll position to its level (doubled, in 32-bit arithmetic).
std::int32_t PosicionANivel(std::int16_t posicion);

// The channel value that a level text gives: the text read as a decimal
// number, rounded half to even, reduced modulo 65536. Empty or non-numeric
// text, or a number beyond the signed 32-bit range, gives nothing.
std::optional<std::uint16_t> CanalDeTexto(const QString& textoNivel);
// The volume word carrying the channel value in both halves.
constexpr std::uint32_t PalabraVolumen(std::uint16_t canal) {
    return canal * kCanalEnAmbasMitades;
}

// Writes the level text to the output; text that is not a level skips the write.
void FijarVolumen(const QString& textoNivel, SalidaVolumen& salida);

// The enforcement cycle: while active, writes the level text that the
// provider returns at that moment, once at start and then at every tick.
class CicloControl : public QObject {
    Q_OBJECT
public:
    CicloControl(SalidaVolumen& salida, std::function<QString()> textoNivel,
                 QObject* padre = nullptr);

    void Arrancar(); // writes at once, then every kIntervaloControlMs
    void Parar();    // stops the ticks; the device keeps the last level written
    bool Activo() const { return Timer.isActive(); }
    const QTimer& Temporizador() const { return Timer; }

    void Timer_Timer();

private:
    SalidaVolumen& salida_;
    std::function<QString()> textoNivel_;
    QTimer Timer;
};

} // namespace volumen
