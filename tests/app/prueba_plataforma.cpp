// The platform the program picks from its environment, and the real program
// started with no graphical session at all.

#include "app/plataforma.h"

#include <QProcess>
#include <QTest>

namespace {

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kX11 = QStringLiteral("DISPLAY");
const QString kWayland = QStringLiteral("WAYLAND_DISPLAY");
const QString kPlataforma = QStringLiteral("QT_QPA_PLATFORM");
const QString kMetodoEntrada = QStringLiteral("QT_IM_MODULE");

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
};

QTEST_GUILESS_MAIN(PruebaPlataforma)
#include "prueba_plataforma.moc"
