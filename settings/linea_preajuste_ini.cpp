// The preset's line for the INI file of the machine's store, escaped the way
// the store's reader undoes it: every character outside printable ASCII as
// \x and its code in hexadecimal (the reader takes every hexadecimal digit
// that follows, so a digit right after such an escape is escaped too), a
// backslash or a double quote after a backslash, and the whole value in
// double quotes where it holds what would end or split it unquoted.
#include "settings/linea_preajuste.h"

namespace ajustes {
namespace {

constexpr char16_t kPrimerImprimible = u' ';
constexpr char16_t kUltimoImprimible = u'~';
constexpr char kEspacio = ' ';
constexpr char kComillas = '"';
constexpr char kBarra = '\\';
constexpr int kBaseHexadecimal = 16;
// A value that starts with this is read as a typed value ("@Rect(...)",
// "@Invalid()"); "@@" stands for one '@'.
constexpr char16_t kMarcaDeTipo = u'@';

bool EsDigitoHexadecimal(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Unquoted, ';' starts a comment and ',' splits the value into a list; '='
// is quoted as the store itself quotes it.
bool PideComillas(char16_t c) {
    return c == u';' || c == u',' || c == u'=';
}

QByteArray Escapar(const QString& valor) {
    QByteArray escrito;
    bool comillas = false;
    bool trasEscapeHexadecimal = false;
    for (const QChar caracter : valor) {
        const char16_t c = caracter.unicode();
        comillas = comillas || PideComillas(c);
        const bool imprimible = c >= kPrimerImprimible && c <= kUltimoImprimible;
        if (!imprimible || (trasEscapeHexadecimal && EsDigitoHexadecimal(c))) {
            escrito += kBarra;
            escrito += 'x';
            escrito += QByteArray::number(c, kBaseHexadecimal);
            trasEscapeHexadecimal = true;
            continue;
        }
        trasEscapeHexadecimal = false;
        if (c == kBarra || c == kComillas) {
            escrito += kBarra;
        }
        escrito += static_cast<char>(c);
    }
    // Spaces at either end are trimmed from an unquoted value.
    if (comillas || escrito.startsWith(kEspacio) || escrito.endsWith(kEspacio)) {
        escrito = kComillas + escrito + kComillas;
    }
    return escrito;
}

} // namespace

QByteArray LineaPreajuste(const Clave& clave, const QString& valor) {
    const QString leido = valor.startsWith(kMarcaDeTipo) ? QChar(kMarcaDeTipo) + valor : valor;
    return QByteArray(clave.nombre) + '=' + Escapar(leido);
}

} // namespace ajustes
