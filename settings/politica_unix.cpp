// The administrator's policy on Linux: one INI file at a fixed path, owned
// by root, readable by every user. Browsers read their managed policies in
// the same way, and configuration management pushes such files.

#include "settings/politica.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <sys/stat.h>

namespace ajustes {

namespace {

constexpr char kCarpetaPolitica[] = "/etc/quelvaren";
constexpr char kArchivoPolitica[] = "/etc/quelvaren/politica.conf";
// Watched while the policy's folder does not exist, to see it come.
constexpr char kCarpetaSistema[] = "/etc";
// A change is read once it has settled: a file written in several steps is
// read whole.
constexpr int kEsperaTrasCambioMs = 200;
constexpr uid_t kRaiz = 0;
constexpr mode_t kEscribenOtros = S_IWGRP | S_IWOTH;

QString Modo(mode_t modo) {
    constexpr mode_t kBitsPermisos = 07777;
    constexpr int kBaseOctal = 8;
    constexpr int kCifras = 4;
    return QString::number(modo & kBitsPermisos, kBaseOctal).rightJustified(kCifras, u'0');
}

// What --comprobar says of one file or folder on the policy's path; false
// when it does not exist.
bool RevisarEntrada(const char* ruta, bool carpeta, Comprobacion& comprobacion) {
    struct stat datos {};
    if (::stat(ruta, &datos) != 0) {
        return false;
    }
    const QString nombre = QString::fromLatin1(ruta);
    if (carpeta != S_ISDIR(datos.st_mode)) {
        comprobacion.errores.append(QStringLiteral("%1 no es %2.")
                                        .arg(nombre, carpeta ? QStringLiteral("una carpeta")
                                                             : QStringLiteral("un archivo")));
        return true;
    }
    if (datos.st_uid != kRaiz) {
        comprobacion.avisos.append(
            QStringLiteral("%1 no es de root: su dueño (uid %2) puede cambiar la política.")
                .arg(nombre)
                .arg(datos.st_uid));
    }
    if ((datos.st_mode & kEscribenOtros) != 0) {
        comprobacion.avisos.append(QStringLiteral("%1 lo pueden escribir otros usuarios (modo "
                                                  "%2): pueden cambiar la política.")
                                       .arg(nombre, Modo(datos.st_mode)));
    }
    const mode_t leenTodos = carpeta ? S_IXOTH : S_IROTH;
    if ((datos.st_mode & leenTodos) == 0) {
        comprobacion.errores.append(
            QStringLiteral("%1 no lo pueden leer los demás usuarios (modo %2): para ellos no hay "
                           "política.")
                .arg(nombre, Modo(datos.st_mode)));
    }
    return true;
}

} // namespace

namespace politica {

QString Ubicacion() {
    return QString::fromLatin1(kArchivoPolitica);
}

bool Existe() {
    return QFileInfo::exists(Ubicacion());
}

std::unique_ptr<QSettings> Abrir() {
    return std::make_unique<QSettings>(Ubicacion(), QSettings::IniFormat);
}

QString Grupo() {
    return QString::fromLatin1(kSeccion);
}

bool DistingueMayusculas() {
    return true;
}

void RevisarProteccion(Comprobacion& comprobacion) {
    RevisarEntrada(kCarpetaPolitica, true, comprobacion);
    if (!RevisarEntrada(kArchivoPolitica, false, comprobacion)) {
        return;
    }
    QFile archivo(Ubicacion());
    if (!archivo.open(QIODevice::ReadOnly)) {
        comprobacion.errores.append(
            QStringLiteral("No se puede leer %1: %2.").arg(Ubicacion(), archivo.errorString()));
    }
}

} // namespace politica

// The file, its folder, and /etc while the folder is missing: whatever of
// these exists is watched, and looked at again after every change (a file
// replaced by a rename is a new file).
struct VigiaPolitica::Datos {
    QFileSystemWatcher vigia;
    QTimer espera;

    void Armar() {
        if (const QStringList vigilados = vigia.files() + vigia.directories();
            !vigilados.isEmpty()) {
            vigia.removePaths(vigilados);
        }
        for (const char* ruta : {kArchivoPolitica, kCarpetaPolitica}) {
            if (QFileInfo::exists(QString::fromLatin1(ruta))) {
                vigia.addPath(QString::fromLatin1(ruta));
            }
        }
        if (!QFileInfo::exists(QString::fromLatin1(kCarpetaPolitica))) {
            vigia.addPath(QString::fromLatin1(kCarpetaSistema));
        }
    }
};

VigiaPolitica::VigiaPolitica(QObject* padre)
    : QObject(padre)
    , datos_(std::make_unique<Datos>()) {
    datos_->espera.setSingleShot(true);
    datos_->espera.setInterval(kEsperaTrasCambioMs);
    datos_->Armar();
    const auto alCambiar = [this] { datos_->espera.start(); };
    connect(&datos_->vigia, &QFileSystemWatcher::fileChanged, this, alCambiar);
    connect(&datos_->vigia, &QFileSystemWatcher::directoryChanged, this, alCambiar);
    connect(&datos_->espera, &QTimer::timeout, this, [this] {
        datos_->Armar();
        emit Cambiada();
    });
}

VigiaPolitica::~VigiaPolitica() = default;

} // namespace ajustes
