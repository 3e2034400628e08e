#include "about/acerca_de.h"

#include "about/acerca_de_frm.h"

#include <QDir>
#include <QIcon>

// The icons are compiled into the about library; a static library's resources
// must be registered by hand, once, from outside any namespace.
static void RegistrarRecursosIconos() {
    Q_INIT_RESOURCE(iconos);
}

namespace acerca_de {

namespace {
constexpr char kCarpetaIconos[] = ":/iconos";
constexpr char kPatronIconos[] = "quelvaren-*.png";
} // namespace

void MostrarAcercaDe() {
    // A fresh dialog at every opening, gone again when it closes.
    AcercaDeFrm frm;
    frm.exec();
}

QIcon IconoPrograma() {
    static const bool registrados = (RegistrarRecursosIconos(), true);
    Q_UNUSED(registrados);

    // Every size the resource holds; QIcon reads each file's size itself.
    QIcon icono;
    const QDir carpeta(QString::fromLatin1(kCarpetaIconos));
    const auto archivos =
        carpeta.entryList({QString::fromLatin1(kPatronIconos)}, QDir::Files, QDir::Name);
    for (const QString& archivo : archivos) {
        icono.addFile(carpeta.filePath(archivo));
    }
    return icono;
}

} // namespace acerca_de
