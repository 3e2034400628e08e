// Access lock: the access password in force, the access dialog and the check
// that guards the main window and the configuration.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// The access password in clear; empty when none is set.
extern QString gstrClave;
// Set by the access dialog on a correct entry; false whenever no check is under way.
extern bool gblnAcceso;

namespace acceso {

// The longest password the access dialog's box takes.
inline constexpr int kLongitudMaximaClave = 20;

// Runs the access check: with no password set, access is granted without a
// dialog; otherwise the access dialog is shown modally. When access is
// granted runs `accionPermitida`. Leaves gblnAcceso false and returns
// whether access was granted.
bool ComprobarAcceso(const std::function<void()>& accionPermitida = {});

// Whether the access dialog is on screen now.
bool AccesoFrmVisible();

// The access password that an administrator's policy sets, as its hash
// (access/huella_clave.h); empty for none. While one is set it is the access
// password: gstrClave is not used, and no first password is asked for. A text
// that is no hash is still a password set, one that nothing typed matches.
void FijarClaveAdministrador(const QString& huella);
bool HayClaveAdministrador();
// Whether a typed password opens the lock: the one place where an entry is
// judged, exact, character by character, letter case significant, against
// the password in force. Checking the
// administrator's takes about a second: meanwhile the windows repaint and the
// timers run, and the user's input waits until it is done.
bool ClaveCorrecta(const QString& escrita);

} // namespace acceso
