#include "app/instancia_unica.h"

#include <QDir>
#include <QStandardPaths>

QString NombreEnElAmbito(const QString& nombre) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? nombre : QDir(runtime).filePath(nombre);
}
