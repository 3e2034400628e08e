// The enforcement cycle, with a recording output: what is written when
// control starts, at each tick and after it stops, and when the level is
// held between ticks. The correction policy, as logic.
#include "support/salida_grabadora.h"
#include "volume/politica_correcciones.h"
#include "volume/volumen.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Long enough for one tick to arrive, short enough for a second not to.
constexpr int kEsperaUnTickMs = volumen::kIntervaloControlMs * 3 / 2;
// Channel values as fractions of full volume.
constexpr double kNivel = 0.5;
constexpr double kTolerancia = 0.01;
// A volume key held down: 30 changes a second, for ten seconds.
constexpr int kCambiosPorSegundoTecla = 30;
constexpr int kSegundosTecla = 10;
constexpr int kCambiosTecla = kCambiosPorSegundoTecla * kSegundosTecla;
constexpr std::int64_t kMsPorSegundo = 1000;
constexpr std::int64_t kPasoTeclaMs = kMsPorSegundo / kCambiosPorSegundoTecla;

QList<std::uint32_t> Escritas(const SalidaGrabadora& salida) {
    return QList<std::uint32_t>(salida.palabras.begin(), salida.palabras.end());
}

} // namespace

class PruebaVolumenCiclo : public QObject {
    Q_OBJECT

private slots:
    void temporizador() {
        SalidaGrabadora salida;
        volumen::CicloControl ciclo(salida, [] { return QStringLiteral("100"); });
        const QTimer& timer = ciclo.Temporizador();
        QCOMPARE(timer.interval(), volumen::kIntervaloControlMs);
        QCOMPARE(timer.timerType(), Qt::PreciseTimer);
        QVERIFY(!timer.isSingleShot());
        QVERIFY(!ciclo.Activo());
        QVERIFY(salida.palabras.empty());

        QVERIFY(!salida.sostenida);

        ciclo.Arrancar();
        QVERIFY(ciclo.Activo());
        QVERIFY(timer.isActive());
        QCOMPARE(timer.interval(), volumen::kIntervaloControlMs);
        QVERIFY(salida.sostenida);

        ciclo.Parar();
        QVERIFY(!ciclo.Activo());
        QVERIFY(!timer.isActive());
        QVERIFY(!salida.sostenida);
    }

    // The correction policy, one row per mode and where someone else left
    // one channel: below, at or above the level. Each row runs as the echo of
    // our own write and as another's change, outside a pause and inside one
    // (reached by a fight), at its end, and for a tick and a new device.
    void politica_data() {
        QTest::addColumn<volumen::Modo>("modo");
        QTest::addColumn<double>("ajeno");    // where the channel was left
        QTest::addColumn<bool>("corrige");    // another's change is undone
        QTest::addColumn<std::size_t>("tic"); // channels a tick writes, of two
        constexpr double kDebajo = 0.25;
        constexpr double kEncima = 0.75;
        using volumen::Modo;
        QTest::newRow("fijo debajo") << Modo::Fijo << kDebajo << true << std::size_t{2};
        QTest::newRow("fijo en el nivel") << Modo::Fijo << kNivel << false << std::size_t{2};
        QTest::newRow("fijo encima") << Modo::Fijo << kEncima << true << std::size_t{2};
        QTest::newRow("tope debajo") << Modo::Tope << kDebajo << false << std::size_t{0};
        QTest::newRow("tope en el nivel") << Modo::Tope << kNivel << false << std::size_t{0};
        QTest::newRow("tope encima") << Modo::Tope << kEncima << true << std::size_t{1};
        QTest::newRow("piso debajo") << Modo::Piso << kDebajo << true << std::size_t{1};
        QTest::newRow("piso en el nivel") << Modo::Piso << kNivel << false << std::size_t{0};
        QTest::newRow("piso encima") << Modo::Piso << kEncima << false << std::size_t{0};
    }
    void politica() {
        QFETCH(volumen::Modo, modo);
        QFETCH(double, ajeno);
        QFETCH(bool, corrige);
        QFETCH(std::size_t, tic);
        using volumen::Motivo;
        using Mover = std::vector<std::size_t>;
        const volumen::Canales nivel{kNivel, kNivel};
        const volumen::Canales actual{ajeno, kNivel};
        const Mover correccion = corrige ? Mover{0} : Mover{};
        volumen::PoliticaCorrecciones politica(kTolerancia);
        politica.Configurar(modo);
        std::int64_t ahora = 0;
        const auto comprobar = [&](Motivo motivo, const Mover& mover, bool avisar,
                                   volumen::Origen origen = volumen::Origen::Ajeno) {
            const volumen::Decision d = politica.Decidir(motivo, nivel, actual, ahora, origen);
            QCOMPARE(d.mover, mover);
            QCOMPARE(d.avisar, avisar);
            QCOMPARE(d.objetivo.at(0), corrige ? kNivel : ajeno);
        };
        const auto fuera = [&] {
            const volumen::Canales otro{modo == volumen::Modo::Tope ? 1.0 : 0.0, kNivel};
            return politica.Decidir(Motivo::Cambio, nivel, otro, ahora);
        };

        comprobar(Motivo::Cambio, {}, false, volumen::Origen::Propio);
        comprobar(Motivo::Cambio, correccion, corrige);
        QCOMPARE(politica.Decidir(Motivo::Escritura, nivel, actual, ahora).mover.size(), tic);
        comprobar(Motivo::NuevoDispositivo, correccion, false);
        // A mute is undone under a floor alone, also beside our own echo.
        const volumen::Decision mudo =
            politica.Decidir(Motivo::Cambio, nivel, nivel, ahora, volumen::Origen::Propio, true);
        QCOMPARE(mudo.desilenciar && mudo.avisar, modo == volumen::Modo::Piso);
        // A volume key held down for ten seconds, 30 changes a second, is
        // answered every time.
        for (int cambio = 0; cambio < kCambiosTecla; ++cambio, ahora += kPasoTeclaMs) {
            QVERIFY(!fuera().mover.empty());
        }
        // A machine meets the bound: a pause, over within a beat.
        ahora += volumen::PoliticaCorrecciones::kVentanaMs;
        std::size_t corregidos = 0;
        for (volumen::Decision d = fuera(); !d.pausa; d = fuera(), ++ahora) {
            QVERIFY(!d.mover.empty() && d.avisar);
            QVERIFY(++corregidos <= volumen::PoliticaCorrecciones::kCorreccionesPorSegundo);
        }
        QVERIFY(politica.FinPausaMs() - ahora <= volumen::kIntervaloControlMs);
        // Inside the pause only the tick and a new device write.
        comprobar(Motivo::Cambio, {}, false, volumen::Origen::Propio);
        comprobar(Motivo::Cambio, {}, false);
        QCOMPARE(politica.Decidir(Motivo::Escritura, nivel, actual, ahora).mover.size(), tic);
        comprobar(Motivo::NuevoDispositivo, correccion, false);
        // Its end checks the device, and corrections go out again.
        ahora = politica.FinPausaMs() - 1; // a timer a moment early
        comprobar(Motivo::FinPausa, correccion, corrige);
        QVERIFY(!politica.EnPausa(ahora));
        comprobar(Motivo::Cambio, {}, false, volumen::Origen::Propio);
        comprobar(Motivo::Cambio, correccion, corrige);
    }

    // Writing fails, fails for another reason, works again: each told once.
    void estadoDeEscritura() {
        using volumen::EstadoSalida;
        volumen::PoliticaCorrecciones politica(kTolerancia);
        using Dicho = std::optional<EstadoSalida>;
        QCOMPARE(politica.Resultado(EstadoSalida::Escribe), Dicho());
        QCOMPARE(politica.Resultado(EstadoSalida::NoConectado), Dicho(EstadoSalida::NoConectado));
        QCOMPARE(politica.Resultado(EstadoSalida::NoConectado), Dicho());
        QCOMPARE(politica.Resultado(EstadoSalida::NoResponde), Dicho(EstadoSalida::NoResponde));
        QCOMPARE(politica.Resultado(EstadoSalida::Escribe), Dicho(EstadoSalida::Escribe));
    }

    // The level box's text at start and at each tick, and what reaches the
    // output: the text of that moment, and nothing for text that is not a level.
    void escrituras_data() {
        QTest::addColumn<QStringList>("textos"); // at Arrancar, then one per tick
        QTest::addColumn<QList<std::uint32_t>>("escritas");
        QTest::newRow("al arrancar, antes del primer tick")
            << QStringList{"32768"} << QList<std::uint32_t>{0x80008000u};
        QTest::newRow("el mismo nivel en cada tick")
            << QStringList{"255", "255", "255"}
            << QList<std::uint32_t>{0x00FF00FFu, 0x00FF00FFu, 0x00FF00FFu};
        QTest::newRow("el texto de cada momento")
            << QStringList{"65535", "3", "30", "300", "0"}
            << QList<std::uint32_t>{0xFFFFFFFFu, 0x00030003u, 0x001E001Eu, 0x012C012Cu, 0u};
        QTest::newRow("texto vacio o basura salta ese tick")
            << QStringList{"", "12", "x", "70000", " "}
            << QList<std::uint32_t>{0x000C000Cu, 0x11701170u};
    }
    void escrituras() {
        QFETCH(QStringList, textos);
        QFETCH(QList<std::uint32_t>, escritas);
        SalidaGrabadora salida;
        QString textoActual = textos.first();
        volumen::CicloControl ciclo(salida, [&textoActual] { return textoActual; });
        ciclo.Arrancar();
        for (qsizetype i = 1; i < textos.size(); ++i) {
            textoActual = textos.at(i);
            ciclo.Timer_Timer();
        }
        QCOMPARE(Escritas(salida), escritas);
        QVERIFY(ciclo.Activo());
    }

    // A real tick of the timer writes the text of that moment; stopping
    // writes nothing.
    void tickDelTemporizador() {
        SalidaGrabadora salida;
        QString texto = QStringLiteral("100");
        volumen::CicloControl ciclo(salida, [&texto] { return texto; });
        QSignalSpy ticks(&ciclo.Temporizador(), &QTimer::timeout);
        ciclo.Arrancar();
        QCOMPARE(Escritas(salida), QList<std::uint32_t>{0x00640064u});

        texto = QStringLiteral("200");
        QVERIFY(ticks.wait(kEsperaUnTickMs));
        QCOMPARE(ticks.count(), 1);
        QCOMPARE(Escritas(salida), (QList<std::uint32_t>{0x00640064u, 0x00C800C8u}));

        ciclo.Parar();
        QCOMPARE(salida.palabras.size(), std::size_t{2});
        QVERIFY(!ciclo.Activo());
        QVERIFY(!salida.sostenida);
    }

    // Started again after a stop, the cycle writes at once again.
    void rearranque() {
        SalidaGrabadora salida;
        QString texto = QStringLiteral("1");
        volumen::CicloControl ciclo(salida, [&texto] { return texto; });
        ciclo.Arrancar();
        ciclo.Parar();
        texto = QStringLiteral("2");
        ciclo.Arrancar();
        QCOMPARE(Escritas(salida), (QList<std::uint32_t>{0x00010001u, 0x00020002u}));
        QVERIFY(ciclo.Activo());
    }
};

QTEST_GUILESS_MAIN(PruebaVolumenCiclo)
#include "prueba_volumen_ciclo.moc"
