// The level arithmetic: stored levels, scroll positions, level texts and
// the volume word that reaches the device.
#include "support/salida_grabadora.h"
#include "volume/volumen.h"

#include <QTest>
#include <limits>

namespace {

constexpr int kSinCanal = -1; // the text gives no channel value: nothing is written
constexpr std::int32_t kMinimo32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMaximo32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kBitMasBajo = 1;

} // namespace

class PruebaVolumenNivel : public QObject {
    Q_OBJECT

private slots:
    void recortarNivel_data() {
        QTest::addColumn<std::int32_t>("guardado");
        QTest::addColumn<int>("nivel");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("255") << 255 << 255;
        QTest::newRow("32768 sigue igual") << 32768 << 32768;
        QTest::newRow("65535") << 65535 << 65535;
        QTest::newRow("65536 da 0") << 65536 << 0;
        QTest::newRow("70000 se reduce") << 70000 << 4464;
        QTest::newRow("131071") << 131071 << 65535;
        QTest::newRow("-1") << -1 << 65535;
        QTest::newRow("-65536") << -65536 << 0;
        QTest::newRow("minimo de 32 bits") << kMinimo32 << 0;
        QTest::newRow("maximo de 32 bits") << kMaximo32 << 65535;
    }
    void recortarNivel() {
        QFETCH(std::int32_t, guardado);
        QFETCH(int, nivel);
        QCOMPARE(int(volumen::RecortarNivel(guardado)), nivel);
    }

    void nivelAPosicion_data() {
        QTest::addColumn<int>("nivel");
        QTest::addColumn<int>("posicion");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("1") << 1 << 0;
        QTest::newRow("2") << 2 << 1;
        QTest::newRow("32768") << 32768 << 16384;
        QTest::newRow("32769") << 32769 << 16384;
        QTest::newRow("65534") << 65534 << 32767;
        QTest::newRow("65535") << 65535 << 32767;
    }
    void nivelAPosicion() {
        QFETCH(int, nivel);
        QFETCH(int, posicion);
        QCOMPARE(int(volumen::NivelAPosicion(nivel)), posicion);
    }

    void posicionANivel_data() {
        QTest::addColumn<int>("posicion");
        QTest::addColumn<std::int32_t>("nivel");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("1") << 1 << 2;
        QTest::newRow("16384 sin desbordar 16 bits") << 16384 << 32768;
        QTest::newRow("32767") << 32767 << 65534;
    }
    void posicionANivel() {
        QFETCH(int, posicion);
        QFETCH(std::int32_t, nivel);
        QCOMPARE(volumen::PosicionANivel(static_cast<std::int16_t>(posicion)), nivel);
    }

    // Through the scroll bar and back, every level loses only its lowest bit.
    void idaYVueltaPorLaBarra() {
        for (std::int32_t nivel = 0; nivel <= volumen::kNivelMaximo; ++nivel) {
            const std::int32_t vuelta = volumen::PosicionANivel(volumen::NivelAPosicion(nivel));
            if (vuelta != (nivel & ~kBitMasBajo)) {
                QFAIL(qPrintable(QStringLiteral("nivel %1 vuelve como %2").arg(nivel).arg(vuelta)));
            }
        }
    }

    void canalDeTexto_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("canal");
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("255") << "255" << 255;
        QTest::newRow("32768") << "32768" << 32768;
        QTest::newRow("65535") << "65535" << 65535;
        QTest::newRow("65536 da 0") << "65536" << 0;
        QTest::newRow("70000 se reduce") << "70000" << 4464;
        QTest::newRow("99999 se reduce") << "99999" << 34463;
        QTest::newRow("-1") << "-1" << 65535;
        QTest::newRow("0.5 al par") << "0.5" << 0;
        QTest::newRow("1.5 al par") << "1.5" << 2;
        QTest::newRow("2.5 al par") << "2.5" << 2;
        QTest::newRow("3.5 al par") << "3.5" << 4;
        QTest::newRow("1.4 abajo") << "1.4" << 1;
        QTest::newRow("1.6 arriba") << "1.6" << 2;
        QTest::newRow("-0.5 al par") << "-0.5" << 0;
        QTest::newRow("65535.5 al par") << "65535.5" << 0;
        QTest::newRow("espacios alrededor") << " 12 " << 12;
        QTest::newRow("suma en el maximo de 32 bits") << "2147418111" << 65535;
        QTest::newRow("suma pasa el maximo") << "2147418112" << kSinCanal;
        QTest::newRow("suma en el minimo de 32 bits") << "-2147549184" << 0;
        QTest::newRow("suma pasa el minimo") << "-2147549185" << kSinCanal;
        QTest::newRow("enorme") << "99999999999999999999" << kSinCanal;
        QTest::newRow("vacio") << "" << kSinCanal;
        QTest::newRow("solo espacios") << "   " << kSinCanal;
        QTest::newRow("letras") << "abc" << kSinCanal;
        QTest::newRow("cifras y letras") << "12abc" << kSinCanal;
        QTest::newRow("infinito") << "inf" << kSinCanal;
        QTest::newRow("no es numero") << "nan" << kSinCanal;
    }
    void canalDeTexto() {
        QFETCH(QString, texto);
        QFETCH(int, canal);
        const std::optional<std::uint16_t> obtenido = volumen::CanalDeTexto(texto);
        QCOMPARE(obtenido.has_value(), canal != kSinCanal);
        if (obtenido) {
            QCOMPARE(int(*obtenido), canal);
        }
    }

    void palabraVolumen_data() {
        QTest::addColumn<int>("canal");
        QTest::addColumn<std::uint32_t>("palabra");
        QTest::newRow("silencio") << 0x0000 << 0x00000000u;
        QTest::newRow("1") << 0x0001 << 0x00010001u;
        QTest::newRow("255") << 0x00FF << 0x00FF00FFu;
        QTest::newRow("32768, bit alto puesto") << 0x8000 << 0x80008000u;
        QTest::newRow("65535, todos los bits") << 0xFFFF << 0xFFFFFFFFu;
        QTest::newRow("4464") << 0x1170 << 0x11701170u;
    }
    void palabraVolumen() {
        QFETCH(int, canal);
        QFETCH(std::uint32_t, palabra);
        QCOMPARE(volumen::PalabraVolumen(static_cast<std::uint16_t>(canal)), palabra);
    }

    // The text of the level box, as it reaches the output.
    void fijarVolumen_data() {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QList<std::uint32_t>>("escritas");
        QTest::newRow("0") << "0" << QList<std::uint32_t>{0x00000000u};
        QTest::newRow("255") << "255" << QList<std::uint32_t>{0x00FF00FFu};
        QTest::newRow("32768") << "32768" << QList<std::uint32_t>{0x80008000u};
        QTest::newRow("65535") << "65535" << QList<std::uint32_t>{0xFFFFFFFFu};
        QTest::newRow("70000") << "70000" << QList<std::uint32_t>{0x11701170u};
        QTest::newRow("99999") << "99999" << QList<std::uint32_t>{0x869F869Fu};
        QTest::newRow("-1") << "-1" << QList<std::uint32_t>{0xFFFFFFFFu};
        QTest::newRow("vacio no escribe") << "" << QList<std::uint32_t>{};
        QTest::newRow("basura no escribe") << "x1" << QList<std::uint32_t>{};
    }
    void fijarVolumen() {
        QFETCH(QString, texto);
        QFETCH(QList<std::uint32_t>, escritas);
        SalidaGrabadora salida;
        volumen::FijarVolumen(texto, salida);
        QCOMPARE(QList<std::uint32_t>(salida.palabras.begin(), salida.palabras.end()), escritas);
    }
};

QTEST_APPLESS_MAIN(PruebaVolumenNivel)
#include "prueba_volumen_nivel.moc"
