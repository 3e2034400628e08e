// The settings room's window: the configuration dialog, the new access
// password asked twice, stored scrambled and put in force at once, and a
// hidden interval row; and the message box of a save that failed.
#pragma once

#include "settings/ajustes.h"

#include <QDialog>
#include <array>
#include <functional>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ajustes {

inline constexpr char kTituloParametros[] = "Configuración de la Aplicación";

// Object names of the dialog's message boxes, for whoever needs to find them.
inline constexpr char kAvisoNoCoincide[] = "AvisoNoCoincide";
inline constexpr char kAvisoClaveNoValida[] = "AvisoClaveNoValida";
inline constexpr char kAvisoDatosActualizados[] = "AvisoDatosActualizados";
inline constexpr char kAvisoClaveImpuesta[] = "AvisoClaveImpuesta";

// How many characters the password fields take by typing.
inline constexpr int kLongitudClaveParametros = 10;

// What the dialog is given of the access password, which the lock keeps.
struct ClaveEnVigor {
    // The user's password, shown masked in both fields; empty for none.
    QString clave;
    // Set by an administrator's policy: nobody's to change here, nor to see.
    bool impuesta = false;
    // Puts a new password in force, once the store holds it.
    std::function<void(const QString&)> poner;
};

// Tells the user, in a message box over `padre`, that a save failed and why.
void AvisarFalloEscritura(QWidget* padre, const ResultadoEscritura& resultado);
// The object name of that message box.
inline constexpr char kAvisoFalloEscritura[] = "AvisoFalloEscritura";

class ParametrosFrm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kNumeroTxts = 3;
    static constexpr int kNumeroLbls = 4;
    // Indexes of the control arrays.
    static constexpr int kTxtClave = 0;
    static constexpr int kTxtRepeticion = 1;
    static constexpr int kTxtIntervalo = 2;
    static constexpr int kLblClave = 0;
    static constexpr int kLblRepeticion = 1;
    static constexpr int kLblIntervalo = 2;
    static constexpr int kLblExplicacion = 3;

    // Builds the dialog and loads it from the password in force and the store.
    explicit ParametrosFrm(ClaveEnVigor clave, QWidget* propietario = nullptr);

    QLineEdit* Txts(int indice) const { return txts_.at(static_cast<std::size_t>(indice)); }
    QLabel* Lbls(int indice) const { return lbls_.at(static_cast<std::size_t>(indice)); }
    QPushButton* BtnGrabar() const { return btnGrabar_; }
    QPushButton* BtnSalir() const { return btnSalir_; }

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void CrearControles();
    void Form_Load();
    void BtnGrabar_Click();
    void BtnSalir_Click();
    // Puts the new password in force.
    void PonerClave(const QString& clave);
    void Txts_GotFocus(int indice);
    void Txts_KeyPress(int indice);
    int IndiceDe(const QObject* objeto) const;
    void Avisar(const char* nombre, const QString& titulo, const QString& texto);

    ClaveEnVigor clave_;
    std::array<QLineEdit*, kNumeroTxts> txts_{};
    std::array<QLabel*, kNumeroLbls> lbls_{};
    QPushButton* btnGrabar_ = nullptr;
    QPushButton* btnSalir_ = nullptr;
    // Per field: the focus left it only because the window lost activation
    // (or a menu opened), so coming back is no new entry into the field.
    std::array<bool, kNumeroTxts> conservarSeleccion_{};
};

// Opens the configuration dialog modally over its owner and waits for it to
// close.
void MostrarParametros(QWidget* propietario, ClaveEnVigor clave);

} // namespace ajustes
