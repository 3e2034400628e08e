#include "support/politica_prueba.h"

#include "settings/ajustes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace politica_prueba {

bool EtcPropio() {
    // A mount namespace other than the first process's, where /etc is an
    // overlay.
    if (QFileInfo(QStringLiteral("/proc/self/ns/mnt")).symLinkTarget() ==
        QFileInfo(QStringLiteral("/proc/1/ns/mnt")).symLinkTarget()) {
        return false;
    }
    QFile montajes(QStringLiteral("/proc/self/mounts"));
    if (!montajes.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QList<QByteArray> lineas = montajes.readAll().split('\n');
    return std::any_of(lineas.begin(), lineas.end(), [](const QByteArray& linea) {
        const QList<QByteArray> campos = linea.split(' ');
        return campos.size() > 2 && campos.at(1) == "/etc" && campos.at(2) == "overlay";
    });
}

bool Poner(const QMap<QString, QString>& valores) {
    if (!EtcPropio()) {
        qWarning("/etc no es de la prueba: la política no se escribe");
        return false;
    }
    const QString archivo = ajustes::UbicacionPolitica();
    QByteArray contenido = "[Config]\n";
    for (auto valor = valores.begin(); valor != valores.end(); ++valor) {
        contenido += (valor.key() + QLatin1Char('=') + valor.value()).toUtf8() + '\n';
    }
    // Written beside it and renamed, as configuration management does.
    const QString nuevo = archivo + QStringLiteral(".nuevo");
    QFile escrito(nuevo);
    if (!QDir().mkpath(QFileInfo(archivo).path()) || !escrito.open(QIODevice::WriteOnly) ||
        escrito.write(contenido) != contenido.size() || !escrito.flush()) {
        qWarning("no se pudo escribir %s", qPrintable(nuevo));
        return false;
    }
    escrito.close();
    constexpr auto kLeenTodos = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    constexpr auto kEntranTodos = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QFile::remove(archivo);
    return QFile::setPermissions(nuevo, kLeenTodos | QFile::WriteOwner) &&
           QFile::setPermissions(QFileInfo(archivo).path(),
                                 kLeenTodos | kEntranTodos | QFile::WriteOwner) &&
           QFile::rename(nuevo, archivo);
}

bool Quitar() {
    return EtcPropio() && (!QFileInfo::exists(ajustes::UbicacionPolitica()) ||
                           QFile::remove(ajustes::UbicacionPolitica()));
}

} // namespace politica_prueba
