// The command line. Its own options print something and end the program:
// they need no graphical session, start no audio output, write no settings
// and never reach a copy of the program that is already running.
//
//   --help, -h            the options
//   --version, -v         "Quelvaren <version>"
//   --dispositivos        the audio output devices, one a line: the name (the
//                         sink's name on Linux, the endpoint's ID on
//                         Windows), a tab and the description, the default
//                         one ending in " (predeterminado)"
//   --clave-preajuste     reads an access password from standard input (one
//                         line) and prints the line that presets it for every
//                         user (see settings/linea_preajuste.h)
//   --clave-politica      reads an access password the same way and prints
//                         the line that sets it in the administrator's
//                         policy: "Clave=" and its hash (access/huella_clave.h)
//   --comprobar           every value in force and where it comes from, then
//                         warnings and errors (see ajustes::Comprobar)
//
// One of them at a time; arguments that are no option are an error.
//
// Qt's own options (-platform, -style, -session...) are left for the
// application, as before; any other option is an error. What the options
// print and read goes through app/consola.h: on Windows to the console the
// program was started from, or to a message box when there is none.
#pragma once

#include <optional>

namespace linea_ordenes {

// Exit code when an option cannot do its work (no audio server, a password
// that cannot be stored), and when the command line is not understood (an
// option that is not known).
inline constexpr int kSalidaError = 1;
// Options that cannot go together, or stray arguments.
inline constexpr int kSalidaUso = 2;
// --comprobar: warnings; a policy that cannot be used.
inline constexpr int kSalidaAvisos = 1;
inline constexpr int kSalidaPoliticaInservible = 2;

// The marker after the default device's description.
inline constexpr char kMarcaPredeterminado[] = " (predeterminado)";

// Call first in main(), before anything else starts. When the command line
// asks for one of the options above, or holds an option that is not known,
// handles it and returns the exit code. Otherwise returns nothing and the
// program starts as usual.
std::optional<int> Atender(int argc, char* argv[]);

} // namespace linea_ordenes
