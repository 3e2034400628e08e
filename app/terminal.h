// A password typed at a terminal, read without showing it: the narrow seam to
// the platform's terminal or console (terminal_unix.cpp,
// terminal_windows.cpp).
#pragma once

#include <memory>

// While one lives, what is typed on standard input is not echoed, where
// standard input is a terminal; elsewhere (a pipe, a file) it does nothing.
class SinEco {
public:
    SinEco();
    ~SinEco();
    SinEco(const SinEco&) = delete;
    SinEco& operator=(const SinEco&) = delete;

    // Whether standard input is a terminal, now without echo.
    bool EsTerminal() const { return estado_ != nullptr; }

private:
    struct Estado; // how the terminal was, to put it back
    std::unique_ptr<Estado> estado_;
};
