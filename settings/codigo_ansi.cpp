#include "settings/codigo_ansi.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace ajustes {

unsigned PaginaDelCifrado(unsigned paginaSistema, unsigned bytesPorCaracter) {
    if (paginaSistema == kPaginaUtf8 || bytesPorCaracter != 1) {
        return kPaginaEuropaOccidental;
    }
    return paginaSistema;
}

#ifdef _WIN32

namespace {

// Windows: the system's ANSI code page, the one the program's texts were
// always stored in, where it has one byte a character. It cannot change
// while the program runs.
UINT Pagina() {
    static const UINT pagina = [] {
        const UINT sistema = GetACP();
        CPINFO info{};
        const unsigned bytes = GetCPInfo(sistema, &info) != FALSE ? info.MaxCharSize : 0u;
        return static_cast<UINT>(PaginaDelCifrado(sistema, bytes));
    }();
    return pagina;
}

} // namespace

// A character that would only map to a "best fit" look-alike or to the
// default character has no code of its own.
std::optional<int> CodigoAnsi(char16_t caracter) {
    const wchar_t ancho = static_cast<wchar_t>(caracter);
    char bytes[2] = {};
    BOOL usoPorDefecto = FALSE;
    const int escritos =
        WideCharToMultiByte(Pagina(), WC_NO_BEST_FIT_CHARS, &ancho, 1, bytes,
                            static_cast<int>(sizeof bytes), nullptr, &usoPorDefecto);
    if (escritos != 1 || usoPorDefecto) {
        return std::nullopt;
    }
    return static_cast<int>(static_cast<unsigned char>(bytes[0]));
}

std::optional<char16_t> CaracterAnsi(int codigo) {
    if (codigo < kCodigoMinimo || codigo > kCodigoMaximo) {
        return std::nullopt;
    }
    const char byte = static_cast<char>(static_cast<unsigned char>(codigo));
    wchar_t anchos[2] = {};
    const int leidos = MultiByteToWideChar(Pagina(), MB_ERR_INVALID_CHARS, &byte, 1, anchos,
                                           static_cast<int>(sizeof anchos / sizeof anchos[0]));
    if (leidos != 1) {
        return std::nullopt;
    }
    return static_cast<char16_t>(anchos[0]);
}

#else

// Elsewhere the single-byte codes are those of Latin-1: the first 256 Unicode
// code points, one to one.
std::optional<int> CodigoAnsi(char16_t caracter) {
    if (caracter > kCodigoMaximo) {
        return std::nullopt;
    }
    return static_cast<int>(caracter);
}

std::optional<char16_t> CaracterAnsi(int codigo) {
    if (codigo < kCodigoMinimo || codigo > kCodigoMaximo) {
        return std::nullopt;
    }
    return static_cast<char16_t>(codigo);
}

#endif

} // namespace ajustes
