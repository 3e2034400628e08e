// The administrator's policy at its real path, /etc/quelvaren/politica.conf,
// for tests that tests/support/etc_propio.sh runs: their /etc is an overlay
// that only their process tree sees. Anywhere else nothing is written.
#pragma once

#include "access/huella_clave.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace politica_prueba {

// A cheap hash for tests: the program takes any count of iterations.
inline constexpr int kIteracionesPrueba = 1000;

// Whether /etc is this test's own (an overlay in a mount namespace of its own).
bool EtcPropio();
// Writes the policy file: the group [Config] with these keys, owned by root,
// mode 0644. False, saying why, when /etc is not the test's own.
bool Poner(const QMap<QString, QString>& valores);
bool Quitar();
// The policy's Clave for a password (the access room makes it).
inline QString Clave(const QString& clave) {
    return acceso::TextoHuella(acceso::CrearHuella(clave, kIteracionesPrueba));
}

} // namespace politica_prueba

// Skips the case where /etc is not the test's own.
#define QUELVAREN_CON_ETC_PROPIO()                                                                 \
    do {                                                                                           \
        if (!politica_prueba::EtcPropio()) {                                                       \
            QSKIP("sin /etc propio (tests/support/etc_propio.sh, como root)");                     \
        }                                                                                          \
    } while (false)
