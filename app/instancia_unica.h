// One running instance per user and application name. A second start asks
// the running one to bring its window back, as a click on its tray icon does.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

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
