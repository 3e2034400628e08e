// A recording double of the tray shell, for tests of logic only: it keeps
// every notify request with a copy of the record as it was sent.
#pragma once

#include "tray/bandeja.h"

#include <vector>

struct ShellGrabadora : bandeja::Shell {
    struct Peticion {
        std::uint32_t mensaje;
        bandeja::NOTIFYICONDATA datos;
    };

    bool NotifyIcon(std::uint32_t mensaje, const bandeja::NOTIFYICONDATA& datos) override {
        peticiones.push_back({mensaje, datos});
        return aceptar;
    }
    bool IconoVisible() const override { return visible; }
    void MostrarAviso(const QString& /*titulo*/, const QString& texto) override {
        avisos.push_back(texto);
    }

    std::vector<Peticion> peticiones;
    std::vector<QString> avisos;
    bool aceptar = true;  // what every request answers
    bool visible = false; // what IconoVisible answers
};

// Puts a shell in the platform's place for one scope.
class ShellInstalado {
public:
    explicit ShellInstalado(bandeja::Shell& shell) { bandeja::EstablecerShell(&shell); }
    ~ShellInstalado() { bandeja::EstablecerShell(nullptr); }
    ShellInstalado(const ShellInstalado&) = delete;
    ShellInstalado& operator=(const ShellInstalado&) = delete;
};
