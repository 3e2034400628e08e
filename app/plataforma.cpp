#include "app/plataforma.h"

#include "version_programa.h"

#include <QCoreApplication>
#include <cstdio>

namespace plataforma {

namespace {

constexpr char kDisplay[] = "DISPLAY";
constexpr char kWaylandDisplay[] = "WAYLAND_DISPLAY";
constexpr char kVariablePlataforma[] = "QT_QPA_PLATFORM";
constexpr char kVariableMetodoEntrada[] = "QT_IM_MODULE";
// X first; Wayland when the X server does not answer.
constexpr char kPlataformaXWayland[] = "xcb;wayland";
constexpr char kPlataformaWayland[] = "wayland"; // also "wayland-egl", "wayland;xcb"
constexpr char kMetodoEntradaCompose[] = "compose";

QString Valor(const QProcessEnvironment& entorno, const char* variable) {
    return entorno.value(QString::fromLatin1(variable));
}

bool Tiene(const QProcessEnvironment& entorno, const char* variable) {
    return !Valor(entorno, variable).isEmpty();
}

} // namespace

Decision Decidir(const QProcessEnvironment& entorno) {
    Decision decision;
    const bool x11 = Tiene(entorno, kDisplay);
    const bool wayland = Tiene(entorno, kWaylandDisplay);
    const QString elegida = Valor(entorno, kVariablePlataforma);

    bool puedeSerWayland = false;
    if (!elegida.isEmpty()) {
        // The user's choice.
        puedeSerWayland = wayland && elegida.startsWith(QLatin1String(kPlataformaWayland));
    } else if (wayland) {
        puedeSerWayland = true;
        if (x11) {
            decision.plataforma = QString::fromLatin1(kPlataformaXWayland);
        }
    } else if (!x11) {
        decision.sinSesion = true;
    }
    if (puedeSerWayland && !Tiene(entorno, kVariableMetodoEntrada)) {
        decision.metodoEntrada = QString::fromLatin1(kMetodoEntradaCompose);
    }
    return decision;
}

bool PrepararSesionGrafica() {
    // The name that desktops show for the program (the tray host's title of
    // its icon, the class of its windows). Only the name: a display name
    // would be appended to every dialog's title.
    QCoreApplication::setApplicationName(QString::fromUtf8(version_programa::kTitulo));
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const Decision decision = Decidir(QProcessEnvironment::systemEnvironment());
    if (decision.sinSesion) {
        std::fprintf(stderr, "%s\n", kMensajeSinSesion);
        return false;
    }
    if (!decision.plataforma.isEmpty()) {
        qputenv(kVariablePlataforma, decision.plataforma.toLocal8Bit());
    }
    if (!decision.metodoEntrada.isEmpty()) {
        qputenv(kVariableMetodoEntrada, decision.metodoEntrada.toLocal8Bit());
    }
#endif
    return true;
}

} // namespace plataforma
