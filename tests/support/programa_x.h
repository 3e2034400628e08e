// Drives the real program, run as its own process on an EscritorioX: its
// settings file, its windows found by title, typing into them, its tray icon.
// Shared by the end-to-end tests of the whole program.
#pragma once

#include "support/escritorio_x.h"

#include <QMap>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace programa_x {

inline constexpr int kEsperaMs = 15000; // anything the X server, trayer or the program must do
inline const QString kClaseVentana = QStringLiteral("quelvaren");

// Polls the condition, running this process's events meanwhile.
bool Esperar(const std::function<bool()>& condicion, int esperaMs = kEsperaMs);

// The raw pa_volume_t that the program writes for a level.
std::uint32_t VolumenDeNivel(std::uint32_t nivel);

// Replaces the settings file with these keys of the group Config.
void Sembrar(const QString& archivo, const QMap<QString, QString>& valores);
QString Leido(const QString& archivo, const QString& clave);

// The first visible top-level window with exactly that title, if any.
std::optional<QString> Ventana(const EscritorioX& x, const QString& titulo);
bool EsperarVentana(const EscritorioX& x, const QString& titulo, int esperaMs = kEsperaMs);
// Gives the window the keyboard focus.
bool Enfocar(const EscritorioX& x, const QString& ventana);
// Types into the window, then presses Enter.
bool Teclear(const EscritorioX& x, const QString& ventana, const QString& texto);
// Presses one key (xdotool's names: "Escape", "alt+s") in the window.
bool Tecla(const EscritorioX& x, const QString& ventana, const QString& tecla);
// Where the program's tray icon is, once a tray host has embedded it.
std::optional<EscritorioX::Geometria> Icono(const EscritorioX& x);

// The program's own top-level window with exactly that title (not a window
// manager's frame around it), also while it is minimised or hidden.
std::optional<EscritorioX::IdVentana> VentanaDelPrograma(const EscritorioX& x,
                                                         const QString& titulo);

} // namespace programa_x
