#include "app/terminal.h"

#include <windows.h>

struct SinEco::Estado {
    HANDLE entrada = nullptr;
    DWORD antes = 0;
};

SinEco::SinEco() {
    auto estado = std::make_unique<Estado>();
    estado->entrada = GetStdHandle(STD_INPUT_HANDLE);
    // Only a console has a mode; a pipe or a file has none.
    if (estado->entrada == nullptr || estado->entrada == INVALID_HANDLE_VALUE ||
        !GetConsoleMode(estado->entrada, &estado->antes)) {
        return;
    }
    if (SetConsoleMode(estado->entrada, estado->antes & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
        estado_ = std::move(estado);
    }
}

SinEco::~SinEco() {
    if (estado_) {
        SetConsoleMode(estado_->entrada, estado_->antes);
    }
}
