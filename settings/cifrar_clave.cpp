// The password scrambler: shifts each character's single-byte code up or down
// by the base plus its position, in 16-bit signed arithmetic.

#include "settings/ajustes.h"
#include "settings/codigo_ansi.h"

#include <limits>

namespace ajustes {

namespace {

constexpr int kMinimo16 = std::numeric_limits<std::int16_t>::min();
constexpr int kMaximo16 = std::numeric_limits<std::int16_t>::max();

// Sums are done in int, wide enough for any two 16-bit values, and then
// checked against the 16-bit range the routine works in.
constexpr bool Cabe16(long long valor) {
    return valor >= kMinimo16 && valor <= kMaximo16;
}

std::optional<QString> Fallo(ErrorCifrado motivo, ErrorCifrado* error) {
    if (error != nullptr) {
        *error = motivo;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> CifrarClave(bool modo, const QString& texto, std::int16_t base,
                                   ErrorCifrado* error) {
    if (error != nullptr) {
        *error = ErrorCifrado::Ninguno;
    }
    if (texto.isEmpty()) {
        return QString();
    }
    if (!Cabe16(texto.size())) {
        return Fallo(ErrorCifrado::Desbordamiento, error);
    }
    const int longitud = static_cast<int>(texto.size());

    QString resultado;
    resultado.reserve(longitud);
    for (int posicion = 1; posicion <= longitud; ++posicion) {
        const std::optional<int> codigo = CodigoAnsi(texto.at(posicion - 1).unicode());
        if (!codigo) {
            return Fallo(ErrorCifrado::ArgumentoNoValido, error);
        }
        const int desplazamiento = base + posicion;
        if (!Cabe16(desplazamiento)) {
            return Fallo(ErrorCifrado::Desbordamiento, error);
        }
        const bool esPar = posicion % 2 == 0;
        const bool sube = esPar == modo;
        const int nuevo = sube ? *codigo + desplazamiento : *codigo - desplazamiento;
        if (!Cabe16(nuevo)) {
            return Fallo(ErrorCifrado::Desbordamiento, error);
        }
        const std::optional<char16_t> caracter = CaracterAnsi(nuevo);
        if (!caracter) {
            return Fallo(ErrorCifrado::ArgumentoNoValido, error);
        }
        resultado.append(QChar(*caracter));
    }
    return resultado;
}

} // namespace ajustes
