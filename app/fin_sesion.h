// The end of the desktop session (or a request to end, such as SIGTERM on
// Linux) reaches the program as an orderly end, like closing its window. On
// Windows so does the installer's or the uninstaller's request to end every
// copy running from the folder it is about to change: a value of the
// program's machine key (HKEY_LOCAL_MACHINE\Software\Quelvaren, "Cerrar")
// naming that folder, which only administrators may write.
#pragma once

#include <functional>

// Calls `terminar` on the user-interface thread when the system asks the
// program to end.
void AtenderFinDeSesion(std::function<void()> terminar);
