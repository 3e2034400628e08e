#include "app/traduccion.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
constexpr char kTraduccionQt[] = "qtbase_es";
} // namespace

bool CargarTraduccionQt() {
    auto* traductor = new QTranslator(QCoreApplication::instance());
    if (!traductor->load(QString::fromLatin1(kTraduccionQt),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(traductor)) {
        delete traductor;
        return false;
    }
    return true;
}
