// The configuration dialog on real widgets and a real store: what it shows
// when it opens, how the repetition field wakes up, and what each way out
// leaves in the store and in the password in force.

#include "hijo_ajustes.h"
#include "limite_archivo.h"
#include "vigia_cajas.h"

#include "look/ventana.h"
#include "settings/ajustes.h"
#include "settings/parametros_frm.h"
#include "support/clave_no_cifrable.h"
#include "support/entorno_prueba.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>

using ajustes::ParametrosFrm;

namespace {

constexpr int kClave = ParametrosFrm::kTxtClave;
constexpr int kRepeticion = ParametrosFrm::kTxtRepeticion;
constexpr int kIntervalo = ParametrosFrm::kTxtIntervalo;
constexpr int kLongitudMaxima = 10;
constexpr int kLongitudIntervalo = 2;
constexpr int kPuntosFuente = 9;
const QString kFuente = QStringLiteral("Verdana");
// A point inside a control, clear of its border.
const QPoint kDentro(2, 2);
const QString kTituloAplicacion = QStringLiteral("Quelvaren");
const QString kTituloDialogo = QStringLiteral("Configuración de la Aplicación");
const QString kTextoNoCoincide = QStringLiteral("La palabra clave no coincide con la repetición.");
const QString kTextoActualizados = QStringLiteral("Datos actualizados.");
// "abc" as the store holds it.
const QString kAbcCifrada = QStringLiteral("MwM");
const QString kQuince = QStringLiteral("abcdefghijklmno");

// The password in force, as the lock keeps it in the program: what the
// dialog is given, and what it puts in force.
QString gClaveEnVigor;
ajustes::ClaveEnVigor EnVigor(bool impuesta = false) {
    return {gClaveEnVigor, impuesta, [](const QString& nueva) { gClaveEnVigor = nueva; }};
}

std::optional<QString> Cifrada(const QString& clave) {
    return ajustes::CifrarClave(true, clave, ajustes::kBaseCifrado);
}

// Types a text as keys, one character at a time.
void Teclear(QWidget* control, const QString& texto) {
    constexpr char16_t kPrimerNoAscii = 0x80;
    for (const QChar caracter : texto) {
        if (caracter.unicode() < kPrimerNoAscii) {
            QTest::keyClick(control, static_cast<char>(caracter.unicode()));
        } else {
            // keyClick asserts on characters beyond ASCII.
            QTest::sendKeyEvent(QTest::Click, control, Qt::Key_unknown, QString(caracter),
                                Qt::NoModifier);
        }
    }
}

// Empties a field with real keys: to the end, then Backspace over everything.
void Borrar(QLineEdit* campo) {
    QTest::keyClick(campo, Qt::Key_End);
    for (qsizetype i = campo->text().size(); i > 0; --i) {
        QTest::keyClick(campo, Qt::Key_Backspace);
    }
}

bool MostrarActivo(QWidget& ventana) {
    ventana.show();
    ventana.activateWindow();
    if (!QTest::qWaitForWindowActive(&ventana)) {
        return false;
    }
    // Lets the deferred selection of the focused field run.
    QCoreApplication::processEvents();
    return true;
}

void Preparar(const QString& claveEnVigor, const QString& intervalo) {
    gClaveEnVigor = claveEnVigor;
    if (!claveEnVigor.isEmpty()) {
        QVERIFY(ajustes::Escribir(ajustes::kPass, *Cifrada(claveEnVigor)).ok());
    }
    if (!intervalo.isNull()) {
        QVERIFY(ajustes::Escribir(ajustes::kIntervalo, intervalo).ok());
    }
}

} // namespace

enum class Tecla {
    Letra,
    BorrarSinTexto,
    LetraConCampoLleno,
    NoAscii,
    Flecha,
    Mayusculas,
    Tabulador
};
Q_DECLARE_METATYPE(Tecla)
enum class Grabado { SinTocar, NuevaEnAmbos, Vaciadas, ConIntro, NuevaConAcentos };
Q_DECLARE_METATYPE(Grabado)
enum class Salida { BotonSalir, Escape, CuadroDeCierre };
Q_DECLARE_METATYPE(Salida)
enum class FalloGrabar { CarpetaEsArchivo, SinSitioParaElBloqueo, FallaElIntervalo };
Q_DECLARE_METATYPE(FalloGrabar)

class PruebaParametrosFrm : public QObject {
    Q_OBJECT

public:
    explicit PruebaParametrosFrm(EntornoPrueba& entorno)
        : entorno_(entorno) {}

private slots:
    void init();
    void cleanup();
    void carga_data();
    void carga();
    void controles_data();
    void controles();
    void aspecto();
    void teclaEnLaClave_data();
    void teclaEnLaClave();
    void ordenDeTabulacion();
    void seleccionAlEntrar();
    void grabar_data();
    void grabar();
    void noCoincide_data();
    void noCoincide();
    void salirSinGrabar_data();
    void salirSinGrabar();
    void limiteDeDiez_data();
    void limiteDeDiez();
    void claveNoCifrable_data();
    void claveNoCifrable();
    void falloAlGrabar_data();
    void falloAlGrabar();
    void falloAlDeshacer();
    void modalSobreSuPropietario();
    void claveDelAdministrador();

private:
    // What the store holds, read by a process that has not seen it before.
    void ComprobarAlmacen(const QString& pass, const QString& intervalo);

    EntornoPrueba& entorno_;
};

void PruebaParametrosFrm::init() {
    entorno_.Vaciar();
    gClaveEnVigor.clear();
}

void PruebaParametrosFrm::cleanup() {
    gClaveEnVigor.clear();
}

void PruebaParametrosFrm::ComprobarAlmacen(const QString& pass, const QString& intervalo) {
    QCOMPARE(hijo::Leer(ajustes::kPass), std::optional<QString>(pass));
    QCOMPARE(hijo::Leer(ajustes::kIntervalo), std::optional<QString>(intervalo));
}

void PruebaParametrosFrm::carga_data() {
    QTest::addColumn<QString>("clave");
    // Null: nothing stored under Intervalo.
    QTest::addColumn<QString>("intervaloGuardado");
    QTest::addColumn<QString>("intervaloMostrado");
    QTest::newRow("sin clave, almacén vacío") << QString() << QString() << QStringLiteral("30");
    QTest::newRow("con clave") << QStringLiteral("abc") << QStringLiteral("7")
                               << QStringLiteral("7");
    QTest::newRow("clave más larga que los campos")
        << kQuince << QStringLiteral("2") << QStringLiteral("2");
    QTest::newRow("intervalo de tres cifras")
        << QStringLiteral("x") << QStringLiteral("123") << QStringLiteral("123");
}

void PruebaParametrosFrm::carga() {
    QFETCH(QString, clave);
    QFETCH(QString, intervaloGuardado);
    QFETCH(QString, intervaloMostrado);
    Preparar(clave, intervaloGuardado);
    const bool habiaArchivo = QFileInfo::exists(entorno_.ArchivoAjustes());

    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    for (const int indice : {kClave, kRepeticion}) {
        QLineEdit* campo = dialogo.Txts(indice);
        QCOMPARE(campo->text(), clave);
        QCOMPARE(campo->echoMode(), QLineEdit::Password);
        QCOMPARE(campo->displayText(), QString(clave.size(), QLatin1Char('*')));
    }
    QVERIFY(dialogo.Txts(kClave)->isEnabled());
    QVERIFY(!dialogo.Txts(kRepeticion)->isEnabled());
    QVERIFY(!dialogo.Lbls(ParametrosFrm::kLblRepeticion)->isEnabled());
    QCOMPARE(dialogo.Txts(kIntervalo)->text(), intervaloMostrado);
    QVERIFY(dialogo.Txts(kIntervalo)->isHidden());
    QVERIFY(dialogo.Lbls(ParametrosFrm::kLblIntervalo)->isHidden());
    // The focus is in the password field, its text selected so that typing
    // replaces it.
    QCOMPARE(QApplication::focusWidget(), dialogo.Txts(kClave));
    QCOMPARE(dialogo.Txts(kClave)->selectedText(), clave);
    // Opening writes nothing.
    QCOMPARE(QFileInfo::exists(entorno_.ArchivoAjustes()), habiaArchivo);
}

void PruebaParametrosFrm::controles_data() {
    QTest::addColumn<QString>("nombre");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QRect>("sitio");
    // Labels that size themselves to their caption keep only their position.
    QTest::addColumn<bool>("ajustadoAlTexto");
    QTest::addColumn<QString>("ayuda");
    using ventana::RectTwips;
    QTest::newRow("Lbls(0)") << QStringLiteral("Lbls(0)") << QStringLiteral("Palabra Clave")
                             << RectTwips(120, 165, 1305, 210) << true << QString();
    QTest::newRow("Txts(0)") << QStringLiteral("Txts(0)") << QString()
                             << RectTwips(1515, 120, 1335, 315) << false
                             << QStringLiteral("La clave que aquí se escriba se empleará para "
                                               "acceder a la pantalla de configuración");
    QTest::newRow("Lbls(1)") << QStringLiteral("Lbls(1)") << QStringLiteral("Repetir Palabra Clave")
                             << RectTwips(3240, 165, 2040, 210) << true << QString();
    QTest::newRow("Txts(1)") << QStringLiteral("Txts(1)") << QString()
                             << RectTwips(5370, 120, 1335, 315) << false
                             << QStringLiteral("Debe coincidir con la palabra clave");
    QTest::newRow("Lbls(3)") << QStringLiteral("Lbls(3)")
                             << QStringLiteral("Esta clave sirve para poder acceder al formulario "
                                               "principal cuando el programa está minimizado en "
                                               "el tray")
                             << RectTwips(120, 480, 6585, 450) << false << QString();
    QTest::newRow("Lbls(2)") << QStringLiteral("Lbls(2)")
                             << QStringLiteral("Intervalo de segundos entre cada comprobación "
                                               "(1 - 60)")
                             << QRect() << true << QString();
    QTest::newRow("BtnGrabar") << QStringLiteral("BtnGrabar") << QStringLiteral("&Grabar")
                               << RectTwips(75, 1020, 3225, 450) << false << QString();
    QTest::newRow("BtnSalir") << QStringLiteral("BtnSalir") << QStringLiteral("&Salir")
                              << RectTwips(3480, 1020, 3225, 450) << false << QString();
}

void PruebaParametrosFrm::controles() {
    QFETCH(QString, nombre);
    QFETCH(QString, texto);
    QFETCH(QRect, sitio);
    QFETCH(bool, ajustadoAlTexto);
    QFETCH(QString, ayuda);
    ParametrosFrm dialogo(EnVigor());
    auto* control = dialogo.findChild<QWidget*>(nombre);
    QVERIFY(control != nullptr);
    if (auto* etiqueta = qobject_cast<QLabel*>(control)) {
        QCOMPARE(etiqueta->text(), texto);
        QCOMPARE(etiqueta->palette().color(QPalette::Window), ventana::kAzulClaro);
        QVERIFY(etiqueta->autoFillBackground());
    } else if (auto* boton = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(boton->text(), texto);
    } else {
        QVERIFY(qobject_cast<QLineEdit*>(control) != nullptr);
    }
    if (sitio.isValid()) {
        if (ajustadoAlTexto) {
            QCOMPARE(control->pos(), sitio.topLeft());
            QCOMPARE(control->size(), control->sizeHint());
        } else {
            QCOMPARE(control->geometry(), sitio);
        }
    }
    QCOMPARE(control->toolTip(), ayuda);
    QCOMPARE(control->font().family(), kFuente);
    QCOMPARE(control->font().pointSize(), kPuntosFuente);
}

void PruebaParametrosFrm::aspecto() {
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    QCOMPARE(dialogo.windowTitle(), kTituloDialogo);
    const QSize cliente(ventana::Twips(6765), ventana::Twips(1515));
    QCOMPARE(dialogo.size(), cliente);
    QCOMPARE(dialogo.minimumSize(), cliente);
    QCOMPARE(dialogo.maximumSize(), cliente);
    const Qt::WindowFlags banderas = dialogo.windowFlags();
    QVERIFY(banderas.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!banderas.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!banderas.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!banderas.testFlag(Qt::WindowContextHelpButtonHint));

    // Drawn as designed: white form, light-blue labels, text boxes in the
    // tool-tip colour, asterisks for the password.
    const QImage imagen = dialogo.grab().toImage();
    // Between the repetition field and the right edge.
    const QPoint margenDerecho(ventana::Twips(6740), ventana::Twips(60));
    QCOMPARE(imagen.pixelColor(margenDerecho), ventana::kBlanco);
    QLabel* explicacion = dialogo.Lbls(ParametrosFrm::kLblExplicacion);
    QCOMPARE(imagen.pixelColor(explicacion->geometry().topLeft() + kDentro), ventana::kAzulClaro);
    QVERIFY(explicacion->wordWrap());
    // The explanation fits its fixed box on two lines, nothing cut off.
    QVERIFY2(explicacion->heightForWidth(explicacion->width()) <= explicacion->height(),
             qPrintable(QString::number(explicacion->heightForWidth(explicacion->width()))));
    QCOMPARE(explicacion->alignment(), Qt::AlignCenter);
    const QColor fondoAyuda = QApplication::palette().color(QPalette::ToolTipBase);
    for (int indice = 0; indice < ParametrosFrm::kNumeroTxts; ++indice) {
        QCOMPARE(dialogo.Txts(indice)->palette().color(QPalette::Base), fondoAyuda);
        QCOMPARE(dialogo.Txts(indice)->maxLength(),
                 indice == kIntervalo ? kLongitudIntervalo : kLongitudMaxima);
    }
    QLineEdit* clave = dialogo.Txts(kClave);
    QCOMPARE(clave->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, clave),
             int{u'*'});
    QVERIFY(dialogo.BtnGrabar()->isDefault());
    QVERIFY(!dialogo.BtnSalir()->isDefault());
    for (QWidget* control : dialogo.findChildren<QWidget*>()) {
        QCOMPARE(control->font().family(), kFuente);
    }
}

void PruebaParametrosFrm::teclaEnLaClave_data() {
    QTest::addColumn<QString>("clave");
    QTest::addColumn<Tecla>("tecla");
    QTest::addColumn<bool>("habilita");
    QTest::addColumn<QString>("textoDespues");
    const QString diez = kQuince.left(kLongitudMaxima);
    QTest::newRow("una letra") << QStringLiteral("abc") << Tecla::Letra << true
                               << QStringLiteral("z");
    QTest::newRow("borrar sin texto") << QString() << Tecla::BorrarSinTexto << true << QString();
    QTest::newRow("letra que no cabe") << diez << Tecla::LetraConCampoLleno << true << diez;
    QTest::newRow("letra acentuada") << QString() << Tecla::NoAscii << true << QStringLiteral("ñ");
    QTest::newRow("flecha") << QStringLiteral("abc") << Tecla::Flecha << false
                            << QStringLiteral("abc");
    QTest::newRow("mayúsculas sola")
        << QStringLiteral("abc") << Tecla::Mayusculas << false << QStringLiteral("abc");
    QTest::newRow("tabulador") << QStringLiteral("abc") << Tecla::Tabulador << false
                               << QStringLiteral("abc");
}

void PruebaParametrosFrm::teclaEnLaClave() {
    QFETCH(QString, clave);
    QFETCH(Tecla, tecla);
    QFETCH(bool, habilita);
    QFETCH(QString, textoDespues);
    gClaveEnVigor = clave;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    QLineEdit* campo = dialogo.Txts(kClave);
    switch (tecla) {
    case Tecla::Letra:
        QTest::keyClick(campo, 'z');
        break;
    case Tecla::BorrarSinTexto:
        QTest::keyClick(campo, Qt::Key_Backspace);
        break;
    case Tecla::LetraConCampoLleno:
        QTest::keyClick(campo, Qt::Key_End);
        QVERIFY(!dialogo.Txts(kRepeticion)->isEnabled());
        QTest::keyClick(campo, 'z');
        break;
    case Tecla::NoAscii:
        Teclear(campo, QStringLiteral("ñ"));
        break;
    case Tecla::Flecha:
        QTest::keyClick(campo, Qt::Key_Left);
        break;
    case Tecla::Mayusculas:
        QTest::keyClick(campo, Qt::Key_Shift);
        break;
    case Tecla::Tabulador:
        QTest::keyClick(campo, Qt::Key_Tab);
        // The repetition field is skipped while it sleeps.
        QCOMPARE(QApplication::focusWidget(), dialogo.BtnGrabar());
        break;
    }
    QCOMPARE(dialogo.Txts(kRepeticion)->isEnabled(), habilita);
    QCOMPARE(dialogo.Lbls(ParametrosFrm::kLblRepeticion)->isEnabled(), habilita);
    QCOMPARE(campo->text(), textoDespues);
    // A key in the repetition field changes nothing about it.
    QCOMPARE(dialogo.Txts(kRepeticion)->text(), clave);
}

void PruebaParametrosFrm::ordenDeTabulacion() {
    gClaveEnVigor = QStringLiteral("abc");
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    // Where the focus is, then after each press of Tab.
    const auto recorrido = [](int pulsaciones) {
        QList<QWidget*> visitados{QApplication::focusWidget()};
        for (int i = 0; i < pulsaciones; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visitados << QApplication::focusWidget();
        }
        return visitados;
    };
    QCOMPARE(recorrido(3), (QList<QWidget*>{dialogo.Txts(kClave), dialogo.BtnGrabar(),
                                            dialogo.BtnSalir(), dialogo.Txts(kClave)}));
    QTest::keyClick(dialogo.Txts(kClave), 'n');
    QCOMPARE(recorrido(4),
             (QList<QWidget*>{dialogo.Txts(kClave), dialogo.Txts(kRepeticion), dialogo.BtnGrabar(),
                              dialogo.BtnSalir(), dialogo.Txts(kClave)}));
}

void PruebaParametrosFrm::seleccionAlEntrar() {
    gClaveEnVigor = QStringLiteral("abcdef");
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    QLineEdit* clave = dialogo.Txts(kClave);
    QLineEdit* repeticion = dialogo.Txts(kRepeticion);
    QTest::keyClick(clave, Qt::Key_End);
    QVERIFY(repeticion->isEnabled() == false);
    QTest::keyClick(clave, Qt::Key_Backspace);
    QVERIFY(repeticion->isEnabled());

    // By the keyboard.
    QTest::keyClick(clave, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), repeticion);
    QCoreApplication::processEvents();
    QCOMPARE(repeticion->selectedText(), QStringLiteral("abcdef"));

    // By the mouse: the click places the cursor, and still all ends selected.
    QTest::mouseClick(clave, Qt::LeftButton, Qt::NoModifier,
                      QPoint(kDentro.x(), clave->height() / 2));
    QCOMPARE(QApplication::focusWidget(), clave);
    QCoreApplication::processEvents();
    QCOMPARE(clave->selectedText(), QStringLiteral("abcde"));

    // Coming back to the window is no new entry: the cursor stays where it was.
    QTest::keyClick(clave, Qt::Key_End);
    QVERIFY(!clave->hasSelectedText());
    QWidget otra;
    QVERIFY(MostrarActivo(otra));
    QVERIFY(MostrarActivo(dialogo));
    QCOMPARE(QApplication::focusWidget(), clave);
    QVERIFY(!clave->hasSelectedText());
    QCOMPARE(clave->cursorPosition(), clave->text().size());
}

void PruebaParametrosFrm::grabar_data() {
    QTest::addColumn<QString>("claveEnVigor");
    QTest::addColumn<Grabado>("como");
    QTest::addColumn<QString>("claveNueva");
    QTest::newRow("sin teclear") << QStringLiteral("abc") << Grabado::SinTocar
                                 << QStringLiteral("abc");
    QTest::newRow("sin teclear, clave en vigor de 15") << kQuince << Grabado::SinTocar << kQuince;
    QTest::newRow("sin clave, sin teclear") << QString() << Grabado::SinTocar << QString();
    QTest::newRow("nueva en ambos campos")
        << QStringLiteral("abc") << Grabado::NuevaEnAmbos << QStringLiteral("nuevo");
    QTest::newRow("la misma otra vez")
        << QStringLiteral("abc") << Grabado::NuevaEnAmbos << QStringLiteral("abc");
    QTest::newRow("ambos vaciados") << QStringLiteral("abc") << Grabado::Vaciadas << QString();
    QTest::newRow("con Intro") << QStringLiteral("abc") << Grabado::ConIntro
                               << QStringLiteral("abc");
    QTest::newRow("acentos donde caben")
        << QStringLiteral("abc") << Grabado::NuevaConAcentos << QStringLiteral("ñaé");
}

void PruebaParametrosFrm::grabar() {
    QFETCH(QString, claveEnVigor);
    QFETCH(Grabado, como);
    QFETCH(QString, claveNueva);
    Preparar(claveEnVigor, QStringLiteral("45"));

    VigiaCajas vigia;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    QLineEdit* clave = dialogo.Txts(kClave);
    QLineEdit* repeticion = dialogo.Txts(kRepeticion);
    switch (como) {
    case Grabado::SinTocar:
    case Grabado::ConIntro:
        break;
    case Grabado::NuevaEnAmbos:
    case Grabado::NuevaConAcentos:
        Teclear(clave, claveNueva);
        QTest::keyClick(clave, Qt::Key_Tab);
        QCoreApplication::processEvents();
        Teclear(repeticion, claveNueva);
        break;
    case Grabado::Vaciadas:
        Borrar(clave);
        Borrar(repeticion);
        break;
    }
    if (como == Grabado::ConIntro) {
        QTest::keyClick(clave, Qt::Key_Return);
    } else {
        QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);
    }

    QCOMPARE(vigia.vistas().size(), std::size_t{1});
    const CajaVista& caja = vigia.vistas().front();
    QCOMPARE(caja.nombre, QLatin1String(ajustes::kAvisoDatosActualizados));
    QCOMPARE(caja.titulo, kTituloDialogo);
    QCOMPARE(caja.texto, kTextoActualizados);
    QCOMPARE(caja.icono, QMessageBox::Information);
    QCOMPARE(caja.botones, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(caja.padre, &dialogo);
    QVERIFY(!dialogo.isVisible());
    QCOMPARE(dialogo.result(), int{QDialog::Accepted});

    QCOMPARE(gClaveEnVigor, claveNueva);
    const auto pass = hijo::Leer(ajustes::kPass);
    QVERIFY(pass.has_value());
    QCOMPARE(pass->size(), claveNueva.size());
    QCOMPARE(ajustes::CifrarClave(false, *pass, ajustes::kBaseCifrado), claveNueva);
    if (claveNueva == QStringLiteral("abc")) {
        QCOMPARE(*pass, kAbcCifrada);
    }
    QCOMPARE(hijo::Leer(ajustes::kIntervalo), std::optional<QString>(QStringLiteral("2")));
}

void PruebaParametrosFrm::noCoincide_data() {
    QTest::addColumn<QString>("enClave");
    // Null: the repetition keeps the password in force.
    QTest::addColumn<QString>("enRepeticion");
    QTest::newRow("nueva sin repetir") << QStringLiteral("nuevo") << QString();
    QTest::newRow("solo cambia una mayúscula")
        << QStringLiteral("Nuevo") << QStringLiteral("nuevo");
    QTest::newRow("espacio al final") << QStringLiteral("nuevo") << QStringLiteral("nuevo ");
    QTest::newRow("repetición vacía") << QStringLiteral("nuevo") << QStringLiteral("");
}

void PruebaParametrosFrm::noCoincide() {
    QFETCH(QString, enClave);
    QFETCH(QString, enRepeticion);
    Preparar(QStringLiteral("abc"), QStringLiteral("45"));

    VigiaCajas vigia;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    QLineEdit* clave = dialogo.Txts(kClave);
    QLineEdit* repeticion = dialogo.Txts(kRepeticion);
    Teclear(clave, enClave);
    if (!enRepeticion.isNull()) {
        Borrar(repeticion);
        Teclear(repeticion, enRepeticion);
    }
    const QString repetida = repeticion->text();
    QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);

    QCOMPARE(vigia.vistas().size(), std::size_t{1});
    const CajaVista& caja = vigia.vistas().front();
    QCOMPARE(caja.nombre, QLatin1String(ajustes::kAvisoNoCoincide));
    QCOMPARE(caja.titulo, kTituloAplicacion);
    QCOMPARE(caja.texto, kTextoNoCoincide);
    QCOMPARE(caja.icono, QMessageBox::Information);
    QCOMPARE(caja.botones, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(dialogo.isVisible());
    QCOMPARE(clave->text(), enClave);
    QCOMPARE(repeticion->text(), repetida);
    QCOMPARE(gClaveEnVigor, QStringLiteral("abc"));
    ComprobarAlmacen(kAbcCifrada, QStringLiteral("45"));

    // Corrected, it saves.
    Borrar(repeticion);
    Teclear(repeticion, enClave);
    QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);
    QCOMPARE(vigia.vistas().size(), std::size_t{2});
    QCOMPARE(vigia.vistas().back().texto, kTextoActualizados);
    QCOMPARE(gClaveEnVigor, enClave);
    ComprobarAlmacen(*Cifrada(enClave), QStringLiteral("2"));
}

void PruebaParametrosFrm::salirSinGrabar_data() {
    QTest::addColumn<Salida>("salida");
    QTest::newRow("botón Salir") << Salida::BotonSalir;
    QTest::newRow("Escape") << Salida::Escape;
    QTest::newRow("cuadro de cierre") << Salida::CuadroDeCierre;
}

void PruebaParametrosFrm::salirSinGrabar() {
    QFETCH(Salida, salida);
    Preparar(QStringLiteral("abc"), QStringLiteral("45"));
    VigiaCajas vigia;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    Teclear(dialogo.Txts(kClave), QStringLiteral("nuevo"));
    Borrar(dialogo.Txts(kRepeticion));
    Teclear(dialogo.Txts(kRepeticion), QStringLiteral("nuevo"));
    switch (salida) {
    case Salida::BotonSalir:
        QTest::mouseClick(dialogo.BtnSalir(), Qt::LeftButton);
        break;
    case Salida::Escape:
        QTest::keyClick(dialogo.Txts(kRepeticion), Qt::Key_Escape);
        break;
    case Salida::CuadroDeCierre:
        QVERIFY(dialogo.close());
        break;
    }
    QVERIFY(!dialogo.isVisible());
    QCOMPARE(dialogo.result(), int{QDialog::Rejected});
    QVERIFY(vigia.vistas().empty());
    QCOMPARE(gClaveEnVigor, QStringLiteral("abc"));
    ComprobarAlmacen(kAbcCifrada, QStringLiteral("45"));
}

void PruebaParametrosFrm::limiteDeDiez_data() {
    QTest::addColumn<QString>("claveEnVigor");
    QTest::addColumn<int>("campo");
    // Keys pressed before typing, from the field's initial state.
    QTest::addColumn<int>("borrados");
    QTest::addColumn<QString>("tecleado");
    QTest::addColumn<QString>("esperado");
    const QString doce = QStringLiteral("123456789012");
    QTest::newRow("clave") << QString() << kClave << 0 << doce << doce.left(kLongitudMaxima);
    QTest::newRow("repetición") << QString() << kRepeticion << 0 << doce
                                << doce.left(kLongitudMaxima);
    QTest::newRow("reemplazando una clave de 15")
        << kQuince << kClave << 0 << doce << doce.left(kLongitudMaxima);
    // Shown whole, the longer password can be edited but not lengthened.
    QTest::newRow("añadiendo a una clave de 15")
        << kQuince << kClave << -1 << QStringLiteral("x") << kQuince;
    QTest::newRow("clave de 15 recortada a 10")
        << kQuince << kClave << 5 << QStringLiteral("xyz") << kQuince.left(kLongitudMaxima);
}

void PruebaParametrosFrm::limiteDeDiez() {
    QFETCH(QString, claveEnVigor);
    QFETCH(int, campo);
    QFETCH(int, borrados);
    QFETCH(QString, tecleado);
    QFETCH(QString, esperado);
    gClaveEnVigor = claveEnVigor;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    QTest::keyClick(dialogo.Txts(kClave), Qt::Key_Shift);
    if (campo == kRepeticion) {
        QTest::keyClick(dialogo.Txts(kClave), 'a');
        QTest::keyClick(dialogo.Txts(kClave), Qt::Key_Tab);
        QCoreApplication::processEvents();
    }
    QLineEdit* destino = dialogo.Txts(campo);
    if (borrados != 0) {
        QTest::keyClick(destino, Qt::Key_End);
    }
    for (int i = 0; i < borrados; ++i) {
        QTest::keyClick(destino, Qt::Key_Backspace);
    }
    Teclear(destino, tecleado);
    QCOMPARE(destino->text(), esperado);
}

void PruebaParametrosFrm::claveNoCifrable_data() {
    QTest::addColumn<QString>("claveEnVigor");
    // Null: the password in force is saved as it is.
    QTest::addColumn<QString>("tecleada");
    QTest::addColumn<int>("posicion");
    // Made of characters the message's own words do not use, so that any of
    // them in the message would come from the password.
    QTest::newRow("ë en una posición que sube")
        << QStringLiteral("abc") << QStringLiteral("Xë") << 2;
    QTest::newRow("carácter de otra escritura")
        << QStringLiteral("abc") << QStringLiteral("WZ€") << 3;
    QTest::newRow("clave en vigor que no se puede guardar")
        << ClaveNoCifrable(QStringLiteral("YWK")).value_or(QString()) << QString() << 4;
}

void PruebaParametrosFrm::claveNoCifrable() {
    QFETCH(QString, claveEnVigor);
    QFETCH(QString, tecleada);
    QFETCH(int, posicion);
    gClaveEnVigor = claveEnVigor;
    QVERIFY(ajustes::Escribir(ajustes::kPass, kAbcCifrada).ok());
    QVERIFY(ajustes::Escribir(ajustes::kIntervalo, QStringLiteral("45")).ok());

    VigiaCajas vigia;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    if (!tecleada.isNull()) {
        Teclear(dialogo.Txts(kClave), tecleada);
        QTest::keyClick(dialogo.Txts(kClave), Qt::Key_Tab);
        QCoreApplication::processEvents();
        Teclear(dialogo.Txts(kRepeticion), tecleada);
    }
    QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);

    QCOMPARE(vigia.vistas().size(), std::size_t{1});
    const CajaVista& caja = vigia.vistas().front();
    QCOMPARE(caja.nombre, QLatin1String(ajustes::kAvisoClaveNoValida));
    QCOMPARE(caja.titulo, kTituloAplicacion);
    QCOMPARE(caja.icono, QMessageBox::Information);
    // The password was typed masked: the message names none of its
    // characters, only where the trouble is.
    for (const QChar caracter : tecleada.isNull() ? claveEnVigor : tecleada) {
        QVERIFY2(!caja.texto.contains(caracter), qPrintable(caja.texto));
    }
    QVERIFY2(caja.texto.contains(QStringLiteral("posición %1").arg(posicion)),
             qPrintable(caja.texto));
    QVERIFY(dialogo.isVisible());
    QCOMPARE(gClaveEnVigor, claveEnVigor);
    ComprobarAlmacen(kAbcCifrada, QStringLiteral("45"));
}

void PruebaParametrosFrm::falloAlGrabar_data() {
    QTest::addColumn<FalloGrabar>("fallo");
    QTest::newRow("no hay carpeta donde guardar") << FalloGrabar::CarpetaEsArchivo;
    QTest::newRow("sin sitio para el archivo de bloqueo") << FalloGrabar::SinSitioParaElBloqueo;
    QTest::newRow("se guarda la clave pero no el intervalo") << FalloGrabar::FallaElIntervalo;
}

void PruebaParametrosFrm::falloAlGrabar() {
    QFETCH(FalloGrabar, fallo);
    // The stored interval is empty, so that writing "2" makes the file one
    // byte longer; the long level makes the file larger than a lock file.
    constexpr int kLargoRelleno = 1000;
    Preparar(QStringLiteral("abc"), QStringLiteral(""));
    QVERIFY(ajustes::Escribir(ajustes::kValor, QString(kLargoRelleno, QLatin1Char('v'))).ok());
    // Scrambles to as many bytes as "abc" does.
    const QString nueva = QStringLiteral("abd");
    QCOMPARE(Cifrada(nueva)->toUtf8().size(), kAbcCifrada.toUtf8().size());

    VigiaCajas vigia;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    Teclear(dialogo.Txts(kClave), nueva);
    QTest::keyClick(dialogo.Txts(kClave), Qt::Key_Tab);
    QCoreApplication::processEvents();
    Teclear(dialogo.Txts(kRepeticion), nueva);

    switch (fallo) {
    case FalloGrabar::CarpetaEsArchivo: {
        const EntornoPrueba::EscrituraRechazada rechazada(entorno_);
        QVERIFY(rechazada.lista());
        QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);
        break;
    }
    case FalloGrabar::SinSitioParaElBloqueo: {
        LimiteTamanoArchivo limite(1);
        QVERIFY(limite.activo());
        QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);
        break;
    }
    case FalloGrabar::FallaElIntervalo: {
        // Room for the new password, not for the interval after it.
        LimiteTamanoArchivo limite(
            static_cast<rlim_t>(QFileInfo(entorno_.ArchivoAjustes()).size()));
        QVERIFY(limite.activo());
        QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);
        break;
    }
    }

    QCOMPARE(vigia.vistas().size(), std::size_t{1});
    const CajaVista& caja = vigia.vistas().front();
    QCOMPARE(caja.nombre, QLatin1String(ajustes::kAvisoFalloEscritura));
    QCOMPARE(caja.titulo, kTituloAplicacion);
    QVERIFY(caja.texto.startsWith(QStringLiteral("No se pudo guardar la configuración.\n")));
    QCOMPARE(caja.padre, &dialogo);
    QVERIFY(dialogo.isVisible());
    QCOMPARE(gClaveEnVigor, QStringLiteral("abc"));
    // The store still agrees with the password in force.
    ComprobarAlmacen(kAbcCifrada, QString(QLatin1String("")));

    // Once the store can be written again, the same press saves.
    QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);
    QCOMPARE(vigia.vistas().size(), std::size_t{2});
    QCOMPARE(vigia.vistas().back().texto, kTextoActualizados);
    QCOMPARE(gClaveEnVigor, nueva);
    ComprobarAlmacen(*Cifrada(nueva), QStringLiteral("2"));
}

void PruebaParametrosFrm::falloAlDeshacer() {
    // The new password is shorter than the old one. A size cap at the file
    // as it is with the new one lets the new password in, keeps the interval
    // out, and keeps the old password from coming back; the long level makes
    // the file larger than a lock file.
    constexpr int kLargoRelleno = 1000;
    const QString vieja = QStringLiteral("abcd");
    const QString nueva = QStringLiteral("abd");
    QVERIFY(ajustes::Escribir(ajustes::kValor, QString(kLargoRelleno, QLatin1Char('v'))).ok());
    Preparar(nueva, QStringLiteral(""));
    const auto tope = static_cast<rlim_t>(QFileInfo(entorno_.ArchivoAjustes()).size());
    Preparar(vieja, QString());

    VigiaCajas vigia;
    ParametrosFrm dialogo(EnVigor());
    QVERIFY(MostrarActivo(dialogo));
    Teclear(dialogo.Txts(kClave), nueva);
    QTest::keyClick(dialogo.Txts(kClave), Qt::Key_Tab);
    QCoreApplication::processEvents();
    Teclear(dialogo.Txts(kRepeticion), nueva);
    {
        LimiteTamanoArchivo limite(tope);
        QVERIFY(limite.activo());
        QTest::mouseClick(dialogo.BtnGrabar(), Qt::LeftButton);
    }

    QCOMPARE(vigia.vistas().size(), std::size_t{1});
    const CajaVista& caja = vigia.vistas().front();
    QCOMPARE(caja.nombre, QLatin1String(ajustes::kAvisoFalloEscritura));
    // The user learns that the password did change after all.
    QVERIFY2(caja.texto.contains(QStringLiteral("clave sí se ha cambiado")),
             qPrintable(caja.texto));
    QVERIFY(dialogo.isVisible());
    // The password in force is the one the store holds, the new one.
    const auto pass = hijo::Leer(ajustes::kPass);
    QVERIFY(pass.has_value());
    QCOMPARE(ajustes::CifrarClave(false, *pass, ajustes::kBaseCifrado),
             std::optional<QString>(gClaveEnVigor));
    QCOMPARE(gClaveEnVigor, nueva);
}

void PruebaParametrosFrm::modalSobreSuPropietario() {
    gClaveEnVigor = QStringLiteral("abc");
    QWidget propietario;
    const QRect pantalla = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint kDesdeLaEsquina(40, 30);
    const QSize kTamanoPropietario(600, 400);
    propietario.setGeometry(QRect(pantalla.topLeft() + kDesdeLaEsquina, kTamanoPropietario));
    QVERIFY(MostrarActivo(propietario));
    VigiaCajas vigia;

    // What the open dialog looked like; checked once it has closed, so that a
    // failed check never leaves it open.
    struct Visto {
        bool abierto = false;
        QWidget* padre = nullptr;
        bool modal = false;
        QPoint centro;
        QString clave;
        bool repeticionActiva = true;
    };
    for (const QString& nueva : {QStringLiteral("uno"), QStringLiteral("dos")}) {
        const QString enVigor = gClaveEnVigor;
        Visto visto;
        AlAbrirseDialogo([&visto, nueva](QWidget* modal) {
            auto* dialogo = qobject_cast<ParametrosFrm*>(modal);
            if (dialogo == nullptr) {
                modal->close();
                return;
            }
            visto = {true,
                     dialogo->parentWidget(),
                     dialogo->isModal(),
                     dialogo->frameGeometry().center(),
                     dialogo->Txts(kClave)->text(),
                     dialogo->Txts(kRepeticion)->isEnabled()};
            // Typing starts once the password field has the focus and its
            // text is selected, as it is for the user.
            if (QTest::qWaitForWindowActive(dialogo)) {
                QCoreApplication::processEvents();
                Teclear(dialogo->Txts(kClave), nueva);
                QTest::keyClick(dialogo->Txts(kClave), Qt::Key_Tab);
                QCoreApplication::processEvents();
                Teclear(dialogo->Txts(kRepeticion), nueva);
                QTest::keyClick(dialogo->Txts(kRepeticion), Qt::Key_Return);
            }
            // Whatever went wrong, the test goes on to its checks.
            if (dialogo->isVisible()) {
                dialogo->reject();
            }
        });
        ajustes::MostrarParametros(&propietario, EnVigor());
        QVERIFY(visto.abierto);
        QCOMPARE(visto.padre, &propietario);
        QVERIFY(visto.modal);
        const QPoint desvio = visto.centro - propietario.frameGeometry().center();
        constexpr int kTolerancia = 2;
        QVERIFY2(desvio.manhattanLength() <= kTolerancia,
                 qPrintable(QStringLiteral("%1, %2").arg(desvio.x()).arg(desvio.y())));
        // Every opening starts again from the password in force.
        QCOMPARE(visto.clave, enVigor);
        QVERIFY(!visto.repeticionActiva);
        QCOMPARE(gClaveEnVigor, nueva);
        // Closed is gone: nothing of it is left under its owner.
        QVERIFY(propietario.findChildren<ParametrosFrm*>().isEmpty());
    }
    QCOMPARE(vigia.vistas().size(), std::size_t{2});

    // Escape leaves without saving.
    AlAbrirseDialogo([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    ajustes::MostrarParametros(&propietario, EnVigor());
    QCOMPARE(gClaveEnVigor, QStringLiteral("dos"));
    QCOMPARE(vigia.vistas().size(), std::size_t{2});
    ComprobarAlmacen(*Cifrada(QStringLiteral("dos")), QStringLiteral("2"));
}

// With an administrator's password in force the dialog shows no password,
// takes none, and says so instead of saving.
void PruebaParametrosFrm::claveDelAdministrador() {
    Preparar(QStringLiteral("abc"), QStringLiteral("45"));
    VigiaCajas vigia;
    ParametrosFrm dialogo(EnVigor(true));
    QVERIFY(MostrarActivo(dialogo));
    for (const int campo : {kClave, kRepeticion}) {
        QVERIFY(!dialogo.Txts(campo)->isEnabled());
        QVERIFY(dialogo.Txts(campo)->text().isEmpty());
        QVERIFY(dialogo.Txts(campo)->toolTip().contains(QStringLiteral("administrador")));
    }
    QTest::keyClick(&dialogo, Qt::Key_Return);
    QCOMPARE(vigia.vistas().size(), std::size_t{1});
    QCOMPARE(vigia.vistas().front().nombre, QLatin1String(ajustes::kAvisoClaveImpuesta));
    QVERIFY(dialogo.isVisible());
    QCOMPARE(gClaveEnVigor, QStringLiteral("abc"));
    ComprobarAlmacen(kAbcCifrada, QStringLiteral("45"));
}

int main(int argc, char** argv) {
    if (const auto salida = hijo::Atender(argc, argv)) {
        return *salida;
    }
    EntornoPrueba entorno;
    QApplication aplicacion(argc, argv);
    PruebaParametrosFrm prueba(entorno);
    return QTest::qExec(&prueba, argc, argv);
}

#include "prueba_parametros_frm.moc"
