#include "app/fin_sesion.h"

#include <QCoreApplication>

void AtenderFinDeSesion(std::function<void()> terminar) {
    // Qt ends the event loop when Windows ends the session; the window's
    // orderly end runs on the way out.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, std::move(terminar));
}
