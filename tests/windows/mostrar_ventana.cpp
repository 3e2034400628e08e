// Shows a top-level window found by its title, as any other program may do
// to a hidden window (ShowWindow): how the Wine test shows the locked main
// window from outside. Built with MinGW-w64, run under Wine.
#include <windows.h>

namespace {
constexpr int kMostrada = 0;
constexpr int kNoEncontrada = 1;
constexpr int kSinTitulo = 2;
} // namespace

// Usage: mostrar_ventana.exe <title>
int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        return kSinTitulo;
    }
    HWND ventana = FindWindowW(nullptr, argv[1]);
    if (ventana == nullptr) {
        return kNoEncontrada;
    }
    ShowWindow(ventana, SW_SHOW);
    return kMostrada;
}
