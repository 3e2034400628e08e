// The settings room: the store (the user's keys, the machine's preset, the
// administrator's policy), read as text or typed with where each value comes
// from, and the password scrambler; its one window, the configuration dialog,
// has a header of its own (settings/parametros_frm.h). It may use the look
// and volume rooms.
#pragma once

#include "volume/salida_volumen.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

namespace ajustes {

// One typed entry per key of the store: its name and the default a read gets
// when the key is missing. Every key lives in the section "Config".
struct Clave {
    const char* nombre;
    const char* porDefecto;
};
inline constexpr char kSeccion[] = "Config";
inline constexpr Clave kPass{"Pass", ""};
inline constexpr Clave kValor{"Valor", "32768"};
inline constexpr Clave kAuto{"Auto", "N"};
inline constexpr Clave kIntervalo{"Intervalo", "30"};
// For those who deploy the program: how the level is held ("Fijo", "Tope",
// "Piso"), whether a notice tells of each change undone ("S"), and which
// output device is held (empty: the default one).
inline constexpr char kModoFijo[] = "Fijo";
inline constexpr char kModoTope[] = "Tope";
inline constexpr char kModoPiso[] = "Piso";
inline constexpr Clave kModo{"Modo", kModoFijo};
inline constexpr Clave kAviso{"Aviso", "N"};
inline constexpr Clave kDispositivo{"Dispositivo", ""};
inline constexpr char kSi[] = "S";
inline constexpr char kNo[] = "N";
// Only in an administrator's policy: the access password's hash, as
// --clave-politica prints it (access/huella_clave.h).
inline constexpr Clave kClavePolitica{"Clave", ""};

// The application name under which the settings live: the running
// executable's file name without its extension, asked afresh at every use.
QString NombreAplicacion();

// Reads a key: the value an administrator's policy sets (below), else the
// user's own value (even an empty text) when the user's store has the key,
// else the value an administrator preset in the machine's store for every
// user, else the key's default. Where the policy sets Valor, Modo and
// Dispositivo come from the policy or are their defaults, never the user's
// or the preset's: they decide what that level means. A store that cannot be
// read counts as absent.
QString Leer(const Clave& clave);
// Where a value read comes from.
enum class Origen { Politica, Usuario, Preajuste, PorDefecto };
struct Lectura {
    QString texto;
    Origen origen;
};
Lectura LeerConOrigen(const Clave& clave);
// How --comprobar names an origin: "política", "usuario", "preajuste", "por
// defecto".
QString NombreOrigen(Origen origen);

// The values the program runs by, typed as it uses them, each with where it
// comes from. Like Leer, every read asks the stores afresh.
template <typename T> struct Leido {
    T valor;
    Origen origen;
    // Set by an administrator's policy: not the user's to change, nor to save.
    bool Impuesto() const { return origen == Origen::Politica; }
};
// Valor as a level; anything that is not a signed 32-bit number reads as the
// default.
Leido<std::int32_t> LeerNivel();
// Auto: control starts by itself, for exactly "S" alone.
Leido<bool> LeerAuto();
// Aviso: a notice by the icon for each change undone, for exactly "S" alone.
Leido<bool> LeerAviso();
// Pass unscrambled, the user's access password (empty for none); nothing
// when the stored form does not unscramble.
Leido<std::optional<QString>> LeerClave();
// Modo and Dispositivo, as the output takes them: "Tope" or "Piso" in any
// case, anything else is "Fijo"; the device's name, trimmed.
volumen::Preferencias LeerPreferencias();

// An administrator's policy, which wins over the user and the preset, on
// Linux the file /etc/quelvaren/politica.conf (group [Config]), on Windows
// the registry key HKEY_LOCAL_MACHINE\Software\Policies\Quelvaren (its
// values, in the 64-bit view). The same for every copy of the program,
// whatever its file name; nothing in the environment moves it. It may set
// Valor, Auto, Modo, Aviso, Dispositivo and Clave. Absent, or not readable:
// no policy. The program only ever reads it.
QString UbicacionPolitica();
// The value the policy sets for a key (an empty Clave sets nothing), or
// nothing.
std::optional<QString> LeerPolitica(const Clave& clave);

// Tells when the policy may have changed while the program runs (a watch on
// the file; a registry notification). A burst of changes gives one signal.
class VigiaPolitica : public QObject {
    Q_OBJECT
public:
    explicit VigiaPolitica(QObject* padre = nullptr);
    ~VigiaPolitica() override;
signals:
    void Cambiada();

private:
    struct Datos;
    std::unique_ptr<Datos> datos_;
};

// What --comprobar finds: every value in force and where it comes from, and
// what would otherwise go wrong unnoticed. The access password, whose hash
// only the access room reads, is the command line's to add.
struct Comprobacion {
    QStringList valores; // one line each
    QStringList avisos;  // the program goes on, and the line says how
    QStringList errores; // the policy cannot be used as it stands
};
// Needs no desktop; asks the audio server for its devices only when a
// Dispositivo is set.
Comprobacion Comprobar();

// The outcome of a write: empty on success, else the reason in Spanish.
struct ResultadoEscritura {
    QString motivo;
    bool ok() const { return motivo.isEmpty(); }
};
// Writes (replaces) a key in the user's store and flushes it at once. The
// machine's store is never written. A failure is the caller's to tell.
ResultadoEscritura Escribir(const Clave& clave, const QString& texto);

// Password scrambler. Every call in the program passes this base.
inline constexpr std::int16_t kBaseCifrado = 19;

enum class ErrorCifrado {
    Ninguno,
    Desbordamiento,    // a length or a sum beyond the signed 16-bit range
    ArgumentoNoValido, // a shifted code outside 0..255, or a character with no single-byte code
};
// modo true scrambles, false unscrambles. On failure returns nothing (never a
// partial text) and, when asked, tells which failure it was.
std::optional<QString> CifrarClave(bool modo, const QString& texto, std::int16_t base,
                                   ErrorCifrado* error = nullptr);

} // namespace ajustes
