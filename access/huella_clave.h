// The administrator's access password, kept as a salted, slow hash that no
// one can read the password back from: PBKDF2-HMAC-SHA256 (Qt Network's
// QPasswordDigestor), in one self-describing text,
//
//     $pbkdf2-sha256$<iterations>$<salt>$<hash>
//
// the salt and the hash in base64 without its trailing '='. Nothing in it
// needs quoting in an INI file or the registry.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace acceso {

inline constexpr char kAlgoritmoHuella[] = "pbkdf2-sha256";
// What a new hash takes: the count that OWASP advises today for this
// algorithm. A hash with fewer is still accepted (--comprobar warns).
inline constexpr int kIteracionesHuella = 600000;
// Beyond this count one check would take minutes: such a hash is not used.
inline constexpr int kIteracionesMaximas = 10000000;
// Bytes of a new salt, and the fewest a salt may have without a warning.
inline constexpr int kBytesSal = 16;
// Bytes of the derived key: one SHA-256 block.
inline constexpr int kBytesDerivada = 32;

struct Huella {
    int iteraciones = 0;
    QByteArray sal;
    QByteArray derivada;
};

// Reads a hash text. On anything that is not one, nothing, and `motivo` (when
// given) says what is wrong, in Spanish.
std::optional<Huella> LeerHuella(const QString& texto, QString* motivo = nullptr);
// The text of a hash.
QString TextoHuella(const Huella& huella);
// A new hash of `clave`, with a fresh random salt. The password is taken in
// Unicode's composed form (NFC), so that the same letters typed in another
// way give the same hash.
Huella CrearHuella(const QString& clave, int iteraciones = kIteracionesHuella);
// Whether `clave` is the password of the hash, comparing in constant time.
// Takes as long as the hash's iterations make it (about a second at the
// advised count); it runs on any thread.
bool CoincideHuella(const Huella& huella, const QString& clave);

} // namespace acceso
