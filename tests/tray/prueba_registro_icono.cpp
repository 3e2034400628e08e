// The notify record and its three operations, checked against a recording
// shell: every field after add, tip change and delete, byte by byte.

#include "support/shell_grabadora.h"
#include "support/entorno_prueba.h"
#include "tray/bandeja.h"
#include "ventana_prueba.h"

#include <QByteArray>
#include <QTest>
#include <cstring>

using bandeja::gNid;
using bandeja::NOTIFYICONDATA;

namespace {

constexpr std::uint32_t kTamanoEsperado = 88;
constexpr std::uint32_t kIdEsperado = 1;
constexpr std::uint32_t kCamposEsperados = 7; // message, icon and tip
constexpr std::uint32_t kMensajeEsperado = 0x200;
constexpr int kLongitudParado = 6;
constexpr int kEspaciosTrasParado = 57;
constexpr int kLongitudFuncionando = 11;
constexpr int kTextoMaximo = bandeja::kLongitudTip - 1;
constexpr int kTipDemasiadoLargo = 70;
constexpr char kRelleno = ' ';

QByteArray Tip(const NOTIFYICONDATA& datos) {
    return QByteArray(datos.szTip, bandeja::kLongitudTip);
}

// The exact 64 bytes a tip text must give: the text, one NUL, spaces.
QByteArray TipEsperado(const QByteArray& texto) {
    QByteArray esperado = texto;
    esperado.append('\0');
    esperado.append(bandeja::kLongitudTip - esperado.size(), kRelleno);
    return esperado;
}

bool MismosBytes(const NOTIFYICONDATA& a, const NOTIFYICONDATA& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class PruebaRegistroIcono : public QObject {
    Q_OBJECT

    EntornoPrueba entorno_;
    ShellGrabadora shell_;
    std::unique_ptr<ShellInstalado> instalado_;

private slots:
    void initTestCase() {
        // Before anything writes it, the record is all zero: 64 NUL in the tip.
        QCOMPARE(sizeof(NOTIFYICONDATA), std::size_t{kTamanoEsperado});
        const NOTIFYICONDATA cero{};
        QVERIFY(MismosBytes(gNid, cero));
        QCOMPARE(Tip(gNid), QByteArray(bandeja::kLongitudTip, '\0'));
        instalado_ = std::make_unique<ShellInstalado>(shell_);
    }

    void init() {
        gNid = NOTIFYICONDATA{};
        shell_.peticiones.clear();
    }

    void cleanupTestCase() { instalado_.reset(); }

    void agregarLlenaCadaCampo() {
        VentanaPrueba ventana;
        bandeja::AgregarIcono(&ventana, false);

        QCOMPARE(gNid.cbSize, kTamanoEsperado);
        QCOMPARE(gNid.hWnd, static_cast<std::uint32_t>(ventana.winId()));
        QVERIFY(gNid.hWnd != 0);
        QCOMPARE(gNid.uID, kIdEsperado);
        QCOMPARE(gNid.uFlags, kCamposEsperados);
        QCOMPARE(gNid.uCallbackMessage, kMensajeEsperado);
        QVERIFY(gNid.hIcon != bandeja::kSinIcono);
        QCOMPARE(bandeja::IconoDeManejador(gNid.hIcon).cacheKey(), ventana.windowIcon().cacheKey());
        QCOMPARE(Tip(gNid), TipEsperado("Parado"));

        QCOMPARE(shell_.peticiones.size(), std::size_t{1});
        QCOMPARE(shell_.peticiones[0].mensaje, bandeja::NIM_ADD);
        QVERIFY(MismosBytes(shell_.peticiones[0].datos, gNid));
    }

    // The icon the window carries at the moment of the add, not an earlier one.
    void agregarTomaElIconoDelMomento() {
        VentanaPrueba ventana;
        const QIcon nuevo = IconoPrueba(Qt::red);
        const std::uint32_t anterior = bandeja::ManejadorIcono(ventana.windowIcon());
        ventana.setWindowIcon(nuevo);
        bandeja::AgregarIcono(&ventana, false);
        QVERIFY(gNid.hIcon != anterior);
        QCOMPARE(bandeja::IconoDeManejador(gNid.hIcon).cacheKey(), nuevo.cacheKey());
    }

    void tablaDeManejadoresDeIcono() {
        const QIcon verde = IconoPrueba(Qt::green);
        const QIcon azul = IconoPrueba(Qt::blue);
        const std::uint32_t manejadorVerde = bandeja::ManejadorIcono(verde);
        QVERIFY(manejadorVerde != bandeja::kSinIcono);
        QCOMPARE(bandeja::ManejadorIcono(QIcon(verde)), manejadorVerde);
        QVERIFY(bandeja::ManejadorIcono(azul) != manejadorVerde);
        QCOMPARE(bandeja::ManejadorIcono(QIcon()), bandeja::kSinIcono);
        QVERIFY(bandeja::IconoDeManejador(bandeja::kSinIcono).isNull());
        QCOMPARE(bandeja::IconoDeManejador(manejadorVerde).cacheKey(), verde.cacheKey());
        QVERIFY(bandeja::IconoDeManejador(~std::uint32_t{0}).isNull());
    }

    void cambiarTipSoloTocaElTip() {
        VentanaPrueba ventana;
        bandeja::AgregarIcono(&ventana, false);
        const NOTIFYICONDATA trasAgregar = gNid;

        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        QCOMPARE(Tip(gNid), TipEsperado("Funcionando"));
        QCOMPARE(TipEsperado("Funcionando").indexOf('\0'), kLongitudFuncionando);
        NOTIFYICONDATA sinTip = gNid;
        std::memcpy(sinTip.szTip, trasAgregar.szTip, sizeof sinTip.szTip);
        QVERIFY(MismosBytes(sinTip, trasAgregar));

        QCOMPARE(shell_.peticiones.size(), std::size_t{2});
        QCOMPARE(shell_.peticiones[1].mensaje, bandeja::NIM_MODIFY);
        QVERIFY(MismosBytes(shell_.peticiones[1].datos, gNid));
    }

    // "Parado" after "Funcionando": six bytes, one NUL and 57 spaces, with no
    // trace of the longer tip.
    void paradoTrasFuncionandoNoDejaRestos() {
        VentanaPrueba ventana;
        bandeja::AgregarIcono(&ventana, false);
        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        bandeja::CambiarTip(QStringLiteral("Parado"));

        QByteArray esperado("Parado");
        esperado.append('\0');
        esperado.append(kEspaciosTrasParado, ' ');
        QCOMPARE(Tip(gNid), esperado);
        QCOMPARE(Tip(shell_.peticiones.back().datos), esperado);
        QCOMPARE(Tip(gNid).indexOf('\0'), kLongitudParado);
    }

    void tipLargoSeRecorta() {
        bandeja::CambiarTip(QString(kTipDemasiadoLargo, QLatin1Char('x')));
        QCOMPARE(Tip(gNid).left(kTextoMaximo), QByteArray(kTextoMaximo, 'x'));
        QCOMPARE(gNid.szTip[kTextoMaximo], '\0');

        const QString justo(kTextoMaximo, QLatin1Char('y'));
        bandeja::CambiarTip(justo);
        QCOMPARE(Tip(gNid), TipEsperado(justo.toLatin1()));
    }

    void tipEnBytesAnsi() {
        bandeja::CambiarTip(QStringLiteral("Añadido"));
        QByteArray esperado("A\xf1"
                            "adido");
        QCOMPARE(Tip(gNid), TipEsperado(esperado));
    }

    // A change of tip before any add reaches the shell with an otherwise
    // empty record; its text stays for the add of an auto-activated start.
    void tipAntesDeAgregarQuedaEnElRegistro() {
        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        QCOMPARE(shell_.peticiones.size(), std::size_t{1});
        const auto& modificacion = shell_.peticiones[0];
        QCOMPARE(modificacion.mensaje, bandeja::NIM_MODIFY);
        QCOMPARE(modificacion.datos.cbSize, std::uint32_t{0});
        QCOMPARE(modificacion.datos.hWnd, std::uint32_t{0});
        QCOMPARE(modificacion.datos.uID, std::uint32_t{0});
        QCOMPARE(modificacion.datos.uFlags, std::uint32_t{0});
        QCOMPARE(Tip(gNid), TipEsperado("Funcionando"));

        VentanaPrueba ventana;
        bandeja::AgregarIcono(&ventana, true);
        QCOMPARE(shell_.peticiones.back().mensaje, bandeja::NIM_ADD);
        QCOMPARE(Tip(shell_.peticiones.back().datos), TipEsperado("Funcionando"));
        QCOMPARE(gNid.uFlags, kCamposEsperados);
    }

    void agregarSinAutoActivarEscribeParado() {
        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        VentanaPrueba ventana;
        bandeja::AgregarIcono(&ventana, false);
        QCOMPARE(Tip(shell_.peticiones.back().datos), TipEsperado("Parado"));
    }

    void quitarLlevaVentanaEIdDelAgregar() {
        VentanaPrueba ventana;
        bandeja::AgregarIcono(&ventana, false);
        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        const NOTIFYICONDATA antes = gNid;

        bandeja::QuitarIcono(&ventana);
        QCOMPARE(shell_.peticiones.back().mensaje, bandeja::NIM_DELETE);
        const NOTIFYICONDATA& borrado = shell_.peticiones.back().datos;
        QCOMPARE(borrado.cbSize, kTamanoEsperado);
        QCOMPARE(borrado.hWnd, shell_.peticiones.front().datos.hWnd);
        QCOMPARE(borrado.uID, shell_.peticiones.front().datos.uID);
        QVERIFY(MismosBytes(borrado, antes));
    }

    // On an empty record the delete fills the three fields it needs.
    void quitarSobreRegistroVacio() {
        VentanaPrueba ventana;
        bandeja::QuitarIcono(&ventana);
        const NOTIFYICONDATA& borrado = shell_.peticiones.back().datos;
        QCOMPARE(borrado.cbSize, kTamanoEsperado);
        QCOMPARE(borrado.hWnd, static_cast<std::uint32_t>(ventana.winId()));
        QCOMPARE(borrado.uID, kIdEsperado);
        QCOMPARE(borrado.uFlags, std::uint32_t{0});
        QCOMPARE(borrado.hIcon, std::uint32_t{0});
    }

    void iconoVisiblePreguntaAlShell() {
        shell_.visible = false;
        QVERIFY(!bandeja::IconoVisible());
        shell_.visible = true;
        QVERIFY(bandeja::IconoVisible());
        shell_.visible = false;
    }
};

QTEST_MAIN(PruebaRegistroIcono)
#include "prueba_registro_icono.moc"
