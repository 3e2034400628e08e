// The app room: the main window (this header), the controller around it
// (app/controlador.h), the start-up and the command line. It may use every
// other room.
//
// The main window: the level, the switch that starts and stops control, the
// save button, the menu, the start-up sequence and the orderly end. It asks
// the lock (access/acceso.h) before anything changes, and its signals tell
// the controller what is not a window's to do: the tray icon and its tip, the
// administrator's policy.
#pragma once

#include "access/acceso.h"
#include "volume/volumen.h"

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

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

    // `cerrojo` guards the window; the controller has it do so.
    CtrlVolFrm(volumen::SalidaVolumen& salida, acceso::Cerrojo& cerrojo, QWidget* padre = nullptr);

    // The level text that the box holds once the start-up sequence has put a
    // stored level into it and moved the bar to match: the bar rewrites the
    // box only when its position moves from where it starts.
    static QString TextoNivelInicial(std::int32_t nivelGuardado);
    // Shows what an administrator's policy sets (nothing: it sets none): its
    // level, held whatever the window shows, and its autoactivation. Neither
    // can be changed in the window.
    void MostrarPolitica(std::optional<std::int32_t> nivel, std::optional<bool> autoactivar);
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
    volumen::CicloControl& Ciclo() { return ciclo_; }
    // The level the cycle writes: the policy's, else the box's text, or while
    // the window is locked the one it held when the lock began.
    QString NivelEnVigor() const;

    // The object name of the box that says Grabar has nothing left to save.
    static constexpr char kAvisoNadaQueGrabar[] = "AvisoNadaQueGrabar";

    // Entries of the menu, by their index.
    static constexpr int kMenuConfigurar = 3;
    static constexpr int kMenuSeparador1 = 5;
    static constexpr int kMenuAcercaDe = 9;
    static constexpr int kMenuSeparador2 = 10;
    static constexpr int kMenuSalir = 15;

signals:
    // The stored level is in the box and the bar: what an administrator's
    // policy sets goes over it now.
    void NivelCargado();
    // Control was started or stopped.
    void ControlCambiado();
    // The start-up sequence is over but for its last act, the tray icon.
    // `autoActivado`: control started by itself.
    void Cargada(bool autoActivado);
    // The window is unloading: the timer is stopped, the program ends next.
    void Descargada();

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    void changeEvent(QEvent* evento) override;
    void closeEvent(QCloseEvent* evento) override;

private:
    void DescribirBarra();
    void ConstruirControles();
    void ConstruirMenu();
    void PrepararTeclas();
    void PedirPrimeraClave();
    QString FiltrarTextoNivel(const QString& texto);
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

    acceso::Cerrojo& cerrojo_;
    QString nivelCongelado_;
    int posicionCongelada_ = 0;
    volumen::CicloControl ciclo_;
    // The level the policy sets, as the window shows it; empty for none.
    QString nivelPolitica_;
    std::function<void()> terminar_;
    bool descargada_ = false;
    // The level box lost the focus to a menu or another window: it gets it
    // back with its caret and selection as they were.
    bool conservarSeleccionNivel_ = false;
};
