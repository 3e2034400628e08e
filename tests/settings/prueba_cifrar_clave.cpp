// The password scrambler: its exact results, its inverse, and where it gives
// up (a code outside 0..255, a sum beyond the signed 16-bit range).

#include "settings/ajustes.h"
#include "settings/codigo_ansi.h"

#include <QtTest>
#include <initializer_list>
#include <limits>

using ajustes::CifrarClave;
using ajustes::ErrorCifrado;
using ajustes::kBaseCifrado;

Q_DECLARE_METATYPE(ErrorCifrado)

namespace {

constexpr bool kCifrar = true;
constexpr bool kDescifrar = false;
constexpr int kCodigoMaximo = 255;
constexpr int kMinimo16 = std::numeric_limits<std::int16_t>::min();
constexpr int kMaximo16 = std::numeric_limits<std::int16_t>::max();

QString Codigos(std::initializer_list<int> codigos) {
    QString texto;
    for (const int codigo : codigos) {
        texto.append(QChar(codigo));
    }
    return texto;
}

// The limits as they are stated for the scrambler, independently of how it
// computes: where the code is raised it must stay at most 255 once shifted,
// where it is lowered it must stay at least 0.
bool Sube(bool modo, int posicion) {
    return (posicion % 2 == 0) == modo;
}
bool Admite(bool modo, int posicion, int codigo, int base) {
    const int desplazamiento = base + posicion;
    return Sube(modo, posicion) ? codigo <= kCodigoMaximo - desplazamiento
                                : codigo >= desplazamiento;
}

// A character that passes at every position up to `posicion`, to fill the
// places before the one under test.
QChar Relleno(bool modo, int posicion, int base) {
    for (int codigo = 0; codigo <= kCodigoMaximo; ++codigo) {
        if (Admite(modo, posicion, codigo, base)) {
            return QChar(codigo);
        }
    }
    return QChar();
}

// A long text that scrambles: at each position a code with room to spare.
QString TextoLargoCifrable(int longitud, int base) {
    constexpr int kHolgura = 10;
    QString texto;
    for (int posicion = 1; posicion <= longitud; ++posicion) {
        const int desplazamiento = base + posicion;
        texto.append(QChar(Sube(kCifrar, posicion) ? kCodigoMaximo - desplazamiento - kHolgura
                                                   : desplazamiento + kHolgura));
    }
    return texto;
}

} // namespace

class PruebaCifrarClave : public QObject {
    Q_OBJECT

private slots:
    void vacioEnAmbosModos_data();
    void vacioEnAmbosModos();
    void resultadosConocidos_data();
    void resultadosConocidos();
    void idaYVuelta_data();
    void idaYVuelta();
    void limites_data();
    void limites();
    void cadaCodigoEnCadaPosicion_data();
    void cadaCodigoEnCadaPosicion();
    void caracteresSinCodigoDeUnByte_data();
    void caracteresSinCodigoDeUnByte();
    void paginaDelCifrado_data();
    void paginaDelCifrado();
};

void PruebaCifrarClave::vacioEnAmbosModos_data() {
    QTest::addColumn<bool>("modo");
    QTest::addColumn<int>("base");
    for (const bool modo : {kCifrar, kDescifrar}) {
        for (const int base : {int{kBaseCifrado}, 0, kMinimo16, kMaximo16}) {
            QTest::addRow("%s, base %d", modo ? "cifrar" : "descifrar", base) << modo << base;
        }
    }
}

void PruebaCifrarClave::vacioEnAmbosModos() {
    QFETCH(bool, modo);
    QFETCH(int, base);
    ErrorCifrado error = ErrorCifrado::Desbordamiento;
    const auto resultado = CifrarClave(modo, QString(), static_cast<std::int16_t>(base), &error);
    QVERIFY(resultado.has_value());
    QVERIFY(resultado->isEmpty());
    QCOMPARE(error, ErrorCifrado::Ninguno);
}

void PruebaCifrarClave::resultadosConocidos_data() {
    QTest::addColumn<bool>("modo");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<int>("base");
    QTest::addColumn<QString>("esperado");
    QTest::newRow("abc cifrado") << kCifrar << QStringLiteral("abc") << int{kBaseCifrado}
                                 << QStringLiteral("MwM");
    QTest::newRow("MwM descifrado")
        << kDescifrar << QStringLiteral("MwM") << int{kBaseCifrado} << QStringLiteral("abc");
    // One character: down by base + 1 when scrambled, up when unscrambled.
    QTest::newRow("un carácter cifrado")
        << kCifrar << QStringLiteral("x") << int{kBaseCifrado} << Codigos({'x' - kBaseCifrado - 1});
    QTest::newRow("un carácter descifrado")
        << kDescifrar << QStringLiteral("x") << int{kBaseCifrado}
        << Codigos({'x' + kBaseCifrado + 1});
    // Base 0 shows the bare pattern: -1, +2, -3, +4 when scrambling.
    QTest::newRow("base 0 cifrado")
        << kCifrar << QStringLiteral("AAAA") << 0 << QStringLiteral("@C>E");
    QTest::newRow("base 0 descifrado")
        << kDescifrar << QStringLiteral("AAAA") << 0 << QStringLiteral("B?D=");
    QTest::newRow("base negativa")
        << kCifrar << QStringLiteral("AA") << -3 << Codigos({'A' + 2, 'A' - 1});
}

void PruebaCifrarClave::resultadosConocidos() {
    QFETCH(bool, modo);
    QFETCH(QString, texto);
    QFETCH(int, base);
    QFETCH(QString, esperado);
    const QString original = texto;
    const auto resultado = CifrarClave(modo, texto, static_cast<std::int16_t>(base));
    QVERIFY(resultado.has_value());
    QCOMPARE(*resultado, esperado);
    QCOMPARE(texto, original);
}

void PruebaCifrarClave::idaYVuelta_data() {
    QTest::addColumn<QString>("texto");
    QTest::addColumn<int>("base");
    QTest::newRow("letras") << QStringLiteral("Quelvaren") << int{kBaseCifrado};
    QTest::newRow("dígitos") << QStringLiteral("0123456789") << int{kBaseCifrado};
    QTest::newRow("espacios") << QStringLiteral(" a b  c ") << int{kBaseCifrado};
    QTest::newRow("puntuación") << QStringLiteral("!?.,;:-_()") << int{kBaseCifrado};
    // Accented letters have high codes: at lowered positions they always fit.
    QTest::newRow("acentos donde se baja") << QStringLiteral("ñaébÍcÜ") << int{kBaseCifrado};
    QTest::newRow("un carácter") << QStringLiteral("z") << int{kBaseCifrado};
    QTest::newRow("control y NUL") << Codigos({200, 0, 100, 1}) << int{kBaseCifrado};
    QTest::newRow("largo") << TextoLargoCifrable(200, kBaseCifrado) << int{kBaseCifrado};
    QTest::newRow("largo, base 0") << TextoLargoCifrable(220, 0) << 0;
    QTest::newRow("base negativa") << QStringLiteral("Contrasena") << -40;
}

void PruebaCifrarClave::idaYVuelta() {
    QFETCH(QString, texto);
    QFETCH(int, base);
    const auto base16 = static_cast<std::int16_t>(base);
    const auto cifrada = CifrarClave(kCifrar, texto, base16);
    QVERIFY(cifrada.has_value());
    QCOMPARE(cifrada->size(), texto.size());
    QVERIFY(*cifrada != texto);
    const auto descifrada = CifrarClave(kDescifrar, *cifrada, base16);
    QVERIFY(descifrada.has_value());
    QCOMPARE(*descifrada, texto);
}

void PruebaCifrarClave::limites_data() {
    QTest::addColumn<bool>("modo");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<int>("base");
    // Null when the call must fail.
    QTest::addColumn<QString>("esperado");
    QTest::addColumn<ErrorCifrado>("error");
    const int b = kBaseCifrado;
    const auto ok = ErrorCifrado::Ninguno;
    const auto rango = ErrorCifrado::ArgumentoNoValido;
    const auto desborde = ErrorCifrado::Desbordamiento;

    // Scrambling lowers odd positions: the code must be at least base + i.
    QTest::newRow("cifrar, posición 1, justo")
        << kCifrar << Codigos({b + 1}) << b << Codigos({0}) << ok;
    QTest::newRow("cifrar, posición 1, uno menos")
        << kCifrar << Codigos({b}) << b << QString() << rango;
    QTest::newRow("cifrar, posición 3, justo") << kCifrar << Codigos({'a', 'a', b + 3}) << b
                                               << Codigos({'a' - b - 1, 'a' + b + 2, 0}) << ok;
    QTest::newRow("cifrar, posición 3, uno menos")
        << kCifrar << Codigos({'a', 'a', b + 2}) << b << QString() << rango;
    // ... and raises even ones: at most 255 - (base + i). "ê" is 234, "ë" 235.
    QTest::newRow("cifrar, posición 2, justo")
        << kCifrar << QStringLiteral("aê") << b << Codigos({'a' - b - 1, kCodigoMaximo}) << ok;
    QTest::newRow("cifrar, posición 2, uno más")
        << kCifrar << QStringLiteral("aë") << b << QString() << rango;
    QTest::newRow("cifrar, posición 4, uno más")
        << kCifrar << Codigos({'a', 'a', 'a', kCodigoMaximo - b - 3}) << b << QString() << rango;
    // Unscrambling mirrors it.
    QTest::newRow("descifrar, posición 1, justo")
        << kDescifrar << Codigos({kCodigoMaximo - b - 1}) << b << Codigos({kCodigoMaximo}) << ok;
    QTest::newRow("descifrar, posición 1, uno más")
        << kDescifrar << Codigos({kCodigoMaximo - b}) << b << QString() << rango;
    QTest::newRow("descifrar, posición 2, justo")
        << kDescifrar << Codigos({'a', b + 2}) << b << Codigos({'a' + b + 1, 0}) << ok;
    QTest::newRow("descifrar, posición 2, uno menos")
        << kDescifrar << Codigos({'a', b + 1}) << b << QString() << rango;
    // The failure at the last position leaves no partial text either.
    QTest::newRow("fallo tras varias posiciones buenas")
        << kCifrar << QStringLiteral("abcdefgh") + Codigos({0}) << b << QString() << rango;

    // base + i beyond 32767.
    QTest::newRow("base máxima, cifrar")
        << kCifrar << QStringLiteral("a") << kMaximo16 << QString() << desborde;
    QTest::newRow("base máxima, descifrar")
        << kDescifrar << Codigos({0}) << kMaximo16 << QString() << desborde;
    // base + i fits, but the shifted code does not.
    QTest::newRow("suma justo en 32767")
        << kDescifrar << Codigos({0}) << kMaximo16 - 1 << QString() << rango;
    QTest::newRow("suma en 32768")
        << kDescifrar << Codigos({1}) << kMaximo16 - 1 << QString() << desborde;
    // A negative shift turns lowering into raising.
    QTest::newRow("base mínima, resta justo en 32767")
        << kCifrar << Codigos({0}) << kMinimo16 << QString() << rango;
    QTest::newRow("base mínima, resta en 32768")
        << kCifrar << Codigos({1}) << kMinimo16 << QString() << desborde;
    QTest::newRow("base grande, resta negativa")
        << kCifrar << QStringLiteral("a") << kMaximo16 - 1 << QString() << rango;
    // The length must fit too. With the lowest base no sum overflows, so only
    // the length check can turn 32768 characters down as an overflow; 32767
    // get past it and fail at the first code instead.
    QTest::newRow("longitud 32767")
        << kCifrar << QString(kMaximo16, QChar(0)) << kMinimo16 << QString() << rango;
    QTest::newRow("longitud 32768")
        << kCifrar << QString(kMaximo16 + 1, QChar(0)) << kMinimo16 << QString() << desborde;
    QTest::newRow("longitud 32768 descifrando") << kDescifrar << QString(kMaximo16 + 1, QChar('a'))
                                                << int{kBaseCifrado} << QString() << desborde;
}

void PruebaCifrarClave::limites() {
    QFETCH(bool, modo);
    QFETCH(QString, texto);
    QFETCH(int, base);
    QFETCH(QString, esperado);
    QFETCH(ErrorCifrado, error);
    // Starts as something else, to see that the call sets it.
    ErrorCifrado obtenido =
        error == ErrorCifrado::Ninguno ? ErrorCifrado::Desbordamiento : ErrorCifrado::Ninguno;
    const auto resultado = CifrarClave(modo, texto, static_cast<std::int16_t>(base), &obtenido);
    QCOMPARE(obtenido, error);
    if (esperado.isNull()) {
        QVERIFY(!resultado.has_value());
    } else {
        QVERIFY(resultado.has_value());
        QCOMPARE(*resultado, esperado);
    }
    // Without the error argument the outcome is the same.
    QCOMPARE(CifrarClave(modo, texto, static_cast<std::int16_t>(base)).has_value(),
             !esperado.isNull());
}

void PruebaCifrarClave::cadaCodigoEnCadaPosicion_data() {
    QTest::addColumn<bool>("modo");
    QTest::addColumn<int>("posicion");
    constexpr int kPosiciones = 6;
    for (const bool modo : {kCifrar, kDescifrar}) {
        for (int posicion = 1; posicion <= kPosiciones; ++posicion) {
            QTest::addRow("%s, posición %d", modo ? "cifrar" : "descifrar", posicion)
                << modo << posicion;
        }
    }
}

void PruebaCifrarClave::cadaCodigoEnCadaPosicion() {
    QFETCH(bool, modo);
    QFETCH(int, posicion);
    QString prefijo;
    for (int anterior = 1; anterior < posicion; ++anterior) {
        prefijo.append(Relleno(modo, anterior, kBaseCifrado));
    }
    QVERIFY(CifrarClave(modo, prefijo, kBaseCifrado).has_value());
    for (int codigo = 0; codigo <= kCodigoMaximo; ++codigo) {
        const QString texto = prefijo + QChar(codigo);
        ErrorCifrado error = ErrorCifrado::Ninguno;
        const auto resultado = CifrarClave(modo, texto, kBaseCifrado, &error);
        const bool admite = Admite(modo, posicion, codigo, kBaseCifrado);
        QVERIFY2(resultado.has_value() == admite,
                 qPrintable(QStringLiteral("código %1").arg(codigo)));
        if (admite) {
            const int desplazamiento = kBaseCifrado + posicion;
            const int nuevo =
                Sube(modo, posicion) ? codigo + desplazamiento : codigo - desplazamiento;
            QCOMPARE(resultado->back().unicode(), nuevo);
            QCOMPARE(*CifrarClave(!modo, *resultado, kBaseCifrado), texto);
        } else {
            QCOMPARE(error, ErrorCifrado::ArgumentoNoValido);
        }
    }
}

void PruebaCifrarClave::caracteresSinCodigoDeUnByte_data() {
#ifdef Q_OS_WIN
    QSKIP("Windows uses the system's code page, which has codes for some of these characters.");
#endif
    QTest::addColumn<QString>("texto");
    QTest::newRow("euro en la posición 1") << QStringLiteral("€abc");
    QTest::newRow("a con macrón en la posición 2") << QStringLiteral("aāb");
    QTest::newRow("ideograma") << QStringLiteral("ab日");
    QTest::newRow("fuera del plano básico")
        << QStringLiteral("a") + QString::fromUcs4(U"\U0001F600");
    QTest::newRow("mitad suelta de un par") << QStringLiteral("a") + QChar(0xD800);
}

void PruebaCifrarClave::caracteresSinCodigoDeUnByte() {
    QFETCH(QString, texto);
    for (const bool modo : {kCifrar, kDescifrar}) {
        ErrorCifrado error = ErrorCifrado::Ninguno;
        QVERIFY(!CifrarClave(modo, texto, kBaseCifrado, &error).has_value());
        QCOMPARE(error, ErrorCifrado::ArgumentoNoValido);
    }
}

// Which code page the scrambler uses on Windows, from the system's page.
void PruebaCifrarClave::paginaDelCifrado_data() {
    QTest::addColumn<unsigned>("sistema");
    QTest::addColumn<unsigned>("bytes");
    QTest::addColumn<unsigned>("esperada");
    constexpr unsigned kWindows1252 = 1252;
    constexpr unsigned kCirilico = 1251;
    constexpr unsigned kUtf8 = 65001;
    constexpr unsigned kJapones = 932;
    QTest::newRow("Europa occidental") << kWindows1252 << 1u << kWindows1252;
    QTest::newRow("cirílico, de un byte") << kCirilico << 1u << kCirilico;
    QTest::newRow("UTF-8") << kUtf8 << 4u << kWindows1252;
    QTest::newRow("japonés, de dos bytes") << kJapones << 2u << kWindows1252;
    QTest::newRow("sin datos de la página") << kCirilico << 0u << kWindows1252;
}

void PruebaCifrarClave::paginaDelCifrado() {
    QFETCH(unsigned, sistema);
    QFETCH(unsigned, bytes);
    QFETCH(unsigned, esperada);
    QCOMPARE(ajustes::PaginaDelCifrado(sistema, bytes), esperada);
}

QTEST_GUILESS_MAIN(PruebaCifrarClave)
#include "prueba_cifrar_clave.moc"
