// The real program in Wayland sessions, on headless compositors: weston and
// mutter without XWayland (the program runs on Wayland itself), and weston
// next to an X server (the program picks X). In each it must start and show
// its access dialog without crashing; on bare Wayland it must also hold the
// level on the auto road, with a private PulseAudio server.
//
// On bare Wayland nothing here can type into the program's windows or list
// them; there the checks are that it lives on past its first paint of a
// dialog and ends cleanly. With an X server next to the compositor the
// dialog is found and answered through xdotool.

#include "support/escritorio_x.h"
#include "support/programa_x.h"
#include "support/servidor_pulse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/prctl.h>

namespace {

using namespace programa_x;

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kClave = QStringLiteral("abc");
const QString kClaveGuardada = QStringLiteral("MwM");
const QString kTituloAcceso = QStringLiteral("Introducir la CLAVE de ACCESO");
const QString kTituloPrincipal = QStringLiteral("Quelvaren");
const QString kSocket = QStringLiteral("quelvaren-prueba");
constexpr int kAnchoPantalla = 1280;
constexpr int kAltoPantalla = 800;
constexpr std::uint32_t kNivel = 16384;
// Qt 6.4's Wayland input method crashed the program on the first paint of
// the access dialog, well inside this time.
constexpr int kVidaMinimaMs = 3000;

// Ends with the test, also when it crashes.
void AtarAlPadre(QProcess& proceso) {
    proceso.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// Whether the process has its own handler for SIGTERM yet (the program sets
// one up once started), from the kernel's mask of caught signals.
bool AtiendeSigterm(qint64 pid) {
    constexpr int kBaseHexadecimal = 16;
    QFile estado(QStringLiteral("/proc/%1/status").arg(pid));
    if (!estado.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& linea : estado.readAll().split('\n')) {
        if (linea.startsWith("SigCgt:")) {
            const auto mascara =
                linea.mid(linea.indexOf(':') + 1).trimmed().toULongLong(nullptr, kBaseHexadecimal);
            return (mascara >> (SIGTERM - 1)) & 1U;
        }
    }
    return false;
}

void Terminar(QProcess& proceso) {
    if (proceso.state() != QProcess::NotRunning) {
        proceso.terminate();
        if (!proceso.waitForFinished(kEsperaMs)) {
            proceso.kill();
            proceso.waitForFinished();
        }
    }
}

} // namespace

class PruebaSesionesWayland : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorPulse> pulse_;
    QTemporaryDir runtime_; // the compositors' sockets live here
    QTemporaryDir configuracion_;
    QProcess bus_;
    QProcess compositor_;
    QProcess programa_;

    QString ArchivoAjustes() const {
        return configuracion_.filePath(QFileInfo(kPrograma).fileName() + QStringLiteral(".conf"));
    }

    QProcessEnvironment EntornoBase() const {
        QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                     "QT_IM_MODULE", "DBUS_SESSION_BUS_ADDRESS"}) {
            entorno.remove(QString::fromLatin1(variable));
        }
        entorno.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        entorno.insert(QStringLiteral("XDG_CONFIG_HOME"), configuracion_.path());
        return entorno;
    }

    // The program as a Wayland session starts it: WAYLAND_DISPLAY, plus
    // DISPLAY when an X server runs next to the compositor.
    void Lanzar(const QString& display = {}) {
        QProcessEnvironment entorno = EntornoBase();
        entorno.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
        if (!display.isEmpty()) {
            entorno.insert(QStringLiteral("DISPLAY"), display);
        }
        programa_.setProcessEnvironment(entorno);
        programa_.setProcessChannelMode(QProcess::MergedChannels);
        AtarAlPadre(programa_);
        programa_.start(kPrograma, {});
        QVERIFY2(programa_.waitForStarted(), qPrintable(programa_.errorString()));
    }

    bool ArrancarCompositor(const QString& programa, const QStringList& argumentos,
                            const QProcessEnvironment& entorno) {
        compositor_.setProcessEnvironment(entorno);
        compositor_.setProcessChannelMode(QProcess::MergedChannels);
        AtarAlPadre(compositor_);
        compositor_.start(programa, argumentos);
        const QString socket = QDir(runtime_.path()).filePath(kSocket);
        return Esperar([&] {
                   return QFileInfo::exists(socket) || compositor_.state() == QProcess::NotRunning;
               }) &&
               compositor_.state() == QProcess::Running;
    }

    bool ArrancarWeston() {
        return ArrancarCompositor(QStringLiteral("weston"),
                                  {QStringLiteral("--backend=headless-backend.so"),
                                   QStringLiteral("--socket=") + kSocket,
                                   QStringLiteral("--width=%1").arg(kAnchoPantalla),
                                   QStringLiteral("--height=%1").arg(kAltoPantalla)},
                                  EntornoBase());
    }

    // mutter wants a session bus: a private one.
    bool ArrancarMutter() {
        bus_.setProcessEnvironment(EntornoBase());
        AtarAlPadre(bus_);
        bus_.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
        if (!bus_.waitForReadyRead(kEsperaMs)) {
            return false;
        }
        QProcessEnvironment entorno = EntornoBase();
        entorno.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QString::fromLocal8Bit(bus_.readLine()).trimmed());
        return ArrancarCompositor(
            QStringLiteral("mutter"),
            {QStringLiteral("--wayland"), QStringLiteral("--headless"), QStringLiteral("--no-x11"),
             QStringLiteral("--wayland-display=") + kSocket, QStringLiteral("--virtual-monitor"),
             QStringLiteral("%1x%2").arg(kAnchoPantalla).arg(kAltoPantalla)},
            entorno);
    }

    bool Sostenido() {
        const auto canales = pulse_->VolumenCanales(ServidorPulse::kSumideroInicial);
        return !canales.isEmpty() &&
               std::all_of(canales.begin(), canales.end(),
                           [](std::uint32_t v) { return v == VolumenDeNivel(kNivel); });
    }

    // Both roads on bare Wayland: the access dialog comes up and the program
    // lives on; control started by itself holds the sink's level against
    // another program's change and ends cleanly at SIGTERM.
    void ComprobarWaylandSolo() {
        Sembrar(ArchivoAjustes(), {{QStringLiteral("Pass"), kClaveGuardada}});
        Lanzar();
        QTest::qWait(kVidaMinimaMs);
        QCOMPARE(programa_.state(), QProcess::Running);
        programa_.kill();
        programa_.waitForFinished();

        Sembrar(ArchivoAjustes(), {{QStringLiteral("Pass"), kClaveGuardada},
                                   {QStringLiteral("Valor"), QString::number(kNivel)},
                                   {QStringLiteral("Auto"), QStringLiteral("S")}});
        Lanzar();
        QVERIFY(Esperar([&] { return Sostenido(); }));
        // Another program's change does not last.
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
        QVERIFY(Esperar([&] { return Sostenido(); }));
        TerminarPrograma();
    }

    // SIGTERM, as at the end of a session: a clean end.
    void TerminarPrograma() {
        QVERIFY(Esperar([&] { return AtiendeSigterm(programa_.processId()); }));
        programa_.terminate();
        QVERIFY(programa_.waitForFinished(kEsperaMs));
        QCOMPARE(programa_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(programa_.exitCode(), 0);
    }

    static constexpr std::uint32_t kVolumenNormal = 65536; // pa_volume_t at 100 %

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(kPrograma), qPrintable(kPrograma));
        for (const char* binario : {"weston", "mutter", "dbus-daemon", "Xvfb"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(binario)).isEmpty()) {
                QSKIP(qPrintable(QStringLiteral("%1 no está instalado").arg(binario)));
            }
        }
        pulse_ = std::make_unique<ServidorPulse>();
        QVERIFY(pulse_->Listo());
    }

    void cleanup() {
        if (programa_.state() != QProcess::NotRunning) {
            programa_.kill();
            programa_.waitForFinished();
        }
        if (QTest::currentTestFailed()) {
            qWarning("programa:\n%s\ncompositor:\n%s",
                     qPrintable(QString::fromLocal8Bit(programa_.readAll())),
                     qPrintable(QString::fromLocal8Bit(compositor_.readAll())));
        }
        Terminar(compositor_);
        Terminar(bus_);
        QFile::remove(QDir(runtime_.path()).filePath(kSocket));
    }

    void westonSinX() {
        QVERIFY(ArrancarWeston());
        ComprobarWaylandSolo();
    }

    void mutterSinX() {
        QVERIFY(ArrancarMutter());
        ComprobarWaylandSolo();
    }

    // With an X server next to the compositor the program runs on X: its
    // dialog is there, takes the typed password, and the window follows.
    void westonConX() {
        EscritorioX x;
        QVERIFY2(x.Iniciar(), qPrintable(x.Error()));
        QVERIFY(ArrancarWeston());
        Sembrar(ArchivoAjustes(), {{QStringLiteral("Pass"), kClaveGuardada}});
        Lanzar(x.Display());
        QVERIFY(EsperarVentana(x, kTituloAcceso));
        QVERIFY(Teclear(x, *Ventana(x, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(x, kTituloPrincipal));
        TerminarPrograma();
    }
};

QTEST_GUILESS_MAIN(PruebaSesionesWayland)
#include "prueba_sesiones_wayland.moc"
