// The whole program, run as its own process on a real X server with a real
// tray host and a private PulseAudio server: the first start through both
// dialogs, the auto start that holds the sink, the way back from the tray and
// the exit.

#include "settings/ajustes.h"
#include "support/escritorio_x.h"
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

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kClaseVentana = QStringLiteral("quelvaren");
const QString kClave = QStringLiteral("abc");
const QString kClaveGuardada = QStringLiteral("MwM");
const QString kTituloPrimeraClave = QStringLiteral("Nueva Clave de Acceso");
const QString kTituloAcceso = QStringLiteral("Introducir la CLAVE de ACCESO");
const QString kTituloPrincipal = QStringLiteral("Quelvaren");

constexpr int kEsperaMs = 15000;
constexpr int kSondeoMs = 50;
// Two ticks and some room: whatever another program sets lasts at most one tick.
constexpr int kEsperaTicksMs = 4500;
constexpr std::uint32_t kVolumenNormal = 65536; // pa_volume_t at 100 %
constexpr std::uint32_t kNivelMaximo = 65535;

bool Esperar(const std::function<bool()>& condicion, int esperaMs = kEsperaMs) {
    const QDeadlineTimer plazo(esperaMs);
    while (!condicion()) {
        if (plazo.hasExpired()) {
            return false;
        }
        QTest::qWait(kSondeoMs);
    }
    return true;
}

std::uint32_t VolumenDeNivel(std::uint32_t nivel) {
    return static_cast<std::uint32_t>(std::lround(double(nivel) * kVolumenNormal / kNivelMaximo));
}

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
    void Sembrar(const QMap<QString, QString>& valores) {
        QFile::remove(ArchivoAjustes());
        QSettings archivo(ArchivoAjustes(), QSettings::IniFormat);
        for (auto it = valores.begin(); it != valores.end(); ++it) {
            archivo.setValue(QStringLiteral("Config/") + it.key(), it.value());
        }
    }
    QString Leido(const QString& clave) const {
        QSettings archivo(ArchivoAjustes(), QSettings::IniFormat);
        return archivo.value(QStringLiteral("Config/") + clave).toString();
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
    // Starts the program on the auto road and waits for its icon.
    void LanzarEnAutomatico() {
        Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                 {QStringLiteral("Auto"), QStringLiteral("S")}});
        Lanzar();
        QVERIFY(Icono().has_value());
    }

    // The program's visible top-level window with that title, if any.
    std::optional<QString> Ventana(const QString& titulo) {
        const auto salida = escritorio_.Ejecutar(
            QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
             QLatin1Char('^') + QRegularExpression::escape(titulo) + QLatin1Char('$')});
        if (!salida || salida->trimmed().isEmpty()) {
            return std::nullopt;
        }
        return salida->trimmed().split(QLatin1Char('\n')).first();
    }
    bool EsperarVentana(const QString& titulo) {
        return Esperar([&] { return Ventana(titulo).has_value(); });
    }
    // Types into the window that has the focus, then presses Enter.
    void Teclear(const QString& ventana, const QString& texto) {
        QVERIFY(escritorio_
                    .Ejecutar(QStringLiteral("xdotool"),
                              {QStringLiteral("windowfocus"), QStringLiteral("--sync"), ventana})
                    .has_value());
        if (!texto.isEmpty()) {
            QVERIFY(escritorio_
                        .Ejecutar(QStringLiteral("xdotool"),
                                  {QStringLiteral("type"), QStringLiteral("--delay"),
                                   QStringLiteral("20"), texto})
                        .has_value());
        }
        QVERIFY(escritorio_
                    .Ejecutar(QStringLiteral("xdotool"),
                              {QStringLiteral("key"), QStringLiteral("Return")})
                    .has_value());
    }
    void Tecla(const QString& ventana, const QString& tecla) {
        QVERIFY(escritorio_
                    .Ejecutar(QStringLiteral("xdotool"),
                              {QStringLiteral("windowfocus"), QStringLiteral("--sync"), ventana})
                    .has_value());
        QVERIFY(escritorio_.Ejecutar(QStringLiteral("xdotool"), {QStringLiteral("key"), tecla})
                    .has_value());
    }
    std::optional<EscritorioX::Geometria> Icono() {
        const auto icono = escritorio_.EsperarIconoIncrustado(kClaseVentana);
        if (!icono) {
            return std::nullopt;
        }
        return escritorio_.GeometriaVentana(*icono);
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
    }

    void primerArranqueHastaLaVentana() {
        QFile::remove(ArchivoAjustes());
        Lanzar();
        QVERIFY(EsperarVentana(kTituloPrimeraClave));
        Teclear(*Ventana(kTituloPrimeraClave), kClave);
        QVERIFY(Esperar([&] { return Leido(QStringLiteral("Pass")) == kClaveGuardada; }));
        QVERIFY(EsperarVentana(kTituloAcceso));
        Teclear(*Ventana(kTituloAcceso), kClave);
        QVERIFY(EsperarVentana(kTituloPrincipal));
        QVERIFY(Icono().has_value());
        // Nothing holds the level until control starts.
        QCOMPARE(pulse_->VolumenCanales(ServidorPulse::kSumideroInicial).value(0), kVolumenNormal);
    }

    void arranqueAutomaticoSostieneElNivel() {
        constexpr std::uint32_t kNivel = 16384;
        Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                 {QStringLiteral("Valor"), QString::number(kNivel)},
                 {QStringLiteral("Auto"), QStringLiteral("S")}});
        Lanzar();
        QVERIFY(Icono().has_value());
        const auto sostenido = [&] {
            const auto canales = pulse_->VolumenCanales(ServidorPulse::kSumideroInicial);
            return !canales.isEmpty() &&
                   std::all_of(canales.begin(), canales.end(),
                               [](std::uint32_t v) { return v == VolumenDeNivel(kNivel); });
        };
        QVERIFY(Esperar(sostenido));
        QVERIFY(!Ventana(kTituloPrincipal).has_value()); // only the icon shows

        // Another program turns it up: the next tick puts it back.
        for (int vez = 0; vez < 2; ++vez) {
            QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
            QVERIFY(Esperar(sostenido, kEsperaTicksMs));
        }

        // A left click on the icon asks for the password; the right one shows the window.
        const auto icono = Icono();
        QVERIFY(icono.has_value());
        QVERIFY(escritorio_.Clic(icono->Centro().x(), icono->Centro().y()));
        QVERIFY(EsperarVentana(kTituloAcceso));
        Teclear(*Ventana(kTituloAcceso), kClave);
        QVERIFY(EsperarVentana(kTituloPrincipal));

        // Leaving: "&Salir" asks first; Yes removes the icon and ends the program.
        Tecla(*Ventana(kTituloPrincipal), QStringLiteral("alt+s"));
        QVERIFY(EsperarVentana(kTituloPrincipal) && Esperar([&] {
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
        QVERIFY(EsperarVentana(kTituloAcceso));
        Teclear(*Ventana(kTituloAcceso), kClave);
        QVERIFY(EsperarVentana(kTituloPrincipal));
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
        QVERIFY(EsperarVentana(kTituloPrimeraClave));
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

    void accesoRechazadoAlArrancar() {
        Sembrar({{QStringLiteral("Pass"), kClaveGuardada}});
        Lanzar();
        QVERIFY(EsperarVentana(kTituloAcceso));
        Tecla(*Ventana(kTituloAcceso), QStringLiteral("Escape"));
        QVERIFY(programa_.waitForFinished(kEsperaMs));
        QCOMPARE(programa_.exitCode(), 0);
        QVERIFY(!escritorio_.IconoIncrustado(kClaseVentana).has_value());
        QCOMPARE(Leido(QStringLiteral("Pass")), kClaveGuardada);
    }
};

QTEST_GUILESS_MAIN(PruebaProgramaX)
#include "prueba_programa_x.moc"
