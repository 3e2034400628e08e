// Drives modal dialogs in widget tests: the action runs on the first modal
// widget that shows up, from inside its own event loop.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

// Runs `accion` on the next modal widget that opens and that `acepta` takes,
// polling every `pasoMs`. Gives up silently after `esperaMs`; the test's own
// checks then fail.
inline void AlAbrirseModalQue(std::function<bool(QWidget*)> acepta,
                              std::function<void(QWidget*)> accion, int esperaMs = 10000,
                              int pasoMs = 10) {
    auto* sondeo = new QTimer(qApp);
    auto restante = std::make_shared<int>(esperaMs);
    sondeo->setInterval(pasoMs);
    QObject::connect(sondeo, &QTimer::timeout, [sondeo, acepta, accion, restante, pasoMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible() && acepta(modal)) {
            sondeo->stop();
            sondeo->deleteLater();
            accion(modal);
            return;
        }
        *restante -= pasoMs;
        if (*restante <= 0) {
            sondeo->stop();
            sondeo->deleteLater();
        }
    });
    sondeo->start();
}

// The captions of a box's buttons, sorted.
inline QStringList TextosDeBotones(const QWidget* caja) {
    QStringList textos;
    for (const QPushButton* boton : caja->findChildren<QPushButton*>()) {
        textos << boton->text();
    }
    textos.sort();
    return textos;
}

// Presses a key in a modal box, which must close it; closes it otherwise, so
// that the test goes on to fail rather than hang. An access key with Alt
// reaches its button only in the active window: a box that was not active
// when the key came (the activation is late on a loaded machine) is made
// active, as a window manager makes a new dialog, and gets the key again; a
// key pressed in the active box that leaves it open fails.
inline void PulsarParaCerrar(QWidget* caja, Qt::Key tecla, Qt::KeyboardModifiers modificador,
                             int esperaMs = 2000) {
    for (bool otraVez = true; otraVez;) {
        otraVez = !caja->isActiveWindow();
        QTest::keyClick(caja, tecla, modificador);
        if (QTest::qWaitFor([caja] { return !caja->isVisible(); }, esperaMs)) {
            return;
        }
        if (otraVez) {
            caja->activateWindow();
            otraVez = QTest::qWaitForWindowActive(caja, esperaMs);
        }
    }
    caja->close();
    QFAIL(qPrintable(QStringLiteral("la tecla %1 no cerró la caja").arg(tecla)));
}

// Runs `accion` on the next modal widget that opens (other than `excepto`).
inline void AlAbrirseModal(std::function<void(QWidget*)> accion, QWidget* excepto = nullptr,
                           int esperaMs = 10000) {
    const QPointer<QWidget> ignorar(excepto);
    AlAbrirseModalQue([ignorar](QWidget* modal) { return modal != ignorar.data(); },
                      std::move(accion), esperaMs);
}

// Answers the next access dialog that opens, as a person would: types `clave`
// and presses Aceptar, or presses Cancelar when there is none. The road back
// from the tray, a second start or a locked window's click leads to it.
inline void ResponderAcceso(const std::optional<QString>& clave) {
    AlAbrirseModalQue([](QWidget* w) { return w->objectName() == QLatin1String("AccesoFrm"); },
                      [clave](QWidget* w) {
                          if (clave) {
                              QTest::keyClicks(w->findChild<QLineEdit*>(QStringLiteral("TxtClave")),
                                               *clave);
                              w->findChild<QAbstractButton*>(QStringLiteral("BtnAceptar"))->click();
                          } else {
                              w->findChild<QAbstractButton*>(QStringLiteral("BtnCancel"))->click();
                          }
                      });
}
