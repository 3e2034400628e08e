#include "support/atspi.h"
#include "support/programa_x.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTest>
#include <QThread>

namespace atspi {

namespace {

// A python3 earlier on PATH may lack the system's AT-SPI bindings.
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kScript = QStringLiteral(QUELVAREN_ATSPI_PROGRAMA);
constexpr int kEsperaArranqueMs = 15000; // dbus-daemon coming up
// The script's own start and its calls to a program that is slow to answer,
// on top of the time it waits for the program and the control.
constexpr int kMargenMs = 20000;
constexpr int kSondeoMs = 25;
constexpr int kMsPorSegundo = 1000;
constexpr int kCifrasValor = 15; // a value's significant digits, as the script prints them
// Before a control's name or a text, which may start with a '-'.
const QString kFinOpciones = QStringLiteral("--");

void Pausa(int ms) {
    if (QCoreApplication::instance() != nullptr) {
        QTest::qWait(ms);
    } else {
        QThread::msleep(ms);
    }
}

// Names and text as the script prints them: tabs, line breaks and
// backslashes escaped.
QString Desescapado(const QString& texto) {
    QString resultado;
    resultado.reserve(texto.size());
    for (qsizetype i = 0; i < texto.size(); ++i) {
        if (texto[i] != QLatin1Char('\\') || i + 1 == texto.size()) {
            resultado += texto[i];
            continue;
        }
        const QChar siguiente = texto[++i];
        resultado += siguiente == QLatin1Char('t')   ? QChar(QLatin1Char('\t'))
                     : siguiente == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
                                                     : siguiente;
    }
    return resultado;
}

QStringList Lineas(const QString& salida) {
    QStringList lineas = salida.split(QLatin1Char('\n'));
    if (!lineas.isEmpty() && lineas.last().isEmpty()) {
        lineas.removeLast();
    }
    return lineas;
}

// The output of an order that prints one line.
std::optional<QString> Linea(const QString& bus, const QStringList& argumentos, int esperaMs) {
    const Resultado resultado = Ejecutar(bus, argumentos, esperaMs);
    if (!resultado.Hecho()) {
        return std::nullopt;
    }
    const QStringList lineas = Lineas(resultado.salida);
    return lineas.isEmpty() ? QString() : lineas.first();
}

} // namespace

Bus::~Bus() {
    programa_x::TerminarProceso(proceso_);
}

bool Bus::Iniciar() {
    if (!direccion_.isEmpty()) {
        return true;
    }
    if (!carpeta_.isValid()) {
        error_ = QStringLiteral("no hay carpeta temporal");
        return false;
    }
    // The accessibility bus puts its socket under XDG_RUNTIME_DIR: a folder
    // of this bus's own, so that buses of tests running side by side do not
    // take each other's place. Without DISPLAY it leaves the X server's root
    // window alone, where Qt and libatspi would also look for it.
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    for (const char* variable :
         {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS"}) {
        entorno.remove(QString::fromLatin1(variable));
    }
    entorno.insert(QStringLiteral("XDG_RUNTIME_DIR"), carpeta_.path());
    proceso_.setProcessEnvironment(entorno);
    proceso_.setStandardErrorFile(carpeta_.filePath(QStringLiteral("dbus.log")));
    programa_x::AtarAlPadre(proceso_);
    proceso_.start(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"),
         QStringLiteral("--address=unix:path=") + carpeta_.filePath(QStringLiteral("bus")),
         QStringLiteral("--print-address=1")});
    if (!proceso_.waitForStarted(kEsperaArranqueMs)) {
        error_ = QStringLiteral("dbus-daemon no arrancó: ") + proceso_.errorString();
        return false;
    }
    const QDeadlineTimer plazo(kEsperaArranqueMs);
    while (!proceso_.canReadLine() && proceso_.state() == QProcess::Running &&
           !plazo.hasExpired()) {
        proceso_.waitForReadyRead(kSondeoMs);
    }
    direccion_ = QString::fromLocal8Bit(proceso_.readLine()).trimmed();
    if (direccion_.isEmpty()) {
        QFile registro(carpeta_.filePath(QStringLiteral("dbus.log")));
        registro.open(QIODevice::ReadOnly);
        error_ = QStringLiteral("dbus-daemon no dio su dirección:\n") +
                 QString::fromLocal8Bit(registro.readAll());
        programa_x::TerminarProceso(proceso_);
        return false;
    }
    return true;
}

QProcessEnvironment ConAccesibilidad(QProcessEnvironment entorno, const QString& bus) {
    entorno.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
    entorno.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    entorno.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    return entorno;
}

Resultado Ejecutar(const QString& bus, const QStringList& argumentos, int esperaMs) {
    QProcess proceso;
    programa_x::AtarAlPadre(proceso);
    proceso.start(kPython,
                  QStringList{kScript, QStringLiteral("--bus"), bus, QStringLiteral("--espera"),
                              QString::number(double(esperaMs) / kMsPorSegundo)} +
                      argumentos);
    Resultado resultado;
    if (!proceso.waitForStarted(kEsperaArranqueMs)) {
        resultado.errores = proceso.errorString();
        return resultado;
    }
    // The program under test may be this very process: its events must run.
    const QDeadlineTimer plazo(esperaMs + kMargenMs);
    while (proceso.state() != QProcess::NotRunning && !plazo.hasExpired()) {
        if (QCoreApplication::instance() != nullptr) {
            QTest::qWait(kSondeoMs);
        } else {
            proceso.waitForFinished(kSondeoMs);
        }
    }
    if (proceso.state() != QProcess::NotRunning) {
        proceso.kill();
        proceso.waitForFinished();
        resultado.errores = QStringLiteral("el script no terminó a tiempo");
        return resultado;
    }
    resultado.salida = QString::fromUtf8(proceso.readAllStandardOutput());
    resultado.errores = QString::fromUtf8(proceso.readAllStandardError());
    if (proceso.exitStatus() == QProcess::NormalExit) {
        resultado.codigo = proceso.exitCode();
    }
    return resultado;
}

bool Pulsar(const QString& bus, const QString& control, int esperaMs) {
    return Ejecutar(bus, {QStringLiteral("pulsar"), kFinOpciones, control}, esperaMs).Hecho();
}

bool Escribir(const QString& bus, const QString& control, const QString& texto, int esperaMs) {
    return Ejecutar(bus, {QStringLiteral("escribir"), kFinOpciones, control, texto}, esperaMs)
        .Hecho();
}

bool FijarValor(const QString& bus, const QString& control, double valor, int esperaMs) {
    return Ejecutar(bus,
                    {QStringLiteral("valor"), kFinOpciones, control,
                     QString::number(valor, 'g', kCifrasValor)},
                    esperaMs)
        .Hecho();
}

std::optional<double> Valor(const QString& bus, const QString& control, int esperaMs) {
    const auto linea = Linea(bus, {QStringLiteral("valor"), kFinOpciones, control}, esperaMs);
    bool ok = false;
    const double valor = linea ? linea->toDouble(&ok) : 0;
    return ok ? std::optional<double>(valor) : std::nullopt;
}

std::optional<QString> Texto(const QString& bus, const QString& control, int esperaMs) {
    const auto linea = Linea(bus, {QStringLiteral("texto"), kFinOpciones, control}, esperaMs);
    return linea ? std::optional<QString>(Desescapado(*linea)) : std::nullopt;
}

std::optional<bool> Sensible(const QString& bus, const QString& control, int esperaMs) {
    const auto linea = Linea(bus, {QStringLiteral("estado"), kFinOpciones, control}, esperaMs);
    if (!linea) {
        return std::nullopt;
    }
    const QStringList campos = linea->split(QLatin1Char(' '));
    if (campos.contains(QStringLiteral("sensible=1"))) {
        return true;
    }
    if (campos.contains(QStringLiteral("sensible=0"))) {
        return false;
    }
    return std::nullopt;
}

QStringList Ventanas(const QString& bus, int esperaMs) {
    const Resultado resultado = Ejecutar(bus, {QStringLiteral("ventanas")}, esperaMs);
    QStringList titulos;
    if (resultado.Hecho()) {
        for (const QString& linea : Lineas(resultado.salida)) {
            titulos += Desescapado(linea.section(QLatin1Char('\t'), 1));
        }
    }
    return titulos;
}

bool EsperarVentana(const QString& bus, const QString& titulo, int esperaMs) {
    const QDeadlineTimer plazo(esperaMs);
    for (;;) {
        if (Ventanas(bus, static_cast<int>(plazo.remainingTime())).contains(titulo)) {
            return true;
        }
        if (plazo.hasExpired()) {
            return false;
        }
        Pausa(kSondeoMs);
    }
}

QList<Control> Controles(const QString& bus, int esperaMs) {
    const Resultado resultado = Ejecutar(bus, {QStringLiteral("controles")}, esperaMs);
    QList<Control> controles;
    if (resultado.Hecho()) {
        for (const QString& linea : Lineas(resultado.salida)) {
            const QStringList campos = linea.split(QLatin1Char('\t'));
            if (campos.size() == 3) {
                controles.append({Desescapado(campos[0]), campos[1], Desescapado(campos[2])});
            }
        }
    }
    return controles;
}

Escucha::~Escucha() {
    programa_x::TerminarProceso(proceso_);
}

bool Escucha::Iniciar(const QString& bus, const QStringList& eventos, int esperaMs) {
    programa_x::AtarAlPadre(proceso_);
    proceso_.start(kPython,
                   QStringList{kScript, QStringLiteral("--bus"), bus, QStringLiteral("--espera"),
                               QString::number(double(esperaMs) / kMsPorSegundo),
                               QStringLiteral("escuchar")} +
                       eventos);
    const QDeadlineTimer plazo(esperaMs + kMargenMs);
    while (!salida_.startsWith(QLatin1String("escuchando\n"))) {
        if (!proceso_.waitForReadyRead(kSondeoMs) &&
            (proceso_.state() == QProcess::NotRunning || plazo.hasExpired())) {
            qWarning("la escucha no empezó: %s", proceso_.readAllStandardError().constData());
            return false;
        }
        salida_ += QString::fromUtf8(proceso_.readAllStandardOutput());
    }
    return true;
}

QStringList Escucha::Oido() {
    salida_ += QString::fromUtf8(proceso_.readAllStandardOutput());
    QStringList datos;
    for (const QString& evento : Lineas(salida_).mid(1)) {
        datos += Desescapado(evento.section(QLatin1Char('\t'), -1));
    }
    return datos;
}

} // namespace atspi
