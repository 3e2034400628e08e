#include "settings/parametros_frm.h"

#include "look/ventana.h"
#include "version_programa.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace ajustes {

namespace {

// The design, in twips, relative to the client area.
struct Geometria {
    int izquierda;
    int arriba;
    int ancho;
    int alto;
    QRect Pixeles() const { return ventana::RectTwips(izquierda, arriba, ancho, alto); }
};
constexpr int kAnchoCliente = 6765;
constexpr int kAltoCliente = 1515;
constexpr Geometria kGeometriaLbls0{120, 165, 1305, 210};
constexpr Geometria kGeometriaTxts0{1515, 120, 1335, 315};
constexpr Geometria kGeometriaLbls1{3240, 165, 2040, 210};
constexpr Geometria kGeometriaTxts1{5370, 120, 1335, 315};
constexpr Geometria kGeometriaLbls3{120, 480, 6585, 450};
constexpr Geometria kGeometriaBtnGrabar{75, 1020, 3225, 450};
constexpr Geometria kGeometriaBtnSalir{3480, 1020, 3225, 450};
// The interval row is never shown; it lies under the explanation.
constexpr Geometria kGeometriaLbls2{120, 480, 6585, 210};
constexpr Geometria kGeometriaTxts2{5370, 480, 1335, 315};

constexpr char kFuente[] = "Verdana";
constexpr int kPuntosFuente = 9;
constexpr int kLongitudIntervalo = 2;
constexpr QChar kCaracterOculto = u'*';
// What the dialog writes under Intervalo, whatever the hidden field holds.
constexpr char kIntervaloGrabado[] = "2";
// What the dialog says when an administrator's policy sets the password.
const QString kClaveImpuesta =
    QStringLiteral("La clave de acceso la ha fijado el administrador; no se puede cambiar aquí.");

// Masks every character of a password field with an asterisk, whatever the
// platform's style would use.
class EstiloClave : public QProxyStyle {
public:
    int styleHint(StyleHint consejo, const QStyleOption* opcion, const QWidget* control,
                  QStyleHintReturn* respuesta) const override {
        if (consejo == SH_LineEdit_PasswordCharacter) {
            return kCaracterOculto.unicode();
        }
        return QProxyStyle::styleHint(consejo, opcion, control, respuesta);
    }
};

QString NombreIndexado(const char* nombre, int indice) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(nombre)).arg(indice);
}

// Keys that type into a field: those that carry a character (Backspace and
// control combinations included), but not the ones that move the focus or
// belong to the dialog's default and cancel buttons.
bool EsTeclaEscrita(const QKeyEvent& tecla) {
    switch (tecla.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        return !tecla.text().isEmpty();
    }
}

// The smallest prefix of `clave` that cannot be scrambled. Once a prefix
// fails, every longer one fails too, so a bisection finds it.
qsizetype PrimeraPosicionNoCifrable(const QString& clave) {
    qsizetype pasa = 0;
    qsizetype falla = clave.size();
    while (falla - pasa > 1) {
        const qsizetype medio = pasa + (falla - pasa) / 2;
        if (CifrarClave(true, clave.left(medio), kBaseCifrado)) {
            pasa = medio;
        } else {
            falla = medio;
        }
    }
    return falla;
}

// Names the position that cannot be stored, never the character there: the
// password is typed masked and must not show up in clear in a message box.
QString MotivoClaveNoValida(const QString& clave, ErrorCifrado error) {
    if (error == ErrorCifrado::Desbordamiento) {
        return QStringLiteral("La palabra clave es demasiado larga para guardarla.");
    }
    return QStringLiteral("La palabra clave no se puede guardar: el carácter de la posición %1 "
                          "no está permitido en ese lugar.\nElija otra palabra clave.")
        .arg(PrimeraPosicionNoCifrable(clave));
}

} // namespace

ParametrosFrm::ParametrosFrm(ClaveEnVigor clave, QWidget* propietario)
    : QDialog(propietario, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                               Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint)
    , clave_(std::move(clave)) {
    setObjectName(QStringLiteral("ParametrosFrm"));
    setWindowTitle(QString::fromUtf8(kTituloParametros));
    setFixedSize(ventana::Twips(kAnchoCliente), ventana::Twips(kAltoCliente));
    setFont(ventana::Fuente(kFuente, kPuntosFuente));
    ventana::PintarFondo(this, ventana::kBlanco);

    CrearControles();
    Form_Load();
    // The lowest tab index holds the focus when the dialog opens.
    Txts(kTxtClave)->setFocus(Qt::OtherFocusReason);
}

void ParametrosFrm::CrearControles() {
    auto* estiloClave = new EstiloClave;
    estiloClave->setParent(this);

    const auto crearEtiqueta = [this](int indice, const QString& texto, const Geometria& sitio) {
        auto* etiqueta = new QLabel(texto, this);
        etiqueta->setObjectName(NombreIndexado("Lbls", indice));
        etiqueta->setGeometry(sitio.Pixeles());
        ventana::PintarFondo(etiqueta, ventana::kAzulClaro);
        lbls_.at(static_cast<std::size_t>(indice)) = etiqueta;
        return etiqueta;
    };
    // The password fields are password boxes: their characters reach no
    // other program.
    const auto crearCampo = [this](int indice, const Geometria& sitio, bool clave = false) {
        QLineEdit* campo = clave ? new ventana::CajaClave(this) : new QLineEdit(this);
        campo->setObjectName(NombreIndexado("Txts", indice));
        campo->setGeometry(sitio.Pixeles());
        // The system's tool-tip colours, background and text together.
        const QPalette sistema = QApplication::palette();
        QPalette colores = campo->palette();
        colores.setColor(QPalette::Base, sistema.color(QPalette::ToolTipBase));
        colores.setColor(QPalette::Text, sistema.color(QPalette::ToolTipText));
        campo->setPalette(colores);
        campo->installEventFilter(this);
        txts_.at(static_cast<std::size_t>(indice)) = campo;
        return campo;
    };

    QLabel* lblClave = crearEtiqueta(kLblClave, QStringLiteral("Palabra Clave"), kGeometriaLbls0);
    lblClave->adjustSize();
    QLineEdit* clave = crearCampo(kTxtClave, kGeometriaTxts0, true);
    lblClave->setBuddy(clave); // a screen reader names each box after its label
    clave->setToolTip(QStringLiteral("La clave que aquí se escriba se empleará para acceder a "
                                     "la pantalla de configuración"));

    QLabel* lblRepeticion =
        crearEtiqueta(kLblRepeticion, QStringLiteral("Repetir Palabra Clave"), kGeometriaLbls1);
    lblRepeticion->adjustSize();
    lblRepeticion->setEnabled(false);
    QLineEdit* repeticion = crearCampo(kTxtRepeticion, kGeometriaTxts1, true);
    lblRepeticion->setBuddy(repeticion);
    repeticion->setToolTip(QStringLiteral("Debe coincidir con la palabra clave"));
    repeticion->setEnabled(false);

    for (QLineEdit* campo : {clave, repeticion}) {
        campo->setStyle(estiloClave);
        // A password in force longer than the typing limit is shown whole (see
        // Form_Load); once the field holds no more than the limit, the limit
        // applies for good.
        connect(campo, &QLineEdit::textChanged, campo, [campo] {
            if (campo->text().size() <= kLongitudClaveParametros) {
                campo->setMaxLength(kLongitudClaveParametros);
            }
        });
    }

    QLabel* explicacion = crearEtiqueta(
        kLblExplicacion,
        QStringLiteral("Esta clave sirve para poder acceder al formulario principal cuando el "
                       "programa está minimizado en el tray"),
        kGeometriaLbls3);
    explicacion->setAlignment(Qt::AlignCenter);
    explicacion->setWordWrap(true);

    QLabel* lblIntervalo = crearEtiqueta(
        kLblIntervalo, QStringLiteral("Intervalo de segundos entre cada comprobación (1 - 60)"),
        kGeometriaLbls2);
    lblIntervalo->adjustSize();
    lblIntervalo->hide();
    QLineEdit* intervalo = crearCampo(kTxtIntervalo, kGeometriaTxts2);
    intervalo->setFocusPolicy(Qt::NoFocus);
    intervalo->hide();

    btnGrabar_ = new QPushButton(QStringLiteral("&Grabar"), this);
    btnGrabar_->setObjectName(QStringLiteral("BtnGrabar"));
    btnGrabar_->setGeometry(kGeometriaBtnGrabar.Pixeles());
    btnGrabar_->setDefault(true);
    connect(btnGrabar_, &QPushButton::clicked, this, &ParametrosFrm::BtnGrabar_Click);

    btnSalir_ = new QPushButton(QStringLiteral("&Salir"), this);
    btnSalir_->setObjectName(QStringLiteral("BtnSalir"));
    btnSalir_->setGeometry(kGeometriaBtnSalir.Pixeles());
    connect(btnSalir_, &QPushButton::clicked, this, &ParametrosFrm::BtnSalir_Click);

    // Escape and the close box reach reject(), which closes without saving,
    // the same as "Salir".
    setTabOrder(clave, repeticion);
    setTabOrder(repeticion, intervalo);
    setTabOrder(intervalo, btnGrabar_);
    setTabOrder(btnGrabar_, btnSalir_);
}

void ParametrosFrm::Form_Load() {
    // The first-start prompt takes longer passwords than these fields do.
    // Such a password in force is shown whole, not cut to the limit, so that
    // "Grabar" pressed without typing stores the same password again: the
    // fields' limit starts at the longer of the two lengths.
    const int limiteClave =
        static_cast<int>(std::max<qsizetype>(kLongitudClaveParametros, clave_.clave.size()));
    for (const int indice : {kTxtClave, kTxtRepeticion}) {
        Txts(indice)->setMaxLength(limiteClave);
        Txts(indice)->setText(clave_.clave);
    }
    // The administrator's password is nobody's to change, nor to see.
    if (clave_.impuesta) {
        for (const int indice : {kTxtClave, kTxtRepeticion}) {
            Txts(indice)->clear();
            Txts(indice)->setEnabled(false);
            Txts(indice)->setToolTip(kClaveImpuesta);
        }
    }
    // Nothing uses the interval field; it shows what is stored, unchanged.
    const QString intervalo = Leer(kIntervalo);
    Txts(kTxtIntervalo)
        ->setMaxLength(static_cast<int>(std::max<qsizetype>(kLongitudIntervalo, intervalo.size())));
    Txts(kTxtIntervalo)->setText(intervalo);
}

void ParametrosFrm::BtnGrabar_Click() {
    if (clave_.impuesta) {
        Avisar(kAvisoClaveImpuesta, QString::fromUtf8(kTituloParametros), kClaveImpuesta);
        return;
    }
    const QString clave = Txts(kTxtClave)->text();
    if (Txts(kTxtRepeticion)->text() != clave) {
        Avisar(kAvisoNoCoincide, QString::fromUtf8(version_programa::kTitulo),
               QStringLiteral("La palabra clave no coincide con la repetición."));
        return;
    }

    // A password that cannot be scrambled is turned down before anything is
    // written: the store and the password in force stay as they were.
    ErrorCifrado error = ErrorCifrado::Ninguno;
    const std::optional<QString> cifrada = CifrarClave(true, clave, kBaseCifrado, &error);
    if (!cifrada) {
        Avisar(kAvisoClaveNoValida, QString::fromUtf8(version_programa::kTitulo),
               MotivoClaveNoValida(clave, error));
        return;
    }

    const QString passAnterior = Leer(kPass);
    ResultadoEscritura resultado = Escribir(kPass, *cifrada);
    if (resultado.ok()) {
        resultado = Escribir(kIntervalo, QLatin1String(kIntervaloGrabado));
        if (!resultado.ok()) {
            // The password must not change in the store while the one in
            // force stays the old one: the stored one is put back.
            if (!Escribir(kPass, passAnterior).ok()) {
                // It could not be put back: the store keeps the new password,
                // so the new one is in force, as it will be at the next start,
                // and the user is told so.
                PonerClave(clave);
                resultado.motivo += QStringLiteral(
                    "\nLa palabra clave sí se ha cambiado: desde ahora vale la nueva.");
            }
        }
    }
    if (!resultado.ok()) {
        AvisarFalloEscritura(this, resultado);
        return;
    }

    PonerClave(clave);
    Avisar(kAvisoDatosActualizados, QString::fromUtf8(kTituloParametros),
           QStringLiteral("Datos actualizados."));
    accept();
}

void ParametrosFrm::PonerClave(const QString& clave) {
    if (clave_.poner) {
        clave_.poner(clave);
    }
}

void ParametrosFrm::BtnSalir_Click() {
    reject();
}

void ParametrosFrm::Txts_GotFocus(int indice) {
    // Deferred: a click that brings the focus would otherwise place the cursor
    // right after, undoing the selection.
    QLineEdit* campo = Txts(indice);
    QTimer::singleShot(0, campo, &QLineEdit::selectAll);
}

void ParametrosFrm::Txts_KeyPress(int indice) {
    if (indice == kTxtClave) {
        Lbls(kLblRepeticion)->setEnabled(true);
        Txts(kTxtRepeticion)->setEnabled(true);
    }
}

int ParametrosFrm::IndiceDe(const QObject* objeto) const {
    const auto encontrado = std::find(txts_.begin(), txts_.end(), objeto);
    return encontrado == txts_.end() ? -1 : static_cast<int>(encontrado - txts_.begin());
}

bool ParametrosFrm::eventFilter(QObject* objeto, QEvent* evento) {
    const int indice = IndiceDe(objeto);
    if (indice < 0) {
        return QDialog::eventFilter(objeto, evento);
    }
    bool& conservar = conservarSeleccion_.at(static_cast<std::size_t>(indice));
    switch (evento->type()) {
    case QEvent::FocusIn:
        if (conservar) {
            conservar = false;
        } else {
            Txts_GotFocus(indice);
        }
        break;
    case QEvent::FocusOut: {
        const Qt::FocusReason motivo = static_cast<QFocusEvent*>(evento)->reason();
        conservar = motivo == Qt::ActiveWindowFocusReason || motivo == Qt::PopupFocusReason;
        break;
    }
    case QEvent::KeyPress:
        if (EsTeclaEscrita(*static_cast<QKeyEvent*>(evento))) {
            Txts_KeyPress(indice);
        }
        break;
    default:
        break;
    }
    // The event goes on to the field unchanged.
    return false;
}

void ParametrosFrm::Avisar(const char* nombre, const QString& titulo, const QString& texto) {
    QMessageBox caja(QMessageBox::Information, titulo, texto, QMessageBox::Ok, this);
    ventana::PrepararCaja(caja);
    caja.setObjectName(QLatin1String(nombre));
    caja.setTextInteractionFlags(Qt::TextSelectableByMouse);
    caja.exec();
}

void MostrarParametros(QWidget* propietario, ClaveEnVigor clave) {
    ParametrosFrm dialogo(std::move(clave), propietario);
    dialogo.exec();
}

void AvisarFalloEscritura(QWidget* padre, const ResultadoEscritura& resultado) {
    QMessageBox caja(QMessageBox::Information, QString::fromUtf8(version_programa::kTitulo),
                     QStringLiteral("No se pudo guardar la configuración.\n") + resultado.motivo,
                     QMessageBox::Ok, padre);
    ventana::PrepararCaja(caja);
    caja.setObjectName(QLatin1String(kAvisoFalloEscritura));
    // The reason names a file or a folder: the user can select it and copy it.
    caja.setTextInteractionFlags(Qt::TextSelectableByMouse);
    caja.exec();
}

} // namespace ajustes
