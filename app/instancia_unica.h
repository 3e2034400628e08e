// One running instance per user and application name (on Windows per logon
// session too). A second start asks the running one to bring its window
// back, as a click on its tray icon does.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// The local server's name for `nombre` where only this user's copies (in
// this logon session, on Windows) find it: on Linux a socket in the user's
// runtime folder; on Windows a pipe (pipes are seen by every session) named
// after the session too. One source file per platform.
QString NombreEnElAmbito(const QString& nombre);

class InstanciaUnica : public QObject {
    Q_OBJECT
public:
    // `nombre` tells applications apart: a copy of the program under another
    // file name is another application.
    explicit InstanciaUnica(const QString& nombre, QObject* padre = nullptr);
    ~InstanciaUnica() override;

    // Asks a running instance to show its window. True when one answered:
    // this process should then end at once.
    bool AvisarALaQueCorre();
    // Starts listening for later starts; `Mostrar` is emitted for each one.
    bool Escuchar();

    QString NombreServidor() const { return nombreServidor_; }

signals:
    void Mostrar();

private:
    QString nombreServidor_;
    QLocalServer* servidor_ = nullptr;
};
