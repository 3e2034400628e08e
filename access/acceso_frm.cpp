#include "access/acceso_frm.h"

#include "access/acceso.h"
#include "look/ventana.h"
#include "version_programa.h"

#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

namespace {

using ventana::RectTwips;
using ventana::Twips;

constexpr int kAnchoClienteTwips = 4365;
constexpr int kAltoClienteTwips = 990;
constexpr QRect kGeometriaLabel1 = RectTwips(285, 135, 1110, 210);
constexpr QRect kGeometriaTxtClave = RectTwips(1545, 84, 2370, 315);
constexpr QRect kGeometriaBtnAceptar = RectTwips(60, 540, 2070, 375);
constexpr QRect kGeometriaBtnCancel = RectTwips(2205, 540, 2070, 375);

constexpr char kFamiliaLetra[] = "Verdana";
constexpr qreal kPuntosEtiquetaYClave = 9.0;
constexpr qreal kPuntosBotones = 9.75;

// What the password box shows in place of each typed character.
constexpr char16_t kCaracterMascara = u'*';

// The wait before an entry is judged counts down on the button, by seconds.
constexpr int kMsPorSegundo = 1000;
QString TextoEspera(int segundos) {
    return QStringLiteral("Espere %1 s").arg(segundos);
}

} // namespace

AccesoFrm::AccesoFrm(acceso::Cerrojo& cerrojo, QWidget* padre)
    : QDialog(padre, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , cerrojo_(cerrojo) {
    setObjectName(QStringLiteral("AccesoFrm"));
    setWindowTitle(QStringLiteral("Introducir la CLAVE de ACCESO"));
    setFixedSize(Twips(kAnchoClienteTwips), Twips(kAltoClienteTwips));
    ventana::PintarFondo(this, ventana::kBlanco);
    ConstruirControles();
    ventana::CentrarEnPantalla(this);
}

void AccesoFrm::ConstruirControles() {
    Label1 = new QLabel(QStringLiteral("Contraseña"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(ventana::Fuente(kFamiliaLetra, kPuntosEtiquetaYClave));
    Label1->setGeometry(kGeometriaLabel1);
    ventana::PintarFondo(Label1, ventana::kAzulClaro);
    Label1->adjustSize();

    TxtClave = new ventana::CajaClave(this);
    TxtClave->setObjectName(QStringLiteral("TxtClave"));
    TxtClave->setFont(ventana::Fuente(kFamiliaLetra, kPuntosEtiquetaYClave));
    TxtClave->setGeometry(kGeometriaTxtClave);
    TxtClave->setMaxLength(acceso::kLongitudMaximaClave);
    TxtClave->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                                .arg(static_cast<int>(kCaracterMascara)));
    Label1->setBuddy(TxtClave); // a screen reader names the box after it

    BtnAceptar = new QPushButton(QString::fromUtf8(ventana::kTextoAceptar), this);
    BtnAceptar->setObjectName(QStringLiteral("BtnAceptar"));
    BtnAceptar->setFont(ventana::Fuente(kFamiliaLetra, kPuntosBotones));
    BtnAceptar->setGeometry(kGeometriaBtnAceptar);
    BtnAceptar->setDefault(true);

    BtnCancel = new QPushButton(QStringLiteral("&Cancelar"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    BtnCancel->setFont(ventana::Fuente(kFamiliaLetra, kPuntosBotones));
    BtnCancel->setGeometry(kGeometriaBtnCancel);

    setTabOrder(TxtClave, BtnAceptar);
    setTabOrder(BtnAceptar, BtnCancel);

    connect(BtnAceptar, &QPushButton::clicked, this, &AccesoFrm::BtnAceptar_Click);
    connect(BtnCancel, &QPushButton::clicked, this, &AccesoFrm::BtnCancel_Click);

    TmrEspera = new QTimer(this);
    TmrEspera->setObjectName(QStringLiteral("TmrEspera"));
    TmrEspera->setInterval(kMsPorSegundo);
    connect(TmrEspera, &QTimer::timeout, this, &AccesoFrm::TmrEspera_Timer);
}

QString AccesoFrm::MensajeClaveNoValida() {
    return QStringLiteral("Contraseña no válida, vuelva a intentarlo.");
}

bool AccesoFrm::Esperando() const {
    return TmrEspera->isActive();
}

void AccesoFrm::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    if (!evento->spontaneous()) {
        ventana::CentrarEnPantalla(this);
        Form_Activate();
        if (QWindow* nativa = windowHandle()) {
            nativa->removeEventFilter(this);
            nativa->installEventFilter(this);
        }
    }
}

bool AccesoFrm::eventFilter(QObject* objeto, QEvent* evento) {
    if (objeto == windowHandle() && evento->type() == QEvent::Expose) {
        if (windowHandle()->isExposed()) {
            expuesto_ = true;
        } else if (expuesto_ && isVisible() &&
                   ventana::EstadoNativa(this) != ventana::Nativa::Presente) {
            // Minimised, unmapped or destroyed by someone else while asking:
            // put away where no way back reaches it, it counts as cancelled,
            // and every way back opens a new one.
            expuesto_ = false;
            BtnCancel_Click();
        }
    }
    return QDialog::eventFilter(objeto, evento);
}

void AccesoFrm::keyPressEvent(QKeyEvent* evento) {
    // Escape presses "Cancelar", as its cancel button.
    if (evento->matches(QKeySequence::Cancel)) {
        BtnCancel->click();
        return;
    }
    QDialog::keyPressEvent(evento);
}

void AccesoFrm::Form_Activate() {
    TxtClave->clear();
    TxtClave->setFocus();
}

void AccesoFrm::BtnAceptar_Click() {
    if (Esperando()) {
        return;
    }
    segundosDeEspera_ = cerrojo_.intentos_.SegundosAntesDeJuzgar();
    if (segundosDeEspera_ == 0) {
        Juzgar();
        return;
    }
    // The entry stays as typed until it is judged; "Cancelar" still works.
    TxtClave->setReadOnly(true);
    BtnAceptar->setEnabled(false);
    MostrarEspera();
    TmrEspera->start();
}

void AccesoFrm::TmrEspera_Timer() {
    if (--segundosDeEspera_ > 0) {
        MostrarEspera();
        return;
    }
    TmrEspera->stop();
    BtnAceptar->setText(QString::fromUtf8(ventana::kTextoAceptar));
    BtnAceptar->setEnabled(true);
    TxtClave->setReadOnly(false);
    Juzgar();
}

void AccesoFrm::MostrarEspera() {
    BtnAceptar->setText(TextoEspera(segundosDeEspera_));
}

void AccesoFrm::Juzgar() {
    const bool correcta = cerrojo_.ClaveCorrecta(TxtClave->text());
    cerrojo_.intentos_.Anotar(correcta);
    if (correcta) {
        cerrojo_.gblnAcceso = true;
        accept();
        return;
    }
    QMessageBox aviso(QMessageBox::NoIcon, QString::fromUtf8(version_programa::kTitulo),
                      MensajeClaveNoValida(), QMessageBox::Ok, this);
    ventana::PrepararCaja(aviso);
    aviso.exec();
    // The wrong entry ends selected whole, caret at its end, so that the next
    // typing replaces it.
    TxtClave->setFocus();
    TxtClave->setSelection(0, static_cast<int>(TxtClave->text().size()));
}

void AccesoFrm::BtnCancel_Click() {
    cerrojo_.gblnAcceso = false;
    reject();
}
