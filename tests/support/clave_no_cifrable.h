// A password that the program's scrambler refuses, found by asking the
// scrambler itself: `prefijo`, which it takes, and then the highest character
// it cannot take after it. For a test of what the program does with a
// password it cannot keep (modo true: a typed one that cannot be stored;
// false: a stored one that cannot be read back).
#pragma once

#include "settings/ajustes.h"

#include <QChar>
#include <QString>
#include <optional>

inline constexpr char16_t kCodigoMaximoCifrable = 0xFF; // one byte per character

inline std::optional<QString> ClaveNoCifrable(const QString& prefijo, bool modo = true) {
    if (!ajustes::CifrarClave(modo, prefijo, ajustes::kBaseCifrado)) {
        return std::nullopt;
    }
    for (char16_t codigo = kCodigoMaximoCifrable; codigo > 0; --codigo) {
        const QString clave = prefijo + QChar(codigo);
        if (!ajustes::CifrarClave(modo, clave, ajustes::kBaseCifrado)) {
            return clave;
        }
    }
    return std::nullopt;
}
