// One key of the machine's store written out for an administrator to paste
// into the preset: printable ASCII only, so that no terminal, editor or
// e-mail on the way loses a character, and read back by the store exactly as
// given.
#pragma once

#include "settings/ajustes.h"

#include <QByteArray>
#include <QString>

namespace ajustes {

// The line that gives the key `valor` in the machine's store, without its end
// of line. On Linux a line of the [Config] group of <name>.conf
// ("Pass=..."); on Windows a line of a registry file (.reg) for the key
// HKEY_LOCAL_MACHINE\Software\<name>\Config ("\"Pass\"=hex(1):...").
QByteArray LineaPreajuste(const Clave& clave, const QString& valor);

} // namespace ajustes
