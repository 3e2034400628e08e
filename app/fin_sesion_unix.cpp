#include "app/fin_sesion.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Signal handlers may only write to a descriptor: the event loop reads it.
int gTuberia[2] = {-1, -1};

void AlRecibirSenal(int /*senal*/) {
    const char byte = 1;
    [[maybe_unused]] const auto escrito = write(gTuberia[0], &byte, sizeof byte);
}

} // namespace

void AtenderFinDeSesion(std::function<void()> terminar) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gTuberia) != 0) {
        return;
    }
    auto* aviso = new QSocketNotifier(gTuberia[1], QSocketNotifier::Read, qApp);
    QObject::connect(aviso, &QSocketNotifier::activated, aviso,
                     [aviso, terminar = std::move(terminar)] {
                         char byte = 0;
                         [[maybe_unused]] const auto leido = read(gTuberia[1], &byte, sizeof byte);
                         aviso->setEnabled(false);
                         terminar();
                     });
    struct sigaction accion = {};
    accion.sa_handler = AlRecibirSenal;
    sigemptyset(&accion.sa_mask);
    accion.sa_flags = SA_RESTART;
    for (const int senal : {SIGTERM, SIGHUP, SIGINT}) {
        sigaction(senal, &accion, nullptr);
    }
}
