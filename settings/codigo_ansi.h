// Single-byte character codes of the system's code page (of Windows-1252 where
// the system's has none), the form in which the password scrambler sees each
// character. Kept free of Qt so that the Windows
// half can be compile-checked on its own.
#pragma once

#include <optional>

namespace ajustes {

// The lowest and highest single-byte codes.
inline constexpr int kCodigoMinimo = 0;
inline constexpr int kCodigoMaximo = 255;

// Code pages by their Windows numbers.
inline constexpr unsigned kPaginaEuropaOccidental = 1252; // Windows-1252
inline constexpr unsigned kPaginaUtf8 = 65001;

// The code page the scrambler works in, given the system's ANSI code page and
// the most bytes one of its characters takes (0 when unknown). The system's
// own when it is known to have one byte a character; otherwise (UTF-8, the
// East Asian double-byte pages) Windows-1252, since there the codes 128..255
// are no characters on their own and most passwords could not be stored.
unsigned PaginaDelCifrado(unsigned paginaSistema, unsigned bytesPorCaracter);

// The single-byte code of one UTF-16 unit, or nothing when the code page has
// no single-byte code for it (a surrogate half, a character of another script).
std::optional<int> CodigoAnsi(char16_t caracter);

// The character that a single-byte code stands for, or nothing when the code
// is outside 0..255 or the code page leaves it undefined on its own.
std::optional<char16_t> CaracterAnsi(int codigo);

} // namespace ajustes
