// Drives modal dialogs in widget tests: the action runs on the first modal
// widget that shows up, from inside its own event loop.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs `accion` on the next modal widget that opens (other than `excepto`).
// Gives up silently after `esperaMs`; the test's own checks then fail.
inline void AlAbrirseModal(std::function<void(QWidget*)> accion, QWidget* excepto = nullptr,
                           int esperaMs = 10000) {
    auto* sondeo = new QTimer(qApp);
    const QPointer<QWidget> ignorar(excepto);
    auto restante = std::make_shared<int>(esperaMs);
    constexpr int kPasoMs = 10;
    sondeo->setInterval(kPasoMs);
    QObject::connect(sondeo, &QTimer::timeout, [sondeo, accion, ignorar, restante] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != ignorar.data() && modal->isVisible()) {
            sondeo->stop();
            sondeo->deleteLater();
            accion(modal);
            return;
        }
        *restante -= kPasoMs;
        if (*restante <= 0) {
            sondeo->stop();
            sondeo->deleteLater();
        }
    });
    sondeo->start();
}
