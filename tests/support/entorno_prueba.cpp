#include "support/entorno_prueba.h"

#include <QDir>
#include <QFile>

EntornoPrueba::EntornoPrueba() {
    QDir(raiz_.path()).mkpath(QStringLiteral("config"));
    QDir(raiz_.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(raiz_.path() + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", CarpetaConfiguracion().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (raiz_.path() + QStringLiteral("/run")).toLocal8Bit());
}

QString EntornoPrueba::CarpetaConfiguracion() const {
    return raiz_.path() + QStringLiteral("/config");
}

void EntornoPrueba::Vaciar() {
    QDir carpeta(CarpetaConfiguracion());
    carpeta.removeRecursively();
    QDir(raiz_.path()).mkpath(QStringLiteral("config"));
}
