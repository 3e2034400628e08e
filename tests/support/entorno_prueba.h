// A private environment for one test process: its own configuration and
// runtime folders, so that no test reads or writes the user's settings.
#pragma once

#include <QString>
#include <QTemporaryDir>

class EntornoPrueba {
public:
    EntornoPrueba();
    // The folder that XDG_CONFIG_HOME points to.
    QString CarpetaConfiguracion() const;
    // The settings file of the running test executable.
    QString ArchivoAjustes() const;
    // Empties the configuration folder.
    void Vaciar();

private:
    QTemporaryDir raiz_;
};
