// The native window as Windows has it.
#include "look/ventana.h"

#include <QWidget>
#include <windows.h>

namespace ventana {

Nativa EstadoNativa(const QWidget* ventana) {
    const auto ventanaWindows = reinterpret_cast<HWND>(ventana->internalWinId());
    if (ventanaWindows == nullptr || !IsWindow(ventanaWindows)) {
        return Nativa::Ninguna;
    }
    if (!IsWindowVisible(ventanaWindows)) {
        return Nativa::Retirada;
    }
    return IsIconic(ventanaWindows) ? Nativa::Minimizada : Nativa::Presente;
}

} // namespace ventana
