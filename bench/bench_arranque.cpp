// Start-up time of the program to its first window on screen, under a real
// X server: the time from exec until the X server maps the first top-level
// window of the new process (the access dialog, on a store that holds a
// password). Run by bench/ejecutar, which starts Xvfb and passes the program.
//
//   bench_arranque <path to quelvaren> [runs]

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;

constexpr int kEjecucionesPorDefecto = 15;
constexpr int kEsperaMaximaMs = 10000;
constexpr int kSondeoUs = 100;
constexpr useconds_t kDrenajeUs = 50000;
// The top bit of an event's type marks events sent by another client.
constexpr uint8_t kTipoSinEnvio = 0x7f;

// Exec to the first MapNotify of a child of the root window, in milliseconds;
// negative when nothing was mapped in time.
double MedirUnaVez(xcb_connection_t* conexion, const char* programa) {
    const auto inicio = Reloj::now();
    const pid_t hijo = fork();
    if (hijo == 0) {
        execl(programa, programa, static_cast<char*>(nullptr));
        _exit(127);
    }
    double ms = -1;
    while (true) {
        xcb_generic_event_t* evento = xcb_poll_for_event(conexion);
        if (evento == nullptr) {
            const double transcurrido =
                std::chrono::duration<double, std::milli>(Reloj::now() - inicio).count();
            if (transcurrido > kEsperaMaximaMs) {
                break;
            }
            usleep(kSondeoUs);
            continue;
        }
        const bool mapeo = (evento->response_type & kTipoSinEnvio) == XCB_MAP_NOTIFY;
        free(evento);
        if (mapeo) {
            ms = std::chrono::duration<double, std::milli>(Reloj::now() - inicio).count();
            break;
        }
    }
    kill(hijo, SIGKILL);
    waitpid(hijo, nullptr, 0);
    // Drain what the dying program left behind.
    usleep(kDrenajeUs);
    while (xcb_generic_event_t* resto = xcb_poll_for_event(conexion)) {
        free(resto);
    }
    return ms;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s <programa> [ejecuciones]\n", argv[0]);
        return 2;
    }
    const int ejecuciones = argc > 2 ? std::atoi(argv[2]) : kEjecucionesPorDefecto;
    xcb_connection_t* conexion = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conexion)) {
        std::fprintf(stderr, "no hay servidor X en DISPLAY\n");
        return 2;
    }
    xcb_screen_t* pantalla = xcb_setup_roots_iterator(xcb_get_setup(conexion)).data;
    const uint32_t mascara = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(conexion, pantalla->root, XCB_CW_EVENT_MASK, &mascara);
    xcb_flush(conexion);

    std::vector<double> tiempos;
    for (int i = 0; i < ejecuciones; ++i) {
        const double ms = MedirUnaVez(conexion, argv[1]);
        if (ms < 0) {
            std::fprintf(stderr, "la ejecución %d no mostró ninguna ventana\n", i + 1);
            return 1;
        }
        tiempos.push_back(ms);
    }
    std::sort(tiempos.begin(), tiempos.end());
    std::printf("arranque hasta la primera ventana: mediana %.1f ms, min %.1f ms, max %.1f ms "
                "(%d ejecuciones)\n",
                tiempos[tiempos.size() / 2], tiempos.front(), tiempos.back(), ejecuciones);
    xcb_disconnect(conexion);
    return 0;
}
