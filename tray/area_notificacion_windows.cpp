#include "tray/area_notificacion.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace bandeja {

namespace {
// Explorer's taskbar, which holds the notification area.
constexpr wchar_t kClaseBarraDeTareas[] = L"Shell_TrayWnd";
} // namespace

bool HayAreaDeNotificacion() {
    return FindWindowW(kClaseBarraDeTareas, nullptr) != nullptr;
}

} // namespace bandeja
