// The audio output devices the system offers, for the command line
// (--dispositivos). Kept free of Qt: the Windows implementation is compiled
// without it.
#pragma once

#include <string>
#include <vector>

namespace volumen {

// One output device. Both texts are UTF-8.
struct Dispositivo {
    // What the program calls it, the name the Dispositivo key takes: the
    // sink's name on Linux, the endpoint's ID on Windows.
    std::string nombre;
    // What the desktop shows people for it.
    std::string descripcion;
    bool predeterminado = false; // the default output device now
};

struct ListaDispositivos {
    std::vector<Dispositivo> dispositivos;
    // Empty when the list could be read; otherwise why not, one line in
    // Spanish (UTF-8), and no devices.
    std::string error;
};

// The output devices in use now, in the order the audio system gives them.
// Never starts an audio server, and never waits on one for long: a server that
// is missing or does not answer gives an error.
ListaDispositivos ListarDispositivos();

} // namespace volumen
