// Whether the desktop has a tray where the program's icon can show.
// Within the tray room only.
#pragma once

namespace bandeja {

// Where Qt can tell (an XEmbed tray or a StatusNotifierItem host on Linux),
// Qt's answer. On Windows Qt always answers yes; there the answer is whether
// the taskbar with its notification area exists: a kiosk shell in place of
// Explorer has none, nor has a logon before Explorer has started. One source
// file per platform.
bool HayAreaDeNotificacion();

} // namespace bandeja
