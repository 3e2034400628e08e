// The enforcement cycle, with a recording output: what is written when
// control starts, at each tick and after it stops, and when the level is
// held between ticks. The bound on corrections, as logic.
#include "support/salida_grabadora.h"
#include "volume/freno_correcciones.h"
#include "volume/volumen.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Long enough for one tick to arrive, short enough for a second not to.
constexpr int kEsperaUnTickMs = volumen::kIntervaloControlMs * 3 / 2;

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

    // Corrections go out in bursts; one too many within a second pauses them
    // for a beat, after which they go out again. Spread out, they never pause.
    void frenoCorrecciones() {
        using volumen::FrenoCorrecciones;
        constexpr auto kRafaga = FrenoCorrecciones::kCorreccionesPorSegundo;
        constexpr std::int64_t kPasoMs = 10; // well inside one second per burst
        FrenoCorrecciones freno;
        std::int64_t ahora = 0;
        for (std::size_t i = 0; i < kRafaga; ++i, ahora += kPasoMs) {
            QVERIFY(freno.Permitir(ahora));
        }
        QVERIFY(!freno.Permitir(ahora));
        QCOMPARE(freno.Pausas(), std::uint64_t{1});
        const std::int64_t finPausa = ahora + FrenoCorrecciones::kPausaMs;
        QVERIFY(freno.EnPausa(finPausa - 1));
        QVERIFY(!freno.Permitir(finPausa - 1));
        QVERIFY(!freno.EnPausa(finPausa));
        QVERIFY(freno.Permitir(finPausa));

        freno.Reiniciar();
        QCOMPARE(freno.Pausas(), std::uint64_t{0});
        for (int i = 0; i < 4 * static_cast<int>(kRafaga); ++i) {
            QVERIFY(freno.Permitir(i * FrenoCorrecciones::kVentanaMs / kRafaga));
        }
        QCOMPARE(freno.Pausas(), std::uint64_t{0});
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
