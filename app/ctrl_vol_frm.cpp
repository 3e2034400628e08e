#include "app/ctrl_vol_frm.h"

#include "about/acerca_de.h"
#include "look/ventana.h"
#include "settings/ajustes.h"
#include "settings/parametros_frm.h"
#include "version_programa.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

using ventana::Fuente;
using ventana::RectTwips;
using ventana::Twips;

// Captions of the switch: the caption is the state of control.
const QString kCaptionActivar = QStringLiteral("Ac&tivar Control");
const QString kCaptionDesactivar = QStringLiteral("Desac&tivar Control");

const QString kArchivoIcono = QStringLiteral("Quelvaren.ico");

const QString kTipNivel = QStringLiteral("Escribir un valor entre 0 y 65535 y presionar ENTER");
// What a control that the administrator's policy sets says of itself.
const QString kTipNivelImpuesto =
    QStringLiteral("El administrador ha fijado este valor; no se puede cambiar.");
const QString kTipAutoImpuesto =
    QStringLiteral("El administrador ha fijado si el control arranca solo; no se puede cambiar.");

// The level box takes five typed characters: 65535 at most.
constexpr int kCaracteresNivel = 5;
constexpr int kPasoPaginaHScr = 7000;
constexpr int kPosicionInicialHScr = 0;

// Character codes the level box tells apart.
constexpr int kCodigoBorrar = 8;
constexpr int kCodigoEnter = 13;
constexpr int kCodigoSuprimido = 0;
constexpr int kPrimerCodigoControl = 1; // Ctrl+A; Ctrl+letter gives 1..26

// Key codes of the window's own key handling.
constexpr int kTeclaEscape = 27;

// The client area and the containers, in twips.
constexpr int kAnchoCliente = 6135;
constexpr int kAltoCliente = 3030;

// A check box whose caption wraps onto further lines when it is wider than
// the box, so that a long caption in a narrow box stays whole.
class CasillaMultilinea : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* /*evento*/) override {
        QStylePainter pintor(this);
        QStyleOptionButton opcion;
        initStyleOption(&opcion);
        QStyleOptionButton indicador = opcion;
        indicador.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opcion, this);
        indicador.rect.moveTop((height() - indicador.rect.height()) / 2);
        pintor.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicador);
        const int separacion = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &opcion, this);
        const QRect zonaTexto = rect().adjusted(indicador.rect.right() + separacion, 0, 0, 0);
        pintor.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                      QPalette::WindowText));
        pintor.drawText(zonaTexto,
                        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic,
                        text());
        if (hasFocus()) {
            QStyleOptionFocusRect foco;
            foco.initFrom(this);
            foco.rect = zonaTexto;
            pintor.drawPrimitive(QStyle::PE_FrameFocusRect, foco);
        }
    }
    // The whole box answers clicks, the wrapped caption too.
    bool hitButton(const QPoint& punto) const override { return rect().contains(punto); }
};

// The level bar: right (and up) raises the level, as on every horizontal
// control, where Qt's scroll bars run their keys the other way; and a focus
// mark when the keyboard is on it, which scroll bars do not draw.
class BarraNivel : public QScrollBar {
public:
    explicit BarraNivel(QWidget* padre)
        : QScrollBar(Qt::Horizontal, padre) {
        setInvertedControls(false);
    }

protected:
    void paintEvent(QPaintEvent* evento) override {
        QScrollBar::paintEvent(evento);
        if (hasFocus()) {
            QStylePainter pintor(this);
            QStyleOptionFocusRect foco;
            foco.initFrom(this);
            pintor.drawPrimitive(QStyle::PE_FrameFocusRect, foco);
        }
    }
};

// The icon file in the working folder, when there is one that reads as an
// icon. Hidden or system files do not count.
QIcon IconoDelDirectorioDeTrabajo() {
    const QFileInfo archivo(kArchivoIcono);
    if (!archivo.isFile() || archivo.isHidden()) {
        return {};
    }
#ifdef Q_OS_WIN
    const DWORD atributos =
        GetFileAttributesW(reinterpret_cast<const wchar_t*>(archivo.filePath().utf16()));
    if (atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_SYSTEM)) {
        return {};
    }
#endif
    QImageReader lector(archivo.filePath());
    if (!lector.canRead()) {
        return {};
    }
    QIcon icono(archivo.filePath());
    return icono.isNull() ? QIcon{} : icono;
}

// The character code a key press types, as the level box filters it, or -1
// for keys that type nothing (arrows, Delete, Home...), which go through.
int CodigoCaracter(const QKeyEvent& tecla) {
    const bool control = tecla.modifiers() & Qt::ControlModifier;
    const bool alt = tecla.modifiers() & Qt::AltModifier;
    if (control && !alt && tecla.key() >= Qt::Key_A && tecla.key() <= Qt::Key_Z) {
        return kPrimerCodigoControl + (tecla.key() - Qt::Key_A);
    }
    if (tecla.key() == Qt::Key_Return || tecla.key() == Qt::Key_Enter) {
        return kCodigoEnter;
    }
    if (tecla.key() == Qt::Key_Backspace) {
        return kCodigoBorrar;
    }
    const QString texto = tecla.text();
    if (texto.isEmpty()) {
        return -1;
    }
    return texto.at(0).unicode();
}

// Return and the keypad's Enter, with no other modifier.
bool EsEnter(const QKeyEvent& tecla) {
    return (tecla.key() == Qt::Key_Return || tecla.key() == Qt::Key_Enter) &&
           (tecla.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Ways the focus leaves a control for a while and comes back to it: a menu,
// the menu bar, another window. The control gets it back as it was.
bool EsFocoDeIdaYVuelta(Qt::FocusReason motivo) {
    return motivo == Qt::ActiveWindowFocusReason || motivo == Qt::PopupFocusReason ||
           motivo == Qt::MenuBarFocusReason;
}

} // namespace

CtrlVolFrm::CtrlVolFrm(volumen::SalidaVolumen& salida, acceso::Cerrojo& cerrojo, QWidget* padre)
    : QMainWindow(padre)
    , cerrojo_(cerrojo)
    , ciclo_(
          salida, [this] { return NivelEnVigor(); }, this)
    , terminar_([] { QCoreApplication::exit(0); }) {
    setObjectName(QStringLiteral("CtrlVolFrm"));
    setWindowTitle(QString::fromLatin1(version_programa::kTitulo));
    setWindowIcon(acerca_de::IconoPrograma());
    // Fixed border, minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    ConstruirControles();
    ConstruirMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    PrepararTeclas();
    // Locked, the window's content no longer counts, and comes back as it was.
    connect(&cerrojo_, &acceso::Cerrojo::EmpiezaBloqueo, this, &CtrlVolFrm::Congelar);
    connect(&cerrojo_, &acceso::Cerrojo::TerminaBloqueo, this, &CtrlVolFrm::Descongelar);
}

QString CtrlVolFrm::TextoNivelInicial(std::int32_t nivelGuardado) {
    const std::uint16_t recortado = volumen::RecortarNivel(nivelGuardado);
    const std::int16_t posicion = volumen::NivelAPosicion(recortado);
    return posicion == kPosicionInicialHScr ? QString::number(recortado)
                                            : QString::number(volumen::PosicionANivel(posicion));
}

QString CtrlVolFrm::NivelEnVigor() const {
    if (!nivelPolitica_.isEmpty()) {
        return nivelPolitica_;
    }
    return cerrojo_.Bloqueado() ? nivelCongelado_ : TxtOb0->text();
}

void CtrlVolFrm::Congelar() {
    nivelCongelado_ = TxtOb0->text();
    posicionCongelada_ = HScr->value();
}

void CtrlVolFrm::Descongelar() {
    // Whatever reached the box or the bar while locked (the accessibility
    // interface sets values on disabled controls too) is undone.
    {
        const QSignalBlocker sinCambio(HScr);
        HScr->setValue(posicionCongelada_);
    }
    DescribirBarra();
    TxtOb0->setText(nivelCongelado_);
}

void CtrlVolFrm::MostrarPolitica(std::optional<std::int32_t> nivel,
                                 std::optional<bool> autoactivar) {
    // The level, as the start-up would show it; the window, locked or not,
    // shows it too.
    nivelPolitica_ = nivel ? TextoNivelInicial(*nivel) : QString();
    if (nivel) {
        {
            const QSignalBlocker sinCambio(HScr);
            HScr->setValue(volumen::NivelAPosicion(nivelPolitica_.toInt()));
        }
        DescribirBarra();
        TxtOb0->setText(nivelPolitica_);
        nivelCongelado_ = nivelPolitica_;
        posicionCongelada_ = HScr->value();
    }
    // Disabled on their own, they stay so when the lock enables the window.
    TxtOb0->setEnabled(!nivel);
    HScr->setEnabled(!nivel);
    TxtOb0->setToolTip(nivel ? kTipNivelImpuesto : kTipNivel);
    HScr->setToolTip(nivel ? kTipNivelImpuesto : QString());

    if (autoactivar) {
        ChkAuto->setChecked(*autoactivar);
    }
    ChkAuto->setEnabled(!autoactivar);
    ChkAuto->setToolTip(autoactivar ? kTipAutoImpuesto : QString());
}

void CtrlVolFrm::ConstruirControles() {
    auto* cliente = new QWidget(this);
    cliente->setObjectName(QStringLiteral("cliente"));
    cliente->setFixedSize(Twips(kAnchoCliente), Twips(kAltoCliente));
    ventana::PintarFondo(cliente, ventana::kBlanco);
    setCentralWidget(cliente);

    FraDatos = new QGroupBox(
        QStringLiteral("        Valor para el volumen de Ondas (Wave)           "), cliente);
    FraDatos->setObjectName(QStringLiteral("FraDatos"));
    FraDatos->setGeometry(RectTwips(120, 180, 5895, 1515));
    FraDatos->setFont(Fuente("Arial", 12, true, true));
    ventana::PintarFondo(FraDatos, ventana::kGrisClaro);

    // The label goes first so the level box stands over its middle.
    LblOb0 = new QLabel(QStringLiteral("Min 0                   Max 65534"), FraDatos);
    LblOb0->setObjectName(QStringLiteral("LblOb(0)"));
    LblOb0->setFont(Fuente("Comic Sans MS", 15.75, true));
    LblOb0->setGeometry(RectTwips(420, 465, 5190, 450));
    ventana::PintarFondo(LblOb0, ventana::kGrisClaro);
    LblOb0->adjustSize();

    TxtOb0 = new QLineEdit(QStringLiteral("65535"), FraDatos);
    TxtOb0->setObjectName(QStringLiteral("TxtOb(0)"));
    TxtOb0->setToolTip(kTipNivel);
    TxtOb0->setGeometry(RectTwips(1920, 420, 1275, 555));
    TxtOb0->setFont(Fuente("Comic Sans MS", 15.75));
    TxtOb0->setAlignment(Qt::AlignCenter);
    TxtOb0->setMaxLength(kCaracteresNivel);
    // Dropped text would slip past the key filter; pasting stays possible.
    TxtOb0->setDragEnabled(false);
    TxtOb0->setAcceptDrops(false);
    // Both controls would otherwise be read out by the frame's padded title;
    // the box's tool tip describes it.
    TxtOb0->setAccessibleName(QStringLiteral("Nivel del volumen"));

    HScr = new BarraNivel(FraDatos);
    HScr->setObjectName(QStringLiteral("HScr"));
    HScr->setGeometry(RectTwips(360, 1080, 5175, 315));
    HScr->setRange(0, volumen::kPosicionMaxima);
    HScr->setValue(kPosicionInicialHScr);
    HScr->setSingleStep(1);
    HScr->setPageStep(kPasoPaginaHScr);
    HScr->setFocusPolicy(Qt::StrongFocus);
    // The level follows the bar once a drag ends, not during it.
    HScr->setTracking(false);
    connect(HScr, &QScrollBar::valueChanged, this, &CtrlVolFrm::HScr_Change);
    HScr->setAccessibleName(QStringLiteral("Barra del nivel"));
    DescribirBarra();
    connect(HScr, &QScrollBar::valueChanged, this, &CtrlVolFrm::DescribirBarra);

    PicBotones = new QWidget(cliente);
    PicBotones->setObjectName(QStringLiteral("PicBotones"));
    PicBotones->setGeometry(RectTwips(120, 1860, 5940, 1140));
    ventana::PintarFondo(PicBotones, ventana::kBlanco);

    BtnActivar = new QPushButton(kCaptionActivar, PicBotones);
    BtnActivar->setObjectName(QStringLiteral("BtnActivar"));
    BtnActivar->setGeometry(RectTwips(0, 60, 4275, 435));
    BtnActivar->setFont(Fuente("Verdana", 12));
    BtnActivar->setAutoDefault(false);
    connect(BtnActivar, &QPushButton::clicked, this, &CtrlVolFrm::BtnActivar_Click);

    ChkAuto = new CasillaMultilinea(QStringLiteral("Autoactivar al cargar"), PicBotones);
    ChkAuto->setObjectName(QStringLiteral("ChkAuto"));
    ChkAuto->setGeometry(RectTwips(4440, 60, 1395, 435));
    ChkAuto->setFont(Fuente("Verdana", 9));
    ventana::PintarFondo(ChkAuto, ventana::kAzulClaro);

    BtnFijar = new QPushButton(QStringLiteral("Grabar Configuración"), PicBotones);
    BtnFijar->setObjectName(QStringLiteral("BtnFijar"));
    BtnFijar->setToolTip(
        QStringLiteral("Graba el valor establecido y el estado de autoactivar actual"));
    BtnFijar->setGeometry(RectTwips(0, 600, 2895, 435));
    BtnFijar->setFont(Fuente("Verdana", 9.75));
    BtnFijar->setAutoDefault(false);
    connect(BtnFijar, &QPushButton::clicked, this, &CtrlVolFrm::BtnFijar_Click);

    BtnSalir = new QPushButton(QStringLiteral("&Salir"), PicBotones);
    BtnSalir->setObjectName(QStringLiteral("BtnSalir"));
    BtnSalir->setGeometry(RectTwips(3000, 600, 2895, 435));
    BtnSalir->setFont(Fuente("Verdana", 9.75));
    BtnSalir->setAutoDefault(false);
    connect(BtnSalir, &QPushButton::clicked, this, &CtrlVolFrm::BtnSalir_Click);

    setTabOrder(TxtOb0, BtnActivar);
    setTabOrder(BtnActivar, BtnFijar);
    setTabOrder(BtnFijar, BtnSalir);
    setTabOrder(BtnSalir, HScr);
    setTabOrder(HScr, ChkAuto);
}

void CtrlVolFrm::ConstruirMenu() {
    MenuPrincipal = menuBar()->addMenu(QStringLiteral("&Menú Principal"));
    MenuPrincipal->setObjectName(QStringLiteral("MenuPrincipal"));
    const auto agregar = [this](int indice, QAction* accion) {
        accion->setObjectName(QStringLiteral("MenuItem(%1)").arg(indice));
        MenuItem[indice] = accion;
        if (!accion->isSeparator()) {
            connect(accion, &QAction::triggered, this, [this, indice] { MenuItem_Click(indice); });
        }
    };
    agregar(kMenuConfigurar, MenuPrincipal->addAction(QStringLiteral("&Configurar")));
    agregar(kMenuSeparador1, MenuPrincipal->addSeparator());
    agregar(kMenuAcercaDe, MenuPrincipal->addAction(QStringLiteral("&Acerca de")));
    agregar(kMenuSeparador2, MenuPrincipal->addSeparator());
    agregar(kMenuSalir, MenuPrincipal->addAction(QStringLiteral("&Salir")));
}

void CtrlVolFrm::PrepararTeclas() {
    // Every key meant for a control goes to the window's own key handling
    // before the control gets it. Only the controls that take the focus are
    // watched: a key a control ignores travels on through its containers,
    // and the window must see it once. The menu bar and the menus keep their
    // keys to themselves.
    const auto controles = centralWidget()->findChildren<QWidget*>();
    for (QWidget* control : controles) {
        if (control->focusPolicy() != Qt::NoFocus) {
            control->installEventFilter(this);
        }
    }
}

bool CtrlVolFrm::eventFilter(QObject* objeto, QEvent* evento) {
    switch (evento->type()) {
    case QEvent::KeyPress: {
        auto* tecla = static_cast<QKeyEvent*>(evento);
        const int codigoTecla = tecla->key() == Qt::Key_Escape ? kTeclaEscape : tecla->key();
        Form_KeyDown(codigoTecla, static_cast<int>(tecla->modifiers()));
        if (objeto == TxtOb0 && tecla->key() != Qt::Key_Tab && tecla->key() != Qt::Key_Backtab) {
            if (tecla->text().size() > 1) {
                // Several characters in one key press: the box takes those
                // that typing them one by one would let in.
                TxtOb0->insert(FiltrarTextoNivel(tecla->text()));
                return true;
            }
            int codigo = CodigoCaracter(*tecla);
            if (codigo >= 0) {
                TxtOb_KeyPress(0, codigo);
                if (codigo == kCodigoSuprimido) {
                    return true;
                }
            }
        } else if (auto* boton = qobject_cast<QPushButton*>(objeto);
                   boton != nullptr && EsEnter(*tecla)) {
            // Enter presses the button that has the focus, as Space does.
            boton->click();
            return true;
        }
        break;
    }
    case QEvent::InputMethod:
        // Text composed by an input method or a dead key is typed text too.
        if (objeto == TxtOb0) {
            auto* entrada = static_cast<QInputMethodEvent*>(evento);
            entrada->setCommitString(FiltrarTextoNivel(entrada->commitString()),
                                     entrada->replacementStart(), entrada->replacementLength());
        }
        break;
    case QEvent::FocusIn:
        if (objeto == TxtOb0) {
            const bool vuelve = conservarSeleccionNivel_ &&
                                EsFocoDeIdaYVuelta(static_cast<QFocusEvent*>(evento)->reason());
            conservarSeleccionNivel_ = false;
            if (!vuelve) {
                TxtOb_GotFocus(0);
            }
        }
        break;
    case QEvent::FocusOut:
        if (objeto == TxtOb0) {
            conservarSeleccionNivel_ =
                EsFocoDeIdaYVuelta(static_cast<QFocusEvent*>(evento)->reason());
        }
        break;
    case QEvent::ContextMenu:
        if (objeto == TxtOb0) {
            MostrarMenuNivel(static_cast<QContextMenuEvent*>(evento)->globalPos());
            return true;
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(objeto, evento);
}

QString CtrlVolFrm::FiltrarTextoNivel(const QString& texto) {
    QString admitido;
    for (const QChar caracter : texto) {
        int codigo = caracter.unicode();
        TxtOb_KeyPress(0, codigo);
        if (codigo != kCodigoSuprimido && caracter.isPrint()) {
            admitido.append(caracter);
        }
    }
    return admitido;
}

void CtrlVolFrm::MostrarMenuNivel(const QPoint& posicionGlobal) {
    // The level box's own menu, in Spanish whatever translation Qt has.
    auto* menu = new QMenu(TxtOb0);
    menu->setObjectName(QStringLiteral("MenuNivel"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QLineEdit* caja = TxtOb0;
    const auto agregar = [menu, caja](const QString& texto, bool activa, auto accion) {
        QAction* entrada = menu->addAction(texto);
        entrada->setEnabled(activa);
        connect(entrada, &QAction::triggered, caja, accion);
    };
    const bool seleccion = caja->hasSelectedText();
    agregar(QStringLiteral("&Deshacer"), caja->isUndoAvailable(), &QLineEdit::undo);
    agregar(QStringLiteral("&Rehacer"), caja->isRedoAvailable(), &QLineEdit::redo);
    menu->addSeparator();
    agregar(QStringLiteral("Cor&tar"), seleccion, &QLineEdit::cut);
    agregar(QStringLiteral("&Copiar"), seleccion, &QLineEdit::copy);
    agregar(QStringLiteral("&Pegar"), !QGuiApplication::clipboard()->text().isEmpty(),
            &QLineEdit::paste);
    agregar(QStringLiteral("&Eliminar"), seleccion, [caja] { caja->del(); });
    menu->addSeparator();
    agregar(QStringLiteral("&Seleccionar todo"), caja->selectedText() != caja->text(),
            &QLineEdit::selectAll);
    menu->popup(posicionGlobal);
}

void CtrlVolFrm::changeEvent(QEvent* evento) {
    QMainWindow::changeEvent(evento);
    if (evento->type() == QEvent::WindowStateChange) {
        cerrojo_.CambioDeEstado(static_cast<QWindowStateChangeEvent*>(evento)->oldState());
    }
}

void CtrlVolFrm::closeEvent(QCloseEvent* evento) {
    // Locked, a close request (a taskbar's, the window manager's) needs the
    // password first.
    if (!cerrojo_.PermitirCierre()) {
        evento->ignore();
        return;
    }
    evento->accept();
    Form_Unload();
}

CtrlVolFrm::Camino CtrlVolFrm::Form_Load() {
    // 1. The icon file in the working folder replaces the window's own icon.
    if (const QIcon icono = IconoDelDirectorioDeTrabajo(); !icono.isNull()) {
        setWindowIcon(icono);
        QApplication::setWindowIcon(icono); // the dialogs' and message boxes' too
    }

    // 2. The access password, for the lock to keep. A stored form that does
    // not unscramble counts as no password: the user is asked for a new one
    // below.
    cerrojo_.FijarClave(ajustes::LeerClave().valor.value_or(QString()));

    // 3. The stored level.
    const std::int32_t nivelGuardado = ajustes::LeerNivel().valor;

    // 4. Auto-activation, only for exactly "S".
    ChkAuto->setChecked(ajustes::LeerAuto().valor);

    // 5. A first password, when none is set (an administrator's counts).
    if (!cerrojo_.HayClave()) {
        PedirPrimeraClave();
    }

    // 6, 7. The level into the box, and the bar to match it.
    TxtOb0->setText(QString::number(volumen::RecortarNivel(nivelGuardado)));
    HScr->setValue(volumen::NivelAPosicion(TxtOb0->text().toInt()));
    // What the administrator's policy sets goes over them, and cannot be
    // changed in the window.
    emit NivelCargado();

    // 8. Either control starts by itself, or the window shows behind the
    // access check.
    Camino camino = Camino::Acceso;
    if (ChkAuto->isChecked()) {
        // Sized and placed while still in normal state: resizing or moving a
        // minimised window restores it, and it must first map minimised.
        layout()->activate();
        ventana::CentrarEnPantalla(this);
        BtnActivar_Click();
        camino = Camino::Auto;
    } else {
        const bool permitido = cerrojo_.ComprobarAcceso([this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            ventana::CentrarEnPantalla(this);
            TxtOb0->setFocus();
            show();
        });
        if (!permitido) {
            return Camino::Rechazado;
        }
    }

    // 9. The tray icon, last.
    emit Cargada(ChkAuto->isChecked());
    return camino;
}

void CtrlVolFrm::PedirPrimeraClave() {
    for (;;) {
        QInputDialog caja;
        caja.setObjectName(QStringLiteral("NuevaClave"));
        caja.setWindowTitle(QStringLiteral("Nueva Clave de Acceso"));
        caja.setLabelText(QStringLiteral(
            "Introduzca una Clave de Acceso para la configuración de la aplicación"));
        caja.setInputMode(QInputDialog::TextInput);
        caja.setTextEchoMode(QLineEdit::Normal);
        caja.setOkButtonText(QString::fromUtf8(ventana::kTextoAceptar));
        caja.setCancelButtonText(QString::fromUtf8(ventana::kTextoCancelar));
        // The access box takes this many characters; a longer password could
        // never be typed there.
        if (auto* campo = caja.findChild<QLineEdit*>()) {
            campo->setMaxLength(acceso::kLongitudMaximaClave);
        }
        const QString clave = caja.exec() == QDialog::Accepted ? caja.textValue() : QString();

        ajustes::ErrorCifrado error = ajustes::ErrorCifrado::Ninguno;
        const auto cifrada = ajustes::CifrarClave(true, clave, ajustes::kBaseCifrado, &error);
        if (!cifrada) {
            QMessageBox aviso(
                QMessageBox::Information, QString::fromLatin1(version_programa::kTitulo),
                QStringLiteral("La clave contiene caracteres que no se pueden guardar en esa "
                               "posición. Escriba otra clave."),
                QMessageBox::Ok);
            ventana::PrepararCaja(aviso);
            aviso.exec();
            continue;
        }
        cerrojo_.FijarClave(clave);
        if (const auto resultado = ajustes::Escribir(ajustes::kPass, *cifrada); !resultado.ok()) {
            ajustes::AvisarFalloEscritura(nullptr, resultado);
        }
        return;
    }
}

void CtrlVolFrm::MostrarVentanaInicial() {
    // Control started by itself: the window, locked, stays hidden behind the
    // tray icon, or is put away as the desktop allows.
    if (cerrojo_.Bloqueado()) {
        cerrojo_.MostrarPorPrimeraVez();
    }
}

void CtrlVolFrm::BtnActivar_Click() {
    if (cerrojo_.Bloqueado()) {
        return;
    }
    if (BtnActivar->text() == kCaptionActivar) {
        BtnActivar->setText(kCaptionDesactivar);
        ciclo_.Arrancar();
        MenuPrincipal->menuAction()->setEnabled(false);
        cerrojo_.Bloquear();
        emit ControlCambiado(); // the tip, "Funcionando"
    } else {
        ciclo_.Parar();
        MenuPrincipal->menuAction()->setEnabled(true);
        emit ControlCambiado(); // the tip, "Parado"
        BtnActivar->setText(kCaptionActivar);
    }
}

// A screen reader reads the bar's position; the level it sets is what counts.
void CtrlVolFrm::DescribirBarra() {
    HScr->setAccessibleDescription(
        QStringLiteral("Pone el nivel en %1")
            .arg(volumen::PosicionANivel(static_cast<std::int16_t>(HScr->value()))));
}

void CtrlVolFrm::HScr_Change() {
    if (cerrojo_.Bloqueado()) {
        return;
    }
    TxtOb0->setText(
        QString::number(volumen::PosicionANivel(static_cast<std::int16_t>(HScr->value()))));
}

void CtrlVolFrm::TxtOb_GotFocus(int indice) {
    if (indice != 0) {
        return;
    }
    // After a mouse press the caret lands where the click was; select once
    // the press is done.
    QTimer::singleShot(0, TxtOb0, [caja = TxtOb0] {
        if (caja->hasFocus()) {
            caja->selectAll();
        }
    });
    TxtOb0->selectAll();
}

void CtrlVolFrm::TxtOb_KeyPress(int indice, int& codigoCaracter) {
    if (indice != 0) {
        return;
    }
    if ((codigoCaracter >= '0' && codigoCaracter <= '9') || codigoCaracter == kCodigoBorrar) {
        return;
    }
    if (codigoCaracter != kCodigoEnter) {
        codigoCaracter = kCodigoSuprimido;
        return;
    }
    // ENTER confirms the typed level: capped at the top level, then the bar
    // follows it (and rewrites the box as the bar's level when it moves).
    if (TxtOb0->text().isEmpty() || cerrojo_.Bloqueado()) {
        return;
    }
    bool numero = false;
    const int nivel = TxtOb0->text().toInt(&numero);
    // Pasted text that is no level leaves the box and the bar alone.
    if (!numero || nivel < 0) {
        return;
    }
    if (nivel > volumen::kNivelMaximo) {
        TxtOb0->setText(QString::number(volumen::kNivelMaximo));
    }
    HScr->setValue(volumen::NivelAPosicion(TxtOb0->text().toInt()));
}

void CtrlVolFrm::BtnFijar_Click() {
    if (cerrojo_.Bloqueado()) {
        return;
    }
    // What the administrator's policy sets is never saved: it would stay the
    // user's once the policy changed.
    const bool valorImpuesto = ajustes::LeerNivel().Impuesto();
    const bool autoImpuesto = ajustes::LeerAuto().Impuesto();
    if (valorImpuesto && autoImpuesto) {
        QMessageBox caja(QMessageBox::Information, QString::fromLatin1(version_programa::kTitulo),
                         QStringLiteral("El administrador ha fijado el valor y la autoactivación: "
                                        "no queda nada que grabar."),
                         QMessageBox::Ok, this);
        caja.setObjectName(QLatin1String(kAvisoNadaQueGrabar));
        ventana::PrepararCaja(caja);
        caja.exec();
        return;
    }
    ajustes::ResultadoEscritura resultado;
    if (!valorImpuesto) {
        if (TxtOb0->text().isEmpty()) {
            TxtOb0->setText(QStringLiteral("0"));
        }
        resultado = ajustes::Escribir(ajustes::kValor, TxtOb0->text());
    }
    if (resultado.ok() && !autoImpuesto) {
        resultado = ajustes::Escribir(
            ajustes::kAuto, QLatin1String(ChkAuto->isChecked() ? ajustes::kSi : ajustes::kNo));
    }
    if (!resultado.ok()) {
        ajustes::AvisarFalloEscritura(this, resultado);
    }
}

void CtrlVolFrm::BtnSalir_Click() {
    if (cerrojo_.Bloqueado()) {
        return;
    }
    QMessageBox caja(QMessageBox::Information, QString::fromLatin1(version_programa::kTitulo),
                     QStringLiteral("Esto parará la ejecución y dejará de comprobarse el volumen. "
                                    "¿Seguro que desea salir?"),
                     QMessageBox::Yes | QMessageBox::No, this);
    caja.setObjectName(QStringLiteral("ConfirmarSalida"));
    ventana::PrepararCaja(caja);
    caja.setDefaultButton(QMessageBox::Yes);
    if (caja.exec() == QMessageBox::Yes) {
        close();
    }
}

void CtrlVolFrm::MenuItem_Click(int indice) {
    if (cerrojo_.Bloqueado()) {
        return;
    }
    switch (indice) {
    case kMenuConfigurar:
        cerrojo_.ComprobarAcceso([this] {
            ajustes::MostrarParametros(
                this, {cerrojo_.ClaveParaMostrar(), cerrojo_.HayClaveAdministrador(),
                       [this](const QString& nueva) { cerrojo_.FijarClave(nueva); }});
        });
        break;
    case kMenuAcercaDe:
        acerca_de::MostrarAcercaDe();
        break;
    case kMenuSalir:
        BtnSalir->click();
        break;
    default:
        break;
    }
}

void CtrlVolFrm::Form_KeyDown(int codigoTecla, int /*shift*/) {
    if (codigoTecla == kTeclaEscape) {
        cerrojo_.Bloquear();
    }
}

void CtrlVolFrm::Form_Unload() {
    if (descargada_) {
        return;
    }
    descargada_ = true;
    ciclo_.Parar();
    emit Descargada(); // the tray icon goes
    terminar_();
}
