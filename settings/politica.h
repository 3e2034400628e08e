// Where the administrator's policy lives on each platform: the narrow seam
// between the settings and the platform (politica_unix.cpp,
// politica_windows.cpp). Within the settings room only.
#pragma once

#include "settings/ajustes.h"

#include <QSettings>
#include <memory>

namespace ajustes::politica {

// How an administrator names it: the file's path, or the registry key.
QString Ubicacion();
// Whether the policy is there: the file, or the key.
bool Existe();
// The policy's store, for reading only. Its values are read by the paths
// that Ruta gives; a store that cannot be read holds nothing.
std::unique_ptr<QSettings> Abrir();
// The group that holds the policy's values in that store: "Config" in the
// file, "Quelvaren" under HKEY_LOCAL_MACHINE\Software\Policies.
QString Grupo();
inline QString Ruta(const Clave& clave) {
    return Grupo() + QLatin1Char('/') + QLatin1String(clave.nombre);
}
// Whether the names of groups and keys are told apart by case (the file:
// yes; the registry: no). Where they are, the groups beside Grupo() are
// the policy's too.
bool DistingueMayusculas();
// What --comprobar says of how the policy is kept: whether it exists, who
// may write it, whether every user can read it.
void RevisarProteccion(Comprobacion& comprobacion);

} // namespace ajustes::politica
