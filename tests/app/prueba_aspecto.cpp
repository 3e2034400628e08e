// The look of the windows: each opens centred on the screen, and the
// program's own boxes and menus speak Spanish whatever language Qt speaks.

#include "about/acerca_de.h"
#include "access/acceso.h"
#include "app/ctrl_vol_frm.h"
#include "app/traduccion.h"
#include "settings/ajustes.h"
#include "support/dialogos.h"
#include "support/entorno_prueba.h"
#include "support/salida_grabadora.h"
#include "tray/bandeja.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <memory>

namespace {

constexpr int kHolguraPx = 3;

// Whether a window's centre, frame included, is the screen's.
bool Centrada(const QWidget* ventana) {
    const QPoint desvio =
        ventana->frameGeometry().center() - ventana->screen()->geometry().center();
    return qAbs(desvio.x()) <= kHolguraPx && qAbs(desvio.y()) <= kHolguraPx;
}

QStringList TextosBotones(const QWidget* caja) {
    QStringList textos;
    for (const QPushButton* boton : caja->findChildren<QPushButton*>()) {
        textos << boton->text();
    }
    textos.sort();
    return textos;
}

// Presses a key in a modal box, which must close it; closes it otherwise, so
// that the test goes on to fail rather than hang.
void PulsarParaCerrar(QWidget* caja, Qt::Key tecla, Qt::KeyboardModifiers modificador) {
    constexpr int kEsperaMs = 2000;
    QTest::keyClick(caja, tecla, modificador);
    if (!QTest::qWaitFor([caja] { return !caja->isVisible(); }, kEsperaMs)) {
        caja->close();
        QFAIL(qPrintable(QStringLiteral("la tecla %1 no cerró la caja").arg(tecla)));
    }
}

} // namespace

class PruebaAspecto : public QObject {
    Q_OBJECT

    EntornoPrueba entorno_;
    SalidaGrabadora salida_;
    std::unique_ptr<CtrlVolFrm> ventana_;
    int terminaciones_ = 0;

    // The first start on an empty store, its first-password box handed to
    // `primeraClave`.
    void Arrancar(std::function<void(QInputDialog*)> primeraClave) {
        AlAbrirseModal(
            [primeraClave](QWidget* w) { primeraClave(qobject_cast<QInputDialog*>(w)); });
        QCOMPARE(ventana_->Form_Load(), CtrlVolFrm::Camino::Acceso);
        QVERIFY(QTest::qWaitForWindowExposed(ventana_.get()));
    }
    // Opens the next modal window and records whether it opened centred.
    void AlAbrirseComprobarCentro(bool& centrada) {
        centrada = false;
        AlAbrirseModal([&centrada](QWidget* w) {
            centrada = Centrada(w);
            w->close();
        });
    }

private slots:
    void init() {
        entorno_.Vaciar();
        gstrClave.clear();
        gblnAcceso = false;
        bandeja::gNid = {};
        terminaciones_ = 0;
        ventana_ = std::make_unique<CtrlVolFrm>(salida_);
        ventana_->EstablecerTerminar([this] { ++terminaciones_; });
    }
    void cleanup() {
        bandeja::QuitarIcono(ventana_.get());
        ventana_.reset();
        bandeja::gNid = {};
    }

    void ventanasCentradas() {
        bool centrada = false;
        Arrancar([&centrada](QInputDialog* caja) {
            centrada = Centrada(caja);
            caja->reject();
        });
        QVERIFY2(centrada, "caja de la primera clave");
        QVERIFY2(Centrada(ventana_.get()), "ventana principal");

        AlAbrirseComprobarCentro(centrada);
        ajustes::MostrarParametros(ventana_.get());
        QVERIFY2(centrada, "configuración");

        AlAbrirseComprobarCentro(centrada);
        acerca_de::MostrarAcercaDe();
        QVERIFY2(centrada, "acerca de");

        gstrClave = QStringLiteral("abc");
        AlAbrirseComprobarCentro(centrada);
        acceso::ComprobarAcceso();
        QVERIFY2(centrada, "acceso");

        AlAbrirseComprobarCentro(centrada);
        ventana_->BtnSalir_Click();
        QVERIFY2(centrada, "confirmación de salida");
    }

    void textosEnEspanol() {
        // The first-password box: Alt+A accepts what was typed.
        QStringList botones;
        Arrancar([&botones](QInputDialog* caja) {
            botones = TextosBotones(caja);
            caja->setTextValue(QStringLiteral("abc"));
            AlAbrirseModal(
                [](QWidget* acceso) {
                    acceso->findChild<QLineEdit*>(QStringLiteral("TxtClave"))
                        ->setText(QStringLiteral("abc"));
                    acceso->findChild<QPushButton*>(QStringLiteral("BtnAceptar"))->click();
                },
                caja);
            PulsarParaCerrar(caja, Qt::Key_A, Qt::AltModifier);
        });
        QCOMPARE(botones, (QStringList{"&Aceptar", "&Cancelar"}));
        QCOMPARE(gstrClave, QStringLiteral("abc"));

        // The exit box: Alt+N declines, a plain S confirms.
        for (const auto& [tecla, modificador] :
             {std::pair{Qt::Key_N, Qt::AltModifier}, std::pair{Qt::Key_S, Qt::NoModifier}}) {
            AlAbrirseModal([&botones, tecla, modificador](QWidget* caja) {
                botones = TextosBotones(caja);
                PulsarParaCerrar(caja, tecla, modificador);
            });
            ventana_->BtnSalir_Click();
            QCOMPARE(botones, (QStringList{"&No", "&Sí"}));
        }
        QCOMPARE(terminaciones_, 1);

        // The level box's context menu.
        auto* nivel = ventana_->findChild<QLineEdit*>(QStringLiteral("TxtOb(0)"));
        nivel->deselect();
        const QPoint punto(1, 1);
        QContextMenuEvent pedido(QContextMenuEvent::Mouse, punto, nivel->mapToGlobal(punto));
        QApplication::sendEvent(nivel, &pedido);
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
        QCOMPARE(nivel->selectedText(), nivel->text());
        menu->close();

        // Qt's own texts, once its Spanish translation is in.
        QVERIFY(CargarTraduccionQt());
        QDialogButtonBox estandar(QDialogButtonBox::Cancel);
        QCOMPARE(estandar.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
    }
};

QTEST_MAIN(PruebaAspecto)
#include "prueba_aspecto.moc"
