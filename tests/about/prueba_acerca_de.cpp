// The About dialog and the program's icon, driven through real widgets.

#include "about/acerca_de.h"
#include "about/acerca_de_frm.h"
#include "look/ventana.h"
#include "support/entorno_prueba.h"
#include "version_programa.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// Private configuration and runtime folders, in place before the application starts.
const EntornoPrueba kEntorno;

// Runs `accion` on the modal widget that is active at the next turn of the
// event loop: inside the nested loop of the dialog that is about to open.
void AlAbrirseModal(std::function<void(QWidget*)> accion) {
    QTimer::singleShot(0, qApp, [accion] { accion(QApplication::activeModalWidget()); });
}

QString Texto(QWidget* dialogo, const char* nombre) {
    const auto* etiqueta = dialogo->findChild<QLabel*>(QString::fromLatin1(nombre));
    return etiqueta != nullptr ? etiqueta->text() : QStringLiteral("<falta %1>").arg(nombre);
}

// The texts the dialog shows, as read while it is open.
struct Textos {
    QString titulo;
    QString lblTitulo;
    QString lblVersion;
    QString lblDescripcion;
    QString lblAutor;
    QString lblEmail;
    bool focoEnAceptar = false;
    bool operator==(const Textos&) const = default;
};

// Opens the dialog as the menu does, reads it and closes it with its button.
Textos AbrirYLeer(bool* abierto) {
    Textos leidos;
    *abierto = false;
    AlAbrirseModal([&leidos, abierto](QWidget* modal) {
        auto* frm = qobject_cast<AcercaDeFrm*>(modal);
        if (frm == nullptr) {
            return;
        }
        *abierto = true;
        leidos.titulo = frm->windowTitle();
        leidos.lblTitulo = Texto(frm, "LblTitulo");
        leidos.lblVersion = Texto(frm, "LblVersion");
        leidos.lblDescripcion = Texto(frm, "LblDescripcion");
        leidos.lblAutor = Texto(frm, "LblAutor");
        leidos.lblEmail = Texto(frm, "LblEmail");
        auto* btnAceptar = frm->findChild<QPushButton*>(QStringLiteral("BtnAceptar"));
        leidos.focoEnAceptar =
            btnAceptar != nullptr && QTest::qWaitForWindowActive(frm) && btnAceptar->hasFocus();
        frm->close();
    });
    acerca_de::MostrarAcercaDe();
    return leidos;
}

int Alfa(const QImage& imagen, QPoint punto) {
    return qAlpha(imagen.pixel(punto));
}

} // namespace

class PruebaAcercaDe : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        while (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    }

    void textosAlAbrir() {
        bool abierto = false;
        const Textos leidos = AbrirYLeer(&abierto);
        QVERIFY(abierto);
        QCOMPARE(leidos.titulo, QStringLiteral("Acerca de Quelvaren"));
        QCOMPARE(leidos.lblTitulo, QStringLiteral("Quelvaren"));
        QCOMPARE(leidos.lblVersion, QStringLiteral("Versión 1.2.0"));
        QVERIFY(!leidos.lblVersion.contains(QString::fromLatin1(version_programa::kCadenaVersion)));
        QCOMPARE(leidos.lblDescripcion,
                 QStringLiteral("Fija el valor del control de volumen para las ondas (wave) de "
                                "windows cada 2 segundos"));
        QCOMPARE(leidos.lblAutor, AcercaDeFrm::TextoAutor());
        QCOMPARE(leidos.lblEmail, AcercaDeFrm::TextoEmail());
        QVERIFY(!leidos.lblAutor.isEmpty());
        // The address the build names, if any; never one made up.
        QCOMPARE(leidos.lblEmail.contains(QLatin1Char('@')), version_programa::kCorreo[0] != '\0');
        QVERIFY(leidos.focoEnAceptar);
    }

    void dosAperturasIguales() {
        bool primeraAbierta = false;
        bool segundaAbierta = false;
        const Textos primera = AbrirYLeer(&primeraAbierta);
        const Textos segunda = AbrirYLeer(&segundaAbierta);
        QVERIFY(primeraAbierta);
        QVERIFY(segundaAbierta);
        QVERIFY(primera == segunda);
        QCOMPARE(segunda.titulo, QStringLiteral("Acerca de Quelvaren"));
    }

    void apariencia() {
        AcercaDeFrm frm;
        // Set by the dialog itself, before any showing could pick one.
        QVERIFY(frm.findChild<QPushButton*>(QStringLiteral("BtnAceptar"))->isDefault());
        frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frm));
        QCOMPARE(frm.objectName(), QStringLiteral("AcercaDeFrm"));
        QCOMPARE(frm.size(), QSize(ventana::Twips(4995), ventana::Twips(3630)));
        QCOMPARE(frm.minimumSize(), frm.maximumSize());
        QVERIFY(!frm.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!frm.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(frm.palette().color(QPalette::Window), ventana::kBlanco);
        QVERIFY(!frm.testAttribute(Qt::WA_SetWindowIcon));

        const QPoint desvio = frm.frameGeometry().center() - frm.screen()->geometry().center();
        constexpr int kToleranciaCentradoPx = 1;
        QVERIFY(desvio.manhattanLength() <= kToleranciaCentradoPx);

        const auto* picIcono = frm.findChild<QLabel*>(QStringLiteral("PicIcono"));
        QVERIFY(picIcono != nullptr);
        constexpr int kLadoIcono = 32;
        QCOMPARE(picIcono->pixmap().size(), QSize(kLadoIcono, kLadoIcono));
        QCOMPARE(picIcono->geometry(), QRect(ventana::RectTwips(240, 168, 480, 480).topLeft(),
                                             QSize(kLadoIcono, kLadoIcono)));

        const auto* btnAceptar = frm.findChild<QPushButton*>(QStringLiteral("BtnAceptar"));
        QVERIFY(btnAceptar != nullptr);
        QCOMPARE(btnAceptar->text(), QStringLiteral("Aceptar"));
        QVERIFY(btnAceptar->isDefault());
        QCOMPARE(btnAceptar->geometry(), ventana::RectTwips(60, 3240, 4905, 348));
    }

    void encabezados_data() {
        QTest::addColumn<int>("indice");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QRect>("geometria");
        QTest::newRow("0") << 0 << "Título de la aplicación"
                           << ventana::RectTwips(870, 165, 1935, 195);
        QTest::newRow("1") << 1 << "Descripción de la aplicación"
                           << ventana::RectTwips(870, 1371, 2430, 195);
        QTest::newRow("2") << 2 << "Desarrollada por" << ventana::RectTwips(870, 2100, 1410, 195);
        QTest::newRow("3") << 3 << "Versión" << ventana::RectTwips(870, 768, 645, 195);
        QTest::newRow("4") << 4 << "e-Mail" << ventana::RectTwips(870, 2700, 525, 195);
    }
    void encabezados() {
        QFETCH(int, indice);
        QFETCH(QString, texto);
        QFETCH(QRect, geometria);
        AcercaDeFrm frm;
        const auto* etiqueta = frm.findChild<QLabel*>(QStringLiteral("Lbls(%1)").arg(indice));
        QVERIFY(etiqueta != nullptr);
        QCOMPARE(etiqueta->text(), texto);
        QVERIFY(etiqueta->font().bold());
        QCOMPARE(etiqueta->pos(), geometria.topLeft());
        QCOMPARE(etiqueta->height(), geometria.height());
        // The design width, or more where the font in use is wider: never clipped.
        QVERIFY(etiqueta->width() >= geometria.width());
        QVERIFY(etiqueta->width() >= etiqueta->fontMetrics().horizontalAdvance(etiqueta->text()));
        QVERIFY(!etiqueta->autoFillBackground() ||
                etiqueta->palette().color(QPalette::Window) == ventana::kBlanco);
    }

    // The value labels stand on light blue; all but the description fit
    // their text, which they show whole.
    void etiquetasDeValor_data() {
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<int>("arribaTwips");
        QTest::newRow("LblTitulo") << "LblTitulo" << 420;
        QTest::newRow("LblVersion") << "LblVersion" << 1035;
        QTest::newRow("LblAutor") << "LblAutor" << 2385;
        QTest::newRow("LblEmail") << "LblEmail" << 2955;
    }
    void etiquetasDeValor() {
        QFETCH(QString, nombre);
        QFETCH(int, arribaTwips);
        AcercaDeFrm frm;
        const auto* etiqueta = frm.findChild<QLabel*>(nombre);
        QVERIFY(etiqueta != nullptr);
        QVERIFY(etiqueta->autoFillBackground());
        QCOMPARE(etiqueta->palette().color(QPalette::Window), ventana::kAzulClaro);
        constexpr int kIzquierdaTwips = 1140;
        QCOMPARE(etiqueta->pos(),
                 QPoint(ventana::Twips(kIzquierdaTwips), ventana::Twips(arribaTwips)));
        QVERIFY(!etiqueta->text().isEmpty() || nombre == QLatin1String("LblEmail"));
        QCOMPARE(etiqueta->size(), etiqueta->sizeHint());
        QVERIFY(etiqueta->width() >= etiqueta->fontMetrics().horizontalAdvance(etiqueta->text()));
    }

    void descripcionAjustadaAlCuadro() {
        AcercaDeFrm frm;
        const auto* descripcion = frm.findChild<QLabel*>(QStringLiteral("LblDescripcion"));
        QVERIFY(descripcion != nullptr);
        QCOMPARE(descripcion->geometry(), ventana::RectTwips(1140, 1635, 3750, 420));
        QCOMPARE(descripcion->minimumSize(), QSize(0, 0)); // not grown to its text
        QVERIFY(descripcion->wordWrap());
        QCOMPARE(descripcion->palette().color(QPalette::Window), ventana::kAzulClaro);
        // Longer than one line of the box, it wraps, and the whole of it fits.
        const QFontMetrics medidas = descripcion->fontMetrics();
        QVERIFY(medidas.horizontalAdvance(descripcion->text()) > descripcion->width());
        const QRect ajustado = medidas.boundingRect(QRect(0, 0, descripcion->width(), 0),
                                                    Qt::TextWordWrap, descripcion->text());
        QVERIFY(ajustado.height() > medidas.height());
        QVERIFY(ajustado.height() <= descripcion->height());
        QVERIFY(ajustado.width() <= descripcion->width());
    }

    // Enter and Escape both close the dialog through its one button, whichever
    // control has the focus.
    void teclasQueCierran_data() {
        QTest::addColumn<int>("tecla");
        QTest::addColumn<bool>("focoEnIcono");
        QTest::newRow("Enter, foco en Aceptar") << int(Qt::Key_Return) << false;
        QTest::newRow("Intro numérico, foco en Aceptar") << int(Qt::Key_Enter) << false;
        QTest::newRow("Escape, foco en Aceptar") << int(Qt::Key_Escape) << false;
        QTest::newRow("Enter, foco en el icono") << int(Qt::Key_Return) << true;
        QTest::newRow("Escape, foco en el icono") << int(Qt::Key_Escape) << true;
    }
    void teclasQueCierran() {
        QFETCH(int, tecla);
        QFETCH(bool, focoEnIcono);
        bool abierto = false;
        bool focoDondeSeQuiere = false;
        bool cerradoPorLaTecla = false;
        int pulsaciones = 0;
        AlAbrirseModal([&](QWidget* modal) {
            auto* frm = qobject_cast<AcercaDeFrm*>(modal);
            if (frm == nullptr) {
                return;
            }
            abierto = true;
            auto* btnAceptar = frm->findChild<QPushButton*>(QStringLiteral("BtnAceptar"));
            if (!QTest::qWaitForWindowActive(frm)) {
                frm->close();
                return;
            }
            connect(btnAceptar, &QPushButton::clicked, [&pulsaciones] { ++pulsaciones; });
            if (focoEnIcono) {
                // Tab order: the button, then the picture.
                QTest::keyClick(btnAceptar, Qt::Key_Tab);
            }
            QWidget* conFoco = QApplication::focusWidget();
            focoDondeSeQuiere =
                conFoco != nullptr &&
                conFoco->objectName() ==
                    (focoEnIcono ? QStringLiteral("PicIcono") : QStringLiteral("BtnAceptar"));
            QTest::keyClick(conFoco != nullptr ? conFoco : frm, static_cast<Qt::Key>(tecla),
                            tecla == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            cerradoPorLaTecla = !frm->isVisible();
            frm->close();
        });
        acerca_de::MostrarAcercaDe();
        QVERIFY(abierto);
        QVERIFY(focoDondeSeQuiere);
        QVERIFY(cerradoPorLaTecla);
        QCOMPARE(pulsaciones, 1);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // Opened without an owner, and gone once closed.
    void sinPropietarioYDescartado() {
        QPointer<QWidget> dialogo;
        bool sinPadre = false;
        AlAbrirseModal([&](QWidget* modal) {
            if (qobject_cast<AcercaDeFrm*>(modal) == nullptr) {
                return;
            }
            dialogo = modal;
            sinPadre = modal->parentWidget() == nullptr;
            modal->close();
        });
        acerca_de::MostrarAcercaDe();
        QVERIFY(sinPadre);
        QVERIFY(dialogo.isNull());
    }

    void iconoPrograma_data() {
        QTest::addColumn<int>("lado");
        QTest::newRow("16") << 16;
        QTest::newRow("22") << 22;
        QTest::newRow("24") << 24;
        QTest::newRow("32") << 32;
        QTest::newRow("48") << 48;
        QTest::newRow("64") << 64;
        QTest::newRow("128") << 128;
        QTest::newRow("256") << 256;
    }
    void iconoPrograma() {
        QFETCH(int, lado);
        const QIcon icono = acerca_de::IconoPrograma();
        QVERIFY(!icono.isNull());
        QVERIFY(icono.availableSizes().contains(QSize(lado, lado)));
        const QImage imagen = icono.pixmap(QSize(lado, lado)).toImage();
        QCOMPARE(imagen.size(), QSize(lado, lado));
        // The drawing: an opaque tile with rounded corners, clear outside them
        // (scaling may leave a trace of colour in the corner pixel).
        QVERIFY(imagen.hasAlphaChannel());
        constexpr int kOpaco = 255;
        constexpr int kCasiTransparente = 8;
        QVERIFY(Alfa(imagen, QPoint(0, 0)) < kCasiTransparente);
        QCOMPARE(Alfa(imagen, QPoint(lado / 2, lado / 2)), kOpaco);
    }
};

QTEST_MAIN(PruebaAcercaDe)
#include "prueba_acerca_de.moc"
