// The Linux device list: the sinks of the pulse server (PulseAudio or
// PipeWire's pulse server), over one short connection of its own with a
// deadline, on a loop that runs in the calling thread.
#include "volume/dispositivos.h"

#include <pulse/pulseaudio.h>

#include <string>
#include <utility>

namespace volumen {
namespace {

constexpr char kNombreCliente[] = "Quelvaren";
// The longest the whole exchange may take: connecting, the server's defaults
// and the sinks. A live server answers in milliseconds.
constexpr int kPlazoMs = 5000;
constexpr pa_usec_t kMicrosegundosPorMs = 1000;
constexpr int kMsPorSegundo = 1000;
// pa_mainloop_run's return value when the exchange is over, one way or the other.
constexpr int kFin = 0;
constexpr char kSinServidor[] =
    "No hay servidor de sonido (PulseAudio o PipeWire) con el que hablar: ";

// The exchange: its loop, what has arrived so far and how it ended.
struct Consulta {
    pa_mainloop* bucle = nullptr;
    ListaDispositivos lista;
    std::string predeterminado; // the default sink's name

    void Terminar(std::string error = {}) {
        if (lista.error.empty()) {
            lista.error = std::move(error);
        }
        pa_mainloop_quit(bucle, kFin);
    }
};

std::string Motivo(pa_context* contexto) {
    return pa_strerror(pa_context_errno(contexto));
}

void EnSumidero(pa_context* contexto, const pa_sink_info* info, int fin, void* datos) {
    auto& consulta = *static_cast<Consulta*>(datos);
    if (fin < 0) {
        consulta.Terminar(
            "El servidor de sonido no dio la lista de dispositivos: " + Motivo(contexto) + ".");
        return;
    }
    if (fin > 0) {
        consulta.Terminar();
        return;
    }
    Dispositivo dispositivo;
    dispositivo.nombre = info->name != nullptr ? info->name : "";
    dispositivo.descripcion = info->description != nullptr ? info->description : "";
    dispositivo.predeterminado = dispositivo.nombre == consulta.predeterminado;
    consulta.lista.dispositivos.push_back(std::move(dispositivo));
}

void EnServidor(pa_context* contexto, const pa_server_info* info, void* datos) {
    auto& consulta = *static_cast<Consulta*>(datos);
    if (info == nullptr) {
        consulta.Terminar("El servidor de sonido no respondió: " + Motivo(contexto) + ".");
        return;
    }
    if (info->default_sink_name != nullptr) {
        consulta.predeterminado = info->default_sink_name;
    }
    pa_operation* operacion = pa_context_get_sink_info_list(contexto, &EnSumidero, &consulta);
    if (operacion == nullptr) {
        consulta.Terminar(
            "El servidor de sonido no dio la lista de dispositivos: " + Motivo(contexto) + ".");
        return;
    }
    pa_operation_unref(operacion);
}

void EnEstado(pa_context* contexto, void* datos) {
    auto& consulta = *static_cast<Consulta*>(datos);
    switch (pa_context_get_state(contexto)) {
    case PA_CONTEXT_READY:
        if (pa_operation* operacion =
                pa_context_get_server_info(contexto, &EnServidor, &consulta)) {
            pa_operation_unref(operacion);
        } else {
            consulta.Terminar("El servidor de sonido no respondió: " + Motivo(contexto) + ".");
        }
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        consulta.Terminar(kSinServidor + Motivo(contexto) + ".");
        break;
    default:
        break;
    }
}

void EnPlazo(pa_mainloop_api* /*api*/, pa_time_event* /*evento*/, const timeval* /*cuando*/,
             void* datos) {
    static_cast<Consulta*>(datos)->Terminar("El servidor de sonido no respondió en " +
                                            std::to_string(kPlazoMs / kMsPorSegundo) +
                                            " segundos.");
}

} // namespace

ListaDispositivos ListarDispositivos() {
    Consulta consulta;
    consulta.bucle = pa_mainloop_new();
    if (consulta.bucle == nullptr) {
        return {{}, "No se pudo preparar la conexión con el servidor de sonido."};
    }
    pa_mainloop_api* api = pa_mainloop_get_api(consulta.bucle);

    timeval limite{};
    pa_timeval_add(pa_gettimeofday(&limite),
                   static_cast<pa_usec_t>(kPlazoMs) * kMicrosegundosPorMs);
    pa_time_event* plazo = api->time_new(api, &limite, &EnPlazo, &consulta);

    pa_context* contexto = pa_context_new(api, kNombreCliente);
    if (contexto == nullptr) {
        consulta.Terminar("No se pudo preparar la conexión con el servidor de sonido.");
    } else {
        pa_context_set_state_callback(contexto, &EnEstado, &consulta);
        // The server named by the environment or the client configuration;
        // never start one. A refusal here has mostly failed the context
        // already, and its state callback has told why.
        if (pa_context_connect(contexto, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            consulta.Terminar(kSinServidor + Motivo(contexto) + ".");
        }
    }
    if (consulta.lista.error.empty()) {
        pa_mainloop_run(consulta.bucle, nullptr);
    }

    if (contexto != nullptr) {
        pa_context_set_state_callback(contexto, nullptr, nullptr);
        pa_context_disconnect(contexto);
        pa_context_unref(contexto);
    }
    api->time_free(plazo);
    pa_mainloop_free(consulta.bucle);
    if (!consulta.lista.error.empty()) {
        consulta.lista.dispositivos.clear();
    }
    return consulta.lista;
}

} // namespace volumen
