// The access dialog: asks for the access password and has its lock judge it
// against the one in force. A correct entry grants access (the lock's
// gblnAcceso) and closes it.
// After a few wrong entries in a row each entry waits a while, shown on the
// "Aceptar" button, before it is judged. Put away from outside (its window
// unmapped or destroyed by another program), it counts as cancelled.
#pragma once

#include <QDialog>

namespace acceso {
class Cerrojo;
}
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class AccesoFrm : public QDialog {
    Q_OBJECT
public:
    explicit AccesoFrm(acceso::Cerrojo& cerrojo, QWidget* padre = nullptr);

    // Handlers.
    void Form_Activate();
    void BtnAceptar_Click();
    void BtnCancel_Click();
    // One second of the wait before an entry is judged.
    void TmrEspera_Timer();

    // The message of a wrong entry.
    static QString MensajeClaveNoValida();
    // Whether an entry is waiting to be judged.
    bool Esperando() const;

protected:
    void showEvent(QShowEvent* evento) override;
    void keyPressEvent(QKeyEvent* evento) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void ConstruirControles();
    void Juzgar();
    void MostrarEspera();

    acceso::Cerrojo& cerrojo_;
    QLabel* Label1 = nullptr;
    QLineEdit* TxtClave = nullptr;
    QPushButton* BtnAceptar = nullptr;
    QPushButton* BtnCancel = nullptr;
    QTimer* TmrEspera = nullptr;
    int segundosDeEspera_ = 0;
    // Its window has been on screen: leaving the screen now is no first show.
    bool expuesto_ = false;
};
