// Answers every access dialog that opens during its life, from inside the
// dialog's own event loop, and counts the dialogs it has seen.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

class ConductorAcceso : public QObject {
public:
    enum class Respuesta { Clave, Cancelar };

    // `alAbrirse` runs first on every dialog, while it is on show. The answer
    // comes `pausaMs` after the dialog showed up, as a person's would.
    explicit ConductorAcceso(Respuesta respuesta, QString clave = {},
                             std::function<void()> alAbrirse = {}, int pausaMs = 0)
        : respuesta_(respuesta)
        , clave_(std::move(clave))
        , alAbrirse_(std::move(alAbrirse))
        , pausaMs_(pausaMs) {
        sondeo_.setInterval(kSondeoMs);
        connect(&sondeo_, &QTimer::timeout, this, &ConductorAcceso::Sondear);
        sondeo_.start();
    }

    int Abiertos() const { return titulos_.size(); }
    // The title of every dialog seen, in order.
    const QStringList& Titulos() const { return titulos_; }
    // Dialogs that lacked the controls to answer them.
    int SinControles() const { return sinControles_; }

private:
    static constexpr int kSondeoMs = 10;

    void Sondear() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == ultimo_.data() || !modal->isVisible()) {
            return;
        }
        ultimo_ = modal;
        titulos_ << modal->windowTitle();
        // Answered from a fresh event, so that a dialog opened from inside the
        // answer is still seen by this poll.
        const QPointer<QWidget> dialogo(modal);
        QTimer::singleShot(pausaMs_, this, [this, dialogo] { Responder(dialogo); });
    }

    void Responder(const QPointer<QWidget>& dialogo) {
        if (alAbrirse_) {
            alAbrirse_();
        }
        if (!dialogo) {
            return;
        }
        auto* caja = dialogo->findChild<QLineEdit*>(QStringLiteral("TxtClave"));
        auto* aceptar = dialogo->findChild<QAbstractButton*>(QStringLiteral("BtnAceptar"));
        auto* cancelar = dialogo->findChild<QAbstractButton*>(QStringLiteral("BtnCancel"));
        if (caja == nullptr || aceptar == nullptr || cancelar == nullptr) {
            ++sinControles_;
            dialogo->close();
            return;
        }
        if (respuesta_ == Respuesta::Clave) {
            QTest::keyClicks(caja, clave_);
            aceptar->click();
        } else {
            cancelar->click();
        }
    }

    Respuesta respuesta_;
    QString clave_;
    std::function<void()> alAbrirse_;
    int pausaMs_;
    QTimer sondeo_;
    QPointer<QWidget> ultimo_;
    QStringList titulos_;
    int sinControles_ = 0;
};
