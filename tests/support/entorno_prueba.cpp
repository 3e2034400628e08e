#include "support/entorno_prueba.h"

#include <QDir>
#include <QFile>
#include <QSettings>

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

EntornoPrueba::EscrituraRechazada::EscrituraRechazada(const EntornoPrueba& entorno)
    : entorno_(entorno) {
    const QString archivoComun = otra_.filePath(QStringLiteral("archivo"));
    QFile comun(archivoComun);
    lista_ = otra_.isValid() && comun.open(QIODevice::WriteOnly);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       archivoComun + QStringLiteral("/config"));
}

EntornoPrueba::EscrituraRechazada::~EscrituraRechazada() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       entorno_.CarpetaConfiguracion());
}
