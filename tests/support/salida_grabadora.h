// A recording double of the audio output, for tests of logic only.
#pragma once

#include "volume/salida_volumen.h"

#include <vector>

class SalidaGrabadora : public volumen::SalidaVolumen {
public:
    void Escribir(std::uint32_t palabra) override { palabras.push_back(palabra); }
    void Sostener(bool sostener) override { sostenida = sostener; }
    void Configurar(const volumen::Preferencias& dadas) override { preferencias = dadas; }
    void AlCorregir(std::function<void()> aviso) override { alCorregir = std::move(aviso); }
    void AlCambiarEstado(std::function<void(volumen::EstadoSalida)> aviso) override {
        alCambiarEstado = std::move(aviso);
    }
    std::vector<std::uint32_t> palabras;
    bool sostenida = false;
    volumen::Preferencias preferencias;
    std::function<void()> alCorregir;
    std::function<void(volumen::EstadoSalida)> alCambiarEstado;
};
