// The console of the command line's options: what every option prints and
// reads goes through here, the same way for each.
//
// On Linux these are the standard channels as they stand. The Windows
// program is a windowed one, with no console of its own: it prints to the
// console of the program that started it (a Command Prompt, PowerShell) or
// wherever its channels are redirected, and reads that console as Unicode,
// so that a password arrives as the characters typed. Started with neither
// (from Explorer, a shortcut), what it would have printed shows in one
// message box at the end.
#pragma once

#include <QString>

namespace consola {

// What a password read at a terminal or a console is asked for with.
inline constexpr char kPreguntaClave[] = "Clave de acceso (no se ve al escribirla): ";

// Readies the standard channels. Call once, before anything is printed or
// read; the application object must exist.
void Abrir();

// One line, its end added, to standard output.
void Escribir(const QString& linea);
// One line, its end added, to standard error.
void EscribirError(const QString& linea);

// The first line of standard input, without its end; no more than `tope`
// bytes of it are read (characters, on a Windows console). Typed on a Windows console it
// arrives as typed; from a pipe or a file it is read as UTF-8 when it is
// valid UTF-8, otherwise in the system's character set (on Windows the
// console's code page, or the ANSI one without a console).
QString LeerLinea(qsizetype tope);
// A password: the first line of standard input as LeerLinea reads it, but
// typed at a terminal or a console it is asked for on standard error and not
// shown while it is typed.
QString LeerClave(qsizetype tope);

// Whether everything written to standard output so far reached it.
bool SalidaCompleta();

// Ends the output: where there is no console, shows what was printed in one
// message box (an error box when anything went to standard error).
void Cerrar();

} // namespace consola
