// The platform the program picks from its environment, and the real program
// started with no graphical session at all: as a desktop program it refuses,
// and its command-line options work all the same.

#include "access/acceso.h"
#include "access/huella_clave.h"
#include "app/linea_ordenes.h"
#include "app/plataforma.h"
#include "settings/ajustes.h"
#include "support/politica_prueba.h"
#include "support/programa_x.h"
#include "version_programa.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kX11 = QStringLiteral("DISPLAY");
const QString kWayland = QStringLiteral("WAYLAND_DISPLAY");
const QString kPlataforma = QStringLiteral("QT_QPA_PLATFORM");
const QString kMetodoEntrada = QStringLiteral("QT_IM_MODULE");
const QStringList kOpcionClave{QStringLiteral("--clave-preajuste")};

// No graphical session, and a settings folder of its own.
QProcessEnvironment EntornoOpciones(const QTemporaryDir& ajustes) {
    QProcessEnvironment entorno =
        programa_x::SinSesionGrafica(QProcessEnvironment::systemEnvironment());
    entorno.insert(QStringLiteral("XDG_CONFIG_HOME"), ajustes.path());
    return entorno;
}

QList<QByteArray> Lineas(const QByteArray& texto) {
    QList<QByteArray> lineas = texto.split('\n');
    lineas.removeAll(QByteArray());
    return lineas;
}

} // namespace

class PruebaPlataforma : public QObject {
    Q_OBJECT

private slots:
    void decision_data() {
        QTest::addColumn<QStringList>("variables"); // NAME=value
        QTest::addColumn<QString>("plataforma");
        QTest::addColumn<QString>("metodoEntrada");
        QTest::addColumn<bool>("sinSesion");
        const QString x11 = kX11 + QStringLiteral("=:0");
        const QString wayland = kWayland + QStringLiteral("=wayland-0");
        const QString ninguno;
        const QString compose = QStringLiteral("compose");
        QTest::newRow("X11") << QStringList{x11} << ninguno << ninguno << false;
        QTest::newRow("Wayland con XWayland")
            << QStringList{x11, wayland} << QStringLiteral("xcb;wayland") << compose << false;
        QTest::newRow("Wayland solo") << QStringList{wayland} << ninguno << compose << false;
        QTest::newRow("Wayland solo, método de entrada del usuario")
            << QStringList{wayland, kMetodoEntrada + QStringLiteral("=ibus")} << ninguno << ninguno
            << false;
        QTest::newRow("Wayland elegido por el usuario")
            << QStringList{x11, wayland, kPlataforma + QStringLiteral("=wayland")} << ninguno
            << compose << false;
        QTest::newRow("wayland-egl y método elegidos por el usuario")
            << QStringList{wayland, kPlataforma + QStringLiteral("=wayland-egl"),
                           kMetodoEntrada + QStringLiteral("=fcitx")}
            << ninguno << ninguno << false;
        QTest::newRow("xcb elegido por el usuario")
            << QStringList{x11, wayland, kPlataforma + QStringLiteral("=xcb")} << ninguno << ninguno
            << false;
        QTest::newRow("sin sesión") << QStringList{} << ninguno << ninguno << true;
        QTest::newRow("variables vacías")
            << QStringList{kX11 + QLatin1Char('='), kWayland + QLatin1Char('=')} << ninguno
            << ninguno << true;
        QTest::newRow("sin sesión, offscreen elegido")
            << QStringList{kPlataforma + QStringLiteral("=offscreen")} << ninguno << ninguno
            << false;
    }

    void decision() {
        QFETCH(QStringList, variables);
        QFETCH(QString, plataforma);
        QFETCH(QString, metodoEntrada);
        QFETCH(bool, sinSesion);
        QProcessEnvironment entorno;
        for (const QString& variable : variables) {
            const auto igual = variable.indexOf(QLatin1Char('='));
            entorno.insert(variable.left(igual), variable.mid(igual + 1));
        }
        const plataforma::Decision decision = plataforma::Decidir(entorno);
        QCOMPARE(decision.plataforma, plataforma);
        QCOMPARE(decision.metodoEntrada, metodoEntrada);
        QCOMPARE(decision.sinSesion, sinSesion);
    }

    // Instead of Qt's abort: one line that says why, and an error exit.
    void sinSesionGrafica() {
        QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
        for (const QString& variable : {kX11, kWayland, kPlataforma}) {
            entorno.remove(variable);
        }
        QProcess programa;
        programa.setProcessEnvironment(entorno);
        programa.start(kPrograma, {});
        QVERIFY(programa.waitForFinished());
        QCOMPARE(programa.exitStatus(), QProcess::NormalExit);
        QVERIFY(programa.exitCode() != 0);
        const QStringList lineas = QString::fromLocal8Bit(programa.readAllStandardError())
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lineas.size(), 1);
        QVERIFY2(lineas.first().startsWith(
                     QStringLiteral("Quelvaren necesita una sesión gráfica (X11 o Wayland)")),
                 qPrintable(lineas.first()));
        QCOMPARE(programa.readAllStandardOutput(), QByteArray());
    }

    // Print and end with no graphical session; Qt's own options are no
    // strangers; nothing is written to the settings.
    void opcionesSinSesion() {
        QTemporaryDir ajustes;
        const QProcessEnvironment entorno = EntornoOpciones(ajustes);
        const QByteArray version = QStringLiteral("%1 %2.%3.%4\n")
                                       .arg(QString::fromUtf8(version_programa::kTitulo))
                                       .arg(version_programa::kMayor)
                                       .arg(version_programa::kMenor)
                                       .arg(version_programa::kRevision)
                                       .toUtf8();
        for (const QStringList& argumentos :
             {QStringList{QStringLiteral("--version")},
              QStringList{QStringLiteral("-platform"), QStringLiteral("xcb"),
                          QStringLiteral("-v")}}) {
            const auto ejecucion = programa_x::EjecutarHastaElFin(kPrograma, argumentos, entorno);
            QCOMPARE(ejecucion.codigo, 0);
            QCOMPARE(ejecucion.salida, version);
        }

        const auto ayuda =
            programa_x::EjecutarHastaElFin(kPrograma, {QStringLiteral("--help")}, entorno);
        QCOMPARE(ayuda.codigo, 0);
        for (const char* opcion : {"--version", "--dispositivos", "--clave-preajuste"}) {
            QVERIFY2(ayuda.salida.contains(opcion), opcion);
        }
        QVERIFY(!ayuda.salida.contains("-platform"));

        for (const QStringList& argumentos :
             {QStringList{QStringLiteral("--desconocida")},
              QStringList{QStringLiteral("--dispositivos"), QStringLiteral("--clave-preajuste")}}) {
            const auto ejecucion = programa_x::EjecutarHastaElFin(kPrograma, argumentos, entorno);
            QVERIFY(ejecucion.codigo > 0);
            QCOMPARE(ejecucion.salida, QByteArray());
            QCOMPARE(Lineas(ejecucion.error).size(), 1);
        }
        // Options of the program together, or stray arguments: nothing done.
        for (const QStringList& argumentos :
             {QStringList{QStringLiteral("--dispositivos"), QStringLiteral("--version")},
              QStringList{QStringLiteral("--comprobar"), QStringLiteral("suelto")},
              QStringList{QStringLiteral("suelto")}}) {
            const auto ejecucion = programa_x::EjecutarHastaElFin(kPrograma, argumentos, entorno);
            QCOMPARE(ejecucion.codigo, linea_ordenes::kSalidaUso);
            QCOMPARE(ejecucion.salida, QByteArray());
            QCOMPARE(Lineas(ejecucion.error).size(), 1);
        }
        QVERIFY(QDir(ajustes.path()).isEmpty());
    }

    // Any password, typed in either Unicode form, gives a Clave line whose
    // hash takes it and no other; --comprobar accepts it as it is.
    void clavePolitica() {
        QUELVAREN_CON_ETC_PROPIO();
        const auto quitar = qScopeGuard([] { politica_prueba::Quitar(); });
        QTemporaryDir ajustes;
        QTemporaryDir sinPreajuste;
        QProcessEnvironment entorno = EntornoOpciones(ajustes);
        entorno.insert(QStringLiteral("XDG_CONFIG_DIRS"), sinPreajuste.path());
        const QString descompuesta = QStringLiteral("n\u0303and\u00fa \u4e2d"); // ñandú 中
        const auto linea = programa_x::EjecutarHastaElFin(
            kPrograma, {QStringLiteral("--clave-politica")}, entorno, descompuesta.toUtf8() + '\n');
        QCOMPARE(linea.codigo, 0);
        QVERIFY(linea.salida.startsWith("Clave=") && linea.salida.endsWith('\n'));
        const QString clave = QString::fromLatin1(linea.salida.mid(6).trimmed());
        const auto huella = acceso::LeerHuella(clave);
        QVERIFY(huella.has_value());
        QVERIFY(acceso::CoincideHuella(*huella, QStringLiteral("\u00f1and\u00fa \u4e2d")));
        QVERIFY(!acceso::CoincideHuella(*huella, QStringLiteral("\u00f1andu \u4e2d")));

        const auto comprobar = [&](const QMap<QString, QString>& politica) {
            return politica_prueba::Poner(politica)
                       ? programa_x::EjecutarHastaElFin(kPrograma, {QStringLiteral("--comprobar")},
                                                        entorno)
                       : programa_x::Ejecucion{};
        };
        const auto bien = comprobar(
            {{QStringLiteral("Valor"), QStringLiteral("20000")}, {QStringLiteral("Clave"), clave}});
        QCOMPARE(bien.codigo, 0);
        QVERIFY2(bien.salida.contains("Valor=20000 (política)\nAuto=N (por defecto)\nModo=Fijo "
                                      "(por defecto)"),
                 bien.salida.constData());
        QCOMPARE(bien.error, QByteArray());
        const auto avisos = comprobar({{QStringLiteral("valor"), QStringLiteral("20000")},
                                       {QStringLiteral("Auto"), QStringLiteral("s")}});
        QCOMPARE(avisos.codigo, linea_ordenes::kSalidaAvisos);
        QCOMPARE(Lineas(avisos.error).size(), 2);
        const auto inservible = comprobar({{QStringLiteral("Clave"), QStringLiteral("abc")}});
        QCOMPARE(inservible.codigo, linea_ordenes::kSalidaPoliticaInservible);
        QVERIFY(QFile::setPermissions(ajustes::UbicacionPolitica(), QFile::ReadOwner));
        const auto ilegible =
            programa_x::EjecutarHastaElFin(kPrograma, {QStringLiteral("--comprobar")}, entorno);
        QCOMPARE(ilegible.codigo, linea_ordenes::kSalidaPoliticaInservible);
        QVERIFY(QDir(ajustes.path()).isEmpty());
    }

    // The password read from standard input comes out as one line of
    // printable ASCII that the store reads back as the password.
    void clavePreajuste_data() {
        QTest::addColumn<QString>("clave");
        QTest::newRow("la cifrada lleva un control C1 y una cifra tras él")
            << QStringLiteral("xyz");
        QTest::newRow("la cifrada empieza por @@") << QStringLiteral("T+a");
        QTest::newRow("la cifrada es un espacio") << QStringLiteral("4");
        QTest::newRow("la cifrada lleva ; y una cifra tras un escape") << QStringLiteral("OpO");
        QTest::newRow("la cifrada lleva = y ;") << QStringLiteral("Q;Q");
        QTest::newRow("la cifrada lleva controles C0") << QStringLiteral(" a b ");
        QTest::newRow("letras acentuadas") << QStringLiteral("ñandú");
        QString larga;
        for (int i = 0; i < acceso::kLongitudMaximaClave; ++i) {
            larga += QChar(u'A' + i);
        }
        QTest::newRow("la más larga") << larga;
    }

    void clavePreajuste() {
        QFETCH(QString, clave);
        QTemporaryDir ajustes;
        const auto ejecucion = programa_x::EjecutarHastaElFin(
            kPrograma, kOpcionClave, EntornoOpciones(ajustes), clave.toUtf8() + '\n');
        QCOMPARE(ejecucion.codigo, 0);
        const QList<QByteArray> lineas = Lineas(ejecucion.salida);
        QCOMPARE(lineas.size(), 1);
        QVERIFY(lineas.first().startsWith("Pass="));
        for (const char c : lineas.first()) {
            QVERIFY2(c >= ' ' && c <= '~', lineas.first().constData());
        }
        QVERIFY(QDir(ajustes.path()).isEmpty());

        const QString archivo = QDir(ajustes.path()).filePath(QStringLiteral("preajuste.conf"));
        QFile escrito(archivo);
        QVERIFY(escrito.open(QIODevice::WriteOnly));
        escrito.write("[Config]\n" + ejecucion.salida);
        escrito.close();
        const QString leido = QSettings(archivo, QSettings::IniFormat)
                                  .value(QStringLiteral("Config/Pass"))
                                  .toString();
        QCOMPARE(ajustes::CifrarClave(false, leido, ajustes::kBaseCifrado), clave);
    }

    // Nothing on the output for a password that cannot be preset.
    void clavePreajusteRechazada_data() {
        QTest::addColumn<QByteArray>("entrada");
        QTest::newRow("nada") << QByteArray();
        QTest::newRow("una línea vacía") << QByteArray("\n");
        QTest::newRow("demasiado larga")
            << QByteArray(acceso::kLongitudMaximaClave + 1, 'a') + '\n';
        QTest::newRow("fuera de la página de códigos") << QStringLiteral("中\n").toUtf8();
    }

    void clavePreajusteRechazada() {
        QFETCH(QByteArray, entrada);
        QTemporaryDir ajustes;
        const auto ejecucion = programa_x::EjecutarHastaElFin(kPrograma, kOpcionClave,
                                                              EntornoOpciones(ajustes), entrada);
        QVERIFY(ejecucion.codigo > 0);
        QCOMPARE(ejecucion.salida, QByteArray());
        QCOMPARE(Lineas(ejecucion.error).size(), 1);
    }
};

QTEST_GUILESS_MAIN(PruebaPlataforma)
#include "prueba_plataforma.moc"
