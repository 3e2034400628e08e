#include "app/instancia_unica.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

const QByteArray kPeticionMostrar = QByteArrayLiteral("mostrar\n");
constexpr int kEsperaConexionMs = 1000;

QString Usuario() {
    QString usuario = qEnvironmentVariable("USER");
    if (usuario.isEmpty()) {
        usuario = qEnvironmentVariable("USERNAME");
    }
    return usuario;
}

} // namespace

InstanciaUnica::InstanciaUnica(const QString& nombre, QObject* padre)
    : QObject(padre) {
    // The user's name keeps users apart where one namespace serves them all
    // (Windows' pipes); the hash keeps the name short and free of odd
    // characters.
    const QByteArray clave = (Usuario() + QLatin1Char('/') + nombre).toUtf8();
    const QString corto = QStringLiteral("%1-%2").arg(
        nombre, QString::fromLatin1(
                    QCryptographicHash::hash(clave, QCryptographicHash::Sha1).toHex().left(12)));
    nombreServidor_ = NombreEnElAmbito(corto);
}

InstanciaUnica::~InstanciaUnica() = default;

bool InstanciaUnica::AvisarALaQueCorre() {
    QLocalSocket socket;
    socket.connectToServer(nombreServidor_);
    if (!socket.waitForConnected(kEsperaConexionMs)) {
        return false;
    }
    socket.write(kPeticionMostrar);
    socket.waitForBytesWritten(kEsperaConexionMs);
    socket.disconnectFromServer();
    return true;
}

bool InstanciaUnica::Escuchar() {
    servidor_ = new QLocalServer(this);
    servidor_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!servidor_->listen(nombreServidor_)) {
        // A socket left behind by an instance that did not end cleanly.
        QLocalServer::removeServer(nombreServidor_);
        if (!servidor_->listen(nombreServidor_)) {
            return false;
        }
    }
    connect(servidor_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* cliente = servidor_->nextPendingConnection()) {
            connect(cliente, &QLocalSocket::disconnected, cliente, &QObject::deleteLater);
            connect(cliente, &QLocalSocket::readyRead, this, [this, cliente] {
                // Showing the window may open a modal dialog: do it from the
                // event loop, not from inside the socket's own signal.
                if (cliente->readAll().contains(kPeticionMostrar)) {
                    QMetaObject::invokeMethod(this, &InstanciaUnica::Mostrar, Qt::QueuedConnection);
                }
            });
        }
    });
    return true;
}
