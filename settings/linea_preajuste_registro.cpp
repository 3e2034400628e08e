// The preset's line for a registry file (.reg, "Windows Registry Editor
// Version 5.00"): the value as REG_SZ written out byte by byte, hex(1), in
// UTF-16 little-endian with its final null, so that any character goes
// through unchanged.
#include "settings/linea_preajuste.h"

namespace ajustes {
namespace {

constexpr char kPrefijoCadena[] = "hex(1):"; // REG_SZ as bytes
constexpr int kBaseHexadecimal = 16;
constexpr int kAnchoByte = 2; // hexadecimal digits
constexpr unsigned kBitsByte = 8;
constexpr unsigned kMascaraByte = 0xFFu;

void AgregarByte(QByteArray& escrito, unsigned byte) {
    if (!escrito.endsWith(':')) {
        escrito += ',';
    }
    escrito += QByteArray::number(byte, kBaseHexadecimal).rightJustified(kAnchoByte, '0');
}

} // namespace

QByteArray LineaPreajuste(const Clave& clave, const QString& valor) {
    QByteArray escrito = '"' + QByteArray(clave.nombre) + "\"=" + kPrefijoCadena;
    // The final null is part of a REG_SZ.
    const QString conNulo = valor + QChar(u'\0');
    for (const QChar caracter : conNulo) {
        const unsigned unidad = caracter.unicode();
        AgregarByte(escrito, unidad & kMascaraByte);
        AgregarByte(escrito, (unidad >> kBitsByte) & kMascaraByte);
    }
    return escrito;
}

} // namespace ajustes
