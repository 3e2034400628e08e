#include "volume/politica_correcciones.h"

#include <algorithm>
#include <cmath>

namespace volumen {

void PoliticaCorrecciones::Reiniciar() {
    momentos_ = {};
    siguiente_ = 0;
    cuenta_ = 0;
    finPausaMs_ = 0;
}

Canales PoliticaCorrecciones::Objetivo(const Canales& nivel,
                                       const std::optional<Canales>& actual) const {
    // A device whose channels are unknown, or other than the level's, is
    // given the level itself.
    if (!actual || actual->size() != nivel.size()) {
        return nivel;
    }
    Canales objetivo(nivel.size());
    for (std::size_t i = 0; i < nivel.size(); ++i) {
        objetivo[i] = ValorEnModo(modo_, (*actual)[i], nivel[i]);
    }
    return objetivo;
}

std::vector<std::size_t>
PoliticaCorrecciones::Distintos(const Canales& objetivo,
                                const std::optional<Canales>& actual) const {
    std::vector<std::size_t> distintos;
    const bool conocidos = actual && actual->size() == objetivo.size();
    for (std::size_t i = 0; i < objetivo.size(); ++i) {
        if (!conocidos || std::fabs((*actual)[i] - objetivo[i]) > tolerancia_) {
            distintos.push_back(i);
        }
    }
    return distintos;
}

Decision PoliticaCorrecciones::Decidir(Motivo motivo, const Canales& nivel,
                                       const std::optional<Canales>& actual, std::int64_t ahoraMs,
                                       Origen origen, bool silenciado) {
    Decision decision;
    decision.objetivo = Objetivo(nivel, actual);
    decision.desilenciar = silenciado && modo_ == Modo::Piso;
    switch (motivo) {
    case Motivo::Escritura:
        if (modo_ == Modo::Fijo) {
            // The cycle's write: every channel, whatever it holds.
            for (std::size_t i = 0; i < decision.objetivo.size(); ++i) {
                decision.mover.push_back(i);
            }
        } else {
            decision.mover = Distintos(decision.objetivo, actual);
        }
        return decision;
    case Motivo::FinPausa:
        finPausaMs_ = std::min(finPausaMs_, ahoraMs);
        break;
    case Motivo::Cambio:
    case Motivo::NuevoDispositivo:
        break;
    }
    // The channels of the output's own echo ask for nothing; a mute is
    // someone else's all the same.
    if (origen == Origen::Ajeno) {
        decision.mover = Distintos(decision.objetivo, actual);
    }
    if (motivo == Motivo::NuevoDispositivo || decision.Nada()) {
        return decision;
    }
    if (EnPausa(ahoraMs)) {
        // The end of the pause checks.
        decision.mover.clear();
        decision.desilenciar = false;
        return decision;
    }
    if (!Permitir(ahoraMs)) {
        decision.mover.clear();
        decision.desilenciar = false;
        decision.pausa = true;
        return decision;
    }
    decision.avisar = true;
    return decision;
}

bool PoliticaCorrecciones::Permitir(std::int64_t ahoraMs) {
    const std::int64_t masAntigua = momentos_[siguiente_];
    if (cuenta_ == kCorreccionesPorSegundo && ahoraMs - masAntigua < kVentanaMs) {
        finPausaMs_ = ahoraMs + kPausaMs;
        return false;
    }
    momentos_[siguiente_] = ahoraMs;
    siguiente_ = (siguiente_ + 1) % kCorreccionesPorSegundo;
    if (cuenta_ < kCorreccionesPorSegundo) {
        ++cuenta_;
    }
    return true;
}

std::optional<EstadoSalida> PoliticaCorrecciones::Resultado(EstadoSalida estado) {
    if (estado == estado_) {
        return std::nullopt;
    }
    estado_ = estado;
    return estado;
}

} // namespace volumen
