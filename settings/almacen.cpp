// The per-user settings store: one section, "Config", under the executable's
// own name. On Windows it is the registry (HKEY_CURRENT_USER\Software\<name>);
// elsewhere an INI file, $XDG_CONFIG_HOME/<name>.conf, readable by its owner only,
// since it holds the password in a reversible form.
//
// A key the user's store lacks is read from the machine's store, where an
// administrator may preset the program for every user: on Windows
// HKEY_LOCAL_MACHINE\Software\<name>; elsewhere <name>.conf in the folders
// of $XDG_CONFIG_DIRS, the first that holds the key (/etc/xdg/<name>.conf by
// default). The program only ever reads it.

#include "settings/ajustes.h"
#include "settings/almacenes.h"
#include "settings/politica.h"
#include "version_programa.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <iterator>
#include <memory>

#ifndef _WIN32
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ajustes {

namespace {

#ifndef _WIN32
// Owner read and write, nothing for anyone else.
constexpr mode_t kModoPrivado = S_IRUSR | S_IWUSR;
constexpr mode_t kBitsPermisos = 07777;
// What separates the elements of a list that a hand-edited file may hold
// ("a, b"): read back as the one text it was.
const QString kSeparadorLista = QStringLiteral(", ");
#endif

} // namespace

QString RutaClave(const Clave& clave) {
    return QLatin1String(kSeccion) + QLatin1Char('/') + QLatin1String(clave.nombre);
}

// Every use opens the store afresh, under the name the executable has now.
// The user's own store, the one the program writes; the machine's store is
// opened apart, so that a key the user lacks never looks present here. On
// Windows the registry key is named in full: an organization without an
// application name would otherwise land in Software\<name>\OrganizationDefaults
// instead of Software\<name>.
std::unique_ptr<QSettings> AbrirAlmacen() {
#ifdef _WIN32
    auto almacen = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\") +
                                                   NombreAplicacion(),
                                               QSettings::NativeFormat);
#else
    // Opened by its file alone: the store that Qt opens for a name also syncs
    // the machine's files, even with fallbacks off, and one of those that
    // cannot be read would make every write of the user's fail.
    const QString archivo =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, NombreAplicacion(), QString())
            .fileName();
    auto almacen = std::make_unique<QSettings>(archivo, QSettings::NativeFormat);
#endif
    almacen->setFallbacksEnabled(false);
    almacen->setAtomicSyncRequired(true);
    return almacen;
}

// The machine's store, for reading only. On Windows it is opened one level up,
// at HKEY_LOCAL_MACHINE\Software, and the keys are read by their full path:
// opening Software\<name> itself would create it whenever the program runs
// with the rights to do so. It is read in the registry's 64-bit view, the one
// an administrator's registry editor shows, whichever build runs. Elsewhere
// every folder of $XDG_CONFIG_DIRS is looked at in turn, and a file that
// cannot be read counts as absent.
std::unique_ptr<QSettings> AbrirAlmacenDelSistema() {
#ifdef _WIN32
    auto almacen = std::make_unique<QSettings>(QStringLiteral("HKEY_LOCAL_MACHINE\\Software"),
                                               QSettings::Registry64Format);
    almacen->setFallbacksEnabled(false);
#else
    auto almacen = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                               NombreAplicacion(), QString());
#endif
    return almacen;
}

QString RutaEnSistema(const Clave& clave) {
#ifdef _WIN32
    return NombreAplicacion() + QLatin1Char('/') + RutaClave(clave);
#else
    return RutaClave(clave);
#endif
}

// The text a store holds under a path, or nothing when the key is missing.
std::optional<QString> ValorGuardado(const QSettings& almacen, const QString& ruta) {
    const QVariant valor = almacen.value(ruta);
    if (!valor.isValid()) {
        return std::nullopt;
    }
#ifndef _WIN32
    if (valor.typeId() == QMetaType::QStringList) {
        return valor.toStringList().join(kSeparadorLista);
    }
#endif
    return valor.toString();
}

namespace {

#ifndef _WIN32

QString DescribirError(int numero) {
    switch (numero) {
    case EACCES:
    case EPERM:
        return QStringLiteral("no hay permiso de escritura");
    case EROFS:
        return QStringLiteral("el sistema de archivos es de solo lectura");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("no queda espacio en el disco");
    case EFBIG:
        return QStringLiteral("el archivo supera el tamaño permitido");
    case ENOTDIR:
        return QStringLiteral("una parte de la ruta no es una carpeta");
    case ENOENT:
        return QStringLiteral("la carpeta no existe");
    case EISDIR:
        return QStringLiteral("la ruta es una carpeta");
    default:
        return QStringLiteral("error del sistema n.º %1").arg(numero);
    }
}

QString Entrecomillar(const QString& ruta) {
    return QStringLiteral("«") + QDir::toNativeSeparators(ruta) + QStringLiteral("»");
}

// Makes sure the folder and the file exist, the file with owner-only access,
// before the store writes it. The store writes a temporary copy and renames
// it over the file, and that copy takes the permissions of the file it
// replaces: creating the file private first means the password is never
// readable by others, not even for a moment.
std::optional<QString> PrepararArchivoPrivado(const QString& archivo) {
    const QString carpeta = QFileInfo(archivo).absolutePath();
    if (!QFileInfo(carpeta).isDir() && !QDir().mkpath(carpeta)) {
        // mkpath gives no reason: ask the system for it.
        const int numero =
            ::mkdir(QFile::encodeName(carpeta).constData(), S_IRWXU) == 0 ? 0 : errno;
        if (numero != 0 && numero != EEXIST) {
            return QStringLiteral("No se pudo crear la carpeta %1: %2.")
                .arg(Entrecomillar(carpeta), DescribirError(numero));
        }
    }
    const int descriptor =
        ::open(QFile::encodeName(archivo).constData(),
               O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kModoPrivado);
    if (descriptor < 0) {
        const int numero = errno;
        return QStringLiteral("No se puede escribir el archivo %1: %2.")
            .arg(Entrecomillar(archivo), DescribirError(numero));
    }
    struct stat datos {};
    int numero = 0;
    if (::fstat(descriptor, &datos) != 0) {
        numero = errno;
    } else if (!S_ISREG(datos.st_mode)) {
        numero = EISDIR;
    } else if ((datos.st_mode & kBitsPermisos) != kModoPrivado &&
               ::fchmod(descriptor, kModoPrivado) != 0) {
        numero = errno;
    }
    ::close(descriptor);
    if (numero != 0) {
        return QStringLiteral("No se pueden proteger los permisos del archivo %1: %2.")
            .arg(Entrecomillar(archivo), DescribirError(numero));
    }
    return std::nullopt;
}

struct Identidad {
    dev_t dispositivo = 0;
    ino_t nodo = 0;
    bool existe = false;
};

Identidad IdentidadDe(const QString& archivo) {
    struct stat datos {};
    if (::stat(QFile::encodeName(archivo).constData(), &datos) != 0) {
        return {};
    }
    return {datos.st_dev, datos.st_ino, true};
}

// Why the store could not write, as far as the system can tell.
QString MotivoFallo(const QString& archivo) {
    const QString carpeta = QFileInfo(archivo).absolutePath();
    if (::access(QFile::encodeName(carpeta).constData(), W_OK) != 0) {
        const int numero = errno;
        return QStringLiteral("No se puede escribir en la carpeta %1: %2.")
            .arg(Entrecomillar(carpeta), DescribirError(numero));
    }
    if (::access(QFile::encodeName(archivo).constData(), W_OK) != 0) {
        const int numero = errno;
        return QStringLiteral("No se puede escribir el archivo %1: %2.")
            .arg(Entrecomillar(archivo), DescribirError(numero));
    }
    return QStringLiteral("No se pudo escribir el archivo %1; puede que no quede espacio en "
                          "el disco.")
        .arg(Entrecomillar(archivo));
}

// The store writes its file whole, a line at a time, and replaces the old one
// by renaming. It does not notice a write that stops half way (a disk that
// fills up, a size limit): the file is then replaced by a cut copy whose last
// line has no end. Both things are checked here.
std::optional<QString> ComprobarEscrito(const QString& archivo, const Identidad& antes) {
    const Identidad despues = IdentidadDe(archivo);
    if (!despues.existe ||
        (despues.dispositivo == antes.dispositivo && despues.nodo == antes.nodo)) {
        return MotivoFallo(archivo);
    }
    QFile escrito(archivo);
    const char kFinDeLinea = '\n';
    char ultimo = 0;
    if (!escrito.open(QIODevice::ReadOnly) || escrito.size() == 0 ||
        !escrito.seek(escrito.size() - 1) || !escrito.getChar(&ultimo) || ultimo != kFinDeLinea) {
        return QStringLiteral("El archivo %1 quedó incompleto; puede que no quede espacio en "
                              "el disco.")
            .arg(Entrecomillar(archivo));
    }
    return std::nullopt;
}

// The rename leaves the file with the permissions of the one it replaced; a
// file that somebody else opened up meanwhile is closed again here.
std::optional<QString> AsegurarPermisos(const QString& archivo) {
    const QByteArray ruta = QFile::encodeName(archivo);
    struct stat datos {};
    if (::stat(ruta.constData(), &datos) == 0 && (datos.st_mode & kBitsPermisos) == kModoPrivado) {
        return std::nullopt;
    }
    if (::chmod(ruta.constData(), kModoPrivado) != 0) {
        const int numero = errno;
        return QStringLiteral("No se pueden proteger los permisos del archivo %1: %2.")
            .arg(Entrecomillar(archivo), DescribirError(numero));
    }
    return std::nullopt;
}

#endif // !_WIN32

} // namespace

QString NombreAplicacion() {
    const QFileInfo ejecutable(QCoreApplication::applicationFilePath());
#ifdef _WIN32
    // "Quelvaren.exe" -> "Quelvaren"; only the last suffix is the extension.
    QString nombre = ejecutable.completeBaseName();
#else
    // Executables here carry no extension: a dot belongs to the name, so a copy
    // called "quelvaren.old" keeps settings of its own.
    QString nombre = ejecutable.fileName();
#endif
    if (nombre.isEmpty()) {
        nombre = QString::fromUtf8(version_programa::kTitulo);
    }
    return nombre;
}

QString UbicacionPolitica() {
    return politica::Ubicacion();
}

std::optional<QString> LeerPolitica(const Clave& clave) {
    const bool dePolitica = std::any_of(
        std::begin(kClavesPolitica), std::end(kClavesPolitica),
        [&clave](const Clave* posible) { return qstrcmp(posible->nombre, clave.nombre) == 0; });
    if (!dePolitica) {
        return std::nullopt;
    }
    auto valor = ValorGuardado(*politica::Abrir(), politica::Ruta(clave));
    if (valor && valor->isEmpty() && qstrcmp(clave.nombre, kClavePolitica.nombre) == 0) {
        return std::nullopt;
    }
    return valor;
}

Lectura LeerConOrigen(const Clave& clave) {
    if (auto impuesto = LeerPolitica(clave)) {
        return {*impuesto, Origen::Politica};
    }
    const QString porDefecto = QString::fromUtf8(clave.porDefecto);
    // A level the policy sets means what the policy says it means.
    const bool sentidoDelValor =
        qstrcmp(clave.nombre, kModo.nombre) == 0 || qstrcmp(clave.nombre, kDispositivo.nombre) == 0;
    if (sentidoDelValor && LeerPolitica(kValor)) {
        return {porDefecto, Origen::PorDefecto};
    }
    // The user's own value wins, even an empty text; then the machine's.
    if (auto propio = ValorGuardado(*AbrirAlmacen(), RutaClave(clave))) {
        return {*propio, Origen::Usuario};
    }
    if (auto comun = ValorGuardado(*AbrirAlmacenDelSistema(), RutaEnSistema(clave))) {
        return {*comun, Origen::Preajuste};
    }
    return {porDefecto, Origen::PorDefecto};
}

QString Leer(const Clave& clave) {
    return LeerConOrigen(clave).texto;
}

QString NombreOrigen(Origen origen) {
    switch (origen) {
    case Origen::Politica:
        return QStringLiteral("política");
    case Origen::Usuario:
        return QStringLiteral("usuario");
    case Origen::Preajuste:
        return QStringLiteral("preajuste");
    case Origen::PorDefecto:
        break;
    }
    return QStringLiteral("por defecto");
}

Leido<std::int32_t> LeerNivel() {
    const Lectura lectura = LeerConOrigen(kValor);
    bool numero = false;
    const std::int32_t nivel = lectura.texto.toInt(&numero);
    return {numero ? nivel : QString::fromLatin1(kValor.porDefecto).toInt(), lectura.origen};
}

Leido<bool> LeerAuto() {
    const Lectura lectura = LeerConOrigen(kAuto);
    return {lectura.texto == QLatin1String(kSi), lectura.origen};
}

Leido<bool> LeerAviso() {
    const Lectura lectura = LeerConOrigen(kAviso);
    return {lectura.texto == QLatin1String(kSi), lectura.origen};
}

Leido<std::optional<QString>> LeerClave() {
    const Lectura lectura = LeerConOrigen(kPass);
    return {CifrarClave(false, lectura.texto, kBaseCifrado), lectura.origen};
}

volumen::Preferencias LeerPreferencias() {
    const QString modo = Leer(kModo).trimmed();
    volumen::Preferencias preferencias;
    if (modo.compare(QLatin1String(kModoTope), Qt::CaseInsensitive) == 0) {
        preferencias.modo = volumen::Modo::Tope;
    } else if (modo.compare(QLatin1String(kModoPiso), Qt::CaseInsensitive) == 0) {
        preferencias.modo = volumen::Modo::Piso;
    }
    preferencias.dispositivo = Leer(kDispositivo).trimmed().toStdString();
    return preferencias;
}

ResultadoEscritura Escribir(const Clave& clave, const QString& texto) {
    const auto abierto = AbrirAlmacen();
    QSettings& almacen = *abierto;
    const QString ruta = RutaClave(clave);

#ifndef _WIN32
    const QString archivo = almacen.fileName();
    if (const auto motivo = PrepararArchivoPrivado(archivo)) {
        return {*motivo};
    }
    const Identidad antes = IdentidadDe(archivo);
#endif

    // Objects of the store that name the same file share one cache within the
    // process. A write that fails must not stay pending in it, or the next
    // read would show a value that is not stored, and the next successful
    // write would store it behind the user's back: on failure the key is put
    // back as it was.
    const bool existia = almacen.contains(ruta);
    const QVariant anterior = almacen.value(ruta);
    const auto deshacer = [&] {
        if (existia) {
            almacen.setValue(ruta, anterior);
        } else {
            almacen.remove(ruta);
        }
    };

    almacen.setValue(ruta, texto);
    almacen.sync();

#ifdef _WIN32
    if (almacen.status() != QSettings::NoError) {
        deshacer();
        return {QStringLiteral("No se pudo escribir en el registro de Windows (%1).")
                    .arg(almacen.fileName())};
    }
#else
    // A file that could not be parsed leaves the status at FormatError, and
    // that hides a later AccessError: what counts is the file on disk.
    if (almacen.status() == QSettings::AccessError) {
        deshacer();
        return {MotivoFallo(archivo)};
    }
    if (const auto motivo = ComprobarEscrito(archivo, antes)) {
        deshacer();
        return {*motivo};
    }
    if (const auto motivo = AsegurarPermisos(archivo)) {
        return {*motivo};
    }
#endif
    return {};
}

} // namespace ajustes
