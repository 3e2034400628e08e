#include "about/acerca_de_frm.h"

#include "about/acerca_de.h"
#include "look/ventana.h"
#include "version_programa.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

namespace {

using ventana::RectTwips;
using ventana::Twips;

constexpr int kAnchoClienteTwips = 4995;
constexpr int kAltoClienteTwips = 3630;

// The picture is the program's icon at its standard size.
constexpr int kLadoIconoPx = 32;
constexpr QRect kGeometriaPicIcono = RectTwips(240, 168, 480, 480);

struct Encabezado {
    const char* texto;
    QRect geometria;
    bool textoNegro; // else the system's button-text colour
};
// By index of Lbls.
constexpr std::array<Encabezado, AcercaDeFrm::kNumeroEncabezados> kEncabezados{{
    {"Título de la aplicación", RectTwips(870, 165, 1935, 195), true},
    {"Descripción de la aplicación", RectTwips(870, 1371, 2430, 195), true},
    {"Desarrollada por", RectTwips(870, 2100, 1410, 195), false},
    {"Versión", RectTwips(870, 768, 645, 195), false},
    {"e-Mail", RectTwips(870, 2700, 525, 195), false},
}};

// Value labels sized to their text: their design width is that of the design
// text, so only the position and the height are given.
constexpr int kIzquierdaValoresTwips = 1140;
constexpr int kAltoValorTwips = 195;
constexpr int kArribaTituloTwips = 420;
constexpr int kArribaVersionTwips = 1035;
constexpr int kArribaAutorTwips = 2385;
constexpr int kArribaEmailTwips = 2955;
constexpr QRect kGeometriaLblDescripcion = RectTwips(1140, 1635, 3750, 420);
constexpr QRect kGeometriaBtnAceptar = RectTwips(60, 3240, 4905, 348);

constexpr char kFamiliaEncabezados[] = "MS Sans Serif";
constexpr qreal kPuntosEncabezados = 8.25;

constexpr char kTextoAutor[] = "El equipo de Quelvaren";

// The description's box has a fixed size, room for two lines of the system
// font it was designed with. Where the system font is larger, the label's font
// steps down until the wrapped text fits the box, so that none of it is cut.
constexpr qreal kPasoPuntos = 0.5;
constexpr qreal kPuntosMinimos = 6.0;

bool CabeEnLaEtiqueta(const QLabel* etiqueta, const QFont& letra) {
    const QRect necesario = QFontMetrics(letra).boundingRect(QRect(0, 0, etiqueta->width(), 0),
                                                             Qt::TextWordWrap, etiqueta->text());
    return necesario.height() <= etiqueta->height() && necesario.width() <= etiqueta->width();
}

void EncogerLetraHastaCaber(QLabel* etiqueta) {
    QFont letra = QApplication::font(etiqueta);
    while (!CabeEnLaEtiqueta(etiqueta, letra) &&
           letra.pointSizeF() - kPasoPuntos >= kPuntosMinimos) {
        letra.setPointSizeF(letra.pointSizeF() - kPasoPuntos);
    }
    etiqueta->setFont(letra);
}

// The system's button-text colour, or, where a dark theme makes it light,
// a colour that reads on the label's fixed background.
QColor ColorTextoBotones() {
    return QApplication::palette().color(QPalette::ButtonText);
}

} // namespace

AcercaDeFrm::AcercaDeFrm(QWidget* padre)
    : QDialog(padre, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("AcercaDeFrm"));
    setWindowTitle(QStringLiteral("Acerca de..."));
    setFixedSize(Twips(kAnchoClienteTwips), Twips(kAltoClienteTwips));
    ventana::PintarFondo(this, ventana::kBlanco);
    ConstruirControles();
    Form_Load();
    ventana::CentrarEnPantalla(this);
}

void AcercaDeFrm::ConstruirControles() {
    PicIcono = new QLabel(this);
    PicIcono->setObjectName(QStringLiteral("PicIcono"));
    PicIcono->setGeometry(kGeometriaPicIcono);
    PicIcono->setPixmap(acerca_de::IconoPrograma().pixmap(QSize(kLadoIconoPx, kLadoIconoPx)));
    PicIcono->adjustSize();
    PicIcono->setFocusPolicy(Qt::TabFocus);

    const QFont letraEncabezados =
        ventana::Fuente(kFamiliaEncabezados, kPuntosEncabezados, /*negrita=*/true);
    for (int indice = 0; indice < kNumeroEncabezados; ++indice) {
        const Encabezado& definicion = kEncabezados[static_cast<std::size_t>(indice)];
        auto* etiqueta = new QLabel(QString::fromUtf8(definicion.texto), this);
        etiqueta->setObjectName(QStringLiteral("Lbls(%1)").arg(indice));
        etiqueta->setFont(letraEncabezados);
        // Where the font in use is wider than the design's, the heading grows
        // rather than clip its text.
        QRect geometria = definicion.geometria;
        geometria.setWidth(std::max(geometria.width(), etiqueta->sizeHint().width()));
        etiqueta->setGeometry(geometria);
        ventana::ColorTexto(etiqueta,
                            definicion.textoNegro ? QColor(Qt::black) : ColorTextoBotones(),
                            ventana::kBlanco);
        Lbls[static_cast<std::size_t>(indice)] = etiqueta;
    }

    const auto etiquetaValor = [this](const char* nombre, int arribaTwips) {
        auto* etiqueta = new QLabel(this);
        etiqueta->setObjectName(QString::fromLatin1(nombre));
        etiqueta->setGeometry(Twips(kIzquierdaValoresTwips), Twips(arribaTwips), 0,
                              Twips(kAltoValorTwips));
        ventana::PintarFondo(etiqueta, ventana::kAzulClaro);
        ventana::ColorTexto(etiqueta, ColorTextoBotones(), ventana::kAzulClaro);
        return etiqueta;
    };
    LblTitulo = etiquetaValor("LblTitulo", kArribaTituloTwips);
    LblVersion = etiquetaValor("LblVersion", kArribaVersionTwips);
    LblAutor = etiquetaValor("LblAutor", kArribaAutorTwips);
    LblEmail = etiquetaValor("LblEmail", kArribaEmailTwips);

    LblDescripcion = new QLabel(this);
    LblDescripcion->setObjectName(QStringLiteral("LblDescripcion"));
    LblDescripcion->setGeometry(kGeometriaLblDescripcion);
    LblDescripcion->setWordWrap(true);
    LblDescripcion->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ventana::PintarFondo(LblDescripcion, ventana::kAzulClaro);
    ventana::ColorTexto(LblDescripcion, ColorTextoBotones(), ventana::kAzulClaro);

    LblAutor->setText(TextoAutor());
    LblAutor->adjustSize();
    LblEmail->setText(TextoEmail());
    LblEmail->adjustSize();

    BtnAceptar = new QPushButton(QStringLiteral("Aceptar"), this);
    BtnAceptar->setObjectName(QStringLiteral("BtnAceptar"));
    BtnAceptar->setGeometry(kGeometriaBtnAceptar);
    BtnAceptar->setDefault(true);
    connect(BtnAceptar, &QPushButton::clicked, this, &AcercaDeFrm::BtnAceptar_Click);

    // The button first: it has the focus when the dialog opens.
    setTabOrder(BtnAceptar, PicIcono);
    BtnAceptar->setFocus();
}

QString AcercaDeFrm::TextoAutor() {
    return QString::fromUtf8(kTextoAutor);
}

QString AcercaDeFrm::TextoEmail() {
    return QString::fromUtf8(version_programa::kCorreo);
}

QString AcercaDeFrm::TextoVersion() {
    return QStringLiteral("Versión %1.%2.%3")
        .arg(version_programa::kMayor)
        .arg(version_programa::kMenor)
        .arg(version_programa::kRevision);
}

void AcercaDeFrm::Form_Load() {
    const QString titulo = QString::fromUtf8(version_programa::kTitulo);
    setWindowTitle(QStringLiteral("Acerca de ") + titulo);
    LblTitulo->setText(titulo);
    LblTitulo->adjustSize();
    LblVersion->setText(TextoVersion());
    LblVersion->adjustSize();
    LblDescripcion->setText(QString::fromUtf8(version_programa::kDescripcion));
    EncogerLetraHastaCaber(LblDescripcion);
}

void AcercaDeFrm::BtnAceptar_Click() {
    accept();
}

void AcercaDeFrm::showEvent(QShowEvent* evento) {
    QDialog::showEvent(evento);
    if (!evento->spontaneous()) {
        ventana::CentrarEnPantalla(this);
    }
}

void AcercaDeFrm::keyPressEvent(QKeyEvent* evento) {
    // "Aceptar" is the cancel button too: Escape presses it.
    if (evento->matches(QKeySequence::Cancel)) {
        BtnAceptar->click();
        return;
    }
    QDialog::keyPressEvent(evento);
}
