// A private environment for one test process: its own configuration and
// runtime folders, so that no test reads or writes the user's settings.
#pragma once

#include "settings/ajustes.h"

#include <QString>
#include <QTemporaryDir>

class EntornoPrueba {
public:
    // For as long as it lives, the store of this process lies under a plain
    // file, where no folder can be made: every write is refused, as on a
    // disk that cannot take it. Then the store is back in its folder.
    class EscrituraRechazada {
    public:
        explicit EscrituraRechazada(const EntornoPrueba& entorno);
        ~EscrituraRechazada();
        EscrituraRechazada(const EscrituraRechazada&) = delete;
        EscrituraRechazada& operator=(const EscrituraRechazada&) = delete;
        bool lista() const { return lista_; }

    private:
        const EntornoPrueba& entorno_;
        QTemporaryDir otra_;
        bool lista_ = false;
    };

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
