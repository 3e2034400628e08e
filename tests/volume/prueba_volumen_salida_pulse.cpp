// The Linux device write against a real, private audio server (PulseAudio,
// or PipeWire's pulse server; see ServidorPulse): the level each channel ends
// up at, the choice of sink, the behaviour when the server goes away, comes
// back or hangs, and the hold of the level between writes.
//
// The write is asynchronous, so each check polls the server (pactl) until
// the expected value shows or a deadline passes.
#include "support/servidor_pulse.h"
#include "volume/politica_correcciones.h"
#include "volume/volumen.h"
#include "volume/volumen_asentado.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace {

constexpr double kNormaPulse = 65536.0;  // pactl's 100 %
constexpr double kCanalMaximo = 65535.0; // a channel value at full volume
constexpr std::uint32_t kCanalMascara = 0xFFFFu;
constexpr unsigned kBitsMitad = 16;
// Levels 0, 257, 514 ... 65535: every high byte, and both ends of the range.
constexpr std::uint32_t kPasoMuestra = 257;

// Levels that another program leaves on the sink before a write; none of
// them is what any write below gives.
constexpr std::uint32_t kVolumenAjeno = 12345;
constexpr std::uint32_t kVolumenAjenoOtro = 54321;
constexpr std::uint32_t kVolumenAjenoBase = 1000; // channel i gets (i + 1) times this

// How long a write may take to show on the server. A write takes well under
// a millisecond; pactl polls and a loaded machine take the rest.
constexpr int kEsperaEscrituraMs = 3000;
// Proof that a write does not wait on the server: a synchronous call to a
// hung server would block for 30 s.
constexpr qint64 kLimiteNoBloqueoMs = 200;
constexpr int kEscriturasSinServidor = 3;

const QString kSumidero = ServidorPulse::kSumideroInicial;

// While held, a change from outside is undone long before the next tick.
constexpr int kEsperaRestauracionMs = 1000;
// Held and left alone this long, the output must not write by itself.
constexpr int kReposoMs = 2000;
// How long another program fights over the level in the fight test, and how
// often it asks for its own level meanwhile (as fast as the server takes it).
constexpr int kPeleaMs = 3000;
constexpr auto kEntreAjenos = std::chrono::milliseconds(1);
constexpr std::uint16_t kCanalesAjenos[] = {0x1000, 0x2000}; // its levels, in turn
// A server back after a loss is found within one beat of the back-off.
constexpr int kEsperaRegresoMs = volumen::kIntervaloControlMs + kEsperaEscrituraMs;
// pactl subscribe: how long without output means it has told everything,
// and how many outside changes may go by before it shows one.
constexpr int kSilencioEventosMs = 300;
constexpr std::uint32_t kIntentosEscucha = 10;
// Servers that convert volumes through floating point read a step or so off.
constexpr std::uint32_t kToleranciaPasos = 2;

// Two channel values in one word: left in the low half, right in the high half.
std::uint32_t Palabra(std::uint16_t izquierdo, std::uint16_t derecho) {
    return (std::uint32_t{derecho} << kBitsMitad) | izquierdo;
}

// The raw sink volume that a channel value must give: 0 silent, 65535 at 100 %.
std::uint32_t VolumenEsperado(std::uint16_t canal) {
    return static_cast<std::uint32_t>(std::lround(canal * kNormaPulse / kCanalMaximo));
}

// What each channel of a sink must show after a write of the word, from the
// channel positions that the server reports.
QList<std::uint32_t> EsperadoPorCanal(const QList<ServidorPulse::Canal>& canales,
                                      std::uint32_t palabra) {
    const std::uint32_t izquierdo =
        VolumenEsperado(static_cast<std::uint16_t>(palabra & kCanalMascara));
    const std::uint32_t derecho =
        VolumenEsperado(static_cast<std::uint16_t>(palabra >> kBitsMitad));
    QList<std::uint32_t> esperado;
    for (const ServidorPulse::Canal& canal : canales) {
        if (canal.posicion.contains(QLatin1String("left"))) {
            esperado.append(izquierdo);
        } else if (canal.posicion.contains(QLatin1String("right"))) {
            esperado.append(derecho);
        } else {
            esperado.append(std::max(izquierdo, derecho));
        }
    }
    return esperado;
}

QList<std::uint32_t> Todos(qsizetype canales, std::uint32_t valor) {
    return QList<std::uint32_t>(canales, valor);
}

// Whether every channel reads as the value, within what the server rounds.
bool Cerca(const QList<std::uint32_t>& leidos, std::uint32_t valor) {
    return !leidos.isEmpty() && std::all_of(leidos.begin(), leidos.end(), [valor](auto leido) {
        return std::max(leido, valor) - std::min(leido, valor) <= kToleranciaPasos;
    });
}

// The server's change events of sinks, as `pactl subscribe` prints them.
class EventosSumidero {
public:
    // Starts listening; ready once a change made from outside shows.
    bool Escuchar(ServidorPulse& servidor) {
        proceso_.start(QStringLiteral("pactl"), {QStringLiteral("subscribe")});
        if (!proceso_.waitForStarted()) {
            return false;
        }
        for (std::uint32_t prueba = kVolumenAjeno; Cambios() == 0; ++prueba) {
            if (prueba - kVolumenAjeno == kIntentosEscucha ||
                !servidor.FijarVolumen(kSumidero, {prueba})) {
                return false;
            }
        }
        return true;
    }
    // Change events of sinks seen so far, once pactl has been quiet a while.
    int Cambios() {
        while (proceso_.waitForReadyRead(kSilencioEventosMs)) {
        }
        for (const QByteArray& linea : proceso_.readAllStandardOutput().split('\n')) {
            cambios_ += linea.contains("'change' on sink #") ? 1 : 0;
        }
        return cambios_;
    }
    ~EventosSumidero() {
        proceso_.kill();
        proceso_.waitForFinished();
    }

private:
    QProcess proceso_;
    int cambios_ = 0;
};

// Stands between the output and the server, as a server in a crash loop
// would: it takes each connection and, while it drops them, ends it a moment
// after, both ends at once.
class ServidorQueSeCae : public QObject {
public:
    static constexpr int kVidaConexionMs = 300;

    explicit ServidorQueSeCae(const QString& destino)
        : destino_(destino) {
        escucha_.listen(QDir(carpeta_.path()).filePath(QStringLiteral("pulse")));
        connect(&escucha_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* cliente = escucha_.nextPendingConnection()) {
                Unir(cliente);
            }
        });
    }
    QString Direccion() const { return QStringLiteral("unix:") + escucha_.fullServerName(); }
    int Conexiones() const { return conexiones_; }
    void DejarDeCaer() { cae_ = false; }

private:
    void Unir(QLocalSocket* cliente) {
        ++conexiones_;
        auto* servidor = new QLocalSocket(cliente);
        servidor->connectToServer(destino_);
        const auto pasar = [](QLocalSocket* de, QLocalSocket* a) {
            connect(de, &QLocalSocket::readyRead, a, [de, a] { a->write(de->readAll()); });
        };
        pasar(cliente, servidor);
        pasar(servidor, cliente);
        connect(cliente, &QLocalSocket::disconnected, cliente, &QObject::deleteLater);
        connect(servidor, &QLocalSocket::disconnected, cliente, &QLocalSocket::abort);
        if (cae_) {
            QTimer::singleShot(kVidaConexionMs, cliente, [cliente] { cliente->abort(); });
        }
    }

    QTemporaryDir carpeta_;
    QLocalServer escucha_;
    QString destino_;
    int conexiones_ = 0;
    bool cae_ = true;
};

} // namespace

// The sink's channels against the expected raw volumes, within what the
// server keeps exactly (ServidorPulse::Tolerancia); at once, or waiting for a
// write to show.
#define COMPARAR_VOLUMEN(sumidero, esperado)                                                       \
    do {                                                                                           \
        const QList<std::uint32_t> esperado_ = (esperado);                                         \
        QCOMPARE(servidor_->VolumenCanalesFrente((sumidero), esperado_), esperado_);               \
    } while (false)
#define ESPERAR_VOLUMEN(sumidero, esperado, esperaMs)                                              \
    do {                                                                                           \
        const QList<std::uint32_t> esperado_ = (esperado);                                         \
        QTRY_COMPARE_WITH_TIMEOUT(servidor_->VolumenCanalesFrente((sumidero), esperado_),          \
                                  esperado_, (esperaMs));                                          \
    } while (false)

class PruebaVolumenSalidaPulse : public QObject {
    Q_OBJECT

    std::unique_ptr<ServidorPulse> servidor_;
    std::unique_ptr<volumen::SalidaVolumen> salida_;

    // Escribir, returning how long the call took.
    qint64 EscribirMidiendo(volumen::SalidaVolumen& salida, std::uint32_t palabra) {
        QElapsedTimer reloj;
        reloj.start();
        salida.Escribir(palabra);
        return reloj.elapsed();
    }

private slots:
    void init() {
        servidor_ = std::make_unique<ServidorPulse>();
        QVERIFY2(servidor_->Listo(), qPrintable(servidor_->ArchivoRegistro()));
        QCOMPARE(servidor_->Predeterminado(), kSumidero);
        salida_ = volumen::CrearSalidaDelSistema();
        QVERIFY(salida_ != nullptr);
    }

    void cleanup() {
        salida_.reset();
        servidor_.reset();
    }

    // The level box's text, through the level arithmetic, onto the sink.
    void niveles_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<std::uint32_t>("crudo"); // pa_volume_t on both channels
        QTest::newRow("0 silencio") << "0" << 0u;
        QTest::newRow("255") << "255" << 255u;
        QTest::newRow("32768 la mitad") << "32768" << 32769u;
        QTest::newRow("65535 al 100 %") << "65535" << 65536u;
        QTest::newRow("70000 se reduce a 4464") << "70000" << 4464u;
        QTest::newRow("99999 se reduce a 34463") << "99999" << 34464u;
    }
    void niveles() {
        QFETCH(QString, texto);
        QFETCH(std::uint32_t, crudo);
        QVERIFY(servidor_->FijarVolumen(kSumidero, {kVolumenAjeno}));
        COMPARAR_VOLUMEN(kSumidero, Todos(2, kVolumenAjeno));

        volumen::FijarVolumen(texto, *salida_);
        ESPERAR_VOLUMEN(kSumidero, Todos(2, crudo), kEsperaEscrituraMs);
    }

    // Levels across the whole range, through the real output, come back
    // within the server's tolerance; the largest distance seen is reported.
    void exactitudDelServidor() {
        std::uint32_t mayorDistancia = 0;
        for (std::uint32_t nivel = 0; nivel <= kCanalMascara; nivel += kPasoMuestra) {
            const auto canal = static_cast<std::uint16_t>(nivel);
            const std::uint32_t esperado = VolumenEsperado(canal);
            salida_->Escribir(volumen::PalabraVolumen(canal));
            ESPERAR_VOLUMEN(kSumidero, Todos(2, esperado), kEsperaEscrituraMs);
            for (const std::uint32_t leido : servidor_->VolumenCanales(kSumidero)) {
                mayorDistancia = std::max(mayorDistancia,
                                          leido > esperado ? leido - esperado : esperado - leido);
            }
        }
        qInfo("mayor distancia leída: %u pasos (tolerancia %u)", mayorDistancia,
              servidor_->Tolerancia());
    }

    // Every channel of the default sink is set, whatever its count and
    // layout: left channels from the low half, right channels from the high
    // half, the rest from the larger half. The sink starts unbalanced, so a
    // write that kept the balance would show.
    void canales_data() {
        QTest::addColumn<int>("cuantos");
        QTest::addColumn<QString>("mapa");
        QTest::addColumn<std::uint32_t>("palabra");
        const std::uint32_t derechoMayor = Palabra(0x4000, 0xC000);
        const std::uint32_t izquierdoMayor = Palabra(0xF000, 0x1000);
        QTest::newRow("mono") << 1 << QString() << derechoMayor;
        QTest::newRow("estereo") << 2 << QString() << derechoMayor;
        QTest::newRow("estereo, izquierdo mayor") << 2 << QString() << izquierdoMayor;
        QTest::newRow("tres canales") << 3 << QString() << izquierdoMayor;
        QTest::newRow("seis canales por omision") << 6 << QString() << derechoMayor;
        QTest::newRow("5.1") << 6
                             << QStringLiteral(
                                    "front-left,front-right,rear-left,rear-right,front-center,lfe")
                             << izquierdoMayor;
        QTest::newRow("7.1") << 8
                             << QStringLiteral("front-left,front-right,rear-left,rear-right,front-"
                                               "center,lfe,side-left,side-right")
                             << derechoMayor;
        QTest::newRow("ocho con auxiliares") << 8 << QString() << izquierdoMayor;
        QTest::newRow("estereo en silencio") << 2 << QString() << Palabra(0, 0);
        QTest::newRow("estereo al maximo") << 2 << QString() << Palabra(0xFFFF, 0xFFFF);
    }
    void canales() {
        QFETCH(int, cuantos);
        QFETCH(QString, mapa);
        QFETCH(std::uint32_t, palabra);
        const QString nombre = QStringLiteral("prueba");
        QVERIFY(servidor_->AgregarSumidero(nombre, cuantos, mapa));
        QList<std::uint32_t> desequilibrado;
        for (int i = 0; i < cuantos; ++i) {
            desequilibrado.append(kVolumenAjenoBase * static_cast<std::uint32_t>(i + 1));
        }
        QVERIFY(servidor_->FijarVolumen(nombre, desequilibrado));
        QVERIFY(servidor_->FijarPredeterminado(nombre));
        const QList<ServidorPulse::Canal> canales = servidor_->Canales(nombre);
        QCOMPARE(canales.size(), cuantos);
        const QList<std::uint32_t> esperado = EsperadoPorCanal(canales, palabra);

        if (!servidor_->VistaAlDia()) {
            // A fresh connection sees the new sink as the default at once.
            salida_ = volumen::CrearSalidaDelSistema();
        }
        salida_->Escribir(palabra);
        ESPERAR_VOLUMEN(nombre, esperado, kEsperaEscrituraMs);
        // The sink that is no longer the default is left alone.
        COMPARAR_VOLUMEN(kSumidero, Todos(2, static_cast<std::uint32_t>(kNormaPulse)));
    }

    // Each write goes to the sink that is the default at that moment.
    void cambioDePredeterminado() {
        if (!servidor_->VistaAlDia()) {
            QSKIP("PipeWire's pulse server may show a connected client a new default sink only "
                  "seconds later; the whole program's test follows a new default there");
        }
        const std::uint32_t primera = volumen::PalabraVolumen(0x2000);
        salida_->Escribir(primera);
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x2000)), kEsperaEscrituraMs);

        const QString otro = QStringLiteral("otro");
        QVERIFY(servidor_->AgregarSumidero(otro, 2));
        QVERIFY(servidor_->FijarVolumen(otro, {kVolumenAjeno}));
        QVERIFY(servidor_->FijarVolumen(kSumidero, {kVolumenAjenoOtro}));
        QVERIFY(servidor_->FijarPredeterminado(otro));

        salida_->Escribir(volumen::PalabraVolumen(0x6000));
        ESPERAR_VOLUMEN(otro, Todos(2, VolumenEsperado(0x6000)), kEsperaEscrituraMs);
        COMPARAR_VOLUMEN(kSumidero, Todos(2, kVolumenAjenoOtro));

        // And back.
        QVERIFY(servidor_->FijarPredeterminado(kSumidero));
        salida_->Escribir(volumen::PalabraVolumen(0x7000));
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x7000)), kEsperaEscrituraMs);
        COMPARAR_VOLUMEN(otro, Todos(2, VolumenEsperado(0x6000)));
    }

    // Whatever another program does to the sink, the next write puts the
    // level back, on the same connection.
    void restableceTrasCambioAjeno() {
        const std::uint32_t palabra = volumen::PalabraVolumen(0x5000);
        const QList<std::uint32_t> esperado = Todos(2, VolumenEsperado(0x5000));
        const QList<QList<std::uint32_t>> ajenos{
            {kVolumenAjeno}, {kVolumenAjenoBase, kVolumenAjenoOtro}, {0}, {kVolumenAjenoOtro}};
        for (const QList<std::uint32_t>& ajeno : ajenos) {
            QVERIFY(servidor_->FijarVolumen(kSumidero, ajeno));
            QVERIFY(servidor_->VolumenCanalesFrente(kSumidero, esperado) != esperado);
            salida_->Escribir(palabra);
            ESPERAR_VOLUMEN(kSumidero, esperado, kEsperaEscrituraMs);
        }
    }

    // A write sets the volume and nothing else: the mute switch stays.
    void silencioIntacto_data() {
        QTest::addColumn<bool>("silenciado");
        QTest::newRow("silenciado") << true;
        QTest::newRow("con sonido") << false;
    }
    void silencioIntacto() {
        QFETCH(bool, silenciado);
        QVERIFY(servidor_->FijarSilencio(kSumidero, silenciado));
        QVERIFY(servidor_->FijarVolumen(kSumidero, {kVolumenAjeno}));
        salida_->Escribir(volumen::PalabraVolumen(0x3000));
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x3000)), kEsperaEscrituraMs);
        QCOMPARE(servidor_->Silenciado(kSumidero), std::optional<bool>(silenciado));
    }

    // The server dies and comes back: while it is gone a write returns at
    // once, and the first write after its return holds the level again
    // within one tick.
    void servidorReiniciado_data() {
        QTest::addColumn<bool>("conectadaAntes"); // the output had reached the server
        QTest::newRow("salida conectada antes") << true;
        QTest::newRow("salida creada sin servidor") << false;
    }
    void servidorReiniciado() {
        QFETCH(bool, conectadaAntes);
        if (conectadaAntes) {
            salida_->Escribir(volumen::PalabraVolumen(0x1000));
            ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x1000)), kEsperaEscrituraMs);
        }
        servidor_->Detener();
        QVERIFY(!servidor_->Listo());
        if (!conectadaAntes) {
            salida_ = volumen::CrearSalidaDelSistema();
        }
        // Held, as while control is active: on PipeWire the server answers a
        // moment before its session manager has made "nul" the default again,
        // and the hold follows that change.
        salida_->Sostener(true);

        const std::uint32_t palabra = volumen::PalabraVolumen(0x9000);
        for (int i = 0; i < kEscriturasSinServidor; ++i) {
            QVERIFY(EscribirMidiendo(*salida_, palabra) < kLimiteNoBloqueoMs);
        }

        // A restarted server comes back at 100 %; the word that could not
        // reach it goes out as soon as the output finds it again, with no
        // further write.
        QVERIFY(servidor_->Arrancar());
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x9000)), kEsperaRegresoMs);
    }

    // Only the process that speaks the pulse protocol restarts (on PipeWire,
    // pipewire-pulse; the graph stays): the next write holds the level again.
    void pulseReiniciado() {
        salida_->Escribir(volumen::PalabraVolumen(0x1000));
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x1000)), kEsperaEscrituraMs);
        QVERIFY2(servidor_->ReiniciarPulse(), qPrintable(servidor_->ArchivoRegistro()));
        // PipeWire's session manager may give the sink back its volume: set
        // another one, so that reaching the level is the output's write.
        QVERIFY(servidor_->FijarVolumen(kSumidero, {kVolumenAjeno}));
        COMPARAR_VOLUMEN(kSumidero, Todos(2, kVolumenAjeno));
        salida_->Escribir(volumen::PalabraVolumen(0x9000));
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x9000)), volumen::kIntervaloControlMs);
    }

    // A hung server (SIGSTOP) blocks neither a write on a live connection,
    // nor a new connection's first write, nor the end of an output. When it
    // runs again, the latest level reaches it.
    void servidorCongelado() {
        salida_->Escribir(volumen::PalabraVolumen(0x1000));
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x1000)), kEsperaEscrituraMs);

        QVERIFY(servidor_->Pausar());
        QVERIFY(EscribirMidiendo(*salida_, volumen::PalabraVolumen(0x2000)) < kLimiteNoBloqueoMs);
        QVERIFY(EscribirMidiendo(*salida_, volumen::PalabraVolumen(0x3000)) < kLimiteNoBloqueoMs);
        QVERIFY(EscribirMidiendo(*salida_, volumen::PalabraVolumen(0xA000)) < kLimiteNoBloqueoMs);

        QElapsedTimer reloj;
        reloj.start();
        {
            std::unique_ptr<volumen::SalidaVolumen> nueva = volumen::CrearSalidaDelSistema();
            nueva->Escribir(volumen::PalabraVolumen(0x4000));
            nueva->Escribir(volumen::PalabraVolumen(0x4000));
        }
        QVERIFY(reloj.elapsed() < kLimiteNoBloqueoMs);

        QVERIFY(servidor_->Reanudar());
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0xA000)), kEsperaEscrituraMs);
    }

    // Ending an output while the server is hung returns at once too.
    void finConServidorCongelado() {
        salida_->Escribir(volumen::PalabraVolumen(0x1000));
        ESPERAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x1000)), kEsperaEscrituraMs);
        QVERIFY(servidor_->Pausar());
        salida_->Escribir(volumen::PalabraVolumen(0x2000));
        QElapsedTimer reloj;
        reloj.start();
        salida_.reset();
        QVERIFY(reloj.elapsed() < kLimiteNoBloqueoMs);
        QVERIFY(servidor_->Reanudar());
    }

    // Held, the level in force comes back by itself: after a change from
    // outside, on a new default sink, on a server back after a loss. The
    // echoes of its own writes start no further writes.
    void sostenida() {
        EventosSumidero eventos;
        QVERIFY(eventos.Escuchar(*servidor_));
        const int antes = eventos.Cambios();
        const std::uint32_t nivel = VolumenEsperado(0x5000);
        salida_->Escribir(volumen::PalabraVolumen(0x5000));
        salida_->Sostener(true);
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(kSumidero), nivel),
                                 kEsperaEscrituraMs);
        // The write asked for shows; after it, nothing more while idle.
        const int conLaEscritura = eventos.Cambios();
        QVERIFY(conLaEscritura > antes);
        QTest::qWait(kReposoMs);
        QCOMPARE(eventos.Cambios(), conLaEscritura);

        const QList<QList<std::uint32_t>> ajenos{{kVolumenAjeno}, {kVolumenAjenoBase, nivel}};
        for (const QList<std::uint32_t>& ajeno : ajenos) {
            QVERIFY(servidor_->FijarVolumen(kSumidero, ajeno));
            QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(kSumidero), nivel),
                                     kEsperaRestauracionMs);
        }

        // A new default sink gets the level on the event that announces it
        // (PipeWire's pulse server may show a connected client the new default
        // only seconds later: the whole program's test follows it there).
        if (servidor_->VistaAlDia()) {
            const QString otro = QStringLiteral("otro");
            QVERIFY(servidor_->AgregarSumidero(otro, 2));
            QVERIFY(servidor_->FijarVolumen(otro, {kVolumenAjeno}));
            QVERIFY(servidor_->FijarPredeterminado(otro));
            QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(otro), nivel),
                                     kEsperaRestauracionMs);
        }

        servidor_->Detener();
        QVERIFY(servidor_->Arrancar());
        QElapsedTimer reloj;
        reloj.start();
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(kSumidero), nivel),
                                 kEsperaRegresoMs);
        qInfo("nivel de vuelta %lld ms después de arrancar el servidor",
              static_cast<long long>(reloj.elapsed()));
    }

    // Released, or made without restoring, the output leaves changes alone.
    void soltada_data() {
        QTest::addColumn<bool>("restaurarAlCambiar");
        QTest::newRow("sostenida y soltada") << true;
        QTest::newRow("sin restaurar al cambiar") << false;
    }
    void soltada() {
        QFETCH(bool, restaurarAlCambiar);
        salida_ = volumen::CrearSalidaDelSistema(restaurarAlCambiar);
        salida_->Escribir(volumen::PalabraVolumen(0x5000));
        salida_->Sostener(true);
        QTRY_VERIFY_WITH_TIMEOUT(
            Cerca(servidor_->VolumenCanales(kSumidero), VolumenEsperado(0x5000)),
            kEsperaEscrituraMs);
        if (restaurarAlCambiar) {
            salida_->Sostener(false);
        }
        QVERIFY(servidor_->FijarVolumen(kSumidero, {kVolumenAjeno}));
        QTest::qWait(kEsperaRestauracionMs);
        QCOMPARE(servidor_->VolumenCanales(kSumidero), Todos(2, kVolumenAjeno));
    }

    // Another program that sets its own level over and over, as fast as the
    // server takes it, gets a bounded number of corrections, and the level is
    // back once it stops.
    void peleaAcotada() {
        if (!servidor_->UnEventoPorCambio()) {
            QSKIP("this server merges change events: the corrections cannot be counted from "
                  "outside (the bound is shown on PulseAudio)");
        }
        EventosSumidero eventos;
        QVERIFY(eventos.Escuchar(*servidor_));
        std::atomic<int> correcciones{0};
        salida_->AlCorregir([&correcciones] { ++correcciones; });
        const std::uint32_t nivel = VolumenEsperado(0x5000);
        salida_->Escribir(volumen::PalabraVolumen(0x5000));
        salida_->Sostener(true);
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(kSumidero), nivel),
                                 kEsperaEscrituraMs);
        const int antes = eventos.Cambios();

        auto otro = volumen::CrearSalidaDelSistema(false);
        QElapsedTimer reloj;
        reloj.start();
        for (int pedido = 0; reloj.elapsed() < kPeleaMs; ++pedido) {
            otro->Escribir(volumen::PalabraVolumen(kCanalesAjenos[pedido % 2]));
            std::this_thread::sleep_for(kEntreAjenos);
        }
        otro.reset();
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(kSumidero), nivel),
                                 volumen::PoliticaCorrecciones::kPausaMs + kEsperaEscrituraMs);

        // At most a burst per pause while the fight lasts, and the check at
        // the end of a pause; every change on the server is the other's or a
        // correction.
        const int cota = static_cast<int>(volumen::PoliticaCorrecciones::kCorreccionesPorSegundo) *
                         (kPeleaMs / static_cast<int>(volumen::PoliticaCorrecciones::kPausaMs) + 2);
        const int ajenos = eventos.Cambios() - antes - correcciones;
        qInfo() << correcciones << ajenos;
        QVERIFY2(ajenos > cota, "the other program did not change the level often enough");
        QVERIFY2(
            correcciones >= 1 && correcciones <= cota,
            qPrintable(
                QStringLiteral("%1 corrections against %2 changes").arg(correcciones).arg(ajenos)));
    }

    // A ceiling or a floor instead of a fixed level: a change beyond it comes
    // back to it at once, one within it stands, and the tick's write leaves a
    // channel within it alone. A mute beats a floor and is undone at once;
    // under a ceiling it is the user's.
    void modos_data() {
        QTest::addColumn<volumen::Modo>("modo");
        QTest::addColumn<std::uint32_t>("mas");   // beyond the level
        QTest::addColumn<std::uint32_t>("menos"); // within it
        QTest::newRow("tope") << volumen::Modo::Tope << kVolumenAjenoOtro << kVolumenAjeno;
        QTest::newRow("piso") << volumen::Modo::Piso << kVolumenAjeno << kVolumenAjenoOtro;
    }
    void modos() {
        QFETCH(volumen::Modo, modo);
        QFETCH(std::uint32_t, mas);
        QFETCH(std::uint32_t, menos);
        const std::uint16_t canal = 0x8000; // between the two outside levels
        const std::uint32_t nivel = VolumenEsperado(canal);
        int correcciones = 0;
        salida_->Configurar({modo, {}});
        salida_->AlCorregir([&correcciones] { ++correcciones; });
        QVERIFY(servidor_->FijarVolumen(kSumidero, {menos}));
        // PipeWire puts a volume in force a moment after pactl is answered:
        // the output starts on the level within the mode, not on the last one.
        QTRY_COMPARE_WITH_TIMEOUT(servidor_->VolumenCanales(kSumidero), Todos(2, menos),
                                  kEsperaEscrituraMs);
        salida_->Escribir(volumen::PalabraVolumen(canal));
        salida_->Sostener(true);
        QTest::qWait(kEsperaRestauracionMs);
        QCOMPARE(servidor_->VolumenCanales(kSumidero), Todos(2, menos));
        QVERIFY(servidor_->FijarVolumen(kSumidero, {mas}));
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(kSumidero), nivel),
                                 kEsperaRestauracionMs);
        // One channel beyond, one within: only the first one moves.
        QVERIFY(servidor_->FijarVolumen(kSumidero, {mas, menos}));
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(kSumidero).mid(0, 1), nivel) &&
                                     servidor_->VolumenCanales(kSumidero).value(1) == menos,
                                 kEsperaRestauracionMs);
        QVERIFY(servidor_->FijarSilencio(kSumidero, true));
        const bool piso = modo == volumen::Modo::Piso;
        if (!piso) {
            QTest::qWait(kEsperaRestauracionMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(servidor_->Silenciado(kSumidero), std::optional<bool>(!piso),
                                  kEsperaRestauracionMs);
        salida_->AlCorregir({});
        QCOMPARE(correcciones, piso ? 3 : 2);
    }

    // Under a ceiling, set while held as a pushed policy sets it, every sink
    // and every stream is held, whichever sink is the default or chosen: a
    // stream turned beyond full volume, and one that starts there, come back
    // to full; another sink, and one that comes later, to the ceiling.
    void topeEnCadaUno() {
        const auto pleno = static_cast<std::uint32_t>(kNormaPulse);
        const std::uint32_t volumenFuerte = pleno * 3 / 2; // 150 %, as the servers allow
        const std::uint16_t canal = 0x8000;
        const std::uint32_t nivel = VolumenEsperado(canal);
        const QString otro = QStringLiteral("otro");
        const QString tarde = QStringLiteral("tarde");
        QVERIFY(servidor_->AgregarSumidero(otro, 2)); // at 100 %
        const std::optional<std::uint32_t> flujo = servidor_->AgregarFlujo(kSumidero);
        QVERIFY(flujo.has_value());
        salida_->Escribir(volumen::PalabraVolumen(canal));
        salida_->Sostener(true);
        salida_->Configurar({volumen::Modo::Tope, kSumidero.toStdString()});
        salida_->Escribir(volumen::PalabraVolumen(canal));
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(otro), nivel), kEsperaEscrituraMs);
        QVERIFY(servidor_->FijarVolumenFlujo(*flujo, volumenFuerte));
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenFlujo(*flujo), pleno),
                                 kEsperaRestauracionMs);
        const std::optional<std::uint32_t> fuerte = servidor_->AgregarFlujo(otro, volumenFuerte);
        QVERIFY(fuerte.has_value());
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenFlujo(*fuerte), pleno),
                                 kEsperaRestauracionMs);
        QVERIFY(servidor_->FijarVolumen(otro, {kVolumenAjenoOtro}));
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(otro), nivel),
                                 kEsperaRestauracionMs);
        QVERIFY(servidor_->AgregarSumidero(tarde, 2));
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(tarde), nivel),
                                 kEsperaRestauracionMs);
    }

    // One sink by name, held whether or not it is the default, the default
    // left alone; absent at first, it gets the level as soon as it comes.
    void dispositivoConNombre() {
        const QString elegido = QStringLiteral("elegido");
        salida_->Configurar({volumen::Modo::Fijo, elegido.toStdString()});
        salida_->Escribir(volumen::PalabraVolumen(0x6000));
        salida_->Sostener(true);
        QVERIFY(servidor_->FijarVolumen(kSumidero, {kVolumenAjeno}));
        QVERIFY(servidor_->AgregarSumidero(elegido, 2));
        const std::uint32_t nivel = VolumenEsperado(0x6000);
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(elegido), nivel),
                                 kEsperaRestauracionMs);
        QVERIFY(servidor_->FijarVolumen(elegido, {kVolumenAjeno}));
        QTRY_VERIFY_WITH_TIMEOUT(Cerca(servidor_->VolumenCanales(elegido), nivel),
                                 kEsperaRestauracionMs);
        salida_->Escribir(volumen::PalabraVolumen(0x6000));
        QTest::qWait(kEsperaRestauracionMs);
        QCOMPARE(servidor_->VolumenCanales(kSumidero), Todos(2, kVolumenAjeno));
    }

    // A server that takes each connection and fails soon after is tried
    // again at the back-off's pace, not every moment; once it is well, the
    // level lands.
    void servidorQueSeCaeAlConectar() {
        constexpr int kObservacionMs = 6000;
        // Waits of 100, 200, 400 ... ms after each drop give about six
        // connections here; starting again at 100 ms each time, fifteen.
        constexpr int kConexionesMaximas = 9;
        salida_.reset();
        ServidorQueSeCae intermediario(servidor_->Direccion().mid(QStringLiteral("unix:").size()));
        // A byte-for-byte relay cannot pass the shared memory's file
        // descriptors: the client goes without it.
        QTemporaryDir carpeta;
        const QString configuracion = QDir(carpeta.path()).filePath(QStringLiteral("client.conf"));
        QFile archivo(configuracion);
        QVERIFY(archivo.open(QIODevice::WriteOnly) &&
                archivo.write("autospawn = no\nenable-shm = no\nenable-memfd = no\n") > 0);
        archivo.close();
        const auto restaurarEntorno = [direccion = qgetenv("PULSE_SERVER"),
                                       cliente = qgetenv("PULSE_CLIENTCONFIG")] {
            qputenv("PULSE_SERVER", direccion);
            qputenv("PULSE_CLIENTCONFIG", cliente);
        };
        const auto restaurar = qScopeGuard(restaurarEntorno);
        qputenv("PULSE_SERVER", intermediario.Direccion().toLocal8Bit());
        qputenv("PULSE_CLIENTCONFIG", configuracion.toLocal8Bit());
        salida_ = volumen::CrearSalidaDelSistema();
        salida_->Escribir(volumen::PalabraVolumen(0x7000));
        salida_->Sostener(true);
        QTest::qWait(kObservacionMs);
        qInfo("%d conexiones en %d ms", intermediario.Conexiones(), kObservacionMs);
        QVERIFY2(intermediario.Conexiones() >= 2 &&
                     intermediario.Conexiones() <= kConexionesMaximas,
                 qPrintable(QString::number(intermediario.Conexiones())));
        // Well again: the next attempt, within a beat, stays and writes. The
        // relay runs on this thread, so it must run while that happens, and
        // the check (pactl) goes straight to the server.
        intermediario.DejarDeCaer();
        QTest::qWait(volumen::kIntervaloControlMs + kEsperaEscrituraMs / 2);
        restaurarEntorno();
        COMPARAR_VOLUMEN(kSumidero, Todos(2, VolumenEsperado(0x7000)));
    }

    // A device that rounds what it is given: the echo of each write, as the
    // device holds it, asks for no correction; another program's change does.
    void dispositivoQueRedondea() {
        const auto volumen = [](pa_volume_t izquierdo, pa_volume_t derecho) {
            pa_cvolume leido{};
            leido.channels = 2;
            leido.values[0] = izquierdo;
            leido.values[1] = derecho;
            return leido;
        };
        constexpr std::uint32_t kSumideroRedondea = 7;
        const pa_cvolume escrito = volumen(30000, 30000);
        const pa_cvolume redondeado = volumen(28672, 28672); // the nearest of 16 steps
        const pa_cvolume ajeno = volumen(PA_VOLUME_NORM, PA_VOLUME_NORM);
        volumen::VolumenAsentado asentado;
        std::int64_t ahoraMs = 1000;
        QVERIFY(!asentado.EsElNivel(escrito, kSumideroRedondea, redondeado, ahoraMs));
        asentado.Escrito(escrito, kSumideroRedondea, ahoraMs);
        QVERIFY(!asentado.EsElNivel(escrito, kSumideroRedondea, ajeno, ahoraMs));
        QVERIFY(asentado.EsElNivel(escrito, kSumideroRedondea, redondeado, ahoraMs));
        // Long after: the device's rounding, the level itself and a float
        // rounding of it are the level; anything else, or another sink, not.
        ahoraMs += volumen::kIntervaloControlMs * 10;
        QVERIFY(asentado.EsElNivel(escrito, kSumideroRedondea, redondeado, ahoraMs));
        QVERIFY(asentado.EsElNivel(escrito, kSumideroRedondea, escrito, ahoraMs));
        QVERIFY(asentado.EsElNivel(escrito, kSumideroRedondea, volumen(29999, 30000), ahoraMs));
        QVERIFY(!asentado.EsElNivel(escrito, kSumideroRedondea, volumen(28672, 30720), ahoraMs));
        QVERIFY(!asentado.EsElNivel(escrito, kSumideroRedondea + 1, redondeado, ahoraMs));
        // A new level: the old level's rounding is not it.
        QVERIFY(!asentado.EsElNivel(volumen(40000, 40000), kSumideroRedondea, redondeado, ahoraMs));
    }
};

QTEST_GUILESS_MAIN(PruebaVolumenSalidaPulse)
#include "prueba_volumen_salida_pulse.moc"
