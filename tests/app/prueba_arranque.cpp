// The start-up sequence against a real store file: its three roads, the
// first password, what it makes of stored values, and where windows open.

#include "about/acerca_de.h"
#include "settings/ajustes.h"
#include "settings/parametros_frm.h"
#include "support/clave_no_cifrable.h"
#include "support/dialogos.h"
#include "support/entorno_prueba.h"
#include "support/principal_prueba.h"
#include "support/salida_grabadora.h"
#include "tray/bandeja.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <cstring>
#include <memory>

namespace {

const QString kClave = QStringLiteral("abc");

QString Tip() {
    return QString::fromLatin1(
        bandeja::gNid.szTip, static_cast<int>(strnlen(bandeja::gNid.szTip, bandeja::kLongitudTip)));
}

// Answers the first-password box with `clave` and Alt+A, or cancels it with
// Alt+C.
void ResponderPrimeraClave(const std::optional<QString>& clave) {
    AlAbrirseModal([clave](QWidget* w) {
        auto* caja = qobject_cast<QInputDialog*>(w);
        QVERIFY(caja != nullptr);
        const QStringList botones = TextosDeBotones(caja);
        const QString titulo = caja->windowTitle();
        const QString etiqueta = caja->labelText();
        const QString texto = caja->textValue();
        if (clave) {
            caja->setTextValue(*clave);
            PulsarParaCerrar(caja, Qt::Key_A, Qt::AltModifier);
        } else {
            PulsarParaCerrar(caja, Qt::Key_C, Qt::AltModifier);
        }
        QCOMPARE(botones, (QStringList{"&Aceptar", "&Cancelar"}));
        QCOMPARE(titulo, QStringLiteral("Nueva Clave de Acceso"));
        QCOMPARE(etiqueta, QStringLiteral("Introduzca una Clave de Acceso para la "
                                          "configuración de la aplicación"));
        QCOMPARE(texto, QString());
    });
}

} // namespace

class PruebaArranque : public QObject {
    Q_OBJECT

    EntornoPrueba entorno_;
    SalidaGrabadora salida_;
    std::unique_ptr<PrincipalPrueba<>> programa_;
    CtrlVolFrm* ventana_ = nullptr;

    void Guardar(const ajustes::Clave& clave, const QString& valor) {
        QVERIFY(ajustes::Escribir(clave, valor).ok());
    }
    void GuardarClave(const QString& clara) {
        Guardar(ajustes::kPass, *ajustes::CifrarClave(true, clara, ajustes::kBaseCifrado));
    }
    template <typename T> T* Hijo(const char* nombre) {
        return ventana_->findChild<T*>(QString::fromLatin1(nombre));
    }
    // The password in force, as the lock judges it.
    bool EnVigor(const QString& clave) {
        return programa_->cerrojo.HayClave() == !clave.isEmpty() &&
               programa_->cerrojo.ClaveCorrecta(clave);
    }
    bool PassGuardado() {
        QSettings archivo(entorno_.ArchivoAjustes(), QSettings::IniFormat);
        return archivo.contains(QStringLiteral("Config/Pass"));
    }

private slots:
    void init() {
        entorno_.Vaciar();
        salida_.palabras.clear();
        bandeja::gNid = {};
        programa_ = std::make_unique<PrincipalPrueba<>>(salida_);
        ventana_ = &programa_->ventana;
        ventana_->EstablecerTerminar([] {});
    }
    void cleanup() {
        bandeja::QuitarIcono(ventana_);
        ventana_ = nullptr;
        programa_.reset();
        bandeja::gNid = {};
    }

    void primerArranqueConClave() {
        ResponderPrimeraClave(kClave);
        ResponderAcceso(kClave);
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Acceso);
        QVERIFY(EnVigor(kClave));
        QCOMPARE(ajustes::Leer(ajustes::kPass), QStringLiteral("MwM"));
        QVERIFY(ventana_->isVisible());
        QVERIFY(!(ventana_->windowState() & Qt::WindowMinimized));
        QCOMPARE(Hijo<QLineEdit>("TxtOb(0)")->text(), QStringLiteral("32768"));
        QCOMPARE(Hijo<QScrollBar>("HScr")->value(), 16384);
        QVERIFY(!Hijo<QCheckBox>("ChkAuto")->isChecked());
        QCOMPARE(Hijo<QPushButton>("BtnActivar")->text(), QStringLiteral("Ac&tivar Control"));
        QCOMPARE(Tip(), QStringLiteral("Parado"));
        QCOMPARE(bandeja::gNid.cbSize, bandeja::kTamanoRegistro);
        QVERIFY(!programa_->cerrojo.AccesoConcedido());
        QVERIFY(salida_.palabras.empty());
        // The level box has the focus with its text selected.
        QTRY_COMPARE(QApplication::focusWidget(), Hijo<QLineEdit>("TxtOb(0)"));
        QTRY_COMPARE(Hijo<QLineEdit>("TxtOb(0)")->selectedText(), QStringLiteral("32768"));
    }

    void ventanasCentradas() {
        constexpr int kHolguraPx = 3;
        const auto centrada = [](const QWidget* ventana) {
            const QPoint desvio =
                ventana->frameGeometry().center() - ventana->screen()->geometry().center();
            return qAbs(desvio.x()) <= kHolguraPx && qAbs(desvio.y()) <= kHolguraPx;
        };
        ResponderPrimeraClave(std::nullopt);
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Acceso);
        QVERIFY(QTest::qWaitForWindowExposed(ventana_));
        QVERIFY(centrada(ventana_));
        // Each dialog as the program opens it.
        const std::pair<const char*, std::function<void()>> dialogos[] = {
            {"configuración", [this] { ajustes::MostrarParametros(ventana_, {}); }},
            {"acerca de", [] { acerca_de::MostrarAcercaDe(); }},
            {"acceso",
             [this] {
                 programa_->cerrojo.FijarClave(kClave);
                 programa_->cerrojo.ComprobarAcceso();
             }},
            {"salida", [this] { ventana_->BtnSalir_Click(); }},
        };
        for (const auto& [nombre, abrir] : dialogos) {
            bool centrado = false;
            AlAbrirseModal([&, centrada](QWidget* w) {
                centrado = centrada(w);
                w->close();
            });
            abrir();
            QVERIFY2(centrado, nombre);
        }
    }

    void primeraClaveCancelada() {
        ResponderPrimeraClave(std::nullopt);
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Acceso);
        QVERIFY(PassGuardado());
        QCOMPARE(ajustes::Leer(ajustes::kPass), QString());
        QVERIFY(EnVigor(QString()));
        QVERIFY(ventana_->isVisible());
        QCOMPARE(Tip(), QStringLiteral("Parado"));
    }

    void primeraClaveQueNoSePuedeGuardar() {
        const std::optional<QString> imposible = ClaveNoCifrable(QStringLiteral("a"));
        QVERIFY(imposible.has_value());
        QString aviso;
        AlAbrirseModal([&](QWidget* w) {
            qobject_cast<QInputDialog*>(w)->setTextValue(*imposible);
            qobject_cast<QInputDialog*>(w)->accept();
            AlAbrirseModal([&](QWidget* caja) {
                aviso = qobject_cast<QMessageBox*>(caja)->text();
                QVERIFY(!PassGuardado()); // nothing written yet
                qobject_cast<QMessageBox*>(caja)->accept();
                ResponderPrimeraClave(kClave);
                ResponderAcceso(kClave);
            });
        });
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Acceso);
        QVERIFY(!aviso.isEmpty());
        QVERIFY(EnVigor(kClave));
        QCOMPARE(ajustes::Leer(ajustes::kPass), QStringLiteral("MwM"));
    }

    void accesoRechazadoTerminaSinIcono() {
        GuardarClave(kClave);
        ResponderAcceso(std::nullopt);
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Rechazado);
        QVERIFY(!ventana_->isVisible());
        QCOMPARE(bandeja::gNid.cbSize, 0u); // the icon was never added
        QCOMPARE(ajustes::Leer(ajustes::kPass), QStringLiteral("MwM"));
        QVERIFY(!programa_->cerrojo.AccesoConcedido());
    }

    void claveGuardadaIlegibleSePideDeNuevo() {
        const std::optional<QString> ilegible = ClaveNoCifrable(QString(), false);
        QVERIFY(ilegible.has_value());
        Guardar(ajustes::kPass, *ilegible);
        ResponderPrimeraClave(kClave);
        ResponderAcceso(kClave);
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Acceso);
        QVERIFY(EnVigor(kClave));
    }

    void nivelGuardado_data() {
        QTest::addColumn<QString>("guardado");
        QTest::addColumn<QString>("mostrado");
        QTest::addColumn<int>("posicion");
        QTest::newRow("70000") << "70000"
                               << "4464" << 2232;
        QTest::newRow("-1") << "-1"
                            << "65534" << 32767;
        QTest::newRow("32769") << "32769"
                               << "32768" << 16384;
        QTest::newRow("0") << "0"
                           << "0" << 0;
        QTest::newRow("1, la barra no se mueve") << "1"
                                                 << "1" << 0;
        QTest::newRow("letras") << "abc"
                                << "32768" << 16384;
        QTest::newRow("fuera de 32 bits") << "99999999999"
                                          << "32768" << 16384;
        QTest::newRow("vacio") << ""
                               << "32768" << 16384;
    }
    void nivelGuardado() {
        QFETCH(QString, guardado);
        QFETCH(QString, mostrado);
        QFETCH(int, posicion);
        GuardarClave(kClave);
        Guardar(ajustes::kValor, guardado);
        Guardar(ajustes::kAuto, QStringLiteral("S"));
        // The write made before the window exists, then the activation's:
        // both carry the level the box shows.
        Controlador::AdelantarPrimeraEscritura(salida_);
        // Auto-activation: no dialog at all.
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Auto);
        QCOMPARE(Hijo<QLineEdit>("TxtOb(0)")->text(), mostrado);
        QCOMPARE(Hijo<QScrollBar>("HScr")->value(), posicion);
        QCOMPARE(salida_.palabras, std::vector<std::uint32_t>(2, mostrado.toUInt() * 65537u));
    }

    // With no password the first-password box comes before the activation,
    // so nothing is written ahead of it.
    void sinClaveNadaSeAdelanta() {
        Guardar(ajustes::kAuto, QStringLiteral("S"));
        Controlador::AdelantarPrimeraEscritura(salida_);
        QVERIFY(salida_.palabras.empty());
    }

    void caminoAutomatico() {
        GuardarClave(kClave);
        Guardar(ajustes::kValor, QStringLiteral("1000"));
        Guardar(ajustes::kAuto, QStringLiteral("S"));
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Auto);
        QVERIFY(!ventana_->isVisible());
        QVERIFY(ventana_->windowState() & Qt::WindowMinimized);
        QVERIFY(ventana_->Ciclo().Activo());
        QCOMPARE(Hijo<QPushButton>("BtnActivar")->text(), QStringLiteral("Desac&tivar Control"));
        QVERIFY(Hijo<QCheckBox>("ChkAuto")->isChecked());
        QCOMPARE(Tip(), QStringLiteral("Funcionando"));
        QVERIFY(EnVigor(kClave));
        // With no tray on show, the window is not stranded: it stays on the taskbar.
        ventana_->MostrarVentanaInicial();
        QCOMPARE(ventana_->isVisible(), !bandeja::IconoVisible());
    }

    void autoSoloConS_data() {
        QTest::addColumn<QString>("autoGuardado");
        QTest::newRow("s minuscula") << "s";
        QTest::newRow("Y") << "Y";
        QTest::newRow("SI") << "SI";
        QTest::newRow("espacio") << "S ";
    }
    void autoSoloConS() {
        QFETCH(QString, autoGuardado);
        GuardarClave(kClave);
        Guardar(ajustes::kAuto, autoGuardado);
        Controlador::AdelantarPrimeraEscritura(salida_);
        ResponderAcceso(kClave);
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Acceso);
        QVERIFY(!Hijo<QCheckBox>("ChkAuto")->isChecked());
        QVERIFY(!ventana_->Ciclo().Activo());
        QVERIFY(salida_.palabras.empty());
    }
};

QTEST_MAIN(PruebaArranque)
#include "prueba_arranque.moc"
