// The real program in Wayland sessions, on headless compositors: weston and
// mutter without XWayland (the program runs on Wayland itself), and weston
// next to an X server (the program picks X). In each it must start and show
// its access dialog without crashing; on bare Wayland it must also hold the
// level on the auto road, with a private PulseAudio server.
//
// On bare Wayland the program is read and driven through the accessibility
// bus (AT-SPI), which reaches its controls as any assistive tool would: the
// locked window must refuse them, and the password must bring it back. With
// an X server next to the compositor the dialog is found and answered
// through xdotool.

#include "support/atspi.h"
#include "support/escritorio_x.h"
#include "support/programa_x.h"
#include "support/servidor_pulse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <memory>

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

} // namespace

class PruebaSesionesWayland : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorPulse> pulse_;
    ProgramaEnPrueba programa_{kPrograma}; // the compositors' sockets live in its runtime folder
    atspi::Bus bus_; // the session's bus, with the accessibility bus behind it
    QProcess compositor_;

    // No session at all but the bus, with the program's folders.
    QProcessEnvironment EntornoBase() const {
        QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
        for (const char* variable :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_IM_MODULE"}) {
            entorno.remove(QString::fromLatin1(variable));
        }
        // Under the sanitizers: Mesa's EGL driver leaks from code without
        // frame pointers; only a full stack shows that it is Mesa's.
        if (entorno.contains(QStringLiteral("ASAN_OPTIONS"))) {
            entorno.insert(QStringLiteral("ASAN_OPTIONS"),
                           entorno.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":fast_unwind_on_malloc=0"));
        }
        return programa_.Entorno(atspi::ConAccesibilidad(entorno, bus_.Direccion()));
    }

    // The program as a Wayland session starts it: WAYLAND_DISPLAY, plus
    // DISPLAY when an X server runs next to the compositor.
    QProcessEnvironment EntornoConCompositor(const QString& display = {}) const {
        QProcessEnvironment entorno = EntornoBase();
        entorno.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
        if (!display.isEmpty()) {
            entorno.insert(QStringLiteral("DISPLAY"), display);
        }
        return entorno;
    }
    bool Lanzar(const QString& display = {}) {
        return programa_.Lanzar(EntornoConCompositor(display));
    }

    bool ArrancarCompositor(const QString& programa, const QStringList& argumentos,
                            const QProcessEnvironment& entorno) {
        compositor_.setProcessEnvironment(entorno);
        compositor_.setProcessChannelMode(QProcess::MergedChannels);
        AtarAlPadre(compositor_);
        compositor_.start(programa, argumentos);
        const QString socket = QDir(programa_.CarpetaRuntime()).filePath(kSocket);
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

    bool ArrancarMutter() {
        return ArrancarCompositor(
            QStringLiteral("mutter"),
            {QStringLiteral("--wayland"), QStringLiteral("--headless"), QStringLiteral("--no-x11"),
             QStringLiteral("--wayland-display=") + kSocket, QStringLiteral("--virtual-monitor"),
             QStringLiteral("%1x%2").arg(kAnchoPantalla).arg(kAltoPantalla)},
            EntornoBase());
    }

    bool Sostenido() {
        const auto canales = pulse_->VolumenCanales(ServidorPulse::kSumideroInicial);
        return !canales.isEmpty() &&
               std::all_of(canales.begin(), canales.end(),
                           [](std::uint32_t v) { return v == VolumenDeNivel(kNivel); });
    }

    // Both roads on bare Wayland: the access dialog comes up and the program
    // lives on; control started by itself holds the sink's level against
    // another program's change, its window stays locked whatever reaches it,
    // a second start leads through the password back to it, and it ends
    // cleanly at SIGTERM.
    void ComprobarWaylandSolo() {
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada}});
        QVERIFY(Lanzar());
        QTest::qWait(kVidaMinimaMs);
        QVERIFY(programa_.Corre());
        programa_.Matar();

        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Valor"), QString::number(kNivel)},
                           {QStringLiteral("Auto"), QStringLiteral("S")}});
        QVERIFY(Lanzar());
        QVERIFY(Esperar([&] { return Sostenido(); }));
        const QString bus = bus_.Direccion();
        const QString desactivar = QStringLiteral("Desactivar Control");
        QCOMPARE(atspi::Sensible(bus, desactivar), std::optional<bool>(false));
        QVERIFY(!atspi::Pulsar(bus, desactivar));
        // Another program's change does not last.
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
        QVERIFY(Esperar([&] { return Sostenido(); }));

        QProcess segundo;
        QVERIFY(programa_.LanzarOtro(segundo, EntornoConCompositor()));
        QVERIFY(atspi::EsperarVentana(bus, kTituloAcceso));
        QVERIFY(atspi::Escribir(bus, QStringLiteral("password text"), kClave));
        QVERIFY(atspi::Pulsar(bus, QStringLiteral("Aceptar")));
        QVERIFY(Esperar([&] { return atspi::Sensible(bus, desactivar) == true; }));
        QVERIFY(segundo.state() == QProcess::NotRunning || segundo.waitForFinished(kEsperaMs));
        QCOMPARE(segundo.exitCode(), 0);
        QVERIFY(programa_.Terminar()); // SIGTERM, as at the end of a session: a clean end
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
        QVERIFY2(bus_.Iniciar(), qPrintable(bus_.Error()));
    }

    void cleanup() {
        programa_.FinDelCaso();
        if (QTest::currentTestFailed()) {
            qWarning("compositor:\n%s", compositor_.readAll().constData());
        }
        TerminarProceso(compositor_);
        QFile::remove(QDir(programa_.CarpetaRuntime()).filePath(kSocket));
    }

    void westonSinX() {
        QVERIFY(ArrancarWeston());
        ComprobarWaylandSolo();
    }

    void mutterSinX() {
        QVERIFY(ArrancarMutter());
        ComprobarWaylandSolo();
    }

    // What a screen reader reads on the way from a first start to the main
    // window: every control the keyboard reaches has a name, and the access
    // password's box says what it is.
    void cadaControlTieneNombre() {
        QVERIFY(ArrancarWeston());
        QVERIFY(programa_.VaciarAjustes());
        QVERIFY(Lanzar());
        const QString bus = bus_.Direccion();
        const auto sinNombre = [&] {
            QStringList faltan;
            const QList<atspi::Control> controles = atspi::Controles(bus);
            for (const atspi::Control& control : controles) {
                if (control.nombre.trimmed().isEmpty()) {
                    faltan << control.ventana + QStringLiteral(": ") + control.rol;
                }
            }
            return controles.isEmpty() ? QStringList{QStringLiteral("ningún control")} : faltan;
        };
        QVERIFY(atspi::EsperarVentana(bus, QStringLiteral("Nueva Clave de Acceso")));
        QVERIFY2(sinNombre().isEmpty(), qPrintable(sinNombre().join(QStringLiteral(", "))));
        QVERIFY(atspi::Escribir(bus, QStringLiteral("text"), kClave));
        QVERIFY(atspi::Pulsar(bus, QStringLiteral("Aceptar")));

        QVERIFY(atspi::EsperarVentana(bus, kTituloAcceso));
        QVERIFY2(sinNombre().isEmpty(), qPrintable(sinNombre().join(QStringLiteral(", "))));
        const QList<atspi::Control> controles = atspi::Controles(bus);
        QVERIFY(std::any_of(controles.begin(), controles.end(), [](const atspi::Control& control) {
            return control.rol == QStringLiteral("password text") &&
                   control.nombre == QStringLiteral("Contraseña");
        }));
        QVERIFY(atspi::Escribir(bus, QStringLiteral("password text"), kClave));
        QVERIFY(atspi::Pulsar(bus, QStringLiteral("Aceptar")));

        QVERIFY(atspi::EsperarVentana(bus, kTituloPrincipal));
        QVERIFY2(sinNombre().isEmpty(), qPrintable(sinNombre().join(QStringLiteral(", "))));

        // The configuration dialog, past the password.
        QVERIFY(atspi::Pulsar(bus, QStringLiteral("Configurar")));
        QVERIFY(atspi::EsperarVentana(bus, kTituloAcceso));
        QVERIFY(atspi::Escribir(bus, QStringLiteral("password text"), kClave));
        QVERIFY(atspi::Pulsar(bus, QStringLiteral("Aceptar")));
        QVERIFY(atspi::EsperarVentana(bus, QStringLiteral("Configuración de la Aplicación")));
        QVERIFY2(sinNombre().isEmpty(), qPrintable(sinNombre().join(QStringLiteral(", "))));
        QVERIFY(programa_.Terminar());
    }

    // With an X server next to the compositor the program runs on X: its
    // dialog is there, takes the typed password, and the window follows.
    void westonConX() {
        EscritorioX x;
        QVERIFY2(x.Iniciar(), qPrintable(x.Error()));
        QVERIFY(ArrancarWeston());
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada}});
        QVERIFY(Lanzar(x.Display()));
        QVERIFY(EsperarVentana(x, kTituloAcceso));
        QVERIFY(Teclear(x, *Ventana(x, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(x, kTituloPrincipal));
        QVERIFY(programa_.Terminar());
    }
};

QTEST_GUILESS_MAIN(PruebaSesionesWayland)
#include "prueba_sesiones_wayland.moc"
