// Reads and drives the real program through the accessibility bus (AT-SPI),
// where nothing can type into its windows or list them (Wayland): a private
// session bus, and tests/support/atspi_programa.py run against it.
//
// Typical use:
//
//     atspi::Bus bus;
//     QVERIFY2(bus.Iniciar(), qPrintable(bus.Error()));
//     programa.setProcessEnvironment(atspi::ConAccesibilidad(entorno, bus.Direccion()));
//     programa.start(...);
//     QVERIFY(atspi::Escribir(bus.Direccion(), QStringLiteral("password text"), clave));
//     QVERIFY(atspi::Pulsar(bus.Direccion(), QStringLiteral("Aceptar")));
//     QVERIFY(atspi::EsperarVentana(bus.Direccion(), QStringLiteral("Quelvaren")));
//
// Controls are named as the script takes them: an AT-SPI role ("push button",
// "password text", "scroll bar") or an accessible name, which for a Qt
// button is its caption without the '&' ("Desactivar Control"). Like a user,
// the script refuses a control that is disabled or hidden; unlike one, it
// reaches a window that a modal dialog blocks.
#pragma once

#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace atspi {

// How long the program, and the control asked for, are waited for.
inline constexpr int kEsperaMs = 15000;

// The script's exit status.
inline constexpr int kHecho = 0;
inline constexpr int kSinAplicacion = 3;
inline constexpr int kSinControl = 4;
inline constexpr int kRechazada = 5;

// A private session bus (dbus-daemon). The accessibility bus starts from it
// by itself when a program asks for it, and ends with it. mutter, which wants
// a session bus, can share it.
class Bus {
public:
    Bus() = default;
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // Starts the bus and waits for its address. False, with the reason in
    // Error(), when it does not come up.
    bool Iniciar();
    // For DBUS_SESSION_BUS_ADDRESS; empty before Iniciar().
    QString Direccion() const { return direccion_; }
    QString Error() const { return error_; }

private:
    QTemporaryDir carpeta_; // its socket and error output, and the accessibility bus's socket
    QProcess proceso_;
    QString direccion_;
    QString error_;
};

// The environment plus what a Qt program needs to register on the
// accessibility bus: this session bus and QT_LINUX_ACCESSIBILITY_ALWAYS_ON.
QProcessEnvironment ConAccesibilidad(QProcessEnvironment entorno, const QString& bus);

struct Resultado {
    int codigo = -1; // the script's exit status; -1 when it did not run or end
    QString salida;
    QString errores;
    bool Hecho() const { return codigo == kHecho; }
};

// Runs the script: its options ("--ventana", "alert") and an order with its
// operands ("pulsar", "Sí"). Runs this process's events meanwhile.
Resultado Ejecutar(const QString& bus, const QStringList& argumentos, int esperaMs = kEsperaMs);

// Presses a button, toggles a check box, triggers a menu item.
bool Pulsar(const QString& bus, const QString& control, int esperaMs = kEsperaMs);
// Replaces the text of an editable box, without key events (as a paste).
bool Escribir(const QString& bus, const QString& control, const QString& texto,
              int esperaMs = kEsperaMs);
// The current value of a slider or scroll bar.
bool FijarValor(const QString& bus, const QString& control, double valor, int esperaMs = kEsperaMs);
std::optional<double> Valor(const QString& bus, const QString& control, int esperaMs = kEsperaMs);
// A control's text; its name when it holds none.
std::optional<QString> Texto(const QString& bus, const QString& control, int esperaMs = kEsperaMs);
// Whether the control, and the window or menu that holds it, is enabled;
// nothing when it is not found.
std::optional<bool> Sensible(const QString& bus, const QString& control, int esperaMs = kEsperaMs);

// The titles of the program's top-level windows (a message box may share the
// main window's); empty when the program is not found.
QStringList Ventanas(const QString& bus, int esperaMs = kEsperaMs);
bool EsperarVentana(const QString& bus, const QString& titulo, int esperaMs = kEsperaMs);

// Every focusable control on show, of every window.
struct Control {
    QString ventana;
    QString rol;
    QString nombre;
};
QList<Control> Controles(const QString& bus, int esperaMs = kEsperaMs);

// Listens on the bus, as a screen reader does, for the program's events of
// some AT-SPI types ("object:text-changed"), until it is destroyed.
class Escucha {
public:
    Escucha() = default;
    ~Escucha();
    Escucha(const Escucha&) = delete;
    Escucha& operator=(const Escucha&) = delete;

    // Starts listening and waits until it does. False when it does not.
    bool Iniciar(const QString& bus, const QStringList& eventos, int esperaMs = kEsperaMs);
    // The data of each event heard so far (a text change's text, a renamed
    // control), in order.
    QStringList Oido();

private:
    QProcess proceso_;
    QString salida_;
};

} // namespace atspi
