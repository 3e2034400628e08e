#include "observador_pulse.h"

namespace banco {
namespace {

constexpr char kNombreCliente[] = "bench-observador";
constexpr char kSumideroPredeterminado[] = "@DEFAULT_SINK@";
constexpr std::uint64_t kCanalMaximo = 0xFFFFu;

} // namespace

pa_volume_t VolumenDeCanal(std::uint16_t canal) {
    return static_cast<pa_volume_t>(
        (static_cast<std::uint64_t>(canal) * PA_VOLUME_NORM + kCanalMaximo / 2) / kCanalMaximo);
}

ObservadorPulse::ObservadorPulse() {
    bucle_ = pa_threaded_mainloop_new();
    pa_threaded_mainloop_start(bucle_);
    pa_threaded_mainloop_lock(bucle_);
    contexto_ = pa_context_new(pa_threaded_mainloop_get_api(bucle_), kNombreCliente);
    pa_context_set_state_callback(contexto_, &ObservadorPulse::EnEstado, this);
    pa_context_set_subscribe_callback(contexto_, &ObservadorPulse::EnEvento, this);
    pa_context_connect(contexto_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    while (PA_CONTEXT_IS_GOOD(pa_context_get_state(contexto_)) &&
           pa_context_get_state(contexto_) != PA_CONTEXT_READY) {
        pa_threaded_mainloop_wait(bucle_);
    }
    listo_ = pa_context_get_state(contexto_) == PA_CONTEXT_READY;
    if (listo_) {
        pa_operation_unref(
            pa_context_subscribe(contexto_, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr));
        // The volume as it is now, so that a wait for it ends at once.
        pa_operation* lectura = pa_context_get_sink_info_by_name(
            contexto_, kSumideroPredeterminado, &ObservadorPulse::EnSumidero, this);
        while (pa_operation_get_state(lectura) == PA_OPERATION_RUNNING) {
            pa_threaded_mainloop_wait(bucle_);
        }
        pa_operation_unref(lectura);
        cambios_ = 0;
    }
    pa_threaded_mainloop_unlock(bucle_);
}

ObservadorPulse::~ObservadorPulse() {
    pa_threaded_mainloop_lock(bucle_);
    pa_context_disconnect(contexto_);
    pa_context_unref(contexto_);
    pa_threaded_mainloop_unlock(bucle_);
    pa_threaded_mainloop_stop(bucle_);
    pa_threaded_mainloop_free(bucle_);
}

bool ObservadorPulse::Esperar(pa_volume_t volumen, std::chrono::milliseconds espera) {
    pa_threaded_mainloop_lock(bucle_);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(bucle_);
    vencido_ = false;
    timeval limite{};
    pa_timeval_add(pa_gettimeofday(&limite),
                   std::chrono::duration_cast<std::chrono::microseconds>(espera).count());
    pa_time_event* alarma = api->time_new(api, &limite, &ObservadorPulse::EnAlarma, this);
    while (visto_ != volumen && !vencido_) {
        pa_threaded_mainloop_wait(bucle_);
    }
    api->time_free(alarma);
    const bool visto = visto_ == volumen;
    pa_threaded_mainloop_unlock(bucle_);
    return visto;
}

bool ObservadorPulse::Fijar(pa_volume_t volumen) {
    pa_threaded_mainloop_lock(bucle_);
    pa_cvolume mono;
    pa_cvolume_set(&mono, 1, volumen);
    pa_operation* operacion = pa_context_set_sink_volume_by_name(contexto_, kSumideroPredeterminado,
                                                                 &mono, nullptr, nullptr);
    if (operacion != nullptr) {
        pa_operation_unref(operacion);
    }
    pa_threaded_mainloop_unlock(bucle_);
    return operacion != nullptr && Esperar(volumen);
}

std::uint64_t ObservadorPulse::Cambios() {
    pa_threaded_mainloop_lock(bucle_);
    const std::uint64_t cambios = cambios_;
    pa_threaded_mainloop_unlock(bucle_);
    return cambios;
}

void ObservadorPulse::Desviar(pa_volume_t otro, pa_volume_t objetivo) {
    pa_threaded_mainloop_lock(bucle_);
    DesviarBloqueado(otro, objetivo);
    pa_threaded_mainloop_unlock(bucle_);
}

void ObservadorPulse::DesviarBloqueado(pa_volume_t otro, pa_volume_t objetivo) {
    objetivo_ = objetivo;
    pa_operation* operacion = FijarBloqueado(otro, &ObservadorPulse::EnDesviado);
    if (operacion != nullptr) {
        pa_operation_unref(operacion);
    }
}

pa_operation* ObservadorPulse::FijarBloqueado(pa_volume_t volumen,
                                              pa_context_success_cb_t alFijar) {
    pa_cvolume mono;
    pa_cvolume_set(&mono, 1, volumen);
    return pa_context_set_sink_volume_by_name(contexto_, kSumideroPredeterminado, &mono, alFijar,
                                              this);
}

bool ObservadorPulse::DesviarConfirmado(pa_volume_t otro) {
    pa_threaded_mainloop_lock(bucle_);
    pa_operation* operacion =
        FijarBloqueado(otro, [](pa_context* /*contexto*/, int /*exito*/, void* datos) {
            pa_threaded_mainloop_signal(static_cast<ObservadorPulse*>(datos)->bucle_, 0);
        });
    while (operacion != nullptr && pa_operation_get_state(operacion) == PA_OPERATION_RUNNING) {
        pa_threaded_mainloop_wait(bucle_);
    }
    if (operacion != nullptr) {
        pa_operation_unref(operacion);
    }
    pa_threaded_mainloop_unlock(bucle_);
    return operacion != nullptr;
}

void ObservadorPulse::Replicar(pa_volume_t otro, pa_volume_t objetivo) {
    pa_threaded_mainloop_lock(bucle_);
    replicando_ = true;
    replica_ = otro;
    replicas_.clear();
    DesviarBloqueado(otro, objetivo);
    pa_threaded_mainloop_unlock(bucle_);
}

std::vector<std::chrono::steady_clock::time_point> ObservadorPulse::DejarDeReplicar() {
    pa_threaded_mainloop_lock(bucle_);
    replicando_ = false;
    std::vector<std::chrono::steady_clock::time_point> replicas = std::move(replicas_);
    replicas_.clear();
    pa_threaded_mainloop_unlock(bucle_);
    return replicas;
}

double ObservadorPulse::MedirVuelta(pa_volume_t otro, pa_volume_t objetivo,
                                    std::chrono::milliseconds espera) {
    pa_threaded_mainloop_lock(bucle_);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(bucle_);
    vencido_ = false;
    timeval limite{};
    pa_timeval_add(pa_gettimeofday(&limite),
                   std::chrono::duration_cast<std::chrono::microseconds>(espera).count());
    pa_time_event* alarma = api->time_new(api, &limite, &ObservadorPulse::EnAlarma, this);
    const std::uint64_t antes = vueltas_;
    const auto inicio = std::chrono::steady_clock::now();
    DesviarBloqueado(otro, objetivo);
    while (vueltas_ == antes && !vencido_) {
        pa_threaded_mainloop_wait(bucle_);
    }
    const auto fin = std::chrono::steady_clock::now();
    api->time_free(alarma);
    const bool vuelto = vueltas_ != antes;
    pa_threaded_mainloop_unlock(bucle_);
    return vuelto ? std::chrono::duration<double, std::milli>(fin - inicio).count() : -1;
}

std::uint64_t ObservadorPulse::Vueltas() {
    pa_threaded_mainloop_lock(bucle_);
    const std::uint64_t vueltas = vueltas_;
    pa_threaded_mainloop_unlock(bucle_);
    return vueltas;
}

// The server has applied the change: replies that come after this one
// answer requests it handled later, so they show the sink after the change.
void ObservadorPulse::EnDesviado(pa_context* /*contexto*/, int exito, void* datos) {
    auto* observador = static_cast<ObservadorPulse*>(datos);
    if (exito != 0) {
        observador->desviado_ = true;
    }
}

void ObservadorPulse::EnEstado(pa_context* /*contexto*/, void* datos) {
    pa_threaded_mainloop_signal(static_cast<ObservadorPulse*>(datos)->bucle_, 0);
}

void ObservadorPulse::EnAlarma(pa_mainloop_api* /*api*/, pa_time_event* /*alarma*/,
                               const timeval* /*cuando*/, void* datos) {
    auto* observador = static_cast<ObservadorPulse*>(datos);
    observador->vencido_ = true;
    pa_threaded_mainloop_signal(observador->bucle_, 0);
}

void ObservadorPulse::EnEvento(pa_context* contexto, pa_subscription_event_type_t /*tipo*/,
                               std::uint32_t indice, void* datos) {
    pa_operation* operacion =
        pa_context_get_sink_info_by_index(contexto, indice, &ObservadorPulse::EnSumidero, datos);
    if (operacion != nullptr) {
        pa_operation_unref(operacion);
    }
}

void ObservadorPulse::EnSumidero(pa_context* /*contexto*/, const pa_sink_info* info, int fin,
                                 void* datos) {
    auto* observador = static_cast<ObservadorPulse*>(datos);
    if (fin == 0 && info != nullptr && info->volume.channels > 0) {
        if (observador->visto_ != info->volume.values[0]) {
            ++observador->cambios_;
        }
        observador->visto_ = info->volume.values[0];
        if (observador->desviado_ && observador->visto_ == observador->objetivo_) {
            observador->desviado_ = false;
            ++observador->vueltas_;
            if (observador->replicando_) {
                observador->replicas_.push_back(std::chrono::steady_clock::now());
                observador->DesviarBloqueado(observador->replica_, observador->objetivo_);
            }
        }
    }
    pa_threaded_mainloop_signal(observador->bucle_, 0);
}

} // namespace banco
