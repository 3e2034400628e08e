#include "app/traduccion.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
constexpr char kTraduccionQt[] = "qtbase_es";
// Beside the program, where the Windows program carries its own copy.
constexpr char kCarpetaJuntoAlPrograma[] = "translations";
} // namespace

bool CargarTraduccionQt() {
    auto* traductor = new QTranslator(QCoreApplication::instance());
    const QString nombre = QString::fromLatin1(kTraduccionQt);
    const QString junto = QDir(QCoreApplication::applicationDirPath())
                              .filePath(QLatin1String(kCarpetaJuntoAlPrograma));
    if ((!traductor->load(nombre, junto) &&
         !traductor->load(nombre, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) ||
        !QCoreApplication::installTranslator(traductor)) {
        delete traductor;
        return false;
    }
    return true;
}
