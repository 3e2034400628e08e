#include "support/servidor_pulse.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <csignal>
#include <sys/types.h>

namespace {

constexpr int kEsperaArranqueMs = 5000; // a server answers in about 65 ms
constexpr int kEsperaPactlMs = 2000;    // one pactl call against a live server: a few ms
constexpr int kEsperaFinMs = 3000;      // a killed process is reaped at once
constexpr int kPausaSondeoMs = 20;

const QString kPrograma = QStringLiteral("pulseaudio");
const QString kPactl = QStringLiteral("pactl");

} // namespace

ServidorPulse::ServidorPulse() {
    QDir carpeta(raiz_.path());
    for (const char* sub : {"home", "run", "state"}) {
        carpeta.mkpath(QString::fromLatin1(sub));
    }
    // The runtime folder must be private, or the server refuses it.
    QFile::setPermissions(Ruta(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Clients of this process never start a server of their own.
    QFile conf(Ruta(QStringLiteral("client.conf")));
    if (conf.open(QIODevice::WriteOnly)) {
        conf.write("autospawn = no\n");
    }

    // The test process and the pactl calls it makes talk to this server
    // only; nothing is written under the real home.
    qputenv("HOME", Ruta(QStringLiteral("home")).toLocal8Bit());
    qputenv("PULSE_RUNTIME_PATH", Ruta(QStringLiteral("run")).toLocal8Bit());
    qputenv("PULSE_STATE_PATH", Ruta(QStringLiteral("state")).toLocal8Bit());
    qputenv("PULSE_COOKIE", Ruta(QStringLiteral("cookie")).toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", Ruta(QStringLiteral("client.conf")).toLocal8Bit());
    qputenv("PULSE_SERVER", Direccion().toLocal8Bit());
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");

    Arrancar();
}

ServidorPulse::~ServidorPulse() {
    Detener();
}

QString ServidorPulse::Ruta(const QString& nombre) const {
    return raiz_.path() + QLatin1Char('/') + nombre;
}

QString ServidorPulse::Direccion() const {
    return QStringLiteral("unix:") + Ruta(QStringLiteral("native"));
}

QString ServidorPulse::ArchivoRegistro() const {
    return Ruta(QStringLiteral("pa.log"));
}

bool ServidorPulse::Arrancar() {
    if (proceso_.state() != QProcess::NotRunning) {
        return Pactl({QStringLiteral("info")}).has_value();
    }
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    entorno.insert(QStringLiteral("HOME"), Ruta(QStringLiteral("home")));
    entorno.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    proceso_.setProcessEnvironment(entorno);
    proceso_.setStandardOutputFile(QProcess::nullDevice());
    proceso_.setStandardErrorFile(Ruta(QStringLiteral("pa.stderr")), QIODevice::Append);
    proceso_.setProgram(kPrograma);
    proceso_.setArguments({
        QStringLiteral("--daemonize=no"),
        QStringLiteral("--exit-idle-time=-1"),
        QStringLiteral("-n"),
        QStringLiteral("--use-pid-file=no"),
        QStringLiteral("--disallow-exit=yes"),
        QStringLiteral("--realtime=no"),
        QStringLiteral("--high-priority=no"),
        QStringLiteral("--log-target=file:") + ArchivoRegistro(),
        QStringLiteral("--load=module-null-sink sink_name=%1 rate=48000").arg(kSumideroInicial),
        QStringLiteral("--load=module-native-protocol-unix socket=%1 auth-anonymous=1")
            .arg(Ruta(QStringLiteral("native"))),
    });
    proceso_.start();
    if (!proceso_.waitForStarted(kEsperaArranqueMs)) {
        return false;
    }
    const QDeadlineTimer limite(kEsperaArranqueMs);
    while (!limite.hasExpired()) {
        if (Pactl({QStringLiteral("info")})) {
            return true;
        }
        // Sleeps between tries, and notices a server that gave up.
        if (proceso_.waitForFinished(kPausaSondeoMs)) {
            return false;
        }
    }
    return false;
}

void ServidorPulse::Detener() {
    if (proceso_.state() == QProcess::NotRunning) {
        return;
    }
    proceso_.kill(); // SIGKILL ends a frozen server too
    proceso_.waitForFinished(kEsperaFinMs);
}

bool ServidorPulse::Pausar() {
    return Listo() && ::kill(static_cast<pid_t>(proceso_.processId()), SIGSTOP) == 0;
}

bool ServidorPulse::Reanudar() {
    return Listo() && ::kill(static_cast<pid_t>(proceso_.processId()), SIGCONT) == 0;
}

bool ServidorPulse::Listo() const {
    return proceso_.state() == QProcess::Running;
}

std::optional<QString> ServidorPulse::Pactl(const QStringList& argumentos) {
    QProcess pactl;
    // Untranslated output, for the parsing below.
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    entorno.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    pactl.setProcessEnvironment(entorno);
    pactl.setStandardErrorFile(QProcess::nullDevice());
    pactl.start(kPactl, argumentos);
    if (!pactl.waitForStarted(kEsperaPactlMs)) {
        return std::nullopt;
    }
    if (!pactl.waitForFinished(kEsperaPactlMs)) {
        pactl.kill();
        pactl.waitForFinished(kEsperaFinMs);
        return std::nullopt;
    }
    if (pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(pactl.readAllStandardOutput());
}

bool ServidorPulse::AgregarSumidero(const QString& nombre, int canales,
                                    const QString& mapaCanales) {
    QStringList argumentos{QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                           QStringLiteral("sink_name=") + nombre,
                           QStringLiteral("channels=%1").arg(canales),
                           QStringLiteral("rate=48000")};
    if (!mapaCanales.isEmpty()) {
        argumentos << QStringLiteral("channel_map=") + mapaCanales;
    }
    return Pactl(argumentos).has_value();
}

bool ServidorPulse::FijarPredeterminado(const QString& nombre) {
    return Pactl({QStringLiteral("set-default-sink"), nombre}).has_value();
}

QString ServidorPulse::Predeterminado() {
    return Pactl({QStringLiteral("get-default-sink")}).value_or(QString()).trimmed();
}

QList<ServidorPulse::Canal> ServidorPulse::Canales(const QString& sumidero) {
    // "Volume: front-left: 65536 / 100% / 0.00 dB,   front-right: 65536 / ..."
    const std::optional<QString> salida = Pactl({QStringLiteral("get-sink-volume"), sumidero});
    if (!salida) {
        return {};
    }
    static const QRegularExpression kCanal(QStringLiteral(R"(([a-z0-9-]+):\s+(\d+)\s+/)"));
    const QString primeraLinea = salida->section(QLatin1Char('\n'), 0, 0);
    QList<Canal> canales;
    for (const QRegularExpressionMatch& m : kCanal.globalMatch(primeraLinea)) {
        canales.append({m.captured(1), m.captured(2).toUInt()});
    }
    return canales;
}

QList<std::uint32_t> ServidorPulse::VolumenCanales(const QString& sumidero) {
    QList<std::uint32_t> valores;
    for (const Canal& canal : Canales(sumidero)) {
        valores.append(canal.valor);
    }
    return valores;
}

bool ServidorPulse::FijarVolumen(const QString& sumidero, const QList<std::uint32_t>& valores) {
    QStringList argumentos{QStringLiteral("set-sink-volume"), sumidero};
    for (const std::uint32_t valor : valores) {
        argumentos << QString::number(valor);
    }
    return !valores.isEmpty() && Pactl(argumentos).has_value();
}

std::optional<bool> ServidorPulse::Silenciado(const QString& sumidero) {
    // "Mute: yes" or "Mute: no"
    const std::optional<QString> salida = Pactl({QStringLiteral("get-sink-mute"), sumidero});
    if (!salida) {
        return std::nullopt;
    }
    const QString valor = salida->section(QLatin1Char(':'), 1).trimmed();
    if (valor == QLatin1String("yes")) {
        return true;
    }
    if (valor == QLatin1String("no")) {
        return false;
    }
    return std::nullopt;
}

bool ServidorPulse::FijarSilencio(const QString& sumidero, bool silencio) {
    return Pactl({QStringLiteral("set-sink-mute"), sumidero,
                  silencio ? QStringLiteral("1") : QStringLiteral("0")})
        .has_value();
}
