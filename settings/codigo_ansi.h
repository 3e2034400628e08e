// Single-byte character codes of the system's code page, the form in which the
// password scrambler sees each character. Kept free of Qt so that the Windows
// half can be compile-checked on its own.
#pragma once

#include <optional>

namespace ajustes {

// The lowest and highest single-byte codes.
inline constexpr int kCodigoMinimo = 0;
inline constexpr int kCodigoMaximo = 255;

// The single-byte code of one UTF-16 unit, or nothing when the code page has
// no single-byte code for it (a surrogate half, a character of another script).
std::optional<int> CodigoAnsi(char16_t caracter);

// The character that a single-byte code stands for, or nothing when the code
// is outside 0..255 or the code page leaves it undefined on its own.
std::optional<char16_t> CaracterAnsi(int codigo);

} // namespace ajustes
