// The main window: the level, the switch that starts and stops control, the
// save button, the menu, the start-up sequence and the orderly end.
#pragma once

#include "settings/ajustes.h"
#include "volume/volumen.h"

#include <QMainWindow>
#include <functional>
#include <map>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;

class CtrlVolFrm : public QMainWindow {
    Q_OBJECT
public:
    // How the start-up sequence ended.
    enum class Camino {
        Auto,      // control started by itself; only the tray icon shows
        Acceso,    // the window is shown in normal state
        Rechazado, // the access password was refused: the program ends
    };

    explicit CtrlVolFrm(volumen::SalidaVolumen& salida, QWidget* padre = nullptr);
    ~CtrlVolFrm() override;

    // Readies the output before anything is written: its mode and device from
    // the store. On the auto road, writes the level that the activation will
    // write, as soon as the program starts and before the window is built;
    // the activation in Form_Load then writes the same word again.
    static void AdelantarPrimeraEscritura(volumen::SalidaVolumen& salida);
    // The mode and device the store names (Modo, Dispositivo).
    static volumen::Preferencias PreferenciasGuardadas();
    // Puts the administrator's policy in force, at start and whenever it
    // changes: its access password; its level, held whatever the window
    // shows, and its mode and device, written at once while control runs;
    // its autoactivation. What it sets cannot be changed in the window.
    void AplicarPolitica();
    // The start-up sequence. Runs before the window is first shown.
    Camino Form_Load();
    // Shows the window as the start-up sequence left it: in normal state, or
    // minimised (hidden to the tray, or on the taskbar when no tray shows).
    void MostrarVentanaInicial();

    // Handlers.
    void BtnActivar_Click();
    void BtnFijar_Click();
    void BtnSalir_Click();
    void HScr_Change();
    void TxtOb_GotFocus(int indice);
    void TxtOb_KeyPress(int indice, int& codigoCaracter);
    void MenuItem_Click(int indice);
    // Sees every key meant for the window's controls first; tests watch it.
    virtual void Form_KeyDown(int codigoTecla, int shift);
    void Form_Unload();

    // What ending the program does; tests replace it.
    void EstablecerTerminar(std::function<void()> terminar) { terminar_ = std::move(terminar); }

    const volumen::CicloControl& Ciclo() const { return ciclo_; }

    // The object name of the box that says Grabar has nothing left to save.
    static constexpr char kAvisoNadaQueGrabar[] = "AvisoNadaQueGrabar";

    // Entries of the menu, by their index.
    static constexpr int kMenuConfigurar = 3;
    static constexpr int kMenuSeparador1 = 5;
    static constexpr int kMenuAcercaDe = 9;
    static constexpr int kMenuSeparador2 = 10;
    static constexpr int kMenuSalir = 15;

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    void changeEvent(QEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;

private:
    void DescribirBarra();
    // A change by someone else was undone or limited: the notice, when the
    // store asks for it (Aviso=S).
    void AvisarCorreccion();
    // The output can write the level, or no longer can, and why: the tip
    // says so while control runs and, with Aviso=S, a notice too.
    void CambiarEstadoSalida(volumen::EstadoSalida estado);
    void AvisarEstadoSalida();
    // "Funcionando" (with a second line while the level cannot be written)
    // or "Parado".
    QString TextoTip() const;
    void ConstruirControles();
    void ConstruirMenu();
    void PrepararTeclas();
    void PedirPrimeraClave();
    QString FiltrarTextoNivel(const QString& texto);
    // The level the cycle writes: the policy's, else the box's text, or while
    // the window is locked the one it held when the lock began.
    QString NivelEnVigor() const;
    void Congelar();
    void Descongelar();
    void MostrarMenuNivel(const QPoint& posicionGlobal);

    QGroupBox* FraDatos = nullptr;
    QScrollBar* HScr = nullptr;
    QLineEdit* TxtOb0 = nullptr;
    QLabel* LblOb0 = nullptr;
    QWidget* PicBotones = nullptr;
    QPushButton* BtnActivar = nullptr;
    QCheckBox* ChkAuto = nullptr;
    QPushButton* BtnFijar = nullptr;
    QPushButton* BtnSalir = nullptr;
    QMenu* MenuPrincipal = nullptr;
    std::map<int, QAction*> MenuItem;

    volumen::SalidaVolumen& salida_;
    QString nivelCongelado_;
    int posicionCongelada_ = 0;
    volumen::CicloControl ciclo_;
    // The level the policy sets, as the window shows it; empty for none.
    QString nivelPolitica_;
    ajustes::VigiaPolitica vigiaPolitica_;
    std::function<void()> terminar_;
    volumen::EstadoSalida estadoSalida_ = volumen::EstadoSalida::Escribe;
    volumen::EstadoSalida estadoAvisado_ = volumen::EstadoSalida::Escribe; // by the last notice
    QTimer avisoEstadoPendiente_; // a notice that had to wait for the previous one
    bool descargada_ = false;
    // The level box lost the focus to a menu or another window: it gets it
    // back with its caret and selection as they were.
    bool conservarSeleccionNivel_ = false;
};
