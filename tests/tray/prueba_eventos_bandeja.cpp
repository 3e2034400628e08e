// The hiding of the minimised window and the return from the tray, on real
// widgets with the real access dialog; the tray itself is a recording double
// that says whether its icon is on show.

#include "access/acceso.h"
#include "conductor_acceso.h"
#include "look/ventana.h"
#include "support/entorno_prueba.h"
#include "support/shell_grabadora.h"
#include "tray/bandeja.h"
#include "ventana_prueba.h"

#include <QTest>

namespace {

constexpr int kEsperaNegativaMs = 300; // long enough for a deferred hide to run
constexpr char kClave[] = "Secreta7";
constexpr char kTituloAcceso[] = "Introducir la CLAVE de ACCESO";
// Mouse messages the tray may report besides those the tray's header names.
constexpr std::uint32_t kWmLButtonDown = 0x201;
constexpr std::uint32_t kWmRButtonDown = 0x204;
constexpr std::uint32_t kWmRButtonDblClk = 0x206;
constexpr std::uint32_t kWmMButtonDown = 0x207;

} // namespace

class PruebaEventosBandeja : public QObject {
    Q_OBJECT

    EntornoPrueba entorno_;
    ShellGrabadora shell_;
    std::unique_ptr<ShellInstalado> instalado_;
    std::unique_ptr<VentanaPrueba> ventana_;

    void MostrarNormal() {
        ventana_->showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(ventana_.get()));
    }
    // Shown, then minimised while the icon is on show: the window hides.
    void OcultarEnLaBandeja() {
        shell_.visible = true;
        MostrarNormal();
        ventana_->showMinimized();
        QTRY_VERIFY(!ventana_->isVisible());
    }
    void VerificarMostradaNormal() {
        QVERIFY(ventana_->isVisible());
        QVERIFY(!ventana_->isMinimized());
        QCOMPARE(ventana_->windowState() & ~Qt::WindowActive, Qt::WindowNoState);
    }

private slots:
    void initTestCase() { instalado_ = std::make_unique<ShellInstalado>(shell_); }
    void cleanupTestCase() { instalado_.reset(); }
    void init() {
        ventana_ = std::make_unique<VentanaPrueba>();
        shell_.visible = false;
    }
    void cleanup() { ventana_.reset(); }

    // Notices: none while the icon is not on show, then one, and no other
    // within the wait between notices.
    void avisosEspaciados() {
        shell_.avisos.clear();
        shell_.visible = false;
        QVERIFY(!bandeja::Avisar(QStringLiteral("uno")));
        shell_.visible = true;
        QVERIFY(bandeja::Avisar(QStringLiteral("dos")));
        QVERIFY(!bandeja::Avisar(QStringLiteral("tres")));
        QCOMPARE(shell_.avisos, std::vector<QString>{QStringLiteral("dos")});
        shell_.visible = false;
    }

    // --- Hiding on minimise ---

    void minimizadaConIconoSeOculta() {
        shell_.visible = true;
        MostrarNormal();
        ventana_->showMinimized();
        QTRY_VERIFY(!ventana_->isVisible());
        QVERIFY(ventana_->isMinimized());
        // The hiding leaves the tray alone.
        QVERIFY(shell_.peticiones.empty());
    }

    void minimizadaPorEstadoSeOculta() {
        shell_.visible = true;
        MostrarNormal();
        ventana_->setWindowState(ventana_->windowState() | Qt::WindowMinimized);
        QTRY_VERIFY(!ventana_->isVisible());
    }

    // With no icon on show the window must stay reachable on the taskbar.
    void minimizadaSinIconoSeQuedaEnLaBarra() {
        shell_.visible = false;
        MostrarNormal();
        ventana_->showMinimized();
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(ventana_->isVisible());
        QVERIFY(ventana_->isMinimized());
    }

    void otrosCambiosDeEstadoNoOcultan() {
        shell_.visible = true;
        MostrarNormal();
        ventana_->showMaximized();
        ventana_->cerrojo.CambioDeEstado(Qt::WindowNoState);
        ventana_->showNormal();
        ventana_->cerrojo.CambioDeEstado(Qt::WindowMaximized);
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(ventana_->isVisible());
    }

    // --- Return from the tray ---

    void clicSinClaveMuestraLaVentanaNormal() {
        OcultarEnLaBandeja();
        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        VerificarMostradaNormal();
        QVERIFY(!ventana_->cerrojo.AccesoConcedido());
    }

    void clicConClaveCorrectaMuestraLaVentanaNormal() {
        OcultarEnLaBandeja();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Clave, QString::fromLatin1(kClave));
        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        QCOMPARE(conductor.Titulos(), QStringList{QString::fromLatin1(kTituloAcceso)});
        QCOMPARE(conductor.SinControles(), 0);
        VerificarMostradaNormal();
        QVERIFY(!ventana_->cerrojo.AccesoConcedido());
    }

    void clicConClaveCanceladoLaDejaOculta() {
        OcultarEnLaBandeja();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar);
        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        QCOMPARE(conductor.Abiertos(), 1);
        QVERIFY(!ventana_->isVisible());
        QVERIFY(ventana_->isMinimized());
        QVERIFY(!ventana_->cerrojo.AccesoConcedido());
    }

    void cadaVueltaPideLaClave() {
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Clave, QString::fromLatin1(kClave));
        OcultarEnLaBandeja();
        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        VerificarMostradaNormal();
        ventana_->showMinimized();
        QTRY_VERIFY(!ventana_->isVisible());
        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        VerificarMostradaNormal();
        QCOMPARE(conductor.Abiertos(), 2);
    }

    // Tray messages that come while the access dialog is open are dropped: no
    // second check inside the first.
    void clicConElDialogoAbiertoSeDescarta() {
        OcultarEnLaBandeja();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        bool visibleDentro = false;
        bool clicDentro = false;
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar, {}, [&] {
            if (clicDentro) {
                return;
            }
            clicDentro = true;
            visibleDentro = acceso::AccesoFrmVisible();
            bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        });
        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        QVERIFY(visibleDentro);
        QCOMPARE(conductor.Abiertos(), 1);
        QVERIFY(!ventana_->isVisible());
    }

    // A click while the window is in use does nothing, not even a dialog.
    void conLaVentanaEnUsoNadaCambia() {
        MostrarNormal();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar);
        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        QTest::qWait(kEsperaNegativaMs);
        QCOMPARE(conductor.Abiertos(), 0);
        VerificarMostradaNormal();
        QVERIFY(!ventana_->cerrojo.AccesoConcedido());
    }

    // Minimised on the taskbar (no icon on show), the window comes back only
    // through the check: restored by someone else it is minimised again at
    // once, and a click (a second start) asks too.
    void sinIconoCadaVueltaPasaPorLaClave() {
        MostrarNormal();
        ventana_->showMinimized();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        const auto restaurarPorOtro = [this] {
            ventana_->setWindowState(ventana_->windowState() & ~Qt::WindowMinimized);
        };
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar);
        restaurarPorOtro();
        QVERIFY(!ventana_->isEnabled()); // on show, inert, until the check says
        QTRY_COMPARE(conductor.Abiertos(), 1);
        QTRY_VERIFY(!acceso::AccesoFrmVisible());
        QVERIFY(ventana_->isMinimized());
        QVERIFY(ventana_->isVisible()); // still on the taskbar

        bandeja::Form_MouseMove(ventana_->cerrojo, bandeja::WM_LBUTTONUP);
        QCOMPARE(conductor.Abiertos(), 2);
        QVERIFY(ventana_->isMinimized());

        // With no password set the restore stands, with no dialog.
        ventana_->cerrojo.FijarClave({});
        ventana_->showMinimized();
        restaurarPorOtro();
        QTest::qWait(kEsperaNegativaMs);
        VerificarMostradaNormal();
        QCOMPARE(conductor.Abiertos(), 2);
        QVERIFY(!ventana_->cerrojo.AccesoConcedido());
    }

    void otrosMensajesNoHacenNada_data() {
        QTest::addColumn<std::uint32_t>("mensaje");
        QTest::newRow("movimiento") << bandeja::WM_MOUSEMOVE;
        QTest::newRow("izquierdo abajo") << kWmLButtonDown;
        QTest::newRow("doble clic izquierdo") << bandeja::WM_LBUTTONDBLCLK;
        QTest::newRow("derecho abajo") << kWmRButtonDown;
        QTest::newRow("derecho arriba") << bandeja::WM_RBUTTONUP;
        QTest::newRow("doble clic derecho") << kWmRButtonDblClk;
        QTest::newRow("central abajo") << kWmMButtonDown;
        QTest::newRow("central arriba") << bandeja::WM_MBUTTONUP;
        QTest::newRow("cero") << std::uint32_t{0};
        QTest::newRow("514 en twips")
            << bandeja::WM_LBUTTONUP * std::uint32_t{ventana::kTwipsPorPixel};
    }
    void otrosMensajesNoHacenNada() {
        QFETCH(std::uint32_t, mensaje);
        OcultarEnLaBandeja();
        bandeja::Form_MouseMove(ventana_->cerrojo, mensaje);
        QVERIFY(!ventana_->isVisible());

        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar);
        bandeja::Form_MouseMove(ventana_->cerrojo, mensaje);
        QTest::qWait(kEsperaNegativaMs);
        QCOMPARE(conductor.Abiertos(), 0);
        QVERIFY(!ventana_->isVisible());
    }
};

QTEST_MAIN(PruebaEventosBandeja)
#include "prueba_eventos_bandeja.moc"
