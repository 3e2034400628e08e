#include "app/linea_ordenes.h"

#include "access/acceso.h"
#include "access/huella_clave.h"
#include "app/consola.h"
#include "app/traduccion.h"
#include "settings/ajustes.h"
#include "settings/linea_preajuste.h"
#include "version_programa.h"
#include "volume/dispositivos.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <iterator>

namespace linea_ordenes {

namespace {

constexpr char kOpcionAyuda[] = "help";
constexpr char kOpcionAyudaCorta[] = "h";
constexpr char kOpcionVersion[] = "version"; // the name addVersionOption gives it
constexpr char kOpcionDispositivos[] = "dispositivos";
constexpr char kOpcionClave[] = "clave-preajuste";
constexpr char kOpcionClavePolitica[] = "clave-politica";
constexpr char kOpcionComprobar[] = "comprobar";
// The options of this file, of which one at a time.
constexpr const char* kOpcionesPropias[] = {kOpcionAyuda, kOpcionVersion,       kOpcionDispositivos,
                                            kOpcionClave, kOpcionClavePolitica, kOpcionComprobar};

// Qt's own options, which QApplication, the X11 platform and QGuiApplication
// take off the command line themselves: known here only so that they still
// reach the application (a session manager restarts a program with
// -session), and kept out of the help.
// clang-format off
constexpr const char* kOpcionesQtConValor[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowicon", "icon", "qwindowtitle", "title", "session", "display", "name", "style",
    "stylesheet", "qmljsdebugger"};
constexpr const char* kOpcionesQtSinValor[] = {
    "reverse", "widgetcount", "sync", "testability", "nograb", "dograb"};
// clang-format on

// The most bytes read for a password: far more than the longest password
// takes in any encoding; anything longer is turned down as too long.
constexpr qint64 kTopeLectura = 4096;

void Preparar(QCommandLineParser& analizador) {
    // Qt's own options come with one dash ("-platform xcb"), as Qt writes them.
    analizador.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    analizador.setApplicationDescription(
        QStringLiteral("Mantiene el volumen de la salida de audio en el nivel elegido. Sin "
                       "opciones arranca en la bandeja del sistema, o devuelve la ventana de la "
                       "copia que ya está en marcha."));
    // The help's own option, for a description in Spanish (Qt's translation
    // lacks it).
    analizador.addOption(QCommandLineOption(
        {QString::fromLatin1(kOpcionAyudaCorta), QString::fromLatin1(kOpcionAyuda)},
        QStringLiteral("Muestra esta ayuda.")));
    analizador.addVersionOption();
    analizador.addOption(QCommandLineOption(
        QString::fromLatin1(kOpcionDispositivos),
        QStringLiteral("Escribe los dispositivos de salida de audio, uno por línea: el nombre, "
                       "un tabulador y la descripción; el predeterminado termina en "
                       "\"%1\".")
            .arg(QString::fromUtf8(kMarcaPredeterminado))));
    analizador.addOption(QCommandLineOption(
        QString::fromLatin1(kOpcionClave),
        QStringLiteral("Lee una clave de acceso de la entrada estándar (una línea) y escribe la "
                       "línea de Pass que la fija en el preajuste para todos los usuarios.")));
    analizador.addOption(QCommandLineOption(
        QString::fromLatin1(kOpcionClavePolitica),
        QStringLiteral("Lee una clave de acceso de la entrada estándar (una línea) y escribe la "
                       "línea de Clave que la fija en la política del administrador.")));
    analizador.addOption(QCommandLineOption(
        QString::fromLatin1(kOpcionComprobar),
        QStringLiteral("Escribe cada valor en vigor y de dónde viene (política, usuario, "
                       "preajuste o por defecto), y avisa de lo que no se entiende. Sale con 0 "
                       "si todo está bien, 1 con avisos y 2 si la política no se puede usar.")));
    for (const char* nombre : kOpcionesQtConValor) {
        QCommandLineOption opcion(QString::fromLatin1(nombre), QString(), QStringLiteral("valor"));
        opcion.setFlags(QCommandLineOption::HiddenFromHelp);
        analizador.addOption(opcion);
    }
    for (const char* nombre : kOpcionesQtSinValor) {
        QCommandLineOption opcion(QString::fromLatin1(nombre));
        opcion.setFlags(QCommandLineOption::HiddenFromHelp);
        analizador.addOption(opcion);
    }
}

// Whether the command line asks for anything of this file: an option of its
// own, or one that is not understood.
bool EsNuestra(int argc, char* argv[]) {
    QStringList argumentos;
    for (int i = 0; i < argc; ++i) {
        argumentos.append(QString::fromLocal8Bit(argv[i]));
    }
    QCommandLineParser analizador;
    Preparar(analizador);
    if (!analizador.parse(argumentos) || !analizador.positionalArguments().isEmpty()) {
        return true;
    }
    return std::any_of(std::begin(kOpcionesPropias), std::end(kOpcionesPropias),
                       [&analizador](const char* nombre) {
                           return analizador.isSet(QString::fromLatin1(nombre));
                       });
}

// Everything an option prints goes through these two and consola: to the
// console it was started from, to where it is redirected, or to a message
// box on Windows.
void Escribir(const QString& linea) {
    consola::Escribir(linea);
}

void Error(const QString& motivo) {
    consola::EscribirError(motivo);
}

// Whether everything written reached standard output.
int Final() {
    if (!consola::SalidaCompleta()) {
        Error(QStringLiteral("No se pudo escribir la salida."));
        return kSalidaError;
    }
    return 0;
}

int MostrarDispositivos() {
    const volumen::ListaDispositivos lista = volumen::ListarDispositivos();
    if (!lista.error.empty()) {
        Error(QString::fromStdString(lista.error));
        return kSalidaError;
    }
    for (const volumen::Dispositivo& dispositivo : lista.dispositivos) {
        QString linea = QString::fromStdString(dispositivo.nombre) + QLatin1Char('\t') +
                        QString::fromStdString(dispositivo.descripcion);
        if (dispositivo.predeterminado) {
            linea += QString::fromUtf8(kMarcaPredeterminado);
        }
        Escribir(linea);
    }
    return Final();
}

// The first line of standard input, without its end: the one way every
// option reads a password (as typed, on a Windows console too; not shown at
// a terminal or a console).
QString LeerClave() {
    return consola::LeerClave(kTopeLectura);
}

// The position (from 1) of the first character that cannot be scrambled
// where it stands.
qsizetype PrimeraPosicionNoCifrable(const QString& clave) {
    qsizetype posicion = 1;
    while (posicion < clave.size() &&
           ajustes::CifrarClave(true, clave.left(posicion), ajustes::kBaseCifrado)) {
        ++posicion;
    }
    return posicion;
}

// The password on standard input, when the access dialog can take it;
// otherwise nothing, and the reason on standard error.
std::optional<QString> ClaveLeida() {
    const QString clave = LeerClave();
    if (clave.isEmpty()) {
        Error(QStringLiteral("No se leyó ninguna clave: escríbala en la entrada estándar, en una "
                             "línea."));
        return std::nullopt;
    }
    if (clave.size() > acceso::kLongitudMaximaClave) {
        Error(QStringLiteral("La clave tiene más de %1 caracteres, más de los que admite el "
                             "cuadro de la clave de acceso.")
                  .arg(acceso::kLongitudMaximaClave));
        return std::nullopt;
    }
    return clave;
}

int MostrarLineaClave() {
    const std::optional<QString> leida = ClaveLeida();
    if (!leida) {
        return kSalidaError;
    }
    const QString& clave = *leida;
    const std::optional<QString> cifrada = ajustes::CifrarClave(true, clave, ajustes::kBaseCifrado);
    if (!cifrada) {
        Error(QStringLiteral("La clave no se puede guardar: el carácter de la posición %1 no "
                             "está permitido en ese lugar.")
                  .arg(PrimeraPosicionNoCifrable(clave)));
        return kSalidaError;
    }
    Escribir(QString::fromLatin1(ajustes::LineaPreajuste(ajustes::kPass, *cifrada)));
    return Final();
}

// Any password goes: the hash is of its UTF-8 text.
int MostrarLineaClavePolitica() {
    const std::optional<QString> clave = ClaveLeida();
    if (!clave) {
        return kSalidaError;
    }
    Escribir(QLatin1String(ajustes::kClavePolitica.nombre) + QLatin1Char('=') +
             acceso::TextoHuella(acceso::CrearHuella(*clave)));
    return Final();
}

// Which password opens the window, as --comprobar's last value: the policy's
// (and what its hash says of itself), the user's, or none.
void RevisarClave(ajustes::Comprobacion& comprobacion) {
    if (const auto impuesta = ajustes::LeerPolitica(ajustes::kClavePolitica)) {
        QString motivo;
        const auto huella = acceso::LeerHuella(*impuesta, &motivo);
        if (!huella) {
            comprobacion.valores.append(QStringLiteral("Clave de acceso: la de la política"));
            comprobacion.errores.append(
                QStringLiteral("Clave (política) no se entiende: %1. Ninguna clave abrirá la "
                               "ventana ni la configuración.")
                    .arg(motivo));
            return;
        }
        comprobacion.valores.append(
            QStringLiteral("Clave de acceso: la de la política (%1, %2 iteraciones)")
                .arg(QLatin1String(acceso::kAlgoritmoHuella))
                .arg(huella->iteraciones));
        if (huella->iteraciones < acceso::kIteracionesHuella) {
            comprobacion.avisos.append(
                QStringLiteral("Clave (política) tiene %1 iteraciones, menos de las %2 que escribe "
                               "--clave-politica: se adivina antes.")
                    .arg(huella->iteraciones)
                    .arg(acceso::kIteracionesHuella));
        }
        if (huella->sal.size() < acceso::kBytesSal) {
            comprobacion.avisos.append(
                QStringLiteral("Clave (política) tiene una sal de %1 bytes, menos de %2.")
                    .arg(huella->sal.size())
                    .arg(acceso::kBytesSal));
        }
        return;
    }
    const auto clave = ajustes::LeerClave();
    const QString origen = ajustes::NombreOrigen(clave.origen);
    if (!clave.valor) {
        comprobacion.valores.append(QStringLiteral("Clave de acceso: ninguna"));
        comprobacion.avisos.append(QStringLiteral("Pass (%1) no se puede descifrar: al arrancar "
                                                  "se pide una clave nueva.")
                                       .arg(origen));
    } else if (clave.valor->isEmpty()) {
        comprobacion.valores.append(
            QStringLiteral("Clave de acceso: ninguna (al arrancar se pide una)"));
    } else {
        comprobacion.valores.append(QStringLiteral("Clave de acceso: la de Pass (%1)").arg(origen));
    }
}

int MostrarComprobacion() {
    ajustes::Comprobacion comprobacion = ajustes::Comprobar();
    RevisarClave(comprobacion);
    for (const QString& linea : comprobacion.valores) {
        Escribir(linea);
    }
    for (const QString& aviso : comprobacion.avisos) {
        Error(QStringLiteral("Aviso: ") + aviso);
    }
    for (const QString& error : comprobacion.errores) {
        Error(QStringLiteral("Error: ") + error);
    }
    if (const int escrito = Final(); escrito != 0) {
        return escrito;
    }
    if (!comprobacion.errores.isEmpty()) {
        return kSalidaPoliticaInservible;
    }
    return comprobacion.avisos.isEmpty() ? 0 : kSalidaAvisos;
}

// What makes the command line one that cannot be carried out: more than one
// option of this file, or arguments that are no option. Empty when none.
QString ErrorDeUso(const QCommandLineParser& analizador) {
    QStringList puestas;
    for (const char* nombre : kOpcionesPropias) {
        if (analizador.isSet(QString::fromLatin1(nombre))) {
            puestas.append(QStringLiteral("--") + QString::fromLatin1(nombre));
        }
    }
    if (puestas.size() > 1) {
        const QString ultima = puestas.takeLast();
        return QStringLiteral("Las opciones %1 y %2 no se pueden usar juntas.")
            .arg(puestas.join(QStringLiteral(", ")), ultima);
    }
    if (const QStringList sueltos = analizador.positionalArguments(); !sueltos.isEmpty()) {
        return QStringLiteral("No se esperaba «%1»: el programa solo admite opciones (--help las "
                              "muestra).")
            .arg(sueltos.join(QLatin1Char(' ')));
    }
    return {};
}

// What the command line asks for, once the application and its console
// are ready: the exit code.
int Ejecutar(const QCoreApplication& aplicacion) {
    QCommandLineParser analizador;
    Preparar(analizador);
    // Printed here rather than by the parser, which on Windows writes in the
    // wrong character set or to a box of its own.
    if (!analizador.parse(aplicacion.arguments())) {
        Error(QStringLiteral("%1: %2").arg(QCoreApplication::applicationName(),
                                           analizador.errorText()));
        return kSalidaError;
    }
    // Options that go together badly, and stray arguments, before any of
    // them is carried out.
    if (const QString error = ErrorDeUso(analizador); !error.isEmpty()) {
        Error(error);
        return kSalidaUso;
    }
    if (analizador.isSet(QString::fromLatin1(kOpcionAyuda))) {
        QString ayuda = analizador.helpText();
        ayuda.chop(1); // its own last line's end
        Escribir(ayuda);
        return Final();
    }
    if (analizador.isSet(QString::fromLatin1(kOpcionVersion))) {
        Escribir(QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                             QCoreApplication::applicationVersion()));
        return Final();
    }
    if (analizador.isSet(QString::fromLatin1(kOpcionDispositivos))) {
        return MostrarDispositivos();
    }
    if (analizador.isSet(QString::fromLatin1(kOpcionClavePolitica))) {
        return MostrarLineaClavePolitica();
    }
    if (analizador.isSet(QString::fromLatin1(kOpcionComprobar))) {
        return MostrarComprobacion();
    }
    return MostrarLineaClave();
}

} // namespace

std::optional<int> Atender(int argc, char* argv[]) {
    // The usual start, with no option or only Qt's, is decided without an
    // application object: the QApplication made later is the only one.
    if (!EsNuestra(argc, argv)) {
        return std::nullopt;
    }

    QCoreApplication aplicacion(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf8(version_programa::kTitulo));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(version_programa::kMayor)
                                                .arg(version_programa::kMenor)
                                                .arg(version_programa::kRevision));
    // The help and the parser's errors in Spanish, as the windows speak.
    CargarTraduccionQt();

    consola::Abrir();
    const int salida = Ejecutar(aplicacion);
    consola::Cerrar();
    return salida;
}

} // namespace linea_ordenes
