// The access dialog: asks for the access password and compares it with the
// one in force (gstrClave). A correct entry sets gblnAcceso and closes it.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class AccesoFrm : public QDialog {
    Q_OBJECT
public:
    explicit AccesoFrm(QWidget* padre = nullptr);

    // Handlers.
    void Form_Activate();
    void BtnAceptar_Click();
    void BtnCancel_Click();

    // The message of a wrong entry.
    static QString MensajeClaveNoValida();

protected:
    void showEvent(QShowEvent* evento) override;
    void keyPressEvent(QKeyEvent* evento) override;

private:
    void ConstruirControles();

    QLabel* Label1 = nullptr;
    QLineEdit* TxtClave = nullptr;
    QPushButton* BtnAceptar = nullptr;
    QPushButton* BtnCancel = nullptr;
};
