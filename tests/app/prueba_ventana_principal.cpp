// The main window on real widgets: its definition, level entry and saving,
// activation and the cycle, keys and focus, the menu and the exit.

#include "about/acerca_de_frm.h"
#include "access/acceso.h"
#include "access/acceso_frm.h"
#include "app/ctrl_vol_frm.h"
#include "app/traduccion.h"
#include "look/ventana.h"
#include "settings/ajustes.h"
#include "settings/parametros_frm.h"
#include "support/dialogos.h"
#include "support/entorno_prueba.h"
#include "support/politica_prueba.h"
#include "support/principal_prueba.h"
#include "support/salida_grabadora.h"
#include "support/shell_grabadora.h"
#include "tray/bandeja.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

constexpr std::uint32_t kPalabra32768 = 0x80008000u;

// A dark desktop theme: light text on dark backgrounds.
QPalette PaletaOscura() {
    const QColor oscuro(0x30, 0x30, 0x30);
    const QColor claro(0xee, 0xee, 0xee);
    QPalette paleta(claro, oscuro); // button text, window
    for (const auto rol :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText}) {
        paleta.setColor(rol, claro);
    }
    for (const auto rol : {QPalette::Base, QPalette::Button, QPalette::ToolTipBase}) {
        paleta.setColor(rol, oscuro);
    }
    return paleta;
}

// The controls whose text cannot be read on what is behind it: the nearest
// background the control or one that holds it paints.
QStringList TextosIlegibles(QWidget* ventana) {
    QStringList ilegibles;
    QList<QWidget*> controles = ventana->findChildren<QWidget*>();
    controles.prepend(ventana);
    for (QWidget* control : controles) {
        // Disabled text is greyed on purpose, as every theme does.
        if ((control->isWindow() && control != ventana) || !control->isEnabled()) {
            continue;
        }
        if (qobject_cast<QScrollBar*>(control) != nullptr) {
            continue; // no text
        }
        QColor fondo;
        QColor texto;
        const QPalette& paleta = control->palette();
        if (qobject_cast<QLineEdit*>(control) != nullptr) {
            fondo = paleta.color(QPalette::Base);
            texto = paleta.color(QPalette::Text);
        } else if (qobject_cast<QPushButton*>(control) != nullptr) {
            fondo = paleta.color(QPalette::Button);
            texto = paleta.color(QPalette::ButtonText);
        } else {
            const QWidget* pintado = control;
            while (pintado != ventana && !pintado->autoFillBackground()) {
                pintado = pintado->parentWidget();
            }
            fondo = pintado->palette().color(QPalette::Window);
            texto = paleta.color(QPalette::WindowText);
        }
        if (ventana::Contraste(fondo, texto) < ventana::kContrasteLegible) {
            ilegibles << control->objectName();
        }
    }
    return ilegibles;
}

// The main window, counting the keys its own key handling sees.
class VentanaContada : public CtrlVolFrm {
public:
    using CtrlVolFrm::CtrlVolFrm;
    void Form_KeyDown(int codigoTecla, int shift) override {
        ++teclas;
        CtrlVolFrm::Form_KeyDown(codigoTecla, shift);
    }
    int teclas = 0;
};

} // namespace

class PruebaVentanaPrincipal : public QObject {
    Q_OBJECT

    EntornoPrueba entorno_;
    SalidaGrabadora salida_;
    std::unique_ptr<PrincipalPrueba<VentanaContada>> programa_;
    VentanaContada* ventana_ = nullptr;
    int terminaciones_ = 0;

    template <typename T> T* Hijo(const char* nombre) {
        auto* hijo = ventana_->findChild<T*>(QString::fromLatin1(nombre));
        if (hijo == nullptr) {
            qFatal("falta el control %s", nombre);
        }
        return hijo;
    }
    QLineEdit* Nivel() { return Hijo<QLineEdit>("TxtOb(0)"); }
    QScrollBar* Barra() { return Hijo<QScrollBar>("HScr"); }
    QPushButton* Activar() { return Hijo<QPushButton>("BtnActivar"); }
    QMenu* Menu() { return Hijo<QMenu>("MenuPrincipal"); }

    void Teclear(const QString& texto) {
        for (const QChar c : texto) {
            QTest::sendKeyEvent(QTest::Click, Nivel(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    void Enter() { QTest::keyClick(Nivel(), Qt::Key_Return); }
    // The way back from the tray, with no password set: the window in use again.
    void Volver() {
        bandeja::Form_MouseMove(programa_->cerrojo, bandeja::WM_LBUTTONUP);
        QVERIFY(!programa_->cerrojo.Bloqueado());
    }

private slots:
    void init() {
        entorno_.Vaciar();
        salida_.palabras.clear();
        terminaciones_ = 0;
        programa_ = std::make_unique<PrincipalPrueba<VentanaContada>>(salida_);
        ventana_ = &programa_->ventana;
        ventana_->EstablecerTerminar([this] { ++terminaciones_; });
        ventana_->show();
        QVERIFY(QTest::qWaitForWindowExposed(ventana_));
    }
    void cleanup() {
        ventana_ = nullptr;
        programa_.reset();
    }

    void definicionInicial() {
        QCOMPARE(Nivel()->text(), QStringLiteral("65535"));
        QCOMPARE(Nivel()->maxLength(), 5);
        QCOMPARE(Nivel()->toolTip(),
                 QStringLiteral("Escribir un valor entre 0 y 65535 y presionar ENTER"));
        QCOMPARE(Barra()->minimum(), 0);
        QCOMPARE(Barra()->maximum(), 32767);
        QCOMPARE(Barra()->value(), 0);
        QCOMPARE(Barra()->singleStep(), 1);
        QCOMPARE(Barra()->pageStep(), 7000);
        QCOMPARE(Activar()->text(), QStringLiteral("Ac&tivar Control"));
        QVERIFY(!Hijo<QCheckBox>("ChkAuto")->isChecked());
        QCOMPARE(Hijo<QCheckBox>("ChkAuto")->text(), QStringLiteral("Autoactivar al cargar"));
        QCOMPARE(Hijo<QPushButton>("BtnFijar")->text(), QStringLiteral("Grabar Configuración"));
        QCOMPARE(Hijo<QPushButton>("BtnFijar")->toolTip(),
                 QStringLiteral("Graba el valor establecido y el estado de autoactivar actual"));
        QCOMPARE(Hijo<QPushButton>("BtnSalir")->text(), QStringLiteral("&Salir"));
        const QString marco = Hijo<QGroupBox>("FraDatos")->title();
        QCOMPARE(marco.size(), 56);
        QCOMPARE(marco.trimmed(), QStringLiteral("Valor para el volumen de Ondas (Wave)"));
        const QString limites = Hijo<QLabel>("LblOb(0)")->text();
        QCOMPARE(limites.size(), 33);
        QVERIFY(limites.startsWith(QStringLiteral("Min 0 ")));
        QVERIFY(limites.endsWith(QStringLiteral(" Max 65534")));
        QVERIFY(!ventana_->Ciclo().Activo());
        QCOMPARE(ventana_->Ciclo().Temporizador().interval(), 2000);
        // No maximise, and the window cannot be resized.
        QVERIFY(!(ventana_->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(ventana_->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(ventana_->minimumSize(), ventana_->maximumSize());
        QCOMPARE(ventana_->centralWidget()->size(), QSize(409, 202));
    }

    void menuPorIndices() {
        QCOMPARE(Menu()->title(), QStringLiteral("&Menú Principal"));
        const QList<QAction*> entradas = Menu()->actions();
        QCOMPARE(entradas.size(), 5);
        const QStringList nombres{"MenuItem(3)", "MenuItem(5)", "MenuItem(9)", "MenuItem(10)",
                                  "MenuItem(15)"};
        const QStringList textos{"&Configurar", "", "&Acerca de", "", "&Salir"};
        for (int i = 0; i < entradas.size(); ++i) {
            QCOMPARE(entradas[i]->objectName(), nombres[i]);
            QCOMPARE(entradas[i]->isSeparator(), textos[i].isEmpty());
            if (!textos[i].isEmpty()) {
                QCOMPARE(entradas[i]->text(), textos[i]);
            }
        }
    }

    void ordenDeTabulacion() {
        QCOMPARE(QApplication::focusWidget(), Nivel());
        const QStringList orden{"BtnActivar", "BtnFijar", "BtnSalir", "HScr", "ChkAuto"};
        for (const QString& nombre : orden) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), nombre);
        }
    }

    void barraEscribeElDoble_data() {
        QTest::addColumn<int>("posicion");
        QTest::addColumn<QString>("texto");
        QTest::newRow("mitad") << 16384 << "32768";
        QTest::newRow("final") << 32767 << "65534";
        QTest::newRow("uno") << 1 << "2";
    }
    void barraEscribeElDoble() {
        QFETCH(int, posicion);
        QFETCH(QString, texto);
        Barra()->setValue(posicion);
        QCOMPARE(Nivel()->text(), texto);
    }

    void enterConfirmaElNivel_data() {
        QTest::addColumn<int>("posicionAntes");
        QTest::addColumn<QString>("tecleado");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<int>("posicion");
        QTest::newRow("65535, barra en otro sitio") << 0 << "65535"
                                                    << "65534" << 32767;
        QTest::newRow("65535, barra al final") << 32767 << "65535"
                                               << "65535" << 32767;
        QTest::newRow("99999 se recorta") << 100 << "99999"
                                          << "65534" << 32767;
        QTest::newRow("99999 con la barra al final") << 32767 << "99999"
                                                     << "65535" << 32767;
        QTest::newRow("ceros a la izquierda") << 0 << "00040"
                                              << "40" << 20;
        QTest::newRow("impar") << 0 << "33333"
                               << "33332" << 16666;
        QTest::newRow("1 con la barra en 0") << 0 << "1"
                                             << "1" << 0;
    }
    void enterConfirmaElNivel() {
        QFETCH(int, posicionAntes);
        QFETCH(QString, tecleado);
        QFETCH(QString, texto);
        QFETCH(int, posicion);
        Barra()->setValue(posicionAntes);
        Nivel()->setFocus();
        Nivel()->selectAll();
        Teclear(tecleado);
        QCOMPARE(Nivel()->text(), tecleado);
        QCOMPARE(Barra()->value(), posicionAntes); // typing alone moves nothing
        Enter();
        QCOMPARE(Nivel()->text(), texto);
        QCOMPARE(Barra()->value(), posicion);
    }

    void enterSobreTextoVacioNoHaceNada() {
        Barra()->setValue(500);
        Nivel()->clear();
        Enter();
        QCOMPARE(Nivel()->text(), QString());
        QCOMPARE(Barra()->value(), 500);
    }

    void soloDigitosYRetroceso() {
        Nivel()->clear();
        Teclear(QStringLiteral("1a-2 .,+3é"));
        QCOMPARE(Nivel()->text(), QStringLiteral("123"));
        QTest::keyClick(Nivel(), Qt::Key_Backspace);
        QCOMPARE(Nivel()->text(), QStringLiteral("12"));
        Teclear(QStringLiteral("3456"));
        QCOMPARE(Nivel()->text(), QStringLiteral("12345")); // five characters at most
    }

    void atajosDeCortarYPegarSuprimidos() {
        QApplication::clipboard()->setText(QStringLiteral("777"));
        Nivel()->setText(QStringLiteral("12"));
        Nivel()->selectAll();
        QTest::keyClick(Nivel(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(Nivel()->text(), QStringLiteral("12"));
        Nivel()->end(false);
        QTest::keyClick(Nivel(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Nivel()->text(), QStringLiteral("12"));
    }

    void textoPegadoQueNoEsNivel_data() {
        QTest::addColumn<QString>("pegado");
        QTest::newRow("letras") << "abc";
        QTest::newRow("negativo") << "-5";
        QTest::newRow("decimal") << "1.5";
        QTest::newRow("exponente") << "1e3";
    }
    void textoPegadoQueNoEsNivel() {
        QFETCH(QString, pegado);
        Barra()->setValue(1234);
        QApplication::clipboard()->setText(pegado);
        Nivel()->clear();
        Nivel()->paste();
        QCOMPARE(Nivel()->text(), pegado);
        Enter();
        QCOMPARE(Nivel()->text(), pegado);
        QCOMPARE(Barra()->value(), 1234);
    }

    void textoQueNoEsNumeroNoSeEscribe_data() {
        QTest::addColumn<QString>("texto");
        QTest::newRow("vacio") << "";
        QTest::newRow("letras") << "abc";
        QTest::newRow("signo solo") << "-";
    }
    void textoQueNoEsNumeroNoSeEscribe() {
        QFETCH(QString, texto);
        Nivel()->setText(texto);
        Activar()->click();
        QVERIFY(ventana_->Ciclo().Activo());
        Volver();
        QSignalSpy ticks(&ventana_->Ciclo().Temporizador(), &QTimer::timeout);
        QVERIFY(ticks.wait(3000));
        QVERIFY(salida_.palabras.empty());
        // The next tick after a real level writes it.
        Nivel()->setText(QStringLiteral("255"));
        QVERIFY(ticks.wait(3000));
        QCOMPARE(salida_.palabras, std::vector<std::uint32_t>{0x00FF00FFu});
    }

    void focoSeleccionaTodo() {
        Activar()->setFocus();
        Nivel()->setText(QStringLiteral("4321"));
        QTest::keyClick(Activar(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), Nivel());
        QTRY_COMPARE(Nivel()->selectedText(), QStringLiteral("4321"));
        Activar()->setFocus();
        QTest::mouseClick(Nivel(), Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_COMPARE(Nivel()->selectedText(), QStringLiteral("4321"));
    }

    void grabarGuardaNivelYAuto() {
        Nivel()->setText(QStringLiteral("99999")); // stored as it stands
        Hijo<QCheckBox>("ChkAuto")->setChecked(true);
        Hijo<QPushButton>("BtnFijar")->click();
        QCOMPARE(ajustes::Leer(ajustes::kValor), QStringLiteral("99999"));
        QCOMPARE(ajustes::Leer(ajustes::kAuto), QStringLiteral("S"));
        Hijo<QCheckBox>("ChkAuto")->setChecked(false);
        Nivel()->clear();
        Hijo<QPushButton>("BtnFijar")->click();
        QCOMPARE(Nivel()->text(), QStringLiteral("0"));
        QCOMPARE(ajustes::Leer(ajustes::kValor), QStringLiteral("0"));
        QCOMPARE(ajustes::Leer(ajustes::kAuto), QStringLiteral("N"));
        QVERIFY(!ventana_->Ciclo().Activo());
        QVERIFY(salida_.palabras.empty());
    }

    void activarEscribeAlMomentoYEnCadaTick() {
        Nivel()->setText(QStringLiteral("32768"));
        Activar()->click();
        QCOMPARE(salida_.palabras, std::vector<std::uint32_t>{kPalabra32768});
        QCOMPARE(Activar()->text(), QStringLiteral("Desac&tivar Control"));
        QVERIFY(ventana_->Ciclo().Activo());
        QVERIFY(!Menu()->menuAction()->isEnabled());
        QVERIFY(ventana_->windowState() & Qt::WindowMinimized);

        // Brought back, each tick writes whatever the box holds at that moment.
        Volver();
        Nivel()->setText(QStringLiteral("3"));
        QSignalSpy ticks(&ventana_->Ciclo().Temporizador(), &QTimer::timeout);
        QVERIFY(ticks.wait(3000));
        QCOMPARE(salida_.palabras.back(), 3u * 65537u);
        Nivel()->setText(QStringLiteral("70000"));
        QVERIFY(ticks.wait(3000));
        QCOMPARE(salida_.palabras.back(), 0x11701170u);

        const auto escritas = salida_.palabras.size();
        Activar()->click();
        QCOMPARE(Activar()->text(), QStringLiteral("Ac&tivar Control"));
        QVERIFY(!ventana_->Ciclo().Activo());
        QVERIFY(Menu()->menuAction()->isEnabled());
        QCOMPARE(salida_.palabras.size(), escritas); // stopping writes nothing
    }

    // While control runs and the output cannot write the level, the tip
    // says why in a second line; all well again, it is back to its words.
    void tipConLaSalidaQueFalla() {
        const auto tip = [] { return QString::fromLatin1(bandeja::gNid.szTip); };
        salida_.alCambiarEstado(volumen::EstadoSalida::NoResponde);
        QCoreApplication::processEvents();
        Activar()->click();
        QCOMPARE(tip(),
                 QStringLiteral("Funcionando\nNo se puede ajustar: el dispositivo no responde"));
        salida_.alCambiarEstado(volumen::EstadoSalida::NoConectado);
        QCoreApplication::processEvents();
        QCOMPARE(tip(),
                 QStringLiteral("Funcionando\nNo se puede ajustar: dispositivo no conectado"));
        salida_.alCambiarEstado(volumen::EstadoSalida::Escribe);
        QCoreApplication::processEvents();
        QCOMPARE(tip(), QStringLiteral("Funcionando"));
        Volver();
        Activar()->click();
        QCOMPARE(tip(), QStringLiteral("Parado"));
    }

    // Reached with Tab, the bar shows it has the keyboard; there Right
    // raises the level and Left lowers it.
    void barraConTeclado() {
        Barra()->setValue(100);
        const QImage sinFoco = Barra()->grab().toImage();
        auto* salir = Hijo<QPushButton>("BtnSalir");
        salir->setFocus();
        QTest::keyClick(salir, Qt::Key_Tab);
        QTRY_VERIFY(Barra()->hasFocus());
        QVERIFY(Barra()->grab().toImage() != sinFoco);
        QTest::keyClick(Barra(), Qt::Key_Right);
        QCOMPARE(Nivel()->text(), QStringLiteral("202"));
        QTest::keyClick(Barra(), Qt::Key_Left);
        QTest::keyClick(Barra(), Qt::Key_Left);
        QCOMPARE(Nivel()->text(), QStringLiteral("198"));
    }

    // Under a dark theme every text on the windows' fixed light backgrounds
    // stays dark, and what takes the theme's colours stays light on dark.
    void temaOscuroSeLee() {
        const auto restaurar =
            qScopeGuard([antes = QApplication::palette()] { QApplication::setPalette(antes); });
        QApplication::setPalette(PaletaOscura());
        acceso::Cerrojo cerrojo;
        VentanaContada principal(salida_, cerrojo);
        AccesoFrm acceso(cerrojo);
        ajustes::ParametrosFrm parametros({});
        AcercaDeFrm acercaDe;
        for (QWidget* ventana :
             std::initializer_list<QWidget*>{&principal, &acceso, &parametros, &acercaDe}) {
            const QStringList ilegibles = TextosIlegibles(ventana);
            QVERIFY2(ilegibles.isEmpty(), qPrintable(ventana->objectName() + QStringLiteral(": ") +
                                                     ilegibles.join(QStringLiteral(", "))));
        }
    }

    // For those who deploy it: the mode and device the store names reach the
    // output before its first write, and a change undone shows one notice by
    // the icon in ten seconds, worded by mode, with the level as the box shows it.
    void modoDispositivoYAviso() {
        QVERIFY(ajustes::Escribir(ajustes::kModo, QStringLiteral("tope")).ok());
        QVERIFY(ajustes::Escribir(ajustes::kDispositivo, QStringLiteral("auriculares")).ok());
        Controlador::AdelantarPrimeraEscritura(salida_);
        QCOMPARE(salida_.preferencias.modo, volumen::Modo::Tope);
        QCOMPARE(salida_.preferencias.dispositivo, std::string("auriculares"));

        ShellGrabadora shell;
        shell.visible = true;
        const ShellInstalado instalado(shell);
        Nivel()->setText(QStringLiteral("40000"));
        QVERIFY(salida_.alCorregir);
        salida_.alCorregir(); // Aviso not set: no notice
        QCoreApplication::processEvents();
        QVERIFY(shell.avisos.empty());
        QVERIFY(ajustes::Escribir(ajustes::kAviso, QStringLiteral("S")).ok());
        salida_.alCorregir();
        salida_.alCorregir();
        QCoreApplication::processEvents();
        QCOMPARE(shell.avisos,
                 std::vector<QString>{QStringLiteral("El volumen no puede pasar de 40000.")});
    }

    void escapeMinimiza() {
        Nivel()->setFocus();
        QTest::keyClick(Nivel(), Qt::Key_Escape);
        QVERIFY(ventana_->windowState() & Qt::WindowMinimized);
    }

    void teclasYFoco() {
        // A key the focused control ignores reaches the window's handling once.
        auto* fijar = Hijo<QPushButton>("BtnFijar");
        fijar->setFocus();
        ventana_->teclas = 0;
        QTest::keyClick(fijar, Qt::Key_X);
        QCOMPARE(ventana_->teclas, 1);

        // Enter, and the keypad's Enter, press the focused button.
        Nivel()->setText(QStringLiteral("123"));
        QTest::keyClick(fijar, Qt::Key_Return);
        QCOMPARE(ajustes::Leer(ajustes::kValor), QStringLiteral("123"));
        Nivel()->setText(QStringLiteral("456"));
        QTest::keyClick(fijar, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(ajustes::Leer(ajustes::kValor), QStringLiteral("456"));

        // Composed text is filtered as typed text is.
        Nivel()->clear();
        for (const char* compuesto : {"á", "a", "7"}) {
            QInputMethodEvent entrada;
            entrada.setCommitString(QString::fromUtf8(compuesto));
            QApplication::sendEvent(Nivel(), &entrada);
        }
        QTest::sendKeyEvent(QTest::Click, Nivel(), Qt::Key_unknown, QStringLiteral("8b"),
                            Qt::NoModifier);
        QCOMPARE(Nivel()->text(), QStringLiteral("78"));

        // Escape in the open menu closes the menu, not the window; the box
        // gets the focus back with its caret where it was.
        Nivel()->setFocus();
        QCoreApplication::processEvents(); // the selection that comes with the focus
        Nivel()->setCursorPosition(1);
        QTest::keyClick(ventana_, Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(Menu()->isVisible());
        QTest::keyClick(Menu(), Qt::Key_Escape);
        QTRY_VERIFY(!Menu()->isVisible());
        QCOMPARE(QApplication::focusWidget(), ventana_->menuBar());
        QTest::keyClick(ventana_->menuBar(), Qt::Key_Escape);
        QVERIFY(!(ventana_->windowState() & Qt::WindowMinimized));
        QCOMPARE(QApplication::focusWidget(), Nivel());
        QCOMPARE(Nivel()->cursorPosition(), 1);

        // Another window and back: still no selection, the caret in place.
        QWidget otra;
        otra.show();
        otra.activateWindow();
        QTRY_VERIFY(otra.isActiveWindow());
        ventana_->activateWindow();
        QTRY_VERIFY(ventana_->isActiveWindow());
        QTest::qWait(0);
        QVERIFY(!Nivel()->hasSelectedText());
        QCOMPARE(Nivel()->cursorPosition(), 1);

        // Tab into the box selects it all.
        Activar()->setFocus();
        QTest::keyClick(Activar(), Qt::Key_Backtab);
        QTRY_COMPARE(Nivel()->selectedText(), QStringLiteral("78"));
    }

    void salirPreguntaAntes_data() {
        QTest::addColumn<bool>("desdeMenu");
        QTest::addColumn<bool>("respuestaSi");
        QTest::newRow("boton, no") << false << false;
        QTest::newRow("boton, si") << false << true;
        QTest::newRow("menu, no") << true << false;
        QTest::newRow("menu, si") << true << true;
    }
    void salirPreguntaAntes() {
        QFETCH(bool, desdeMenu);
        QFETCH(bool, respuestaSi);
        QString texto;
        QString titulo;
        QStringList botones;
        bool siPorDefecto = false;
        AlAbrirseModal([&](QWidget* w) {
            auto* caja = qobject_cast<QMessageBox*>(w);
            QVERIFY(caja != nullptr);
            texto = caja->text();
            titulo = caja->windowTitle();
            botones = TextosDeBotones(caja);
            siPorDefecto = caja->defaultButton() == caja->button(QMessageBox::Yes);
            QCOMPARE(caja->icon(), QMessageBox::Information);
            // Answered by access key: a plain S, or Alt+N.
            PulsarParaCerrar(caja, respuestaSi ? Qt::Key_S : Qt::Key_N,
                             respuestaSi ? Qt::NoModifier : Qt::AltModifier);
        });
        if (desdeMenu) {
            ventana_->findChild<QAction*>(QStringLiteral("MenuItem(15)"))->trigger();
        } else {
            Hijo<QPushButton>("BtnSalir")->click();
        }
        QCOMPARE(texto, QStringLiteral("Esto parará la ejecución y dejará de comprobarse el "
                                       "volumen. ¿Seguro que desea salir?"));
        QCOMPARE(titulo, QStringLiteral("Quelvaren"));
        QCOMPARE(botones, (QStringList{"&No", "&Sí"}));
        QVERIFY(siPorDefecto);
        QCOMPARE(terminaciones_, respuestaSi ? 1 : 0);
    }

    void textosEnEspanol() {
        // The level box's own menu.
        Nivel()->deselect();
        const QPoint punto(1, 1);
        QContextMenuEvent pedido(QContextMenuEvent::Mouse, punto, Nivel()->mapToGlobal(punto));
        QApplication::sendEvent(Nivel(), &pedido);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        QStringList entradas;
        for (QAction* entrada : menu->actions()) {
            if (!entrada->isSeparator()) {
                entradas << entrada->text();
            }
        }
        QCOMPARE(entradas, (QStringList{"&Deshacer", "&Rehacer", "Cor&tar", "&Copiar", "&Pegar",
                                        "&Eliminar", "&Seleccionar todo"}));
        menu->actions().constLast()->trigger();
        QCOMPARE(Nivel()->selectedText(), Nivel()->text());
        menu->close();

        // Qt's own texts, once its Spanish translation is in.
        QVERIFY(CargarTraduccionQt());
        QDialogButtonBox estandar(QDialogButtonBox::Cancel);
        QCOMPARE(estandar.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
    }

    void cerrarLaVentanaTerminaSinPreguntar() {
        Activar()->click();
        Volver();
        ventana_->close();
        QCOMPARE(terminaciones_, 1);
        QVERIFY(!ventana_->Ciclo().Activo());
    }

    // Locked, nothing of the window changes what the program does: not the
    // accessibility interface (which sets values on disabled controls), not a
    // press begun before the lock, not a close request; the level held is the
    // one of the moment the lock began, and a refused check leaves it so.
    void bloqueadaNadaLaUsa() {
        programa_->cerrojo.FijarClave(QStringLiteral("abc"));
        Barra()->setValue(16384);
        Activar()->animateClick(); // clicks a moment later, as AT-SPI's Press does
        Activar()->click();
        QVERIFY(programa_->cerrojo.Bloqueado());
        QVERIFY(!ventana_->isEnabled());

        QAccessibleInterface* boton = QAccessible::queryAccessibleInterface(Activar());
        boton->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QAccessible::queryAccessibleInterface(Barra())->valueInterface()->setCurrentValue(100);
        QAccessible::queryAccessibleInterface(Nivel())->editableTextInterface()->replaceText(
            0, 5, QStringLiteral("7"));
        int preguntas = 0;
        AlAbrirseModal([&](QWidget* dialogo) {
            ++preguntas;
            QTest::keyClick(dialogo, Qt::Key_Escape);
        });
        ventana_->close();
        QTest::qWait(300);
        QCOMPARE(preguntas, 1);
        QCOMPARE(terminaciones_, 0);
        QCOMPARE(Activar()->text(), QStringLiteral("Desac&tivar Control"));
        salida_.palabras.clear();
        ventana_->Ciclo().Timer_Timer();
        QCOMPARE(salida_.palabras, std::vector<std::uint32_t>{kPalabra32768});

        // The right password: the window comes back as it was locked.
        ResponderAcceso(QStringLiteral("abc"));
        bandeja::Form_MouseMove(programa_->cerrojo, bandeja::WM_LBUTTONUP);
        QVERIFY(!programa_->cerrojo.Bloqueado());
        QVERIFY(ventana_->isEnabled());
        QCOMPARE(Nivel()->text(), QStringLiteral("32768"));
        QCOMPARE(Barra()->value(), 16384);
        QCOMPARE(Activar()->text(), QStringLiteral("Desac&tivar Control"));
    }

    // What an administrator's policy sets cannot be changed in the window,
    // nor by setting the box's text, nor through the lock, and is never
    // saved; a change of the policy takes effect at once.
    void politicaDelAdministrador() {
        QUELVAREN_CON_ETC_PROPIO();
        const auto quitar = qScopeGuard([] { politica_prueba::Quitar(); });
        QVERIFY(politica_prueba::Poner({{QStringLiteral("Valor"), QStringLiteral("20001")},
                                        {QStringLiteral("Auto"), QStringLiteral("S")}}));
        programa_->controlador.AplicarPolitica();
        auto* autoactivar = Hijo<QCheckBox>("ChkAuto");
        QCOMPARE(Nivel()->text(), QStringLiteral("20000"));
        QVERIFY(autoactivar->isChecked());
        for (QWidget* control : std::initializer_list<QWidget*>{Nivel(), Barra(), autoactivar}) {
            QVERIFY(!control->isEnabled());
            QVERIFY(control->toolTip().contains(QStringLiteral("administrador")));
        }
        QString aviso;
        AlAbrirseModal([&aviso](QWidget* caja) {
            aviso = caja->objectName();
            PulsarParaCerrar(caja, Qt::Key_Return, Qt::NoModifier);
        });
        Hijo<QPushButton>("BtnFijar")->click();
        QCOMPARE(aviso, QLatin1String(CtrlVolFrm::kAvisoNadaQueGrabar));
        QVERIFY(!QFileInfo::exists(entorno_.ArchivoAjustes()));

        // The policy lets Auto go and moves the level: Grabar saves Auto alone.
        QVERIFY(politica_prueba::Poner({{QStringLiteral("Valor"), QStringLiteral("30000")}}));
        programa_->controlador.AplicarPolitica();
        QVERIFY(autoactivar->isEnabled());
        Hijo<QPushButton>("BtnFijar")->click();
        const QSettings guardado(entorno_.ArchivoAjustes(), QSettings::IniFormat);
        QCOMPARE(guardado.allKeys(), QStringList{QStringLiteral("Config/Auto")});

        Nivel()->setText(QStringLiteral("7"));
        Activar()->click(); // locks the window, which comes back with no password set
        QCOMPARE(salida_.palabras.back(), 30000u * volumen::kCanalEnAmbasMitades);
        Volver();
        QVERIFY(ventana_->isEnabled() && !Nivel()->isEnabled() && !Barra()->isEnabled());
        QVERIFY(politica_prueba::Poner({{QStringLiteral("Valor"), QStringLiteral("20000")}}));
        programa_->controlador.AplicarPolitica(); // held at once while control runs
        QCOMPARE(salida_.palabras.back(), 20000u * volumen::kCanalEnAmbasMitades);
    }
};

QTEST_MAIN(PruebaVentanaPrincipal)
#include "prueba_ventana_principal.moc"
