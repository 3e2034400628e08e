// The whole program against the faults of the world around it, each run as
// its own process on a real X server, tray host and private audio server
// (PulseAudio, or PipeWire; see ServidorPulse): the audio server, or only its
// pulse-protocol process, dying during control and coming back, no audio
// server at all at start, a new default output device, the tray host
// restarting, and a settings file that cannot be read or written.

#include "support/escritorio_x.h"
#include "support/programa_x.h"
#include "support/servidor_pulse.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

using namespace programa_x;

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kClave = QStringLiteral("abc");
const QString kClaveGuardada = QStringLiteral("MwM"); // "abc" as the store keeps it
const QString kTituloPrimeraClave = QStringLiteral("Nueva Clave de Acceso");
const QString kTituloAcceso = QStringLiteral("Introducir la CLAVE de ACCESO");
const QString kTituloPrincipal = QStringLiteral("Quelvaren");
const QString kTituloAviso = QStringLiteral("Quelvaren"); // message boxes carry the program's title
const QString kAvisoNoGuardado = QStringLiteral("No se pudo guardar la configuración.");
const QString kSumideroNuevo = QStringLiteral("b");
const QString kTipoTooltip = QStringLiteral("_NET_WM_WINDOW_TYPE_TOOLTIP");

constexpr int kSondeoMs = 50;
constexpr int kTickMs = 2000; // the program writes the level every two seconds
// Scheduling slack on top of whole ticks: timer jitter, pactl's own run, a
// loaded machine.
constexpr int kHolguraMs = 1000;
// From the moment a server answers again: the tick that meets it connects and
// writes; a tick that lands while the server is still coming up fails, and the
// next one does it.
constexpr int kVueltaMs = 2 * kTickMs + kHolguraMs;
// A new default device is written by the next tick.
constexpr int kSiguienteTickMs = kTickMs + kHolguraMs;
// Three ticks, for the CPU and output measurements.
constexpr int kVentanaMedidaMs = 3 * kTickMs;
// A program that only wakes for its ticks uses far less; a loop that keeps
// retrying the connection uses a whole core.
constexpr double kFraccionCpuMaxima = 0.05;
// A second start (a process of its own) brings the dialog back well within this
// when the running program is not blocked; a hung connect would block 30 s.
constexpr int kRespuestaMs = 5000;
// At most one line while the server is away (a notice that it went); one per
// tick is a flood.
constexpr int kLineasMaximasSinServidor = 1;
constexpr int kCanalesSumideroNuevo = 2;
constexpr int kTamanoBasura = 4096;
constexpr quint32 kSemillaBasura = 20240607; // the same junk on every run
constexpr quint32 kValoresByte = 256;
constexpr int kLejos = 10; // a point of the screen away from the tray
constexpr int kCapturasTipMaximas = 10;
constexpr int kPasoBusquedaTexto = 4; // pixels between tries at the message's text
// A message box's text is in the upper part; its buttons are below this.
constexpr int kPorcientoZonaTexto = 60;
constexpr int kCien = 100;         // per cent
constexpr int kFraccionDesvio = 6; // tries alternate a sixth of the width either side
constexpr int kClicsTriple = 3;
constexpr int kRetardoClicsMs = 60;     // well inside any double-click interval
constexpr int kEsperaSeleccionMs = 500; // a selection reaches another client at once
constexpr std::uint32_t kNivel = 16384;
constexpr std::uint32_t kNivelPorDefecto = 32768; // with nothing stored
constexpr std::uint32_t kVolumenNormal = 65536;   // pa_volume_t at 100 %
constexpr qint64 kMsPorSegundo = 1000;
// Fields of /proc/<pid>/stat, counted from 1: the state follows the name.
constexpr int kCampoEstado = 3;
constexpr int kCampoUtime = 14;
constexpr int kCampoStime = 15;

EscritorioX* gEscritorio = nullptr;

// CPU time a process has used so far, all its threads, user and system.
std::optional<qint64> TiempoCpuMs(qint64 pid) {
    QFile archivo(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!archivo.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray linea = archivo.readAll();
    // The name, in parentheses, may hold spaces: count from after it.
    const qsizetype finNombre = linea.lastIndexOf(')');
    if (finNombre < 0) {
        return std::nullopt;
    }
    const QList<QByteArray> campos = linea.mid(finNombre + 1).simplified().split(' ');
    if (campos.size() <= kCampoStime - kCampoEstado) {
        return std::nullopt;
    }
    bool okU = false;
    bool okS = false;
    const qint64 utime = campos.at(kCampoUtime - kCampoEstado).toLongLong(&okU);
    const qint64 stime = campos.at(kCampoStime - kCampoEstado).toLongLong(&okS);
    const long ticsPorSegundo = sysconf(_SC_CLK_TCK);
    if (!okU || !okS || ticsPorSegundo <= 0) {
        return std::nullopt;
    }
    return (utime + stime) * kMsPorSegundo / ticsPorSegundo;
}

} // namespace

class PruebaFallosX : public QObject {
    Q_OBJECT

    EscritorioX& x_ = *gEscritorio;
    std::unique_ptr<ServidorPulse> pulse_;
    QTemporaryDir trabajo_; // pictures of the tip
    ProgramaEnPrueba programa_{kPrograma};

    // The auto road: a password and "Auto" set, so control runs from the start
    // and only the icon shows.
    void LanzarEnAutomatico() {
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Valor"), QString::number(kNivel)},
                           {QStringLiteral("Auto"), QStringLiteral("S")}});
        QVERIFY(programa_.Lanzar(x_.Entorno()));
        QVERIFY(Icono(x_).has_value());
    }

    // Whether every channel of the sink is at the level.
    bool Sostenido(const QString& sumidero, std::uint32_t nivel = kNivel) {
        const auto canales = pulse_->VolumenCanales(sumidero);
        return !canales.isEmpty() &&
               std::all_of(canales.begin(), canales.end(), [&](std::uint32_t v) {
                   return pulse_->Coincide(v, VolumenDeNivel(nivel));
               });
    }
    bool TodoAlNormal(const QString& sumidero) {
        const auto canales = pulse_->VolumenCanales(sumidero);
        return !canales.isEmpty() && std::all_of(canales.begin(), canales.end(), [&](auto v) {
            return pulse_->Coincide(v, kVolumenNormal);
        });
    }

    int LineasDesde(qsizetype inicio) {
        const QList<QByteArray> lineas = programa_.Salida().mid(inicio).split('\n');
        return static_cast<int>(std::count_if(lineas.begin(), lineas.end(),
                                              [](const QByteArray& l) { return !l.isEmpty(); }));
    }

    // The share of one core the program used over the window.
    std::optional<double> FraccionCpu(int ventanaMs) {
        const qint64 pid = programa_.Proceso().processId();
        const auto antes = TiempoCpuMs(pid);
        QElapsedTimer reloj;
        reloj.start();
        QTest::qWait(ventanaMs);
        const auto despues = TiempoCpuMs(pid);
        if (!antes || !despues || reloj.elapsed() <= 0) {
            return std::nullopt;
        }
        return double(*despues - *antes) / double(reloj.elapsed());
    }

    // The program's tooltip window on show, if any.
    std::optional<QString> VentanaTip() {
        const auto ventanas = x_.Ejecutar(
            QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
             QLatin1Char('^') + kClaseVentana + QLatin1Char('$')});
        if (!ventanas) {
            return std::nullopt;
        }
        for (const QString& ventana : ventanas->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const auto tipo =
                x_.Ejecutar(QStringLiteral("xprop"), {QStringLiteral("-id"), ventana.trimmed(),
                                                      QStringLiteral("_NET_WM_WINDOW_TYPE")});
            if (tipo && tipo->contains(kTipoTooltip)) {
                return ventana.trimmed();
            }
        }
        return std::nullopt;
    }
    std::optional<QImage> CapturarVentana(const QString& ventana) {
        const QString archivo = trabajo_.filePath(QStringLiteral("tip.png"));
        QFile::remove(archivo);
        if (!x_.Ejecutar(QStringLiteral("import"), {QStringLiteral("-window"), ventana, archivo})) {
            return std::nullopt;
        }
        QImage imagen(archivo);
        if (imagen.isNull()) {
            return std::nullopt;
        }
        return imagen.convertToFormat(QImage::Format_RGB32);
    }
    // Hovers the icon and takes a picture of the tip that shows, once two
    // pictures in a row agree (the tip is fully painted).
    std::optional<QImage> ImagenDelTip(const EscritorioX::Geometria& icono) {
        // Arriving over the icon from elsewhere is what shows a tip.
        if (!x_.Mover(kLejos, kLejos) || !Esperar([&] { return !VentanaTip().has_value(); })) {
            return std::nullopt;
        }
        const QPoint centro = icono.Centro();
        if (!x_.Mover(centro.x() - 1, centro.y()) || !x_.Mover(centro.x(), centro.y())) {
            return std::nullopt;
        }
        std::optional<QString> tip;
        if (!Esperar([&] {
                tip = VentanaTip();
                return tip.has_value();
            })) {
            return std::nullopt;
        }
        std::optional<QImage> anterior;
        std::optional<QImage> imagen;
        for (int vez = 0; vez < kCapturasTipMaximas; ++vez) {
            imagen = CapturarVentana(*tip);
            if (imagen && anterior && *imagen == *anterior) {
                break;
            }
            anterior = imagen;
            QTest::qWait(kSondeoMs);
        }
        x_.Mover(kLejos, kLejos);
        return imagen && anterior && *imagen == *anterior ? imagen : std::nullopt;
    }

    // The paragraphs of the message box's text, top down. Its text can be
    // selected with the mouse, a selection becomes the X primary selection,
    // and a triple click selects the paragraph under the pointer. The box's
    // inner layout is not known from outside, so the clicks go down near its
    // middle from the top until they have passed the text, and stop above the
    // buttons.
    std::optional<QStringList> ParrafosDelAviso(const QString& ventana) {
        bool ok = false;
        const auto geometria = x_.GeometriaVentana(ventana.toUInt(&ok));
        if (!ok || !geometria) {
            return std::nullopt;
        }
        QClipboard* portapapeles = QGuiApplication::clipboard();
        // Every other try a good way to the side, so that no click of one try
        // counts as a further click of the one before.
        const int centro = geometria->posicion.x() + geometria->tamano.width() / 2;
        const int desvio = geometria->tamano.width() / kFraccionDesvio;
        bool izquierda = true;
        const int limite = geometria->tamano.height() * kPorcientoZonaTexto / kCien;
        QStringList parrafos;
        for (int y = kPasoBusquedaTexto; y < limite; y += kPasoBusquedaTexto) {
            portapapeles->clear(QClipboard::Selection);
            const int x = izquierda ? centro - desvio : centro + desvio;
            izquierda = !izquierda;
            if (!x_.Mover(x, geometria->posicion.y() + y) ||
                !x_.Ejecutar(QStringLiteral("xdotool"),
                             {QStringLiteral("click"), QStringLiteral("--repeat"),
                              QString::number(kClicsTriple), QStringLiteral("--delay"),
                              QString::number(kRetardoClicsMs),
                              QString::number(EscritorioX::kBotonIzquierdo)})) {
                return std::nullopt;
            }
            QString seleccion;
            const bool seleccionado = Esperar(
                [&] {
                    seleccion = portapapeles->text(QClipboard::Selection).trimmed();
                    return !seleccion.isEmpty();
                },
                kEsperaSeleccionMs);
            if (!seleccionado && !parrafos.isEmpty()) {
                break; // past the text
            }
            if (seleccionado && !parrafos.contains(seleccion)) {
                parrafos.append(seleccion);
            }
        }
        if (parrafos.isEmpty()) {
            return std::nullopt;
        }
        return parrafos;
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(kPrograma), qPrintable(kPrograma));
        QVERIFY(programa_.Listo() && trabajo_.isValid());
        QVERIFY2(x_.IniciarBandeja(), qPrintable(x_.Error()));
        pulse_ = std::make_unique<ServidorPulse>();
        QVERIFY(pulse_->Listo());
    }

    // Every case starts from a fresh audio server ("nul" alone, at 100 %), a
    // tray host on show and an empty settings folder.
    void init() {
        pulse_->Detener();
        QVERIFY2(pulse_->Arrancar(), qPrintable(pulse_->ArchivoRegistro()));
        QVERIFY2(x_.IniciarBandeja(), qPrintable(x_.Error()));
        QVERIFY(programa_.VaciarAjustes());
    }

    void cleanup() {
        if (QTest::currentTestFailed()) {
            DiagnosticarEscritorio(x_);
            qWarning("registro del servidor de sonido: %s",
                     qPrintable(pulse_ ? pulse_->ArchivoRegistro() : QString()));
        }
        programa_.FinDelCaso();
        x_.Mover(kLejos, kLejos);
    }

    // The server dies while control runs: the program keeps quiet and idle
    // and answers the user; once the server is back it holds the level again.
    void servidorQueCaeYVuelve() {
        LanzarEnAutomatico();
        QVERIFY(Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }));

        const auto cpuConServidor = FraccionCpu(kVentanaMedidaMs);
        QVERIFY(cpuConServidor.has_value());

        pulse_->Detener();
        QVERIFY(!pulse_->Pactl({QStringLiteral("info")}).has_value());
        const qsizetype salidaAntes = programa_.Salida().size();
        const auto cpuSinServidor = FraccionCpu(kVentanaMedidaMs);
        QVERIFY(cpuSinServidor.has_value());
        qInfo("CPU del programa: %.2f %% de un núcleo con servidor, %.2f %% sin él (%d ms cada "
              "medida)",
              *cpuConServidor * kCien, *cpuSinServidor * kCien, kVentanaMedidaMs);
        QVERIFY2(*cpuSinServidor < kFraccionCpuMaxima,
                 qPrintable(QStringLiteral("%1 de un núcleo").arg(*cpuSinServidor)));
        const int lineas = LineasDesde(salidaAntes);
        QVERIFY2(lineas <= kLineasMaximasSinServidor,
                 programa_.Salida().mid(salidaAntes).constData());

        // Still answering: a second start gets the running program's access
        // dialog up at once. Cancelling it leaves the window hidden.
        QElapsedTimer reloj;
        reloj.start();
        QProcess segundo;
        QVERIFY(programa_.LanzarOtro(segundo, x_.Entorno()));
        QVERIFY(segundo.waitForFinished(kRespuestaMs));
        QCOMPARE(segundo.exitCode(), 0);
        QVERIFY(EsperarVentana(x_, kTituloAcceso,
                               std::max(kSondeoMs, kRespuestaMs - int(reloj.elapsed()))));
        qInfo("diálogo de acceso %lld ms después de la segunda orden, sin servidor",
              static_cast<long long>(reloj.elapsed()));
        QVERIFY(Tecla(x_, *Ventana(x_, kTituloAcceso), QStringLiteral("Escape")));
        QVERIFY(Esperar([&] { return !Ventana(x_, kTituloAcceso).has_value(); }));
        QVERIFY(!Ventana(x_, kTituloPrincipal).has_value());

        // Back: a fresh server's sink is at 100 %, so reaching the level is a
        // write of the program's.
        QVERIFY2(pulse_->Arrancar(), qPrintable(pulse_->ArchivoRegistro()));
        reloj.restart();
        QVERIFY(Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }, kVueltaMs));
        qInfo("nivel repuesto %lld ms después de volver el servidor",
              static_cast<long long>(reloj.elapsed()));
        // And held from then on, over the one connection.
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
        QVERIFY(
            Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }, kSiguienteTickMs));

        // Only the process that speaks the pulse protocol restarts (on
        // PipeWire, pipewire-pulse while the graph runs on, and its session
        // manager may give the sink its volume back): turned up after it,
        // the level is held again all the same.
        QVERIFY2(pulse_->ReiniciarPulse(), qPrintable(pulse_->ArchivoRegistro()));
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
        QVERIFY(Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }, kVueltaMs));
        QVERIFY(programa_.Terminar());
    }

    // No server when the program starts: it starts all the same, idle, and
    // holds the level as soon as a server appears.
    void sinServidorAlArrancar() {
        pulse_->Detener();
        LanzarEnAutomatico();
        QVERIFY(!Ventana(x_, kTituloPrincipal).has_value()); // only the icon, as ever on this road

        const qsizetype salidaAntes = programa_.Salida().size();
        const auto cpuSinServidor = FraccionCpu(kVentanaMedidaMs);
        QVERIFY(cpuSinServidor.has_value());
        qInfo("CPU del programa sin servidor desde el arranque: %.2f %% de un núcleo",
              *cpuSinServidor * kCien);
        QVERIFY2(*cpuSinServidor < kFraccionCpuMaxima,
                 qPrintable(QStringLiteral("%1 de un núcleo").arg(*cpuSinServidor)));
        QVERIFY2(LineasDesde(salidaAntes) <= kLineasMaximasSinServidor,
                 programa_.Salida().mid(salidaAntes).constData());
        QVERIFY(programa_.Corre());

        QVERIFY2(pulse_->Arrancar(), qPrintable(pulse_->ArchivoRegistro()));
        QElapsedTimer reloj;
        reloj.start();
        QVERIFY(Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }, kVueltaMs));
        qInfo("nivel puesto %lld ms después de aparecer el servidor",
              static_cast<long long>(reloj.elapsed()));
        QVERIFY(programa_.Terminar());
    }

    // Another device becomes the default during control: the next tick holds
    // that one, and the old one is left alone. The tick is counted from the
    // moment the server tells connected clients (the program among them) of
    // the new default: on PipeWire, at times seconds after a fresh pactl sees it.
    void cambioDelDispositivoPredeterminado() {
        LanzarEnAutomatico();
        QVERIFY(Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }));

        QVERIFY(pulse_->AgregarSumidero(kSumideroNuevo, kCanalesSumideroNuevo));
        QVERIFY(TodoAlNormal(kSumideroNuevo)); // a new sink starts at 100 %
        QVERIFY(pulse_->FijarPredeterminadoVisto(kSumideroNuevo));
        QCOMPARE(pulse_->Predeterminado(), kSumideroNuevo);
        QElapsedTimer reloj;
        reloj.start();
        QVERIFY(Esperar([&] { return Sostenido(kSumideroNuevo); }, kSiguienteTickMs));
        qInfo("nuevo dispositivo predeterminado sostenido a los %lld ms",
              static_cast<long long>(reloj.elapsed()));

        // Both turned up: only the default comes back down.
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
        QVERIFY(pulse_->FijarVolumen(kSumideroNuevo, {kVolumenNormal}));
        QVERIFY(Esperar([&] { return Sostenido(kSumideroNuevo); }, kSiguienteTickMs));
        QVERIFY(TodoAlNormal(ServidorPulse::kSumideroInicial));
        QVERIFY(programa_.Terminar());
    }

    // The tray host goes away and comes back: control runs on meanwhile, the
    // icon is embedded again with the same tip, and it still brings the window
    // back.
    void bandejaQueVuelve() {
        LanzarEnAutomatico();
        auto icono = Icono(x_);
        QVERIFY(icono.has_value());
        const auto tipAntes = ImagenDelTip(*icono);
        QVERIFY2(tipAntes.has_value(), "el tip del icono no se vio");

        x_.DetenerBandeja();
        QVERIFY(Esperar([&] { return !x_.IconoIncrustado(kClaseVentana).has_value(); }));
        QVERIFY(programa_.Corre());
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
        QVERIFY(
            Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }, kSiguienteTickMs));
        QVERIFY(!Ventana(x_, kTituloPrincipal).has_value());
        // Without an icon, a second start is the way back: it asks for the
        // password. Cancelled, with neither a tray nor a window manager, the
        // window stays on show but locked: a click on it only asks again,
        // and control goes on.
        QProcess segundo;
        QVERIFY(programa_.LanzarOtro(segundo, x_.Entorno()));
        QVERIFY(segundo.waitForFinished(kEsperaMs));
        QCOMPARE(segundo.exitCode(), 0);
        const auto cancelar = [&] {
            return EsperarVentana(x_, kTituloAcceso) &&
                   Tecla(x_, *Ventana(x_, kTituloAcceso), QStringLiteral("Escape")) &&
                   Esperar([&] { return !Ventana(x_, kTituloAcceso).has_value(); });
        };
        QVERIFY(cancelar());
        const auto principal = VentanaDelPrograma(x_, kTituloPrincipal);
        QVERIFY(principal.has_value() && x_.VentanaMapeada(*principal));
        const auto geometria = x_.GeometriaVentana(*principal);
        QVERIFY(geometria.has_value());
        QVERIFY(x_.Clic(geometria->Centro().x(), geometria->Centro().y()));
        QVERIFY(cancelar());
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
        QVERIFY(
            Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial); }, kSiguienteTickMs));

        QVERIFY2(x_.IniciarBandeja(), qPrintable(x_.Error()));
        QElapsedTimer reloj;
        reloj.start();
        icono = Icono(x_);
        QVERIFY2(icono.has_value(), "el icono no volvió a la bandeja");
        qInfo("icono incrustado de nuevo a los %lld ms", static_cast<long long>(reloj.elapsed()));
        const auto tipDespues = ImagenDelTip(*icono);
        QVERIFY2(tipDespues.has_value(), "el tip del icono no se vio tras volver la bandeja");
        QCOMPARE(tipDespues->size(), tipAntes->size());
        QVERIFY2(*tipDespues == *tipAntes, "el tip no es el de antes");

        // A left click still asks for the password and shows the window.
        QVERIFY(VolverPorElIcono(x_, *icono, kClave));
        // And a minimised window goes back behind the icon, not to a taskbar.
        QVERIFY(Tecla(x_, *Ventana(x_, kTituloPrincipal), QStringLiteral("Escape")));
        QVERIFY(Esperar([&] { return !Ventana(x_, kTituloPrincipal).has_value(); }));
        QVERIFY(programa_.Terminar());
    }

    void almacenQueFalla_data() {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<bool>("seGuarda");
        QTest::addColumn<QString>("motivo"); // part of the reason a failed save gives
        // Random bytes where the file should be: nothing in it can be read, so
        // no password is set; the first one typed is saved into it.
        QTest::newRow("basura") << QStringLiteral("basura") << true << QString();
        // A folder where the file should be: neither read nor written.
        QTest::newRow("carpeta en lugar del archivo")
            << QStringLiteral("carpeta") << false << QStringLiteral("la ruta es una carpeta");
        // The settings folder on a read-only mount. As root, permissions do
        // not stop a write, so the folder is bound read-only in a mount
        // namespace of the program's own.
        QTest::newRow("carpeta de solo lectura")
            << QStringLiteral("solo lectura") << false << QStringLiteral("es de solo lectura");
        // The settings folder would have to live under a regular file: it can
        // never be made. Needs no privilege at all.
        QTest::newRow("carpeta bajo un archivo")
            << QStringLiteral("bajo archivo") << false << QStringLiteral("no es una carpeta");
    }

    // A settings file that cannot be read, or a folder that cannot be written:
    // the program starts with the defaults (so it asks for a first password),
    // says when it cannot save, and goes on.
    void almacenQueFalla() {
        QFETCH(QString, caso);
        QFETCH(bool, seGuarda);
        QFETCH(QString, motivo);
        const QString programa = QStringLiteral("unshare");
        QStringList argumentos;
        if (caso == QLatin1String("basura")) {
            QFile archivo(programa_.ArchivoAjustes());
            QVERIFY(archivo.open(QIODevice::WriteOnly));
            QRandomGenerator generador(kSemillaBasura);
            QByteArray basura(kTamanoBasura, '\0');
            for (char& byte : basura) {
                byte = static_cast<char>(generador.bounded(kValoresByte));
            }
            QCOMPARE(archivo.write(basura), qint64(basura.size()));
        } else if (caso == QLatin1String("carpeta")) {
            QVERIFY(QDir().mkpath(programa_.ArchivoAjustes()));
        } else if (caso == QLatin1String("solo lectura")) {
            // unshare -m gives the program a private copy of the mounts, where
            // the folder is remounted read-only before the program replaces
            // the shell (same process, same pid); nothing outside sees it.
            const QString montar = QStringLiteral(
                "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && exec \"$2\"");
            const QString probar =
                QStringLiteral("mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && "
                               "! touch \"$1/prueba\" 2>/dev/null");
            if (!x_.Ejecutar(programa, {QStringLiteral("-m"), QStringLiteral("--"),
                                        QStringLiteral("sh"), QStringLiteral("-c"), probar,
                                        QStringLiteral("sh"), programa_.CarpetaAjustes()})) {
                QSKIP("no hay montajes privados de solo lectura aquí (hace falta ser root)");
            }
            argumentos = {QStringLiteral("-m"),
                          QStringLiteral("--"),
                          QStringLiteral("sh"),
                          QStringLiteral("-c"),
                          montar,
                          QStringLiteral("sh"),
                          programa_.CarpetaAjustes(),
                          kPrograma};
        } else if (caso == QLatin1String("bajo archivo")) {
            const QString archivo =
                QDir(programa_.CarpetaAjustes()).filePath(QStringLiteral("un-archivo"));
            QFile bloqueo(archivo);
            QVERIFY(bloqueo.open(QIODevice::WriteOnly));
            programa_.FijarCarpetaAjustes(archivo + QStringLiteral("/config"));
        }

        QVERIFY(argumentos.isEmpty() ? programa_.Lanzar(x_.Entorno())
                                     : programa_.Lanzar(x_.Entorno(), programa, argumentos));
        QVERIFY(EsperarVentana(x_, kTituloPrimeraClave));
        QVERIFY(programa_.Corre());
        QVERIFY(Teclear(x_, *Ventana(x_, kTituloPrimeraClave), kClave));

        if (seGuarda) {
            QVERIFY(
                Esperar([&] { return programa_.Leido(QStringLiteral("Pass")) == kClaveGuardada; }));
        } else {
            QVERIFY2(EsperarVentana(x_, kTituloAviso), "no se avisó de que no se pudo guardar");
            const auto aviso = Ventana(x_, kTituloAviso);
            QVERIFY(aviso.has_value());
            const auto parrafos = ParrafosDelAviso(*aviso);
            QVERIFY2(parrafos.has_value(), "no se pudo leer el texto del aviso");
            qInfo("aviso: %s", qPrintable(parrafos->join(QLatin1Char(' '))));
            QCOMPARE(parrafos->first(), kAvisoNoGuardado);
            // The reason that follows tells the fault that was really there.
            QVERIFY2(parrafos->size() >= 2 && parrafos->at(1).contains(motivo),
                     qPrintable(parrafos->join(QLatin1Char('|'))));
            QVERIFY(Tecla(x_, *aviso, QStringLiteral("Return")));
        }

        // The password typed holds for this run: the access check asks for it
        // and the window shows.
        QVERIFY(EsperarVentana(x_, kTituloAcceso));
        QVERIFY(Teclear(x_, *Ventana(x_, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(x_, kTituloPrincipal));
        QVERIFY(Icono(x_).has_value());
        // The level is the default one: starting control ("Ac&tivar Control",
        // Alt+T) writes it to the device, and the window goes behind the icon.
        QVERIFY(TodoAlNormal(ServidorPulse::kSumideroInicial));
        QVERIFY(Tecla(x_, *Ventana(x_, kTituloPrincipal), QStringLiteral("alt+t")));
        QVERIFY(
            Esperar([&] { return Sostenido(ServidorPulse::kSumideroInicial, kNivelPorDefecto); }));
        QVERIFY(Esperar([&] { return !Ventana(x_, kTituloPrincipal).has_value(); }));
        if (caso == QLatin1String("carpeta")) {
            QVERIFY(QFileInfo(programa_.ArchivoAjustes()).isDir()); // nothing was put in its place
        }
        QVERIFY(programa_.Terminar());
    }
};

int main(int argc, char** argv) {
    // The X server comes first: this process reads the clipboard on it.
    EscritorioX escritorio;
    if (!escritorio.Iniciar()) {
        std::fprintf(stderr, "%s\n", qPrintable(escritorio.Error()));
        return EXIT_FAILURE;
    }
    escritorio.PrepararEntornoQt();
    gEscritorio = &escritorio;
    QGuiApplication aplicacion(argc, argv);
    PruebaFallosX prueba;
    return QTest::qExec(&prueba, argc, argv);
}

#include "prueba_fallos_x.moc"
