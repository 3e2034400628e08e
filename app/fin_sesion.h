// The end of the desktop session (or a request to end, such as SIGTERM on
// Linux) reaches the program as an orderly end, like closing its window.
#pragma once

#include <functional>

// Calls `terminar` on the user-interface thread when the system asks the
// program to end.
void AtenderFinDeSesion(std::function<void()> terminar);
