#include "support/programa_x.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <csignal>
#include <sys/prctl.h>

namespace programa_x {

namespace {

constexpr int kSondeoMs = 50;
constexpr int kRetardoTecleoMs = 20;            // between the keys xdotool types
constexpr std::uint32_t kVolumenNormal = 65536; // pa_volume_t at 100 %
constexpr std::uint32_t kNivelMaximo = 65535;
const QString kGrupo = QStringLiteral("Config/");

bool Xdotool(const EscritorioX& x, const QStringList& argumentos) {
    return x.Ejecutar(QStringLiteral("xdotool"), argumentos).has_value();
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

} // namespace

bool Esperar(const std::function<bool()>& condicion, int esperaMs) {
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

void Sembrar(const QString& archivo, const QMap<QString, QString>& valores) {
    QFile::remove(archivo);
    QSettings ajustes(archivo, QSettings::IniFormat);
    for (auto it = valores.begin(); it != valores.end(); ++it) {
        ajustes.setValue(kGrupo + it.key(), it.value());
    }
}

QString Leido(const QString& archivo, const QString& clave) {
    QSettings ajustes(archivo, QSettings::IniFormat);
    return ajustes.value(kGrupo + clave).toString();
}

std::optional<QString> Ventana(const EscritorioX& x, const QString& titulo) {
    const auto salida = x.Ejecutar(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
         QLatin1Char('^') + QRegularExpression::escape(titulo) + QLatin1Char('$')});
    if (!salida || salida->trimmed().isEmpty()) {
        return std::nullopt;
    }
    return salida->trimmed().split(QLatin1Char('\n')).first();
}

bool EsperarVentana(const EscritorioX& x, const QString& titulo, int esperaMs) {
    return Esperar([&] { return Ventana(x, titulo).has_value(); }, esperaMs);
}

bool Enfocar(const EscritorioX& x, const QString& ventana) {
    return Xdotool(x, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), ventana});
}

bool Teclear(const EscritorioX& x, const QString& ventana, const QString& texto) {
    if (!Enfocar(x, ventana)) {
        return false;
    }
    if (!texto.isEmpty() && !Xdotool(x, {QStringLiteral("type"), QStringLiteral("--delay"),
                                         QString::number(kRetardoTecleoMs), texto})) {
        return false;
    }
    return Xdotool(x, {QStringLiteral("key"), QStringLiteral("Return")});
}

bool Tecla(const EscritorioX& x, const QString& ventana, const QString& tecla) {
    return Enfocar(x, ventana) && Xdotool(x, {QStringLiteral("key"), tecla});
}

std::optional<EscritorioX::Geometria> Icono(const EscritorioX& x) {
    const auto icono = x.EsperarIconoIncrustado(kClaseVentana);
    if (!icono) {
        return std::nullopt;
    }
    return x.GeometriaVentana(*icono);
}

bool VolverPorElIcono(const EscritorioX& x, const EscritorioX::Geometria& icono,
                      const QString& clave) {
    if (!x.Clic(icono.Centro().x(), icono.Centro().y()) || !EsperarVentana(x, kTituloDelAcceso)) {
        return false;
    }
    const auto acceso = Ventana(x, kTituloDelAcceso);
    return acceso && Teclear(x, *acceso, clave) && EsperarVentana(x, kTituloDeLaPrincipal);
}

std::optional<EscritorioX::IdVentana> VentanaDelPrograma(const EscritorioX& x,
                                                         const QString& titulo) {
    const auto ventanas = x.Ejecutar(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--class"),
         QLatin1Char('^') + QRegularExpression::escape(kClaseVentana) + QLatin1Char('$')});
    if (!ventanas) {
        return std::nullopt;
    }
    for (const QString& linea : ventanas->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto nombre =
            x.Ejecutar(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), linea});
        bool ok = false;
        const EscritorioX::IdVentana id = linea.trimmed().toUInt(&ok);
        if (ok && nombre && nombre->trimmed() == titulo) {
            return id;
        }
    }
    return std::nullopt;
}

void DiagnosticarEscritorio(const EscritorioX& x) {
    QString caso = QString::fromLatin1(QTest::currentTestFunction());
    if (const char* fila = QTest::currentDataTag()) {
        caso +=
            QLatin1Char('-') + QString::fromUtf8(fila).replace(QLatin1Char(' '), QLatin1Char('_'));
    }
    const QString captura = QDir::temp().filePath(
        QStringLiteral("quelvaren-%1-%2.png").arg(QCoreApplication::applicationName(), caso));
    x.CapturarPantalla(captura);
    qWarning("captura en %s\n%s", qPrintable(captura), qPrintable(x.Registro()));
}

void AtarAlPadre(QProcess& proceso) {
    proceso.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void TerminarProceso(QProcess& proceso) {
    if (proceso.state() == QProcess::NotRunning) {
        return;
    }
    proceso.terminate();
    if (!proceso.waitForFinished(kEsperaMs)) {
        proceso.kill();
        proceso.waitForFinished();
    }
}

Ejecucion EjecutarHastaElFin(const QString& ejecutable, const QStringList& argumentos,
                             const QProcessEnvironment& entorno, const QByteArray& entrada) {
    QProcess proceso;
    proceso.setProcessEnvironment(entorno);
    AtarAlPadre(proceso);
    proceso.start(ejecutable, argumentos);
    proceso.write(entrada);
    proceso.closeWriteChannel();
    Ejecucion ejecucion;
    if (!proceso.waitForFinished(kEsperaMs)) {
        TerminarProceso(proceso);
    } else if (proceso.exitStatus() == QProcess::NormalExit) {
        ejecucion.codigo = proceso.exitCode();
    }
    ejecucion.salida = proceso.readAllStandardOutput();
    ejecucion.error = proceso.readAllStandardError();
    return ejecucion;
}

QProcessEnvironment SinSesionGrafica(QProcessEnvironment entorno) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        entorno.remove(QString::fromLatin1(variable));
    }
    return entorno;
}

ProgramaEnPrueba::ProgramaEnPrueba(QString ejecutable)
    : ejecutable_(std::move(ejecutable)) {
    VaciarAjustes();
    proceso_.setProcessChannelMode(QProcess::MergedChannels);
    AtarAlPadre(proceso_);
    QObject::connect(&proceso_, &QProcess::readyRead, &proceso_,
                     [this] { salida_ += proceso_.readAll(); });
}

bool ProgramaEnPrueba::Listo() const {
    return ajustes_->isValid() && runtime_.isValid();
}

bool ProgramaEnPrueba::VaciarAjustes() {
    ajustes_ = std::make_unique<QTemporaryDir>();
    carpetaAjustes_ = ajustes_->path();
    return ajustes_->isValid();
}

QString ProgramaEnPrueba::ArchivoAjustes() const {
    // As the program names it here: the whole file name, dots and all.
    return QDir(carpetaAjustes_)
        .filePath(QFileInfo(ejecutable_).fileName() + QStringLiteral(".conf"));
}

void ProgramaEnPrueba::Sembrar(const QMap<QString, QString>& valores) const {
    programa_x::Sembrar(ArchivoAjustes(), valores);
}

QString ProgramaEnPrueba::Leido(const QString& clave) const {
    return programa_x::Leido(ArchivoAjustes(), clave);
}

QProcessEnvironment ProgramaEnPrueba::Entorno(const QProcessEnvironment& base) const {
    QProcessEnvironment entorno = base;
    entorno.insert(QStringLiteral("XDG_CONFIG_HOME"), carpetaAjustes_);
    entorno.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    return entorno;
}

bool ProgramaEnPrueba::Lanzar(const QProcessEnvironment& base, const QString& programa,
                              const QStringList& argumentos) {
    salida_.clear();
    proceso_.setProcessEnvironment(Entorno(base));
    proceso_.start(programa.isEmpty() ? ejecutable_ : programa, argumentos);
    if (!proceso_.waitForStarted()) {
        qWarning("el programa no arrancó: %s", qPrintable(proceso_.errorString()));
        return false;
    }
    return true;
}

bool ProgramaEnPrueba::LanzarOtro(QProcess& otro, const QProcessEnvironment& base,
                                  const QString& programa) const {
    otro.setProcessEnvironment(Entorno(base));
    otro.setProcessChannelMode(QProcess::ForwardedChannels);
    AtarAlPadre(otro);
    otro.start(programa.isEmpty() ? ejecutable_ : programa, {});
    if (!otro.waitForStarted()) {
        qWarning("el otro proceso no arrancó: %s", qPrintable(otro.errorString()));
        return false;
    }
    return true;
}

const QByteArray& ProgramaEnPrueba::Salida() {
    salida_ += proceso_.readAll();
    return salida_;
}

bool ProgramaEnPrueba::TerminaEnOrden(int esperaMs) {
    if (Corre() && !proceso_.waitForFinished(esperaMs)) {
        qWarning("el programa no terminó en %d ms", esperaMs);
        return false;
    }
    if (proceso_.exitStatus() != QProcess::NormalExit) {
        qWarning("el programa se cayó");
        return false;
    }
    if (proceso_.exitCode() != 0) {
        qWarning("el programa terminó con el código %d", proceso_.exitCode());
        return false;
    }
    return true;
}

bool ProgramaEnPrueba::Terminar() {
    if (!Corre()) {
        qWarning("el programa ya no corría");
        return false;
    }
    if (!Esperar([&] { return AtiendeSigterm(proceso_.processId()); })) {
        qWarning("el programa no atiende SIGTERM");
        return false;
    }
    proceso_.terminate();
    return TerminaEnOrden();
}

void ProgramaEnPrueba::Matar() {
    if (proceso_.state() != QProcess::NotRunning) {
        proceso_.kill();
        proceso_.waitForFinished();
    }
}

void ProgramaEnPrueba::FinDelCaso() {
    Matar();
    if (QTest::currentTestFailed()) {
        qWarning("salida del programa:\n%s", Salida().constData());
    }
}

} // namespace programa_x
