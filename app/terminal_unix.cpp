#include "app/terminal.h"

#include <termios.h>
#include <unistd.h>

struct SinEco::Estado {
    termios antes{};
};

SinEco::SinEco() {
    auto estado = std::make_unique<Estado>();
    if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &estado->antes) != 0) {
        return;
    }
    termios sinEco = estado->antes;
    sinEco.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &sinEco) == 0) {
        estado_ = std::move(estado);
    }
}

SinEco::~SinEco() {
    if (estado_) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &estado_->antes);
    }
}
