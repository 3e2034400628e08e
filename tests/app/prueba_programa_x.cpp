// The whole program, run as its own process on a real X server with a real
// tray host and a private audio server (PulseAudio, or PipeWire; see
// ServidorPulse): the first start through both dialogs, the auto start that
// holds the sink, the way back from the tray and the exit; and, under a window
// manager with no tray host, the way back from the taskbar.

#include "settings/ajustes.h"
#include "support/escritorio_x.h"
#include "support/programa_x.h"
#include "support/servidor_pulse.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>

namespace {

using namespace programa_x;

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kClave = QStringLiteral("abc");
const QString kClaveGuardada = QStringLiteral("MwM");
const QString kTituloPrimeraClave = QStringLiteral("Nueva Clave de Acceso");
const QString kTituloAcceso = QStringLiteral("Introducir la CLAVE de ACCESO");
const QString kTituloPrincipal = QStringLiteral("Quelvaren");

// Two ticks and some room: whatever another program sets lasts at most one tick.
constexpr int kEsperaTicksMs = 4500;
constexpr std::uint32_t kVolumenNormal = 65536; // pa_volume_t at 100 %
// Long enough for a window manager to have restored a window it was going to.
constexpr int kEsperaNegativaMs = 600;

} // namespace

class PruebaProgramaX : public QObject {
    Q_OBJECT

    EscritorioX escritorio_;
    std::unique_ptr<ServidorPulse> pulse_;
    QTemporaryDir configuracion_;
    QTemporaryDir runtime_;
    QProcess programa_;

    QString ArchivoAjustes() const {
        return configuracion_.filePath(QFileInfo(kPrograma).completeBaseName() +
                                       QStringLiteral(".conf"));
    }

    QProcessEnvironment Entorno() const {
        QProcessEnvironment entorno = escritorio_.Entorno();
        entorno.insert(QStringLiteral("XDG_CONFIG_HOME"), configuracion_.path());
        entorno.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        return entorno;
    }
    void Lanzar(QProcess& proceso, const QString& programa = kPrograma) {
        proceso.setProcessEnvironment(Entorno());
        proceso.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proceso.start(programa, {});
        QVERIFY2(proceso.waitForStarted(), qPrintable(proceso.errorString()));
    }
    void Lanzar() { Lanzar(programa_); }
    // A desktop with a window manager and no tray host; the program starts
    // on the auto road, so its window can only be minimised on the taskbar.
    // Returns its main window once the window manager keeps it minimised.
    std::optional<EscritorioX::IdVentana> LanzarEnLaBarra() {
        escritorio_.DetenerBandeja();
        if (!escritorio_.IniciarGestorVentanas()) {
            qWarning("%s", qPrintable(escritorio_.Error()));
            return std::nullopt;
        }
        Sembrar(ArchivoAjustes(), {{QStringLiteral("Pass"), kClaveGuardada},
                                   {QStringLiteral("Auto"), QStringLiteral("S")}});
        Lanzar();
        std::optional<EscritorioX::IdVentana> principal;
        const bool iconica = Esperar([&] {
            principal = VentanaDelPrograma(escritorio_, kTituloPrincipal);
            return principal && escritorio_.VentanaIconica(*principal);
        });
        return iconica ? principal : std::nullopt;
    }
    // Whether the main window is on screen in normal state.
    bool EnUso(EscritorioX::IdVentana principal) const {
        return escritorio_.VentanaMapeada(principal) && !escritorio_.VentanaIconica(principal);
    }
    bool Activar(EscritorioX::IdVentana ventana) const {
        return escritorio_
            .Ejecutar(QStringLiteral("xdotool"),
                      {QStringLiteral("windowactivate"), QString::number(ventana)})
            .has_value();
    }

    // Starts the program on the auto road and waits for its icon.
    void LanzarEnAutomatico() {
        Sembrar(ArchivoAjustes(), {{QStringLiteral("Pass"), kClaveGuardada},
                                   {QStringLiteral("Auto"), QStringLiteral("S")}});
        Lanzar();
        QVERIFY(Icono(escritorio_).has_value());
    }

    void Diagnosticar() {
        const QString captura = QDir::temp().filePath(QStringLiteral("quelvaren-e2e.png"));
        escritorio_.CapturarPantalla(captura);
        qWarning("captura en %s\n%s", qPrintable(captura), qPrintable(escritorio_.Registro()));
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(kPrograma), qPrintable(kPrograma));
        QVERIFY2(escritorio_.Iniciar(), qPrintable(escritorio_.Error()));
        QVERIFY2(escritorio_.IniciarBandeja(), qPrintable(escritorio_.Error()));
        pulse_ = std::make_unique<ServidorPulse>();
        QVERIFY(pulse_->Listo());
    }

    void cleanup() {
        if (QTest::currentTestFailed()) {
            Diagnosticar();
        }
        if (programa_.state() != QProcess::NotRunning) {
            programa_.kill();
            programa_.waitForFinished();
        }
        // The desktop of the other cases: a tray host, no window manager.
        if (escritorio_.GestorVentanasIniciado()) {
            escritorio_.DetenerGestorVentanas();
            QVERIFY2(escritorio_.IniciarBandeja(), qPrintable(escritorio_.Error()));
        }
    }

    void primerArranqueHastaLaVentana() {
        QFile::remove(ArchivoAjustes());
        Lanzar();
        QVERIFY(EsperarVentana(escritorio_, kTituloPrimeraClave));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloPrimeraClave), kClave));
        QVERIFY(Esperar(
            [&] { return Leido(ArchivoAjustes(), QStringLiteral("Pass")) == kClaveGuardada; }));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        QVERIFY(Icono(escritorio_).has_value());
        // Nothing holds the level until control starts.
        QVERIFY(pulse_->Coincide(pulse_->VolumenCanales(ServidorPulse::kSumideroInicial).value(0),
                                 kVolumenNormal));
    }

    void arranqueAutomaticoSostieneElNivel() {
        constexpr std::uint32_t kNivel = 16384;
        Sembrar(ArchivoAjustes(), {{QStringLiteral("Pass"), kClaveGuardada},
                                   {QStringLiteral("Valor"), QString::number(kNivel)},
                                   {QStringLiteral("Auto"), QStringLiteral("S")}});
        Lanzar();
        QVERIFY(Icono(escritorio_).has_value());
        const auto sostenido = [&] {
            const auto canales = pulse_->VolumenCanales(ServidorPulse::kSumideroInicial);
            return !canales.isEmpty() &&
                   std::all_of(canales.begin(), canales.end(), [&](std::uint32_t v) {
                       return pulse_->Coincide(v, VolumenDeNivel(kNivel));
                   });
        };
        QVERIFY(Esperar(sostenido));
        QVERIFY(!Ventana(escritorio_, kTituloPrincipal).has_value()); // only the icon shows

        // Another program turns it up: the next tick puts it back.
        for (int vez = 0; vez < 2; ++vez) {
            QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
            QVERIFY(Esperar(sostenido, kEsperaTicksMs));
        }

        // A left click on the icon asks for the password; the right one shows the window.
        const auto icono = Icono(escritorio_);
        QVERIFY(icono.has_value());
        QVERIFY(escritorio_.Clic(icono->Centro().x(), icono->Centro().y()));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));

        // Leaving: "&Salir" asks first; Yes removes the icon and ends the program.
        QVERIFY(
            Tecla(escritorio_, *Ventana(escritorio_, kTituloPrincipal), QStringLiteral("alt+s")));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal) && Esperar([&] {
                    const auto salida = escritorio_.Ejecutar(
                        QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                         QStringLiteral("--name"), QStringLiteral("^Quelvaren$")});
                    return salida && salida->trimmed().split(QLatin1Char('\n')).size() >= 2;
                }));
        QVERIFY(escritorio_
                    .Ejecutar(QStringLiteral("xdotool"),
                              {QStringLiteral("key"), QStringLiteral("Return")})
                    .has_value());
        QVERIFY(programa_.waitForFinished(kEsperaMs));
        QCOMPARE(programa_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(programa_.exitCode(), 0);
        QVERIFY(!escritorio_.IconoIncrustado(kClaseVentana).has_value());
    }

    void segundoArranqueDevuelveLaVentana() {
        LanzarEnAutomatico();
        QProcess segundo;
        Lanzar(segundo);
        QVERIFY(segundo.waitForFinished(kEsperaMs));
        QCOMPARE(segundo.exitCode(), 0);
        // The running program asks for the password and shows its window.
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        QCOMPARE(programa_.state(), QProcess::Running);
    }

    void copiaConOtroNombreCorrePorSuCuenta() {
        LanzarEnAutomatico();
        QTemporaryDir carpeta;
        const QString copia = carpeta.filePath(QStringLiteral("otro"));
        QVERIFY(QFile::copy(kPrograma, copia));
        QVERIFY(QFile::setPermissions(copia, QFile::ReadOwner | QFile::ExeOwner));
        QProcess otro;
        Lanzar(otro, copia);
        // Its own, empty store: it asks for a first password instead of ending.
        QVERIFY(EsperarVentana(escritorio_, kTituloPrimeraClave));
        QCOMPARE(otro.state(), QProcess::Running);
        otro.kill();
        otro.waitForFinished();
    }

    void terminarPorSenalQuitaElIcono() {
        LanzarEnAutomatico();
        programa_.terminate(); // SIGTERM, as at the end of a desktop session
        QVERIFY(programa_.waitForFinished(kEsperaMs));
        QCOMPARE(programa_.exitStatus(), QProcess::NormalExit);
        QCOMPARE(programa_.exitCode(), 0);
        QVERIFY(!escritorio_.IconoIncrustado(kClaseVentana).has_value());
    }

    // With no tray host the auto road leaves the window minimised on the
    // taskbar, never shown; a restore by the window manager (a taskbar click:
    // _NET_ACTIVE_WINDOW) meets the access dialog first.
    void restaurarDesdeLaBarraPideLaClave() {
        const auto principal = LanzarEnLaBarra();
        QVERIFY2(principal.has_value(), "la ventana no quedó minimizada en la barra");
        QVERIFY(!escritorio_.VentanaMapeada(*principal));

        // Cancelled: back to minimised, nothing usable.
        QVERIFY(Activar(*principal));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Esperar([&] { return !escritorio_.VentanaMapeada(*principal); }));
        QVERIFY(Tecla(escritorio_, *Ventana(escritorio_, kTituloAcceso), QStringLiteral("Escape")));
        QVERIFY(Esperar([&] { return !Ventana(escritorio_, kTituloAcceso).has_value(); }));
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(!EnUso(*principal));
        QVERIFY(escritorio_.VentanaIconica(*principal));

        // The right password: the window comes back in normal state.
        QVERIFY(Activar(*principal));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(Esperar([&] { return EnUso(*principal); }));
    }

    // A second start also brings a window minimised on the taskbar back,
    // behind the access check.
    void segundoArranqueConLaVentanaEnLaBarra() {
        const auto principal = LanzarEnLaBarra();
        QVERIFY2(principal.has_value(), "la ventana no quedó minimizada en la barra");
        QProcess segundo;
        Lanzar(segundo);
        QVERIFY(segundo.waitForFinished(kEsperaMs));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(!EnUso(*principal));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(Esperar([&] { return EnUso(*principal); }));
    }

    void accesoRechazadoAlArrancar() {
        Sembrar(ArchivoAjustes(), {{QStringLiteral("Pass"), kClaveGuardada}});
        Lanzar();
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Tecla(escritorio_, *Ventana(escritorio_, kTituloAcceso), QStringLiteral("Escape")));
        QVERIFY(programa_.waitForFinished(kEsperaMs));
        QCOMPARE(programa_.exitCode(), 0);
        QVERIFY(!escritorio_.IconoIncrustado(kClaseVentana).has_value());
        QCOMPARE(Leido(ArchivoAjustes(), QStringLiteral("Pass")), kClaveGuardada);
    }
};

QTEST_GUILESS_MAIN(PruebaProgramaX)
#include "prueba_programa_x.moc"
