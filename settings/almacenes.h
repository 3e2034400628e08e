// The stores the settings are read from, opened afresh at every use: the
// user's own, the machine's preset and (settings/politica.h) the
// administrator's policy. Within the settings room only.
#pragma once

#include "settings/ajustes.h"

#include <QSettings>
#include <memory>
#include <optional>

namespace ajustes {

// The keys of the user's store and the preset, and those an administrator's
// policy may set.
inline constexpr const Clave* kClavesAlmacen[] = {&kPass, &kValor, &kAuto,       &kIntervalo,
                                                  &kModo, &kAviso, &kDispositivo};
inline constexpr const Clave* kClavesPolitica[] = {&kValor, &kAuto,        &kModo,
                                                   &kAviso, &kDispositivo, &kClavePolitica};

// The path of a key in the user's store ("Config/Valor").
QString RutaClave(const Clave& clave);
// The user's own store, the one the program writes.
std::unique_ptr<QSettings> AbrirAlmacen();
// The machine's store, for reading only, and the path of a key in it.
std::unique_ptr<QSettings> AbrirAlmacenDelSistema();
QString RutaEnSistema(const Clave& clave);
// The text a store holds under a path, or nothing when the key is missing.
std::optional<QString> ValorGuardado(const QSettings& almacen, const QString& ruta);

} // namespace ajustes
