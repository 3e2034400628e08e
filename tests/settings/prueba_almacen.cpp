// The settings store on real files: defaults, the executable's own name,
// every single-byte code across processes, the file's privacy, failed writes
// and files that are not the store's own.

#include "hijo_ajustes.h"
#include "limite_archivo.h"
#include "vigia_cajas.h"

#include "settings/ajustes.h"
#include "settings/parametros_frm.h"
#include "support/entorno_prueba.h"
#include "support/politica_prueba.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using ajustes::Clave;

namespace {

constexpr mode_t kModoPrivado = 0600;
constexpr mode_t kModoAbierto = 0644;
constexpr mode_t kCarpetaSoloLectura = 0500;
constexpr mode_t kCarpetaNormal = 0700;
constexpr mode_t kBitsPermisos = 07777;
constexpr int kCodigoMaximo = 255;
// The name CMake gives this test's executable.
constexpr char kNombreEjecutable[] = "prueba_almacen";

const Clave* const kClaves[] = {&ajustes::kPass, &ajustes::kValor, &ajustes::kAuto,
                                &ajustes::kIntervalo};

QString TodosLosCodigos(bool alReves) {
    QString texto;
    for (int codigo = 0; codigo <= kCodigoMaximo; ++codigo) {
        texto.append(QChar(alReves ? kCodigoMaximo - codigo : codigo));
    }
    return texto;
}

mode_t ModoDe(const QString& archivo) {
    struct stat datos {};
    if (::stat(QFile::encodeName(archivo).constData(), &datos) != 0) {
        return 0;
    }
    return datos.st_mode & kBitsPermisos;
}

bool PonerModo(const QString& ruta, mode_t modo) {
    return ::chmod(QFile::encodeName(ruta).constData(), modo) == 0;
}

} // namespace

class PruebaAlmacen : public QObject {
    Q_OBJECT

public:
    explicit PruebaAlmacen(EntornoPrueba& entorno)
        : entorno_(entorno) {}

private slots:
    void init();
    void valoresPorDefecto_data();
    void valoresPorDefecto();
    void nombreDelEjecutable();
    void ajustesDelSistema();
    void copiaConOtroNombre_data();
    void copiaConOtroNombre();
    void idaYVueltaEntreProcesos_data();
    void idaYVueltaEntreProcesos();
    void escrituraReemplaza();
    void archivoPrivado_data();
    void archivoPrivado();
    void escrituraFallida_data();
    void escrituraFallida();
    void archivoAjeno_data();
    void archivoAjeno();
    void avisoDeFallo_data();
    void avisoDeFallo();
    void politicaDelAdministrador();

private:
    EntornoPrueba& entorno_;
};

void PruebaAlmacen::init() {
    entorno_.Vaciar();
}

void PruebaAlmacen::valoresPorDefecto_data() {
    QTest::addColumn<const Clave*>("clave");
    QTest::addColumn<QString>("esperado");
    QTest::newRow("Pass") << &ajustes::kPass << QString();
    QTest::newRow("Valor") << &ajustes::kValor << QStringLiteral("32768");
    QTest::newRow("Auto") << &ajustes::kAuto << QStringLiteral("N");
    QTest::newRow("Intervalo") << &ajustes::kIntervalo << QStringLiteral("30");
}

void PruebaAlmacen::valoresPorDefecto() {
    QFETCH(const Clave*, clave);
    QFETCH(QString, esperado);
    QCOMPARE(ajustes::Leer(*clave), esperado);
    QCOMPARE(hijo::Leer(*clave), std::optional<QString>(esperado));
    // Reading creates nothing.
    QVERIFY(!QFileInfo::exists(entorno_.ArchivoAjustes()));

    // Another key present does not stand in for a missing one.
    for (const Clave* otra : kClaves) {
        if (otra != clave) {
            QVERIFY(ajustes::Escribir(*otra, QStringLiteral("x")).ok());
        }
    }
    QCOMPARE(hijo::Leer(*clave), std::optional<QString>(esperado));
}

void PruebaAlmacen::nombreDelEjecutable() {
    QCOMPARE(ajustes::NombreAplicacion(), QLatin1String(kNombreEjecutable));
    QVERIFY(ajustes::Escribir(ajustes::kValor, QStringLiteral("7")).ok());
    const QString archivo = entorno_.CarpetaConfiguracion() + QLatin1Char('/') +
                            QLatin1String(kNombreEjecutable) + QStringLiteral(".conf");
    QVERIFY(QFileInfo(archivo).isFile());
    QSettings directo(archivo, QSettings::IniFormat);
    QCOMPARE(directo.childGroups(), QStringList{QStringLiteral("Config")});
    QCOMPARE(directo.value(QStringLiteral("Config/Valor")).toString(), QStringLiteral("7"));
}

void PruebaAlmacen::ajustesDelSistema() {
    // The machine's store, as an administrator presets it, in folders that
    // $XDG_CONFIG_DIRS names for the child processes; the first folder's
    // file cannot be read (it is a folder), so it counts as absent.
    QTemporaryDir sistema;
    QVERIFY(sistema.isValid());
    const QString nombreArchivo = QLatin1String(kNombreEjecutable) + QStringLiteral(".conf");
    QVERIFY(QDir(sistema.path()).mkpath(QStringLiteral("ilegible/") + nombreArchivo));
    QVERIFY(QDir(sistema.path()).mkpath(QStringLiteral("comun")));
    const QString comun = sistema.filePath(QStringLiteral("comun/") + nombreArchivo);
    const QByteArray contenido("[Config]\nPass=MwM\nValor=999\nAuto=S\n");
    QFile archivo(comun);
    QVERIFY(archivo.open(QIODevice::WriteOnly));
    QCOMPARE(archivo.write(contenido), contenido.size());
    archivo.close();
    const QByteArray variable("XDG_CONFIG_DIRS");
    const QByteArray anterior = qgetenv(variable.constData());
    const auto restaurar = qScopeGuard([&] {
        if (anterior.isNull()) {
            qunsetenv(variable.constData());
        } else {
            qputenv(variable.constData(), anterior);
        }
    });
    qputenv(variable.constData(),
            QFile::encodeName(sistema.filePath(QStringLiteral("ilegible")) + QLatin1Char(':') +
                              sistema.filePath(QStringLiteral("comun"))));

    // Where the user has nothing, the machine's value; where neither has
    // one, the default.
    QCOMPARE(hijo::Leer(ajustes::kPass), std::optional<QString>(QStringLiteral("MwM")));
    QCOMPARE(hijo::Leer(ajustes::kValor), std::optional<QString>(QStringLiteral("999")));
    QCOMPARE(hijo::Leer(ajustes::kIntervalo), std::optional<QString>(QStringLiteral("30")));
    // The user's own value wins, an empty text too.
    QVERIFY(hijo::Escribir(ajustes::kValor, QStringLiteral("5")));
    QVERIFY(hijo::Escribir(ajustes::kAuto, QString()));
    QCOMPARE(hijo::Leer(ajustes::kValor), std::optional<QString>(QStringLiteral("5")));
    QCOMPARE(hijo::Leer(ajustes::kAuto), std::optional<QString>(QString()));
    // Writes went to the user's store alone.
    QSettings propio(entorno_.ArchivoAjustes(), QSettings::IniFormat);
    QCOMPARE(propio.value(QStringLiteral("Config/Valor")).toString(), QStringLiteral("5"));
    QVERIFY(!propio.contains(QStringLiteral("Config/Pass")));
    QVERIFY(archivo.open(QIODevice::ReadOnly));
    QCOMPARE(archivo.readAll(), contenido);
    QCOMPARE(QDir(sistema.filePath(QStringLiteral("comun"))).entryList(QDir::Files),
             QStringList{nombreArchivo});

    // With only a store that cannot be read, as without one.
    qputenv(variable.constData(), QFile::encodeName(sistema.filePath(QStringLiteral("ilegible"))));
    QCOMPARE(hijo::Leer(ajustes::kPass), std::optional<QString>(QString()));
}

void PruebaAlmacen::copiaConOtroNombre_data() {
    QTest::addColumn<QString>("nombre");
    QTest::newRow("otro nombre") << QStringLiteral("otra_copia");
    QTest::newRow("con un punto") << QStringLiteral("copia.v2");
    QTest::newRow("el del programa") << QStringLiteral("Quelvaren");
}

void PruebaAlmacen::copiaConOtroNombre() {
    QFETCH(QString, nombre);
    QTemporaryDir carpeta;
    QVERIFY(carpeta.isValid());
    const QString copia = carpeta.filePath(nombre);
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copia));

    QVERIFY(ajustes::Escribir(ajustes::kValor, QStringLiteral("1")).ok());
    // The copy starts from an empty store of its own...
    QCOMPARE(hijo::Leer(ajustes::kValor, copia), std::optional<QString>(QStringLiteral("32768")));
    QVERIFY(hijo::Escribir(ajustes::kValor, QStringLiteral("123"), copia));
    QVERIFY(QFileInfo(entorno_.CarpetaConfiguracion() + QLatin1Char('/') + nombre +
                      QStringLiteral(".conf"))
                .isFile());
    QCOMPARE(hijo::Leer(ajustes::kValor, copia), std::optional<QString>(QStringLiteral("123")));
    // ... and leaves this one's alone.
    QCOMPARE(hijo::Leer(ajustes::kValor), std::optional<QString>(QStringLiteral("1")));
}

void PruebaAlmacen::idaYVueltaEntreProcesos_data() {
    QTest::addColumn<QString>("valor");
    QTest::addColumn<bool>("escribeOtroProceso");
    QString largo;
    constexpr int kLargo = 10000;
    for (int i = 0; i < kLargo; ++i) {
        largo.append(QChar(i % (kCodigoMaximo + 1)));
    }
    const std::pair<const char*, QString> casos[] = {
        {"todos los códigos", TodosLosCodigos(false)},
        {"todos los códigos al revés", TodosLosCodigos(true)},
        {"solo NUL", QString(3, QChar(0))},
        {"vacío", QString()},
        {"arroba Variant", QStringLiteral("@Variant(abc)")},
        {"arroba ByteArray", QStringLiteral("@ByteArray(x)")},
        {"comas y espacios", QStringLiteral(" a, b ;c ")},
        {"comillas y barras", QStringLiteral("\"x\"\\y\\")},
        {"como una sección", QStringLiteral("#[Config]\nPass=x\r\n=")},
        {"largo", largo},
        {"fuera de Latin-1", QStringLiteral("€ñ日本")},
    };
    for (const auto& [nombre, valor] : casos) {
        for (const bool otro : {false, true}) {
            QTest::addRow("%s, lo escribe %s", nombre, otro ? "otro proceso" : "este proceso")
                << valor << otro;
        }
    }
}

void PruebaAlmacen::idaYVueltaEntreProcesos() {
    QFETCH(QString, valor);
    QFETCH(bool, escribeOtroProceso);
    if (escribeOtroProceso) {
        QVERIFY(hijo::Escribir(ajustes::kPass, valor));
    } else {
        QVERIFY(ajustes::Escribir(ajustes::kPass, valor).ok());
    }
    const auto leido = hijo::Leer(ajustes::kPass);
    QVERIFY(leido.has_value());
    QCOMPARE(leido->size(), valor.size());
    QCOMPARE(*leido, valor);
}

void PruebaAlmacen::escrituraReemplaza() {
    QVERIFY(ajustes::Escribir(ajustes::kAuto, QStringLiteral("S")).ok());
    QVERIFY(ajustes::Escribir(ajustes::kValor, QStringLiteral("1")).ok());
    QVERIFY(ajustes::Escribir(ajustes::kValor, QStringLiteral("2")).ok());
    // Seen by the very next read, here and in another process.
    QCOMPARE(ajustes::Leer(ajustes::kValor), QStringLiteral("2"));
    QCOMPARE(hijo::Leer(ajustes::kValor), std::optional<QString>(QStringLiteral("2")));
    QCOMPARE(hijo::Leer(ajustes::kAuto), std::optional<QString>(QStringLiteral("S")));
    // An empty text is a value, not a missing key.
    QVERIFY(ajustes::Escribir(ajustes::kValor, QString()).ok());
    QCOMPARE(hijo::Leer(ajustes::kValor), std::optional<QString>(QString()));
}

enum class Permisos { RecienCreado, Reescrito, AbiertoPorOtro, MascaraPermisiva };
Q_DECLARE_METATYPE(Permisos)

void PruebaAlmacen::archivoPrivado_data() {
    QTest::addColumn<Permisos>("caso");
    QTest::newRow("recién creado") << Permisos::RecienCreado;
    QTest::newRow("reescrito") << Permisos::Reescrito;
    QTest::newRow("abierto a otros entre dos escrituras") << Permisos::AbiertoPorOtro;
    QTest::newRow("creado con una máscara que no quita nada") << Permisos::MascaraPermisiva;
}

void PruebaAlmacen::archivoPrivado() {
    QFETCH(Permisos, caso);
    const QString archivo = entorno_.ArchivoAjustes();
    const QString clave = QStringLiteral("secreta");
    switch (caso) {
    case Permisos::RecienCreado:
        QVERIFY(ajustes::Escribir(ajustes::kPass, clave).ok());
        break;
    case Permisos::Reescrito:
        QVERIFY(ajustes::Escribir(ajustes::kPass, clave).ok());
        QVERIFY(ajustes::Escribir(ajustes::kPass, clave).ok());
        QVERIFY(ajustes::Escribir(ajustes::kValor, QStringLiteral("5")).ok());
        break;
    case Permisos::AbiertoPorOtro:
        QVERIFY(ajustes::Escribir(ajustes::kPass, clave).ok());
        QVERIFY(PonerModo(archivo, kModoAbierto));
        QVERIFY(ajustes::Escribir(ajustes::kValor, QStringLiteral("5")).ok());
        break;
    case Permisos::MascaraPermisiva: {
        const mode_t anterior = ::umask(0);
        const bool bien = ajustes::Escribir(ajustes::kPass, clave).ok();
        ::umask(anterior);
        QVERIFY(bien);
        break;
    }
    }
    QCOMPARE(ModoDe(archivo), kModoPrivado);
    QCOMPARE(hijo::Leer(ajustes::kPass), std::optional<QString>(clave));
}

enum class Fallo { CarpetaEsArchivo, CarpetaSoloLectura, SinSitioParaElBloqueo, EscrituraCortada };
Q_DECLARE_METATYPE(Fallo)

void PruebaAlmacen::escrituraFallida_data() {
    QTest::addColumn<Fallo>("fallo");
    QTest::addColumn<QString>("motivoContiene");
    QTest::newRow("la carpeta es un archivo")
        << Fallo::CarpetaEsArchivo << QStringLiteral("no es una carpeta");
    QTest::newRow("carpeta de solo lectura")
        << Fallo::CarpetaSoloLectura << QStringLiteral("permiso");
    QTest::newRow("sin sitio para el archivo de bloqueo")
        << Fallo::SinSitioParaElBloqueo << QStringLiteral("espacio");
    QTest::newRow("escritura cortada a medias")
        << Fallo::EscrituraCortada << QStringLiteral("incompleto");
}

void PruebaAlmacen::escrituraFallida() {
    QFETCH(Fallo, fallo);
    QFETCH(QString, motivoContiene);
    const QString viejo = QStringLiteral("viejo");
    QVERIFY(ajustes::Escribir(ajustes::kPass, QStringLiteral("clave")).ok());
    QVERIFY(ajustes::Escribir(ajustes::kValor, viejo).ok());
    const QString archivo = entorno_.ArchivoAjustes();
    const QString carpeta = entorno_.CarpetaConfiguracion();

    // Long enough to cross the size cap below; the store writes "Valor" as its
    // file's last line.
    constexpr int kLargoNuevo = 4000;
    constexpr rlim_t kTopeCorte = 1000;
    constexpr rlim_t kTopeBloqueo = 1;
    const QString nuevo(kLargoNuevo, QLatin1Char('n'));
    ajustes::ResultadoEscritura resultado;
    switch (fallo) {
    case Fallo::CarpetaEsArchivo: {
        const EntornoPrueba::EscrituraRechazada rechazada(entorno_);
        QVERIFY(rechazada.lista());
        resultado = ajustes::Escribir(ajustes::kValor, nuevo);
        break;
    }
    case Fallo::CarpetaSoloLectura: {
        QVERIFY(PonerModo(carpeta, kCarpetaSoloLectura));
        if (::access(QFile::encodeName(carpeta).constData(), W_OK) == 0) {
            QVERIFY(PonerModo(carpeta, kCarpetaNormal));
            QSKIP("This user writes into read-only folders (root); the other rows cover the "
                  "failure paths.");
        }
        resultado = ajustes::Escribir(ajustes::kValor, nuevo);
        QVERIFY(PonerModo(carpeta, kCarpetaNormal));
        break;
    }
    case Fallo::SinSitioParaElBloqueo: {
        LimiteTamanoArchivo limite(kTopeBloqueo);
        QVERIFY(limite.activo());
        resultado = ajustes::Escribir(ajustes::kValor, nuevo);
        break;
    }
    case Fallo::EscrituraCortada: {
        LimiteTamanoArchivo limite(kTopeCorte);
        QVERIFY(limite.activo());
        resultado = ajustes::Escribir(ajustes::kValor, nuevo);
        break;
    }
    }

    QVERIFY(!resultado.ok());
    QVERIFY2(resultado.motivo.contains(motivoContiene), qPrintable(resultado.motivo));
    // Nothing of the failed write is left behind: not in this process...
    QCOMPARE(ajustes::Leer(ajustes::kValor), viejo);
    // ... not in the next successful write ...
    QVERIFY(ajustes::Escribir(ajustes::kAuto, QStringLiteral("S")).ok());
    QCOMPARE(hijo::Leer(ajustes::kValor), std::optional<QString>(viejo));
    // ... and the rest of the store is whole.
    QCOMPARE(hijo::Leer(ajustes::kPass), std::optional<QString>(QStringLiteral("clave")));
    QCOMPARE(hijo::Leer(ajustes::kAuto), std::optional<QString>(QStringLiteral("S")));
    QCOMPARE(ModoDe(archivo), kModoPrivado);
}

void PruebaAlmacen::archivoAjeno_data() {
    QTest::addColumn<QByteArray>("contenido");
    QTest::addColumn<const Clave*>("clave");
    QTest::addColumn<QString>("esperado");
    constexpr int kBytesAlAzar = 4096;
    constexpr quint32 kSemilla = 20240607;
    QByteArray azar(kBytesAlAzar, '\0');
    QRandomGenerator generador(kSemilla);
    for (char& byte : azar) {
        byte = static_cast<char>(generador.bounded(kCodigoMaximo + 1));
    }
    QTest::newRow("bytes al azar") << azar << &ajustes::kValor << QStringLiteral("32768");
    QTest::newRow("sección sin cerrar")
        << QByteArray("[Config") << &ajustes::kValor << QStringLiteral("32768");
    QTest::newRow("basura tras un valor bueno")
        << QByteArray("[Config]\nAuto=S\n\xff\xfe\0junk\n=5\n[[[\n", 32) << &ajustes::kAuto
        << QStringLiteral("S");
    QTest::newRow("lista escrita a mano")
        << QByteArray("[Config]\nValor=1, 2\n") << &ajustes::kValor << QStringLiteral("1, 2");
    QTest::newRow("variante rota") << QByteArray("[Config]\nValor=@Variant(\\0\\0\\0\\x7f\\0)\n")
                                   << &ajustes::kValor << QStringLiteral("32768");
    QTest::newRow("variante que no es texto")
        << QByteArray("[Config]\nValor=@Rect(1 2 3 4)\n") << &ajustes::kValor << QString();
    QTest::newRow("vacío") << QByteArray() << &ajustes::kIntervalo << QStringLiteral("30");
}

void PruebaAlmacen::archivoAjeno() {
    QFETCH(QByteArray, contenido);
    QFETCH(const Clave*, clave);
    QFETCH(QString, esperado);
    QFile archivo(entorno_.ArchivoAjustes());
    QVERIFY(archivo.open(QIODevice::WriteOnly));
    QCOMPARE(archivo.write(contenido), contenido.size());
    archivo.close();

    // Read as at start-up, by a process that has not seen the file before.
    QCOMPARE(hijo::Leer(*clave), std::optional<QString>(esperado));
    // The store takes the file over with the next write.
    QVERIFY(ajustes::Escribir(ajustes::kPass, QStringLiteral("MwM")).ok());
    QCOMPARE(hijo::Leer(ajustes::kPass), std::optional<QString>(QStringLiteral("MwM")));
    QCOMPARE(ModoDe(entorno_.ArchivoAjustes()), kModoPrivado);
}

void PruebaAlmacen::avisoDeFallo_data() {
    QTest::addColumn<bool>("conPadre");
    QTest::newRow("sin ventana") << false;
    QTest::newRow("sobre una ventana") << true;
}

void PruebaAlmacen::avisoDeFallo() {
    QFETCH(bool, conPadre);
    QWidget ventana;
    QWidget* padre = conPadre ? &ventana : nullptr;
    if (padre != nullptr) {
        ventana.show();
    }
    VigiaCajas vigia;
    ajustes::AvisarFalloEscritura(padre, {QStringLiteral("La carpeta no existe.")});
    QCOMPARE(vigia.vistas().size(), std::size_t{1});
    const CajaVista& caja = vigia.vistas().front();
    QCOMPARE(caja.nombre, QLatin1String(ajustes::kAvisoFalloEscritura));
    QCOMPARE(caja.titulo, QStringLiteral("Quelvaren"));
    QCOMPARE(caja.texto,
             QStringLiteral("No se pudo guardar la configuración.\nLa carpeta no existe."));
    QCOMPARE(caja.icono, QMessageBox::Information);
    QCOMPARE(caja.botones, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(caja.padre, padre);
    // The reason names a path, which the user may want to copy.
    QVERIFY(caja.seleccionable);
}

// An administrator's policy at its real path wins over the user's store, key
// by key; where it sets Valor, Modo and Dispositivo are its own or their
// defaults. Each change of the file is told once it has settled.
void PruebaAlmacen::politicaDelAdministrador() {
    QUELVAREN_CON_ETC_PROPIO();
    const auto quitar = qScopeGuard([] { politica_prueba::Quitar(); });
    ajustes::VigiaPolitica vigia;
    QSignalSpy cambios(&vigia, &ajustes::VigiaPolitica::Cambiada);
    const std::pair<const Clave*, const char*> delUsuario[] = {
        {&ajustes::kValor, "65535"}, {&ajustes::kModo, "Piso"}, {&ajustes::kDispositivo, "nada"},
        {&ajustes::kAviso, "S"},     {&ajustes::kAuto, "N"},    {&ajustes::kPass, "MwM"}};
    for (const auto& [clave, texto] : delUsuario) {
        QVERIFY(ajustes::Escribir(*clave, QString::fromLatin1(texto)).ok());
    }
    const auto leido = [](const Clave& clave) {
        const ajustes::Lectura lectura = ajustes::LeerConOrigen(clave);
        return lectura.texto + QLatin1Char('|') + QString::number(static_cast<int>(lectura.origen));
    };
    const auto de = [](const char* texto, ajustes::Origen origen) {
        return QString::fromLatin1(texto) + QLatin1Char('|') +
               QString::number(static_cast<int>(origen));
    };
    using ajustes::Origen;
    QVERIFY(politica_prueba::Poner({{QStringLiteral("Valor"), QStringLiteral("20000")},
                                    {QStringLiteral("Auto"), QStringLiteral("S")},
                                    {QStringLiteral("Pass"), QStringLiteral("4")},
                                    {QStringLiteral("Clave"), QString()}}));
    QVERIFY(cambios.wait());
    QCOMPARE(leido(ajustes::kValor), de("20000", Origen::Politica));
    QCOMPARE(leido(ajustes::kAuto), de("S", Origen::Politica));
    QCOMPARE(leido(ajustes::kModo), de("Fijo", Origen::PorDefecto));
    QCOMPARE(leido(ajustes::kDispositivo), de("", Origen::PorDefecto));
    QCOMPARE(leido(ajustes::kAviso), de("S", Origen::Usuario));
    QCOMPARE(leido(ajustes::kPass), de("MwM", Origen::Usuario)); // Pass is no policy key
    QVERIFY(!ajustes::LeerPolitica(ajustes::kClavePolitica));    // nor is an empty Clave one

    // Without Valor, the user's device again, and the policy's own Modo.
    QVERIFY(politica_prueba::Poner({{QStringLiteral("Modo"), QStringLiteral("Tope")}}));
    QVERIFY(cambios.wait());
    QCOMPARE(leido(ajustes::kModo), de("Tope", Origen::Politica));
    QCOMPARE(leido(ajustes::kDispositivo), de("nada", Origen::Usuario));
    QVERIFY(politica_prueba::Quitar());
    QVERIFY(cambios.wait());
    QCOMPARE(leido(ajustes::kModo), de("Piso", Origen::Usuario));
}

int main(int argc, char** argv) {
    if (const auto salida = hijo::Atender(argc, argv)) {
        return *salida;
    }
    EntornoPrueba entorno;
    QApplication aplicacion(argc, argv);
    PruebaAlmacen prueba(entorno);
    return QTest::qExec(&prueba, argc, argv);
}

#include "prueba_almacen.moc"
