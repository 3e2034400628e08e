// A private environment for one test process: its own configuration and
// runtime folders, so that no test reads or writes the user's settings.
#pragma once

#include "settings/ajustes.h"

#include <QString>
#include <QTemporaryDir>

class EntornoPrueba {
public:
    EntornoPrueba();
    // The folder that XDG_CONFIG_HOME points to.
    QString CarpetaConfiguracion() const;
    // The settings file of the running test executable (as the settings room
    // names it: only the tests that ask link that room).
    QString ArchivoAjustes() const {
        return CarpetaConfiguracion() + QLatin1Char('/') + ajustes::NombreAplicacion() +
               QStringLiteral(".conf");
    }
    // Empties the configuration folder.
    void Vaciar();

private:
    QTemporaryDir raiz_;
};
