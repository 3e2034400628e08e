// A private X desktop for end-to-end tests: an Xvfb server on a free display,
// a system tray host (trayer) that can come and go, and real mouse input
// through xdotool. Everything it starts is ended by its destructor.
//
// Typical use, before any QApplication exists:
//
//     EscritorioX escritorio;
//     if (!escritorio.Iniciar() || !escritorio.IniciarBandeja()) { ...escritorio.Error()... }
//     escritorio.PrepararEntornoQt();      // this process talks to the new display
//     QApplication aplicacion(argc, argv);
//
// or, for a program under test, QProcess::setProcessEnvironment(escritorio.Entorno()).
#pragma once

#include <QPoint>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <optional>
#include <sys/types.h>

class EscritorioX {
public:
    using IdVentana = std::uint32_t;

    struct Geometria {
        QPoint posicion; // relative to the root window
        QSize tamano;
        QPoint Centro() const { return posicion + QPoint(tamano.width() / 2, tamano.height() / 2); }
    };

    static constexpr int kBotonIzquierdo = 1;
    static constexpr int kBotonCentral = 2;
    static constexpr int kBotonDerecho = 3;
    static constexpr int kEsperaPorDefectoMs = 20000;

    EscritorioX();
    ~EscritorioX();
    EscritorioX(const EscritorioX&) = delete;
    EscritorioX& operator=(const EscritorioX&) = delete;

    // Starts Xvfb on a display it picks itself and waits until it takes
    // connections. False, with the reason in Error(), when it cannot.
    bool Iniciar();
    // ":N" once started.
    QString Display() const;
    QString Error() const { return error_; }
    // What the started servers wrote on their error output, for diagnostics.
    QString Registro() const;

    // Points this process at the display for Qt: DISPLAY, QT_QPA_PLATFORM=xcb,
    // and no session bus (so that Qt uses the XEmbed tray). Call before
    // constructing the QApplication.
    void PrepararEntornoQt() const;
    // The same settings for a child process.
    QProcessEnvironment Entorno() const;

    // Starts trayer at the bottom right of the screen and waits until its
    // panel is on show. False, with Error(), when it does not come up.
    bool IniciarBandeja();
    // Ends trayer (if running) and waits for it to be gone.
    void DetenerBandeja();
    bool BandejaIniciada() const { return bandeja_ > 0; }

    // The window of WM class or instance name `claseWm` (a copy of the
    // program under another name keeps the class and takes its own name as
    // the instance's) that a tray host has embedded (the one
    // whose parent is not the root window); none yet when the icon is not
    // embedded. Does not wait.
    std::optional<IdVentana> IconoIncrustado(const QString& claseWm) const;
    // Waits for it, handling the events of this process's Qt application (if
    // one exists) meanwhile.
    std::optional<IdVentana> EsperarIconoIncrustado(const QString& claseWm,
                                                    int esperaMs = kEsperaPorDefectoMs) const;
    // Where a window is on the screen, in root coordinates.
    std::optional<Geometria> GeometriaVentana(IdVentana ventana) const;
    // Whether the X server has the window mapped and viewable.
    bool VentanaMapeada(IdVentana ventana) const;

    // Real input through the XTEST extension.
    bool Mover(int x, int y) const;
    bool Clic(int x, int y, int boton = kBotonIzquierdo) const;
    bool DobleClic(int x, int y, int boton = kBotonIzquierdo) const;

    // Saves a screenshot of the whole screen (PNG), for diagnosing failures.
    bool CapturarPantalla(const QString& archivo) const;

    // Runs a program against the display and returns its standard output, or
    // nothing when it fails or does not end in time.
    std::optional<QString> Ejecutar(const QString& programa, const QStringList& argumentos) const;

    // A real window manager (openbox): it frames the top-level windows,
    // honours a window that asks to map minimised, and answers
    // _NET_ACTIVE_WINDOW (what a taskbar click asks for) by restoring a
    // minimised window. False, with Error(), when it does not come up.
    bool IniciarGestorVentanas();
    // Ends it (if running) and waits for it to be gone; the windows it framed
    // go back to the root window.
    void DetenerGestorVentanas();
    bool GestorVentanasIniciado() const { return gestor_ > 0; }
    // Whether the window manager keeps the window minimised (ICCCM WM_STATE
    // Iconic).
    bool VentanaIconica(IdVentana ventana) const;
    // Whether a client holds the keyboard grab, so that every key goes to it.
    bool TecladoCapturado() const;

private:
    pid_t Lanzar(const QString& programa, const QStringList& argumentos, int salida,
                 const QString& registro) const;
    static void Terminar(pid_t& proceso);
    QString ArchivoRegistro(const char* nombre) const;

    QTemporaryDir carpeta_;
    pid_t xvfb_ = -1;
    pid_t bandeja_ = -1;
    pid_t gestor_ = -1;
    int numeroDisplay_ = -1;
    QString error_;

public:
    // A StatusNotifierItem host, as most desktops show tray icons: an
    // xfce4-panel holding only its status tray, along the bottom of the
    // screen, on a private session bus of its own (started with the first
    // panel and kept until the end). Its status tray owns
    // org.kde.StatusNotifierWatcher; Qt programs given this bus (EntornoSni())
    // register their tray icon with it instead of using XEmbed.
    //
    // Starts the panel and waits until the watcher is on the bus. False,
    // with Error(), when it does not come up.
    bool IniciarPanelSni();
    // Ends the panel (the bus stays) and waits until the watcher is gone.
    void DetenerPanelSni();
    // The private bus's address; empty before the first panel.
    QString BusSni() const { return busSni_; }
    // Entorno() plus the private bus, for a program that should use the panel.
    QProcessEnvironment EntornoSni() const;
    // The items the watcher has registered ("<bus name>/<object path>").
    QStringList ElementosSni() const;
    // One property of a registered item, as gdbus prints it (e.g.
    // "(<'Quelvaren'>,)"); nothing when the item does not answer.
    std::optional<QString> PropiedadSni(const QString& elemento, const QString& propiedad) const;
    // Where the panel's first tray icon sits (the status tray is its only
    // plugin, at the panel's left end).
    std::optional<Geometria> IconoPanelSni() const;

private:
    std::optional<QString> Gdbus(const QStringList& argumentos) const;
    bool DuenoVigilanteSni() const;

    pid_t busSniProceso_ = -1;
    pid_t panelSni_ = -1;
    QString busSni_;

    // Ends the panel and the bus after everything else.
    struct FinSni {
        EscritorioX* escritorio;
        ~FinSni();
    } finSni_{this};
};
