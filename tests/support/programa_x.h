// Drives the real program, run as its own process (ProgramaEnPrueba) on an
// EscritorioX or in a Wayland session: its settings file, its windows found by
// title, typing into them, its tray icon. Shared by the end-to-end tests of
// the whole program.
#pragma once

#include "support/escritorio_x.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace programa_x {

inline constexpr int kEsperaMs = 15000; // anything the X server, trayer or the program must do
inline const QString kClaseVentana = QStringLiteral("quelvaren");
inline const QString kTituloDelAcceso = QStringLiteral("Introducir la CLAVE de ACCESO");
inline const QString kTituloDeLaPrincipal = QStringLiteral("Quelvaren");

// Polls the condition, running this process's events meanwhile.
bool Esperar(const std::function<bool()>& condicion, int esperaMs = kEsperaMs);

// The raw pa_volume_t that the program writes for a level.
std::uint32_t VolumenDeNivel(std::uint32_t nivel);

// Replaces the settings file with these keys of the group Config.
void Sembrar(const QString& archivo, const QMap<QString, QString>& valores);
QString Leido(const QString& archivo, const QString& clave);

// The first visible top-level window with exactly that title, if any.
std::optional<QString> Ventana(const EscritorioX& x, const QString& titulo);
bool EsperarVentana(const EscritorioX& x, const QString& titulo, int esperaMs = kEsperaMs);
// Gives the window the keyboard focus.
bool Enfocar(const EscritorioX& x, const QString& ventana);
// Types into the window, then presses Enter.
bool Teclear(const EscritorioX& x, const QString& ventana, const QString& texto);
// Presses one key (xdotool's names: "Escape", "alt+s") in the window.
bool Tecla(const EscritorioX& x, const QString& ventana, const QString& tecla);
// Where the program's tray icon is, once a tray host has embedded it.
std::optional<EscritorioX::Geometria> Icono(const EscritorioX& x);
// The way back through an icon: a left click on it, the password typed into
// the access dialog that comes, and the main window on show.
bool VolverPorElIcono(const EscritorioX& x, const EscritorioX::Geometria& icono,
                      const QString& clave);

// The program's own top-level window with exactly that title (not a window
// manager's frame around it), also while it is minimised or hidden.
std::optional<EscritorioX::IdVentana> VentanaDelPrograma(const EscritorioX& x,
                                                         const QString& titulo);

// For cleanup() after a failed case: a screenshot of the desktop named after
// the case, and what its servers wrote.
void DiagnosticarEscritorio(const EscritorioX& x);

// Ties a process about to start to this one: it gets SIGTERM when the test
// ends, also by crashing.
void AtarAlPadre(QProcess& proceso);
// SIGTERM, then SIGKILL if it does not end in time; nothing if it is not running.
void TerminarProceso(QProcess& proceso);

// One run of the program with command-line options that print and end.
struct Ejecucion {
    int codigo = -1;   // the exit code; -1 when it crashed or did not end in time
    QByteArray salida; // standard output
    QByteArray error;  // standard error
};
// Runs `ejecutable` in `entorno` with `entrada` on its standard input, to its end.
Ejecucion EjecutarHastaElFin(const QString& ejecutable, const QStringList& argumentos,
                             const QProcessEnvironment& entorno, const QByteArray& entrada = {});
// `entorno` with no graphical session in it: no X11, no Wayland, no Qt platform.
QProcessEnvironment SinSesionGrafica(QProcessEnvironment entorno);

// The program as a child process of the test, on the desktop that the
// environment given at each start describes (EscritorioX::Entorno(),
// EntornoSni(), a Wayland session's), with a settings folder
// (XDG_CONFIG_HOME) and a runtime folder (XDG_RUNTIME_DIR) of its own.
class ProgramaEnPrueba {
public:
    explicit ProgramaEnPrueba(QString ejecutable);

    // Whether both folders could be made.
    bool Listo() const;
    QString CarpetaAjustes() const { return carpetaAjustes_; }
    QString CarpetaRuntime() const { return runtime_.path(); }
    // A new, empty settings folder for the next starts.
    bool VaciarAjustes();
    // Any other path for XDG_CONFIG_HOME, also one that cannot be made.
    void FijarCarpetaAjustes(const QString& carpeta) { carpetaAjustes_ = carpeta; }
    // The file the program keeps its settings in: its executable's name plus
    // ".conf", in the settings folder.
    QString ArchivoAjustes() const;
    void Sembrar(const QMap<QString, QString>& valores) const;
    QString Leido(const QString& clave) const;

    // `base` plus the two folders.
    QProcessEnvironment Entorno(const QProcessEnvironment& base) const;

    // Starts the program (or `programa` with `argumentos`, which then runs the
    // program itself), keeping all it prints for Salida(). False, saying why,
    // when it does not start.
    [[nodiscard]] bool Lanzar(const QProcessEnvironment& base, const QString& programa = {},
                              const QStringList& argumentos = {});
    // Another process on the same folders, printing to the test's output: a
    // second start, or a copy of the executable under another name.
    [[nodiscard]] bool LanzarOtro(QProcess& otro, const QProcessEnvironment& base,
                                  const QString& programa = {}) const;

    const QProcess& Proceso() const { return proceso_; }
    bool Corre() const { return proceso_.state() == QProcess::Running; }
    // Everything it printed since it started, both channels.
    const QByteArray& Salida();

    // Waits for it to end by itself. True when it ended in order (exit code
    // 0, no crash); otherwise says how it ended.
    [[nodiscard]] bool TerminaEnOrden(int esperaMs = kEsperaMs);
    // Ends it as a desktop session does, by SIGTERM once it handles that
    // signal, and checks as TerminaEnOrden.
    [[nodiscard]] bool Terminar();
    // Ends it at once, if it runs.
    void Matar();
    // For cleanup(): kills it and, when the case failed, prints its output.
    void FinDelCaso();

private:
    QString ejecutable_;
    std::unique_ptr<QTemporaryDir> ajustes_;
    QString carpetaAjustes_;
    QTemporaryDir runtime_;
    QProcess proceso_;
    QByteArray salida_;
};

} // namespace programa_x
