// The tray end to end on a real X server with a real tray host: the icon is
// embedded by trayer, its tip shows on hover, a minimised window hides, and
// real clicks on the icon (through XTEST) bring it back behind the access
// check. The slots run in order and share one window and one icon, as a run of
// the program does.

#include "access/acceso.h"
#include "conductor_acceso.h"
#include "support/entorno_prueba.h"
#include "support/escritorio_x.h"
#include "tray/bandeja.h"
#include "tray/shell_qt.h"
#include "ventana_prueba.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kEsperaMs = 20000;       // anything the X server, trayer or Qt must do
constexpr int kEsperaNegativaMs = 600; // long enough for a click's effects to show
constexpr int kPausaHumanaMs = 500;    // a person answering the dialog
constexpr char kClave[] = "Clave9x";
constexpr char kTituloAcceso[] = "Introducir la CLAVE de ACCESO";

EscritorioX* gEscritorio = nullptr;

} // namespace

class PruebaBandejaX : public QObject {
    Q_OBJECT

    EscritorioX& x_ = *gEscritorio;
    std::unique_ptr<VentanaPrueba> ventana_;
    EscritorioX::IdVentana icono_ = 0;
    bool capturada_ = false;

    QString Clase() const { return QCoreApplication::applicationName(); }
    EscritorioX::IdVentana IdVentanaPrincipal() const {
        return static_cast<EscritorioX::IdVentana>(ventana_->winId());
    }
    QSystemTrayIcon* IconoQt() const { return bandeja::ShellQt::Plataforma().Icono(); }

    QPoint CentroIcono() {
        const auto geometria = x_.GeometriaVentana(icono_);
        if (!geometria) {
            return {};
        }
        return geometria->Centro();
    }
    // The window locked and hidden behind the icon.
    void Ocultar() {
        if (!ventana_->isVisible()) {
            return;
        }
        ventana_->cerrojo.Bloquear();
        QTRY_VERIFY_WITH_TIMEOUT(!ventana_->isVisible(), kEsperaMs);
        QTRY_VERIFY_WITH_TIMEOUT(!x_.VentanaMapeada(IdVentanaPrincipal()), kEsperaMs);
    }
    void VerificarMostradaNormal() {
        QTRY_VERIFY_WITH_TIMEOUT(ventana_->isVisible(), kEsperaMs);
        QVERIFY(!ventana_->isMinimized());
        QTRY_VERIFY_WITH_TIMEOUT(x_.VentanaMapeada(IdVentanaPrincipal()), kEsperaMs);
    }

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ventana_ = std::make_unique<VentanaPrueba>();
    }

    // The screen as the first failure left it, for diagnosis.
    void cleanup() {
        if (QTest::currentTestFailed() && !capturada_) {
            capturada_ =
                x_.CapturarPantalla(QDir::temp().filePath(QStringLiteral("prueba_bandeja_x.png")));
        }
    }

    void cleanupTestCase() { ventana_.reset(); }

    // No tray host yet: the icon is added but not on show, so a minimised
    // window stays on the taskbar instead of vanishing.
    void sinBandejaLaMinimizadaSeQuedaEnLaBarra() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        ventana_->show();
        QVERIFY(QTest::qWaitForWindowExposed(ventana_.get()));
        bandeja::AgregarIcono(ventana_.get(), false);
        QVERIFY(IconoQt() != nullptr);
        QVERIFY(!bandeja::IconoVisible());

        ventana_->showMinimized();
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(ventana_->isVisible());
        QVERIFY(ventana_->isMinimized());
        QVERIFY(x_.VentanaMapeada(IdVentanaPrincipal()));
        ventana_->showNormal();
    }

    // A tray host that starts after the icon was added still embeds it.
    void laBandejaIncrustaElIcono() {
        QVERIFY2(x_.IniciarBandeja(), qPrintable(x_.Error()));
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), kEsperaMs);
        QTRY_VERIFY_WITH_TIMEOUT(x_.IconoIncrustado(Clase()).has_value(), kEsperaMs);
        icono_ = *x_.IconoIncrustado(Clase());
        QTRY_VERIFY_WITH_TIMEOUT(x_.VentanaMapeada(icono_), kEsperaMs);
        QVERIFY(bandeja::IconoVisible());
        const auto geometria = x_.GeometriaVentana(icono_);
        QVERIFY(geometria.has_value());
        QVERIFY(!geometria->tamano.isEmpty());
    }

    void elTipSeVeAlPasarPorEncima() {
        bandeja::CambiarTip(QStringLiteral("Funcionando"));
        QCOMPARE(IconoQt()->toolTip(), QStringLiteral("Funcionando"));
        const QPoint centro = CentroIcono();
        QVERIFY(x_.Mover(centro.x() - 1, centro.y()));
        QVERIFY(x_.Mover(centro.x(), centro.y()));
        QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), kEsperaMs);
        QCOMPARE(QToolTip::text(), QStringLiteral("Funcionando"));
        QVERIFY(x_.Mover(0, 0));
        QToolTip::hideText();
        bandeja::CambiarTip(QStringLiteral("Parado"));
        QCOMPARE(IconoQt()->toolTip(), QStringLiteral("Parado"));
    }

    void bloqueadaSeOcultaEnLaBandeja() {
        QVERIFY(ventana_->isVisible());
        ventana_->cerrojo.Bloquear();
        QTRY_VERIFY_WITH_TIMEOUT(!ventana_->isVisible(), kEsperaMs);
        QTRY_VERIFY_WITH_TIMEOUT(!x_.VentanaMapeada(IdVentanaPrincipal()), kEsperaMs);
        // The hiding leaves the icon and its tip alone.
        QVERIFY(x_.VentanaMapeada(icono_));
        QCOMPARE(IconoQt()->toolTip(), QStringLiteral("Parado"));
    }

    void clicDerechoNoHaceNada() {
        Ocultar();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar);
        QSignalSpy activaciones(IconoQt(), &QSystemTrayIcon::activated);
        const QPoint centro = CentroIcono();
        QVERIFY(x_.Clic(centro.x(), centro.y(), EscritorioX::kBotonDerecho));
        QTRY_COMPARE_WITH_TIMEOUT(activaciones.count(), 1, kEsperaMs);
        QCOMPARE(activaciones.at(0).at(0).value<QSystemTrayIcon::ActivationReason>(),
                 QSystemTrayIcon::Context);
        QTest::qWait(kEsperaNegativaMs);
        QCOMPARE(conductor.Abiertos(), 0);
        QVERIFY(!ventana_->isVisible());
    }

    void clicConClaveCanceladoLaDejaOculta() {
        Ocultar();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar, {}, {}, kPausaHumanaMs);
        const QPoint centro = CentroIcono();
        QVERIFY(x_.Clic(centro.x(), centro.y()));
        QTRY_COMPARE_WITH_TIMEOUT(conductor.Abiertos(), 1, kEsperaMs);
        QTRY_VERIFY_WITH_TIMEOUT(!acceso::AccesoFrmVisible(), kEsperaMs);
        QCOMPARE(conductor.Titulos().front(), QString::fromLatin1(kTituloAcceso));
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(!ventana_->isVisible());
        QVERIFY(!x_.VentanaMapeada(IdVentanaPrincipal()));
        QVERIFY(!ventana_->cerrojo.AccesoConcedido());
    }

    void clicConClaveCorrectaMuestraLaVentanaNormal() {
        Ocultar();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Clave, QString::fromLatin1(kClave),
                                  {}, kPausaHumanaMs);
        const QPoint centro = CentroIcono();
        QVERIFY(x_.Clic(centro.x(), centro.y()));
        VerificarMostradaNormal();
        QCOMPARE(conductor.Titulos(), QStringList{QString::fromLatin1(kTituloAcceso)});
        QVERIFY(!ventana_->cerrojo.AccesoConcedido());
    }

    // A click while the window is on show does nothing, not even a dialog.
    void clicConLaVentanaVisibleNoHaceNada() {
        QVERIFY(ventana_->isVisible());
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar);
        QSignalSpy activaciones(IconoQt(), &QSystemTrayIcon::activated);
        const QPoint centro = CentroIcono();
        QVERIFY(x_.Clic(centro.x(), centro.y()));
        QTRY_COMPARE_WITH_TIMEOUT(activaciones.count(), 1, kEsperaMs);
        QTest::qWait(kEsperaNegativaMs);
        QCOMPARE(conductor.Abiertos(), 0);
        QVERIFY(ventana_->isVisible());
    }

    // With a password, the messages after the first release find the dialog
    // open and are dropped: one dialog for one double click.
    void dobleClicConClaveActuaUnaVez() {
        Ocultar();
        ventana_->cerrojo.FijarClave(QString::fromLatin1(kClave));
        ConductorAcceso conductor(ConductorAcceso::Respuesta::Cancelar, {}, {}, kPausaHumanaMs);
        QSignalSpy activaciones(IconoQt(), &QSystemTrayIcon::activated);
        const QPoint centro = CentroIcono();
        QVERIFY(x_.DobleClic(centro.x(), centro.y()));
        QTRY_COMPARE_WITH_TIMEOUT(conductor.Abiertos(), 1, kEsperaMs);
        QTRY_VERIFY_WITH_TIMEOUT(!acceso::AccesoFrmVisible(), kEsperaMs);
        QTest::qWait(kEsperaNegativaMs);
        QCOMPARE(conductor.Abiertos(), 1);
        QVERIFY(!ventana_->isVisible());
        QVERIFY(!activaciones.isEmpty());
    }

    // Without one, the first release shows the window and the rest find it
    // visible.
    void dobleClicSinClaveMuestraLaVentana() {
        Ocultar();
        ventana_->cerrojo.FijarClave({});
        QSignalSpy activaciones(IconoQt(), &QSystemTrayIcon::activated);
        const QPoint centro = CentroIcono();
        QVERIFY(x_.DobleClic(centro.x(), centro.y()));
        VerificarMostradaNormal();
        QTRY_VERIFY_WITH_TIMEOUT(
            std::any_of(activaciones.cbegin(), activaciones.cend(),
                        [](const QList<QVariant>& senal) {
                            return senal.at(0).value<QSystemTrayIcon::ActivationReason>() ==
                                   QSystemTrayIcon::DoubleClick;
                        }),
            kEsperaMs);
        QVERIFY(ventana_->isVisible());
        QVERIFY(!ventana_->isMinimized());
    }

    void quitarLoSacaDeLaBandeja() {
        bandeja::QuitarIcono(ventana_.get());
        QVERIFY(IconoQt() == nullptr);
        QVERIFY(!bandeja::IconoVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!x_.IconoIncrustado(Clase()).has_value(), kEsperaMs);
    }
};

int main(int argc, char** argv) {
    // The X server comes first: Qt must connect to it from the start.
    EscritorioX escritorio;
    if (!escritorio.Iniciar()) {
        std::fprintf(stderr, "%s\n", qPrintable(escritorio.Error()));
        return EXIT_FAILURE;
    }
    escritorio.PrepararEntornoQt();
    gEscritorio = &escritorio;
    EntornoPrueba entorno;
    QApplication aplicacion(argc, argv);
    PruebaBandejaX prueba;
    return QTest::qExec(&prueba, argc, argv);
}

#include "prueba_bandeja_x.moc"
