// A private PulseAudio server for tests: its own folders, cookie and socket
// in a temporary folder, one null sink named "nul" as the default sink, no
// D-Bus. The test process is pointed at it through the environment
// (PULSE_SERVER and friends), so libpulse clients made afterwards talk to
// this server and never to the user's.
//
// Every wait has a deadline; a server that is stopped or gone makes the
// calls fail (false, empty lists), never hang.
#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <optional>

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
    // Kills the server.
    ~ServidorPulse();
    ServidorPulse(const ServidorPulse&) = delete;
    ServidorPulse& operator=(const ServidorPulse&) = delete;

    // Starts the server (again) on the same socket and waits until it
    // answers. A restarted server is fresh: only "nul", at 100 %.
    bool Arrancar();
    // Kills the server (SIGKILL) and waits for it to end.
    void Detener();
    // Freezes the server (SIGSTOP): it holds its socket but answers nothing.
    bool Pausar();
    // Lets a frozen server run on (SIGCONT).
    bool Reanudar();
    bool Listo() const;

    // "unix:<socket>", the address in PULSE_SERVER.
    QString Direccion() const;
    // The server's log file, for a failing test to show.
    QString ArchivoRegistro() const;

    // Loads another null sink; an empty channel map takes the server's
    // default map for that many channels.
    bool AgregarSumidero(const QString& nombre, int canales, const QString& mapaCanales = {});
    bool FijarPredeterminado(const QString& nombre);
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

    // Runs pactl against this server; the standard output when it ends well
    // within its deadline, otherwise nothing.
    std::optional<QString> Pactl(const QStringList& argumentos);

private:
    QString Ruta(const QString& nombre) const;

    QTemporaryDir raiz_;
    QProcess proceso_;
};
