// The Qt tray that takes the shell's place, on real widgets: what each notify
// request does to the icon, and how the icon's activations reach the window.

#include "conductor_acceso.h"
#include "support/entorno_prueba.h"
#include "support/shell_grabadora.h"
#include "tray/bandeja.h"
#include "tray/shell_qt.h"
#include "ventana_prueba.h"

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QTest>

using bandeja::gNid;
using bandeja::NOTIFYICONDATA;
using bandeja::ShellQt;

namespace {

constexpr int kLadoComparado = 16;
constexpr int kEsperaNegativaMs = 300; // long enough for any posted callback to run
constexpr std::uint32_t kOtroMensaje = 0x401;
constexpr char kClave[] = "Secreta7";
// The mouse messages the shell reports, by their values.
constexpr std::uint32_t kWmLButtonUp = 0x202;
constexpr std::uint32_t kWmLButtonDblClk = 0x203;
constexpr std::uint32_t kWmRButtonUp = 0x205;
constexpr std::uint32_t kWmMButtonUp = 0x208;
constexpr std::uint32_t kNingunMensaje = 0;

// The record an add for `ventana` carries, with the given icon handle.
NOTIFYICONDATA RegistroDe(QWidget& ventana, std::uint32_t manejadorIcono) {
    NOTIFYICONDATA datos{};
    datos.cbSize = bandeja::kTamanoRegistro;
    datos.hWnd = bandeja::ManejadorVentana(&ventana);
    datos.uID = bandeja::kIdIcono;
    datos.uFlags = bandeja::NIF_MESSAGE | bandeja::NIF_ICON | bandeja::NIF_TIP;
    datos.uCallbackMessage = bandeja::WM_MOUSEMOVE;
    datos.hIcon = manejadorIcono;
    return datos;
}

QImage Imagen(const QIcon& icono) {
    return icono.pixmap(kLadoComparado, kLadoComparado).toImage();
}

} // namespace

class PruebaShellQt : public QObject {
    Q_OBJECT

    EntornoPrueba entorno_;

private slots:
    void init() { gNid = NOTIFYICONDATA{}; }
    void cleanup() { bandeja::EstablecerShell(nullptr); }

    void sinShellPropioSeUsaLaPlataforma() {
        QCOMPARE(&bandeja::ShellEnUso(), static_cast<bandeja::Shell*>(&ShellQt::Plataforma()));
        ShellGrabadora doble;
        bandeja::EstablecerShell(&doble);
        QCOMPARE(&bandeja::ShellEnUso(), static_cast<bandeja::Shell*>(&doble));
        bandeja::EstablecerShell(nullptr);
        QCOMPARE(&bandeja::ShellEnUso(), static_cast<bandeja::Shell*>(&ShellQt::Plataforma()));
    }

    void agregarMuestraElIconoConSuTip() {
        VentanaPrueba ventana;
        ShellQt shell;
        ShellInstalado instalado(shell);
        QVERIFY(shell.Icono() == nullptr);

        bandeja::AgregarIcono(&ventana, false);
        QVERIFY(shell.Icono() != nullptr);
        QVERIFY(shell.Icono()->isVisible());
        QCOMPARE(shell.Icono()->toolTip(), QStringLiteral("Parado"));
        QCOMPARE(Imagen(shell.Icono()->icon()), Imagen(ventana.windowIcon()));
        // No tray runs on this platform: the icon exists but is not on show.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(!shell.IconoVisible());
        QVERIFY(!bandeja::IconoVisible());
    }

    void modificarCambiaElTooltip() {
        VentanaPrueba ventana;
        ShellQt shell;
        ShellInstalado instalado(shell);
        bandeja::AgregarIcono(&ventana, false);
        const QPointer<QSystemTrayIcon> icono = shell.Icono();

        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        QCOMPARE(shell.Icono()->toolTip(), QStringLiteral("Funcionando"));
        bandeja::CambiarTip(QStringLiteral("Parado"));
        QCOMPARE(shell.Icono()->toolTip(), QStringLiteral("Parado"));
        QCOMPARE(shell.Icono(), icono.data());
        QCOMPARE(Imagen(shell.Icono()->icon()), Imagen(ventana.windowIcon()));
    }

    // Before the add a modify finds no icon: nothing shows, the text stays in
    // the record, and the add of an auto-activated start shows it.
    void modificarAntesDeAgregarNoHaceNada() {
        VentanaPrueba ventana;
        ShellQt shell;
        bandeja::EstablecerShell(&shell);
        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        QVERIFY(!shell.NotifyIcon(bandeja::NIM_MODIFY, gNid));
        QVERIFY(shell.Icono() == nullptr);

        bandeja::AgregarIcono(&ventana, true);
        QVERIFY(shell.Icono() != nullptr);
        QCOMPARE(shell.Icono()->toolTip(), QStringLiteral("Funcionando"));
    }

    void soloUnIconoPorVentanaEId() {
        VentanaPrueba ventana;
        VentanaPrueba otra;
        ShellQt shell;
        bandeja::EstablecerShell(&shell);
        bandeja::AgregarIcono(&ventana, false);
        QSystemTrayIcon* icono = shell.Icono();
        QVERIFY(!shell.NotifyIcon(bandeja::NIM_ADD, gNid));
        QCOMPARE(shell.Icono(), icono);

        NOTIFYICONDATA otroId = gNid;
        ++otroId.uID;
        std::fill(std::begin(otroId.szTip), std::end(otroId.szTip), '\0');
        QVERIFY(!shell.NotifyIcon(bandeja::NIM_MODIFY, otroId));
        QCOMPARE(shell.Icono()->toolTip(), QStringLiteral("Parado"));
        QVERIFY(!shell.NotifyIcon(bandeja::NIM_DELETE, otroId));

        NOTIFYICONDATA otraVentana = gNid;
        otraVentana.hWnd = bandeja::ManejadorVentana(&otra);
        QVERIFY(otraVentana.hWnd != gNid.hWnd);
        QVERIFY(!shell.NotifyIcon(bandeja::NIM_DELETE, otraVentana));
        QCOMPARE(shell.Icono(), icono);
        QVERIFY(!shell.NotifyIcon(static_cast<std::uint32_t>(bandeja::NIM_DELETE + 1), gNid));
    }

    void quitarBorraElIcono() {
        VentanaPrueba ventana;
        ShellQt shell;
        bandeja::EstablecerShell(&shell);
        bandeja::AgregarIcono(&ventana, false);
        const QPointer<QSystemTrayIcon> icono = shell.Icono();
        bandeja::QuitarIcono(&ventana);
        QVERIFY(shell.Icono() == nullptr);
        QVERIFY(icono.isNull());
        QVERIFY(!shell.NotifyIcon(bandeja::NIM_MODIFY, gNid));
        // A new add after the delete shows the icon again.
        QVERIFY(shell.NotifyIcon(bandeja::NIM_ADD, gNid));
        QVERIFY(shell.Icono() != nullptr);
    }

    // An icon handle that names no picture still gives an icon in the tray.
    void iconoSinDibujoOcupaSuSitio() {
        ShellQt shell;
        VentanaPrueba ventana;
        const NOTIFYICONDATA datos = RegistroDe(ventana, bandeja::kSinIcono);
        QVERIFY(shell.NotifyIcon(bandeja::NIM_ADD, datos));
        QVERIFY(!shell.Icono()->icon().isNull());
        QVERIFY(shell.Icono()->toolTip().isEmpty());
    }

    void mensajeDeCadaActivacion_data() {
        QTest::addColumn<int>("razon");
        QTest::addColumn<std::uint32_t>("mensaje");
        QTest::newRow("clic") << int(QSystemTrayIcon::Trigger) << kWmLButtonUp;
        QTest::newRow("doble clic") << int(QSystemTrayIcon::DoubleClick) << kWmLButtonDblClk;
        QTest::newRow("botón derecho") << int(QSystemTrayIcon::Context) << kWmRButtonUp;
        QTest::newRow("botón central") << int(QSystemTrayIcon::MiddleClick) << kWmMButtonUp;
        QTest::newRow("desconocida") << int(QSystemTrayIcon::Unknown) << kNingunMensaje;
    }
    void mensajeDeCadaActivacion() {
        QFETCH(int, razon);
        QFETCH(std::uint32_t, mensaje);
        QCOMPARE(
            ShellQt::MensajeDeActivacion(static_cast<QSystemTrayIcon::ActivationReason>(razon)),
            mensaje);
    }

    // A click on the icon reaches the window that added it, after the click
    // handling is over: without a password the hidden window comes back.
    void clicLlegaALaVentanaQueLoAgrego() {
        VentanaPrueba ventana;
        VentanaPrueba otra;
        otra.winId();
        ShellQt shell;
        bandeja::EstablecerShell(&shell);
        bandeja::AgregarIcono(&ventana, false);
        emit shell.Icono()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!ventana.isVisible());
        QTRY_VERIFY(ventana.isVisible());
        QVERIFY(!otra.isVisible());
    }

    void otrasActivacionesNoMuestranNada() {
        VentanaPrueba ventana;
        ShellQt shell;
        bandeja::EstablecerShell(&shell);
        bandeja::AgregarIcono(&ventana, false);
        ventana.cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar);
        for (const auto razon : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                                 QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
            emit shell.Icono()->activated(razon);
        }
        QTest::qWait(kEsperaNegativaMs);
        QCOMPARE(conductor.Abiertos(), 0);
        ventana.cerrojo.FijarClave({});
        for (const auto razon : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                                 QSystemTrayIcon::MiddleClick}) {
            emit shell.Icono()->activated(razon);
        }
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(!ventana.isVisible());
    }

    // The callback goes to the mouse-move handling only when the record asked
    // for mouse-move messages.
    void otroMensajeDeRetornoNoLlegaAlRaton() {
        VentanaPrueba ventana;
        ShellQt shell;
        NOTIFYICONDATA datos = RegistroDe(ventana, bandeja::ManejadorIcono(ventana.windowIcon()));
        datos.uCallbackMessage = kOtroMensaje;
        QVERIFY(shell.NotifyIcon(bandeja::NIM_ADD, datos));
        emit shell.Icono()->activated(QSystemTrayIcon::Trigger);
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(!ventana.isVisible());

        datos.uCallbackMessage = bandeja::WM_MOUSEMOVE;
        QVERIFY(shell.NotifyIcon(bandeja::NIM_MODIFY, datos));
        emit shell.Icono()->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(ventana.isVisible());
    }

    // A click whose window is gone by the time the callback runs does nothing.
    void clicTrasCerrarLaVentana() {
        ShellQt shell;
        bandeja::EstablecerShell(&shell);
        VentanaPrueba otra;
        otra.winId();
        auto ventana = std::make_unique<VentanaPrueba>();
        bandeja::AgregarIcono(ventana.get(), false);
        emit shell.Icono()->activated(QSystemTrayIcon::Trigger);
        ventana.reset();
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(!otra.isVisible());
        QVERIFY(shell.Icono() != nullptr);
    }
};

QTEST_MAIN(PruebaShellQt)
#include "prueba_shell_qt.moc"
