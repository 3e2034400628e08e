#include "tray/area_notificacion.h"

#include <QSystemTrayIcon>

namespace bandeja {

bool HayAreaDeNotificacion() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace bandeja
