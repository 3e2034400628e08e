#include "app/instancia_unica.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

QString NombreEnElAmbito(const QString& nombre) {
    // Two sessions of one user (fast user switching, a remote desktop beside
    // the console) each keep a copy of their own.
    DWORD sesion = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &sesion) == FALSE) {
        return nombre;
    }
    return QStringLiteral("%1-%2").arg(nombre).arg(sesion);
}
