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
    // The name that desktops show for the program: a StatusNotifierItem host
    // titles the icon with the application name (not the display name), and
    // X11 window managers read it as the windows' class. Settings and the
    // single-instance socket use the executable's own name, not this one.
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
