#include "support/servidor_pulse.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/prctl.h>
#include <sys/types.h>

namespace {

constexpr int kEsperaArranqueMs = 5000; // PulseAudio answers in about 65 ms, PipeWire in 0.3 s
constexpr int kEsperaPactlMs = 2000;    // one pactl call against a live server: a few ms
constexpr int kEsperaFinMs = 3000;      // a killed process is reaped at once
constexpr int kPausaSondeoMs = 20;
constexpr int kCanalesSumideroInicial = 2;
// PipeWire's round trip through a floating-point linear factor and a cube
// root may bring a volume back this many steps away (see Tolerancia()).
constexpr std::uint32_t kToleranciaPipeWire = 1;

const QString kPulseAudio = QStringLiteral("pulseaudio");
const QString kPipeWire = QStringLiteral("pipewire");
const QString kWirePlumber = QStringLiteral("wireplumber");
const QString kPipeWirePulse = QStringLiteral("pipewire-pulse");
const QString kBus = QStringLiteral("dbus-daemon");
const QString kPactl = QStringLiteral("pactl");
const char kVariableServidor[] = "QUELVAREN_SERVIDOR_AUDIO";

// A session bus that only this server's processes know: no services to
// start, anyone of them may own any name.
constexpr char kConfiguracionBus[] = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// WirePlumber without hardware: no sound card, camera or Bluetooth device of
// the machine is opened, only the null sinks that the tests load.
constexpr char kSinDispositivos[] = "alsa_monitor.enabled = false\n"
                                    "v4l2_monitor.enabled = false\n"
                                    "libcamera_monitor.enabled = false\n";
constexpr char kSinBluetooth[] = "bluez_monitor.enabled = false\n";

bool Escribir(const QString& ruta, const QByteArray& contenido) {
    QFile archivo(ruta);
    return archivo.open(QIODevice::WriteOnly) && archivo.write(contenido) == contenido.size();
}

void Matar(QProcess& proceso) {
    if (proceso.state() == QProcess::NotRunning) {
        return;
    }
    proceso.kill(); // SIGKILL ends a frozen process too
    proceso.waitForFinished(kEsperaFinMs);
}

} // namespace

ServidorPulse::Tipo ServidorPulse::TipoElegido() {
    return qgetenv(kVariableServidor) == kPipeWire.toLatin1() ? Tipo::PipeWire : Tipo::PulseAudio;
}

ServidorPulse::ServidorPulse()
    : tipo_(TipoElegido()) {
    QDir carpeta(raiz_.path());
    for (const char* sub : {"home", "run", "state", "config/wireplumber/main.lua.d",
                            "config/wireplumber/bluetooth.lua.d"}) {
        carpeta.mkpath(QString::fromLatin1(sub));
    }
    // The runtime folder must be private, or the server refuses it.
    QFile::setPermissions(Ruta(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Clients of this process never start a server of their own.
    Escribir(Ruta(QStringLiteral("client.conf")), "autospawn = no\n");
    Escribir(Ruta(QStringLiteral("bus.conf")),
             QString::fromLatin1(kConfiguracionBus)
                 .arg(QStringLiteral("unix:path=") + Ruta(QStringLiteral("bus")))
                 .toLocal8Bit());
    Escribir(Ruta(QStringLiteral("config/wireplumber/main.lua.d/90-sin-dispositivos.lua")),
             kSinDispositivos);
    Escribir(Ruta(QStringLiteral("config/wireplumber/bluetooth.lua.d/90-sin-bluetooth.lua")),
             kSinBluetooth);

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
    return QStringLiteral("unix:") + Ruta(tipo_ == Tipo::PipeWire
                                              ? QStringLiteral("run/pulse/native")
                                              : QStringLiteral("native"));
}

QString ServidorPulse::ArchivoRegistro() const {
    return Ruta(QStringLiteral("pa.log"));
}

// The environment of the server's processes. Without the X display: with it,
// libdbus would start a session bus through the X server (where dbus-x11 is
// installed) and every server on that display would share it.
QProcessEnvironment ServidorPulse::EntornoServidor() const {
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    entorno.remove(QStringLiteral("DISPLAY"));
    entorno.remove(QStringLiteral("WAYLAND_DISPLAY"));
    entorno.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    entorno.insert(QStringLiteral("HOME"), Ruta(QStringLiteral("home")));
    if (tipo_ == Tipo::PipeWire) {
        for (const QString& variable : entorno.keys()) {
            if (variable.startsWith(QLatin1String("PULSE_")) ||
                variable.startsWith(QLatin1String("PIPEWIRE_"))) {
                entorno.remove(variable);
            }
        }
        entorno.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + Ruta(QStringLiteral("bus")));
        entorno.insert(QStringLiteral("XDG_RUNTIME_DIR"), Ruta(QStringLiteral("run")));
        entorno.insert(QStringLiteral("XDG_CONFIG_HOME"), Ruta(QStringLiteral("config")));
        entorno.insert(QStringLiteral("XDG_STATE_HOME"), Ruta(QStringLiteral("state")));
    }
    return entorno;
}

bool ServidorPulse::Lanzar(QProcess& proceso, const QString& programa,
                           const QStringList& argumentos) {
    proceso.setProcessEnvironment(EntornoServidor());
    proceso.setStandardOutputFile(QProcess::nullDevice());
    proceso.setStandardErrorFile(ArchivoRegistro(), QIODevice::Append);
    // Ends with the test, also when the test is killed or crashes.
    proceso.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    proceso.start(programa, argumentos);
    return proceso.waitForStarted(kEsperaArranqueMs);
}

bool ServidorPulse::EsperarRespuesta() {
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

bool ServidorPulse::Arrancar() {
    if (Listo()) {
        return Pactl({QStringLiteral("info")}).has_value();
    }
    if (tipo_ == Tipo::PipeWire) {
        return ArrancarPipeWire();
    }
    return Lanzar(proceso_, kPulseAudio,
                  {
                      QStringLiteral("--daemonize=no"),
                      QStringLiteral("--exit-idle-time=-1"),
                      QStringLiteral("-n"),
                      QStringLiteral("--use-pid-file=no"),
                      QStringLiteral("--disallow-exit=yes"),
                      QStringLiteral("--realtime=no"),
                      QStringLiteral("--high-priority=no"),
                      QStringLiteral("--log-target=stderr"),
                      QStringLiteral("--load=module-null-sink sink_name=%1 rate=48000")
                          .arg(kSumideroInicial),
                      QStringLiteral("--load=module-native-protocol-unix socket=%1 "
                                     "auth-anonymous=1")
                          .arg(Ruta(QStringLiteral("native"))),
                  }) &&
           EsperarRespuesta();
}

bool ServidorPulse::ArrancarPipeWire() {
    Detener(); // whatever is left of a stack that lost a process
    // WirePlumber's memory of defaults and volumes goes, and so do the
    // sockets of the last run: a fresh start.
    for (const QString& sub : {QStringLiteral("state"), QStringLiteral("run")}) {
        QDir(Ruta(sub)).removeRecursively();
        QDir().mkpath(Ruta(sub));
    }
    QFile::setPermissions(Ruta(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(Ruta(QStringLiteral("bus")));

    // Each process takes connections once its socket is there.
    const auto esperarZocalo = [this](QProcess& proceso, const QString& zocalo) {
        const QDeadlineTimer limite(kEsperaArranqueMs);
        while (!QFile::exists(Ruta(zocalo))) {
            if (limite.hasExpired() || proceso.waitForFinished(kPausaSondeoMs)) {
                return false;
            }
        }
        return true;
    };
    return Lanzar(bus_, kBus,
                  {QStringLiteral("--nofork"),
                   QStringLiteral("--config-file=") + Ruta(QStringLiteral("bus.conf"))}) &&
           esperarZocalo(bus_, QStringLiteral("bus")) && Lanzar(pipewire_, kPipeWire, {}) &&
           esperarZocalo(pipewire_, QStringLiteral("run/pipewire-0")) &&
           Lanzar(wireplumber_, kWirePlumber, {}) && ArrancarPipeWirePulse();
}

// Starts pipewire-pulse and gives it the sink that a fresh server has.
bool ServidorPulse::ArrancarPipeWirePulse() {
    if (!Lanzar(proceso_, kPipeWirePulse, {}) || !EsperarRespuesta() ||
        !AgregarSumidero(kSumideroInicial, kCanalesSumideroInicial)) {
        return false;
    }
    // The default is WirePlumber's to apply; it may not be up yet.
    const QDeadlineTimer limite(kEsperaArranqueMs);
    while (!FijarPredeterminado(kSumideroInicial)) {
        if (limite.hasExpired()) {
            return false;
        }
        QThread::msleep(kPausaSondeoMs);
    }
    return true;
}

void ServidorPulse::QuitarFlujos() {
    for (const std::unique_ptr<QProcess>& flujo : flujos_) {
        Matar(*flujo);
    }
    flujos_.clear();
}

void ServidorPulse::Detener() {
    QuitarFlujos();
    for (QProcess* proceso : {&proceso_, &wireplumber_, &pipewire_, &bus_}) {
        Matar(*proceso);
    }
}

bool ServidorPulse::ReiniciarPulse() {
    if (tipo_ == Tipo::PulseAudio) {
        Detener();
        return Arrancar();
    }
    Matar(proceso_);
    return Listo() || (pipewire_.state() == QProcess::Running && ArrancarPipeWirePulse());
}

bool ServidorPulse::Pausar() {
    return Listo() && ::kill(static_cast<pid_t>(proceso_.processId()), SIGSTOP) == 0;
}

bool ServidorPulse::Reanudar() {
    return Listo() && ::kill(static_cast<pid_t>(proceso_.processId()), SIGCONT) == 0;
}

bool ServidorPulse::Listo() const {
    const auto vivo = [](const QProcess& proceso) { return proceso.state() == QProcess::Running; };
    return vivo(proceso_) &&
           (tipo_ == Tipo::PulseAudio || (vivo(bus_) && vivo(pipewire_) && vivo(wireplumber_)));
}

std::uint32_t ServidorPulse::Tolerancia() const {
    return tipo_ == Tipo::PipeWire ? kToleranciaPipeWire : 0;
}

bool ServidorPulse::Coincide(std::uint32_t leido, std::uint32_t escrito) const {
    const std::uint32_t distancia = leido > escrito ? leido - escrito : escrito - leido;
    return distancia <= Tolerancia();
}

QList<std::uint32_t> ServidorPulse::VolumenCanalesFrente(const QString& sumidero,
                                                         const QList<std::uint32_t>& esperado) {
    QList<std::uint32_t> leidos = VolumenCanales(sumidero);
    for (qsizetype i = 0; i < std::min(leidos.size(), esperado.size()); ++i) {
        if (Coincide(leidos[i], esperado[i])) {
            leidos[i] = esperado[i];
        }
    }
    return leidos;
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
    if (!Pactl({QStringLiteral("set-default-sink"), nombre})) {
        return false;
    }
    // On PipeWire the session manager puts the new default in force a moment
    // after the request is answered.
    const QDeadlineTimer limite(kEsperaPactlMs);
    while (Predeterminado() != nombre) {
        if (limite.hasExpired()) {
            return false;
        }
        QThread::msleep(kPausaSondeoMs);
    }
    return true;
}

bool ServidorPulse::FijarPredeterminadoVisto(const QString& nombre) {
    QProcess escucha;
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    entorno.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    escucha.setProcessEnvironment(entorno);
    escucha.start(kPactl, {QStringLiteral("subscribe")});
    const auto fin = qScopeGuard([&escucha] {
        escucha.kill();
        escucha.waitForFinished(kEsperaFinMs);
    });
    QByteArray visto;
    // Reads what it has told until `suceso` shows or the deadline passes;
    // `mientras` runs between reads.
    const auto esperar = [&](const QByteArray& suceso, const std::function<bool()>& mientras) {
        const QDeadlineTimer limite(kEsperaArranqueMs);
        while (!visto.contains(suceso)) {
            if (limite.hasExpired() || !mientras()) {
                return false;
            }
            escucha.waitForReadyRead(kPausaSondeoMs);
            visto += escucha.readAllStandardOutput();
        }
        return true;
    };
    // It listens once it tells of a client that comes and goes: a pactl's.
    if (!escucha.waitForStarted(kEsperaPactlMs) ||
        !esperar("' on client", [this] { return Pactl({QStringLiteral("info")}).has_value(); }) ||
        !FijarPredeterminado(nombre)) {
        return false;
    }
    visto.clear();
    return esperar("'change' on server", [] { return true; });
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

bool ServidorPulse::UnEventoPorCambio() const {
    return tipo_ == Tipo::PulseAudio;
}

// The server's streams as `pactl -f json list sink-inputs` gives them.
QJsonArray ServidorPulse::Flujos() {
    const std::optional<QString> salida =
        Pactl({QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("list"),
               QStringLiteral("sink-inputs")});
    return salida ? QJsonDocument::fromJson(salida->toUtf8()).array() : QJsonArray();
}

std::optional<std::uint32_t> ServidorPulse::AgregarFlujo(const QString& sumidero,
                                                         std::optional<std::uint32_t> volumen) {
    QStringList argumentos{QStringLiteral("--playback"), QStringLiteral("--device=") + sumidero};
    if (volumen) {
        argumentos << QStringLiteral("--volume=%1").arg(*volumen);
    }
    argumentos << QStringLiteral("/dev/zero");
    QProcess& flujo = *flujos_.emplace_back(std::make_unique<QProcess>());
    flujo.setStandardOutputFile(QProcess::nullDevice());
    flujo.setStandardErrorFile(ArchivoRegistro(), QIODevice::Append);
    flujo.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    flujo.start(QStringLiteral("pacat"), argumentos);
    if (!flujo.waitForStarted(kEsperaArranqueMs)) {
        return std::nullopt;
    }
    const QString proceso = QString::number(flujo.processId());
    const QDeadlineTimer limite(kEsperaArranqueMs);
    while (!limite.hasExpired()) {
        for (const QJsonValue& f : Flujos()) {
            if (f[QStringLiteral("properties")][QStringLiteral("application.process.id")]
                    .toString() == proceso) {
                return static_cast<std::uint32_t>(f[QStringLiteral("index")].toInteger());
            }
        }
        QThread::msleep(kPausaSondeoMs);
    }
    return std::nullopt;
}

QList<std::uint32_t> ServidorPulse::VolumenFlujo(std::uint32_t flujo) {
    QList<std::uint32_t> valores;
    for (const QJsonValue& f : Flujos()) {
        if (f[QStringLiteral("index")].toInteger() == flujo) {
            for (const QJsonValue& canal : f[QStringLiteral("volume")].toObject()) {
                valores.append(
                    static_cast<std::uint32_t>(canal[QStringLiteral("value")].toInteger()));
            }
        }
    }
    return valores;
}

bool ServidorPulse::FijarVolumenFlujo(std::uint32_t flujo, std::uint32_t valor) {
    return Pactl({QStringLiteral("set-sink-input-volume"), QString::number(flujo),
                  QString::number(valor)})
        .has_value();
}
