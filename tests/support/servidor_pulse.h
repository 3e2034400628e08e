// A private audio server for tests that speaks the pulse protocol: its own
// folders, cookie and socket in a temporary folder, one null sink named "nul"
// as the default sink. The test process is pointed at it through the
// environment (PULSE_SERVER and friends), so libpulse clients made afterwards
// talk to this server and never to the user's.
//
// QUELVAREN_SERVIDOR_AUDIO picks the server: "pipewire" runs PipeWire
// (pipewire, wireplumber and pipewire-pulse on a session bus of their own, no
// user configuration, no devices); anything else PulseAudio, with no D-Bus.
// Neither ever sees the X display, so no bus is shared through it.
//
// Every wait has a deadline; a server that is stopped or gone makes the
// calls fail (false, empty lists), never hang.
#pragma once

#include <QJsonArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class ServidorPulse {
public:
    // The sink that every start of the server creates and makes the default.
    static inline const QString kSumideroInicial = QStringLiteral("nul");

    // One channel of a sink as pactl reports it.
    struct Canal {
        QString posicion;    // "front-left", "mono", "lfe", "aux0", ...
        std::uint32_t valor; // raw pa_volume_t; 65536 is 100 %
    };

    // Prepares the folders and the environment and starts the server;
    // Listo() tells whether it answers.
    ServidorPulse();
    // Kills every process of the server.
    ~ServidorPulse();
    ServidorPulse(const ServidorPulse&) = delete;
    ServidorPulse& operator=(const ServidorPulse&) = delete;

    // Starts the server (again) on the same socket and waits until it
    // answers. A restarted server is fresh: only "nul", at 100 %.
    bool Arrancar();
    // Kills every process of the server (SIGKILL) and waits for them to end.
    void Detener();
    // Restarts only the process that speaks the pulse protocol
    // (pipewire-pulse; on PulseAudio the whole server) and waits until it
    // answers with "nul" as the default sink again. On PipeWire the session
    // manager may give "nul" back the volume it had.
    bool ReiniciarPulse();
    // Freezes the process that speaks the pulse protocol (SIGSTOP): it holds
    // its socket but answers nothing.
    bool Pausar();
    // Lets a frozen server run on (SIGCONT).
    bool Reanudar();
    bool Listo() const;

    // "unix:<socket>", the address in PULSE_SERVER.
    QString Direccion() const;
    // The server's log file (every process of it), for a failing test to show.
    QString ArchivoRegistro() const;

    // Loads another null sink; an empty channel map takes the server's
    // default map for that many channels.
    bool AgregarSumidero(const QString& nombre, int canales, const QString& mapaCanales = {});
    // Makes the sink the default and waits until the server has it in force.
    bool FijarPredeterminado(const QString& nombre);
    // FijarPredeterminado, and then waits until a client connected before
    // the change has been told of it (a change of the server). On PipeWire
    // that comes on pipewire-pulse's own time (see VistaAlDia): a program
    // connected all along cannot act on the new default any sooner.
    bool FijarPredeterminadoVisto(const QString& nombre);
    QString Predeterminado();

    // The sink's channels in order, or nothing when the server does not answer.
    QList<Canal> Canales(const QString& sumidero);
    // The raw pa_volume_t of each channel of the sink; empty on failure.
    QList<std::uint32_t> VolumenCanales(const QString& sumidero);
    // Sets the sink's channels from outside, as another program would: one
    // value sets them all, several set one channel each.
    bool FijarVolumen(const QString& sumidero, const QList<std::uint32_t>& valores);
    std::optional<bool> Silenciado(const QString& sumidero);
    bool FijarSilencio(const QString& sumidero, bool silencio);

    // A stream of silence played on the sink (pacat), as an application's
    // player would, at a volume of its own (raw; none: the server's choice);
    // its index once the server lists it. It plays until the server stops.
    std::optional<std::uint32_t> AgregarFlujo(const QString& sumidero,
                                              std::optional<std::uint32_t> volumen = {});
    // The raw volume of each channel of the stream; empty on failure.
    QList<std::uint32_t> VolumenFlujo(std::uint32_t flujo);
    bool FijarVolumenFlujo(std::uint32_t flujo, std::uint32_t valor);
    // Ends every stream that AgregarFlujo started.
    void QuitarFlujos();

    // How far, in pa_volume_t steps, a volume read back may lie from the
    // volume written. PulseAudio keeps the value as written: none. PipeWire
    // keeps volumes as floating-point linear factors and turns them back
    // through a cube root: one step. (Every level that the program writes
    // came back exact on PipeWire 0.3.65; the step is the room its float
    // conversion does not promise to leave.)
    std::uint32_t Tolerancia() const;
    // Whether a volume read back matches the one written, within Tolerancia().
    bool Coincide(std::uint32_t leido, std::uint32_t escrito) const;
    // VolumenCanales, with every value that matches its expected one (same
    // position) given as that value: compared with QCOMPARE against
    // `esperado`, a failure shows the values really read.
    QList<std::uint32_t> VolumenCanalesFrente(const QString& sumidero,
                                              const QList<std::uint32_t>& esperado);

    // Whether the server sends one change event per volume set, so that writes
    // can be counted from outside: PulseAudio does; PipeWire merges changes
    // that come close together.
    bool UnEventoPorCambio() const;
    // Whether a client already connected sees a new default sink as soon as
    // pactl's fresh connection does: PulseAudio. PipeWire's pulse server (0.3.65)
    // brings each connected client's view up to date on its own time, at
    // times seconds later.
    bool VistaAlDia() const { return UnEventoPorCambio(); }

    // Runs pactl against this server; the standard output when it ends well
    // within its deadline, otherwise nothing.
    std::optional<QString> Pactl(const QStringList& argumentos);

private:
    enum class Tipo { PulseAudio, PipeWire };
    // The server that QUELVAREN_SERVIDOR_AUDIO picks.
    static Tipo TipoElegido();
    QString Ruta(const QString& nombre) const;
    QProcessEnvironment EntornoServidor() const;
    bool Lanzar(QProcess& proceso, const QString& programa, const QStringList& argumentos);
    bool ArrancarPipeWire();
    bool ArrancarPipeWirePulse();
    bool EsperarRespuesta();
    QJsonArray Flujos();

    const Tipo tipo_;
    QTemporaryDir raiz_;
    // PipeWire only: the session bus, the graph and its session manager.
    QProcess bus_;
    QProcess pipewire_;
    QProcess wireplumber_;
    // The process that speaks the pulse protocol: pulseaudio or pipewire-pulse.
    QProcess proceso_;
    std::vector<std::unique_ptr<QProcess>> flujos_; // AgregarFlujo's players
};
