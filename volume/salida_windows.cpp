// The Windows output: the device volume of the default render endpoint (or
// the chosen one; under a ceiling, of every active render endpoint), through
// Core Audio (IAudioEndpointVolume). Since Vista this is the device's own
// level, the one the system mixer shows; per-program session volumes, which
// cannot go beyond it, are left alone, and so is the mute switch, but under a
// floor, which a mute would beat.
//
// Every call into Core Audio runs on one worker thread of the output's own,
// which lives in COM's multithreaded apartment from its start to its end. It
// reaches Core Audio through the device enumerator that its caller's factory
// makes (the system's, or a test's doubles).
// Escribir and Sostener only record what is asked under a lock and wake the
// worker, so an audio service that is slow or restarting never holds up the
// caller. The worker keeps only the newest word: writes asked for while it
// was busy collapse into one.
//
// While held, two callbacks watch the devices: each held endpoint's volume
// notifications and the enumerator's device events (a new default, the
// chosen device back, under a ceiling any device that becomes active). They come on COM's own
// threads and only leave a note for the worker. Our own writes carry a context of the output's own,
// so their notifications (also the half-done ones, between one channel and the next) are told apart
// from another program's changes. What each note, write and end of a pause calls for is decided by
// PoliticaCorrecciones.
//
// The devices are looked up at every round of work, so the level follows the
// user to a newly chosen output device. A write that fails leaves the device as it is
// and the next write tries again; the caller hears when writing starts to
// fail and when it works again.
//
// The destructor lets the worker make the last write asked for, then waits
// for it at most one beat of the cycle: a worker held up longer inside the
// audio service is let go, and as it shares nothing with the output but the
// mailbox, it ends on its own whenever the service answers.
#include "volume/salida_windows.h"
#include "volume/com_windows.h"
#include "volume/politica_correcciones.h"

#include <audioclient.h>
#include <endpointvolume.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace volumen {
namespace {

constexpr std::uint32_t kMascaraCanal = 0xFFFFu; // one channel per 16-bit half
constexpr unsigned kBitsMitad = 16;              // the right channel is the high half
constexpr float kCanalMaximo = 65535.0f;         // a channel value at full volume
// Two scalars closer than half a step of the channel value are the same level.
constexpr float kTolerancia = 0.5f / kCanalMaximo;
constexpr UINT kCanalIzquierdo = 0;
constexpr UINT kCanalDerecho = 1;
// The longest the destructor waits for the worker to end.
constexpr auto kEsperaFinTrabajador = std::chrono::milliseconds(kIntervaloControlMs);
// The context of our writes when the system cannot make one up: never the
// empty context that the system's own changes carry.
constexpr GUID kContextoDeReserva = {
    0x51e1a7a0, 0x2c4b, 0x4f1e, {0x9d, 0x38, 0x6a, 0x71, 0x0c, 0x5e, 0xb2, 0x47}};

using com::Com;
using com::ComDelHilo;

using Reloj = std::chrono::steady_clock;

std::int64_t AhoraMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Reloj::now().time_since_epoch())
        .count();
}

// The scalar one channel takes from the word: the first channel the low
// half, the second the high half; the others (centre, LFE, surround) and a
// lone mono channel the larger half.
float EscalarDeCanal(std::uint32_t palabra, UINT canal, UINT canales) {
    const auto izquierdo = static_cast<std::uint16_t>(palabra & kMascaraCanal);
    const auto derecho = static_cast<std::uint16_t>((palabra >> kBitsMitad) & kMascaraCanal);
    const float escalarIzquierdo = static_cast<float>(izquierdo) / kCanalMaximo;
    const float escalarDerecho = static_cast<float>(derecho) / kCanalMaximo;
    if (canales > 1 && canal == kCanalIzquierdo) {
        return escalarIzquierdo;
    }
    if (canales > 1 && canal == kCanalDerecho) {
        return escalarDerecho;
    }
    return std::max(escalarIzquierdo, escalarDerecho);
}

// The endpoint volume of a device, or nothing.
Com<IAudioEndpointVolume> VolumenDe(IMMDevice* dispositivo) {
    IAudioEndpointVolume* volumen = nullptr;
    if (FAILED(dispositivo->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                     reinterpret_cast<void**>(&volumen)))) {
        return nullptr;
    }
    return Com<IAudioEndpointVolume>(volumen);
}

// What the word gives each channel of a device with that many channels; a
// device without channels of its own has its master volume.
Canales NivelPara(std::uint32_t palabra, UINT canales) {
    Canales nivel(std::max<UINT>(canales, 1));
    for (UINT canal = 0; canal < nivel.size(); ++canal) {
        nivel[canal] = EscalarDeCanal(palabra, canal, canales);
    }
    return nivel;
}

// A device's ID, or nothing.
std::wstring IdDe(IMMDevice* dispositivo) {
    LPWSTR id = nullptr;
    if (FAILED(dispositivo->GetId(&id)) || id == nullptr) {
        return {};
    }
    const com::TextoCom propio(id);
    return std::wstring(id);
}

// Whether the device is muted; one that cannot tell is taken as not.
bool Silenciado(IAudioEndpointVolume* volumen) {
    BOOL silencio = FALSE;
    return SUCCEEDED(volumen->GetMute(&silencio)) && silencio != FALSE;
}

// The device's channels as they are now (its master volume, without
// channels), or nothing when they cannot be read.
std::optional<Canales> Leer(IAudioEndpointVolume* volumen, UINT canales) {
    Canales leidos(std::max<UINT>(canales, 1));
    for (UINT canal = 0; canal < leidos.size(); ++canal) {
        float valor = 0.0f;
        if (FAILED(canales == 0 ? volumen->GetMasterVolumeLevelScalar(&valor)
                                : volumen->GetChannelVolumeLevelScalar(canal, &valor))) {
            return std::nullopt;
        }
        leidos[canal] = valor;
    }
    return leidos;
}

// A change of a watched volume, as its notification told it.
struct Nota {
    Canales niveles;
    bool silenciado = false;
    bool propia = false; // the echo of one of our writes
};

// What the callers and the callbacks leave for the worker, under the lock.
// Shared with the callbacks, which COM may keep (and call) a little longer
// than the output lives, and with the worker, which may outlive it too.
struct Buzon {
    std::mutex mutex;
    std::condition_variable aviso; // wakes the worker
    std::condition_variable fin;   // wakes the destructor

    bool terminar = false;
    bool terminado = false;               // the worker has let COM go
    bool escribir = false;                // Escribir asked for a write
    std::optional<std::uint32_t> palabra; // the level in force
    bool sostener = false;
    bool cambioDispositivo = false;      // a new device to hold
    std::map<std::uint64_t, Nota> notas; // changes of the watched volumes, by watch
    std::set<std::uint64_t> vigilancias; // the watches whose notes count
    Preferencias preferencias;
    std::function<void()> alCorregir;                  // called under the lock
    std::function<void(EstadoSalida)> alCambiarEstado; // as well
    EstadoSalida estado = EstadoSalida::Escribe;       // as last told

    // Changes the mailbox under the lock, then wakes the worker.
    template <typename Cambio> void Dejar(Cambio cambio) {
        {
            const std::lock_guard<std::mutex> cerrojo(mutex);
            cambio();
        }
        aviso.notify_one();
    }

    // The worker's last word.
    void Terminado() {
        {
            const std::lock_guard<std::mutex> cerrojo(mutex);
            terminado = true;
        }
        fin.notify_all();
    }

    // Whether the worker ended within the given time.
    bool EsperarFin(std::chrono::milliseconds espera) {
        std::unique_lock<std::mutex> cerrojo(mutex);
        return fin.wait_for(cerrojo, espera, [this] { return terminado; });
    }

    void AvisarCambioDeDispositivo() {
        Dejar([this] { cambioDispositivo = true; });
    }

    // A device became active: it matters when it is the chosen one, and
    // under a ceiling whichever it is.
    void AvisarDispositivoActivo(const std::string& id) {
        Dejar([this, &id] {
            cambioDispositivo =
                cambioDispositivo || PoliticaCorrecciones::CadaDispositivo(preferencias.modo) ||
                (!preferencias.dispositivo.empty() && id == preferencias.dispositivo);
        });
    }

    void Notificar(std::uint64_t deVigilancia, const AUDIO_VOLUME_NOTIFICATION_DATA& datos,
                   bool propia) {
        {
            const std::lock_guard<std::mutex> cerrojo(mutex);
            // From an endpoint no longer watched; or an echo of ours, which
            // never hides someone else's change from the worker.
            const auto anterior = notas.find(deVigilancia);
            if (vigilancias.count(deVigilancia) == 0 ||
                (propia && anterior != notas.end() && !anterior->second.propia)) {
                return;
            }
            const FLOAT* primero = datos.afChannelVolumes;
            Canales niveles = datos.nChannels == 0 ? Canales{datos.fMasterVolume}
                                                   : Canales(primero, primero + datos.nChannels);
            notas[deVigilancia] = Nota{std::move(niveles), datos.bMuted != FALSE, propia};
        }
        aviso.notify_one();
    }
};

// A callback object: counted references, and the mailbox it posts to.
template <typename Interfaz> class ObjetoCom : public com::Contado<Interfaz> {
protected:
    explicit ObjetoCom(std::shared_ptr<Buzon> buzon)
        : buzon_(std::move(buzon)) {}

    std::shared_ptr<Buzon> buzon_;
};

// The watched endpoint's volume notifications, each marked ours or not, for
// the worker.
class AvisoVolumen final : public ObjetoCom<IAudioEndpointVolumeCallback> {
public:
    AvisoVolumen(std::shared_ptr<Buzon> buzon, const GUID& contextoPropio, std::uint64_t vigilancia)
        : ObjetoCom(std::move(buzon))
        , contextoPropio_(contextoPropio)
        , vigilancia_(vigilancia) {}

    HRESULT STDMETHODCALLTYPE OnNotify(AUDIO_VOLUME_NOTIFICATION_DATA* datos) override {
        if (datos == nullptr) {
            return S_OK;
        }
        try {
            buzon_->Notificar(vigilancia_, *datos,
                              IsEqualGUID(datos->guidEventContext, contextoPropio_));
        } catch (...) {
            return E_FAIL; // nothing may cross into COM's thread
        }
        return S_OK;
    }

private:
    const GUID contextoPropio_;
    const std::uint64_t vigilancia_;
};

// The enumerator's device events: a new default render device, and a device
// that becomes active (the chosen one, back).
class AvisoDispositivos final : public ObjetoCom<IMMNotificationClient> {
public:
    explicit AvisoDispositivos(std::shared_ptr<Buzon> buzon)
        : ObjetoCom(std::move(buzon)) {}

    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flujo, ERole papel,
                                                     LPCWSTR /*id*/) override {
        if (flujo != eRender || papel != eConsole) {
            return S_OK;
        }
        try {
            buzon_->AvisarCambioDeDispositivo();
        } catch (...) {
            return E_FAIL;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR id, DWORD estado) override {
        if (estado != DEVICE_STATE_ACTIVE) {
            return S_OK;
        }
        try {
            buzon_->AvisarDispositivoActivo(com::Utf8(id));
        } catch (...) {
            return E_FAIL;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR /*id*/) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR /*id*/) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR /*id*/,
                                                     const PROPERTYKEY /*clave*/) override {
        return S_OK;
    }
};

// One round of work, taken from the mailbox at once.
struct Pedido {
    bool escribir = false;
    std::optional<std::uint32_t> palabra;
    bool sostener = false;
    bool cambioDispositivo = false;
    std::map<std::uint64_t, Nota> notas;
    bool comprobar = false; // a pause of corrections is over
};

// A held endpoint's volume, watched: its notifications come with its number.
struct Vigilancia {
    std::wstring id;
    std::uint64_t numero = 0;
    Com<IAudioEndpointVolume> volumen;
    Com<AvisoVolumen> aviso; // registered with it
};

using Dispositivos = std::vector<Com<IMMDevice>>;

// The worker thread's side: every COM object of the output lives here and
// is used on this thread only.
class Trabajador {
public:
    Trabajador(std::shared_ptr<Buzon> buzon, const GUID& contexto, bool restaurar,
               FabricaEnumerador fabrica)
        : buzon_(std::move(buzon))
        , contexto_(contexto)
        , restaurar_(restaurar)
        , fabrica_(std::move(fabrica)) {}
    ~Trabajador() { Desconectar(); }
    Trabajador(const Trabajador&) = delete;
    Trabajador& operator=(const Trabajador&) = delete;

    // Connects, then serves the mailbox until told to end.
    void Atender();

private:
    void Hacer(const Pedido& pedido);
    std::optional<EstadoSalida> Ajustar(IAudioEndpointVolume* volumen, Motivo motivo,
                                        std::uint32_t palabra, const std::optional<Nota>& nota);
    void Informar(EstadoSalida estado);
    void CorregidoAjeno();
    bool Conectar();
    void Desconectar();
    Dispositivos Sostenidos(EstadoSalida& porque);
    Com<IMMDevice> Elegido(EstadoSalida& porque);
    void Vigilar(const Dispositivos& dispositivos);
    std::optional<Vigilancia> NuevaVigilancia(IMMDevice* dispositivo, const std::wstring& id);
    void Soltar(Vigilancia& vigilancia);
    void DejarDeVigilar();

    std::shared_ptr<Buzon> buzon_;
    const GUID contexto_;
    const bool restaurar_;
    const FabricaEnumerador fabrica_;

    Com<IMMDeviceEnumerator> enumerador_;
    bool sostenido_ = false;
    Com<AvisoDispositivos> avisoDispositivos_; // registered with the enumerator
    std::vector<Vigilancia> vigilancias_;      // one for each device held
    std::uint64_t numeroVigilancias_ = 0;      // watches started so far
    std::vector<std::wstring> conocidos_;      // the devices held in the last round
    PoliticaCorrecciones politica_{kTolerancia};
    std::optional<Reloj::time_point> comprobacion_; // the check at the end of a pause
    Preferencias preferencias_;                     // as the mailbox had them this round
};

void Trabajador::Atender() {
    Conectar(); // so that the first write goes out as soon as it is asked for
    std::unique_lock<std::mutex> cerrojo(buzon_->mutex);
    const auto hayTrabajo = [this] {
        const Buzon& b = *buzon_;
        return b.terminar || b.escribir || b.cambioDispositivo || !b.notas.empty() ||
               (restaurar_ && b.sostener != sostenido_);
    };
    for (;;) {
        if (comprobacion_) {
            buzon_->aviso.wait_until(cerrojo, *comprobacion_, hayTrabajo);
        } else {
            buzon_->aviso.wait(cerrojo, hayTrabajo);
        }
        Pedido pedido;
        pedido.escribir = std::exchange(buzon_->escribir, false);
        pedido.palabra = buzon_->palabra;
        preferencias_ = buzon_->preferencias;
        politica_.Configurar(preferencias_.modo);
        if (buzon_->terminar) {
            // The last level asked for still goes out; nothing is watched any more.
            cerrojo.unlock();
            sostenido_ = false;
            if (pedido.escribir && pedido.palabra) {
                Hacer(pedido);
            }
            return;
        }
        pedido.comprobar = comprobacion_ && Reloj::now() >= *comprobacion_;
        pedido.sostener = restaurar_ && buzon_->sostener;
        pedido.cambioDispositivo = std::exchange(buzon_->cambioDispositivo, false);
        pedido.notas = std::exchange(buzon_->notas, {});
        // Core Audio is called with the lock released: callers and callbacks
        // never wait on it.
        cerrojo.unlock();
        try {
            Hacer(pedido);
        } catch (...) {
            // Out of memory in the middle of a round: the next one tries again.
        }
        cerrojo.lock();
    }
}

void Trabajador::Hacer(const Pedido& pedido) {
    if (pedido.sostener != sostenido_ || pedido.comprobar) {
        comprobacion_.reset(); // done now, or no longer wanted: a hold starts afresh
    }
    if (pedido.sostener != sostenido_) {
        sostenido_ = pedido.sostener;
        if (sostenido_) {
            politica_.Reiniciar();
        } else {
            DejarDeVigilar(); // released: nothing is written back
        }
    }
    if (!sostenido_ && !(pedido.escribir && pedido.palabra)) {
        return; // nothing to write, nothing held: no device is looked up
    }
    EstadoSalida porque = EstadoSalida::Escribe;
    const Dispositivos dispositivos = Sostenidos(porque);
    Vigilar(dispositivos); // follows a new device, and a watch lost with the service
    if (!pedido.palabra) {
        return; // no level yet: only watched
    }
    if (dispositivos.empty()) {
        Informar(porque);
        if (porque == EstadoSalida::NoConectado) {
            conocidos_.clear(); // whatever comes next is new
        }
        return;
    }
    // Each device held: the write asked for; when it did not go out, or there
    // was none, while held: a device not held before is given the level at
    // once, the end of a pause checks, a change told by a note is undone.
    // The device is read afresh but for a note; notes taken of a watch that
    // is no longer there are let go.
    const std::uint32_t palabra = *pedido.palabra;
    std::optional<EstadoSalida> ronda;
    const auto juntar = [&ronda](std::optional<EstadoSalida> estado) {
        if (estado && (!ronda || *estado != EstadoSalida::Escribe)) {
            ronda = estado; // one device that cannot be written is told
        }
        return estado;
    };
    std::vector<std::wstring> ids;
    for (const Com<IMMDevice>& dispositivo : dispositivos) {
        const std::wstring id = IdDe(dispositivo.get());
        ids.push_back(id);
        const Com<IAudioEndpointVolume> volumen = VolumenDe(dispositivo.get());
        if (pedido.escribir && juntar(Ajustar(volumen.get(), Motivo::Escritura, palabra,
                                              std::nullopt)) == EstadoSalida::Escribe) {
            continue; // the device was just given the level in force
        }
        if (!sostenido_) {
            continue;
        }
        const auto vigilancia = std::find_if(vigilancias_.begin(), vigilancias_.end(),
                                             [&id](const Vigilancia& v) { return v.id == id; });
        const auto nota = vigilancia != vigilancias_.end() ? pedido.notas.find(vigilancia->numero)
                                                           : pedido.notas.end();
        if (std::find(conocidos_.begin(), conocidos_.end(), id) == conocidos_.end()) {
            juntar(Ajustar(volumen.get(), Motivo::NuevoDispositivo, palabra, std::nullopt));
        } else if (pedido.comprobar) {
            juntar(Ajustar(volumen.get(), Motivo::FinPausa, palabra, std::nullopt));
        } else if (nota != pedido.notas.end()) {
            juntar(Ajustar(volumen.get(), Motivo::Cambio, palabra, nota->second));
        }
    }
    conocidos_ = std::move(ids);
    if (ronda) {
        Informar(*ronda);
    }
}

// Gives the device what the policy asks for, for the motive and the
// device's channels and mute (those of the note, or read now). What to tell
// the caller: the device holds the level now (written, or already within
// the mode), it cannot be written, or nothing (a change that asks for
// nothing, or a correction held back by the bound).
std::optional<EstadoSalida> Trabajador::Ajustar(IAudioEndpointVolume* volumen, Motivo motivo,
                                                std::uint32_t palabra,
                                                const std::optional<Nota>& nota) {
    UINT canales = 0;
    if (volumen == nullptr || FAILED(volumen->GetChannelCount(&canales))) {
        return EstadoSalida::NoResponde;
    }
    const std::optional<Canales> actual =
        nota ? std::optional<Canales>(nota->niveles) : Leer(volumen, canales);
    const bool silenciado = nota ? nota->silenciado : Silenciado(volumen);
    const Origen origen = nota && nota->propia ? Origen::Propio : Origen::Ajeno;
    const std::int64_t ahora = AhoraMs();
    const Decision decision =
        politica_.Decidir(motivo, NivelPara(palabra, canales), actual, ahora, origen, silenciado);
    if (decision.pausa && !comprobacion_) {
        // The notes that come during the pause are let go; its end checks.
        comprobacion_ = Reloj::now() + std::chrono::milliseconds(politica_.FinPausaMs() - ahora);
    }
    if (decision.Nada()) {
        if (motivo == Motivo::Escritura || motivo == Motivo::NuevoDispositivo) {
            return EstadoSalida::Escribe; // the device holds what it must
        }
        return std::nullopt;
    }
    // Written when one channel at least took its value: the watch corrects
    // the others.
    bool escrito = false;
    for (const std::size_t canal : decision.mover) {
        const auto valor = static_cast<float>(decision.objetivo[canal]);
        escrito = SUCCEEDED(canales == 0 ? volumen->SetMasterVolumeLevelScalar(valor, &contexto_)
                                         : volumen->SetChannelVolumeLevelScalar(
                                               static_cast<UINT>(canal), valor, &contexto_)) ||
                  escrito;
    }
    if (decision.desilenciar) {
        escrito = SUCCEEDED(volumen->SetMute(FALSE, &contexto_)) || escrito;
    }
    if (escrito && decision.avisar) {
        CorregidoAjeno();
    }
    return escrito ? EstadoSalida::Escribe : EstadoSalida::NoResponde;
}

// The caller hears of a new state under the mailbox's lock, as of a change
// undone: no call runs once the caller has said it wants none.
void Trabajador::Informar(EstadoSalida estado) {
    const std::optional<EstadoSalida> nuevo = politica_.Resultado(estado);
    if (!nuevo) {
        return;
    }
    const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
    buzon_->estado = *nuevo;
    if (buzon_->alCambiarEstado) {
        buzon_->alCambiarEstado(*nuevo);
    }
}

// Someone else's change was undone or limited: the caller is told, under the
// mailbox's lock, so that no call runs once the caller has said it wants none.
void Trabajador::CorregidoAjeno() {
    const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
    if (buzon_->alCorregir) {
        buzon_->alCorregir();
    }
}

bool Trabajador::Conectar() {
    if (enumerador_) {
        return true;
    }
    IMMDeviceEnumerator* enumerador = nullptr;
    if (!fabrica_ || FAILED(fabrica_(&enumerador)) || enumerador == nullptr) {
        return false;
    }
    enumerador_.reset(enumerador);
    return true;
}

// Lets everything go, the enumerator last; the next write connects anew.
void Trabajador::Desconectar() {
    DejarDeVigilar();
    enumerador_.reset();
}

// The devices held now: under a ceiling every active render device,
// otherwise the default one or the chosen one; or none, and why.
Dispositivos Trabajador::Sostenidos(EstadoSalida& porque) {
    Dispositivos dispositivos;
    if (!PoliticaCorrecciones::CadaDispositivo(preferencias_.modo)) {
        Com<IMMDevice> dispositivo = Elegido(porque);
        if (dispositivo) {
            dispositivos.push_back(std::move(dispositivo));
        }
        return dispositivos;
    }
    porque = EstadoSalida::NoResponde;
    if (!Conectar()) {
        return dispositivos;
    }
    IMMDeviceCollection* crudo = nullptr;
    if (FAILED(enumerador_->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &crudo)) ||
        crudo == nullptr) {
        Desconectar(); // the audio service is gone or restarting
        return dispositivos;
    }
    const Com<IMMDeviceCollection> coleccion(crudo);
    UINT cuenta = 0;
    if (FAILED(coleccion->GetCount(&cuenta))) {
        return dispositivos;
    }
    for (UINT i = 0; i < cuenta; ++i) {
        IMMDevice* dispositivo = nullptr;
        if (SUCCEEDED(coleccion->Item(i, &dispositivo)) && dispositivo != nullptr) {
            dispositivos.emplace_back(dispositivo);
        }
    }
    porque = dispositivos.empty() ? EstadoSalida::NoConectado : EstadoSalida::Escribe;
    return dispositivos;
}

// The default render device, or the chosen one while it is there to play;
// or nothing, and why. A failure other than "no such device" means the audio
// service is gone or restarting: the output then connects afresh at its next
// write.
Com<IMMDevice> Trabajador::Elegido(EstadoSalida& porque) {
    porque = EstadoSalida::NoResponde;
    if (!Conectar()) {
        return nullptr;
    }
    IMMDevice* crudo = nullptr;
    const HRESULT resultado =
        preferencias_.dispositivo.empty()
            ? enumerador_->GetDefaultAudioEndpoint(eRender, eConsole, &crudo)
            : enumerador_->GetDevice(com::Ancho(preferencias_.dispositivo).c_str(), &crudo);
    if (FAILED(resultado) || crudo == nullptr) {
        if (resultado == E_NOTFOUND) {
            porque = EstadoSalida::NoConectado;
        } else {
            Desconectar();
        }
        return nullptr;
    }
    Com<IMMDevice> dispositivo(crudo);
    DWORD estado = 0;
    if (!preferencias_.dispositivo.empty() &&
        (FAILED(dispositivo->GetState(&estado)) || estado != DEVICE_STATE_ACTIVE)) {
        porque = EstadoSalida::NoConectado;
        return nullptr;
    }
    porque = EstadoSalida::Escribe;
    return dispositivo;
}

// Watches the devices held while held: each one's volume notifications, and
// the enumerator's device events. A watch that is already on a device is
// kept, unless its endpoint says it is gone (the device was removed, or the
// audio service restarted); the watches of devices no longer held go.
void Trabajador::Vigilar(const Dispositivos& dispositivos) {
    if (!sostenido_ || !enumerador_) {
        return;
    }
    if (!avisoDispositivos_) {
        Com<AvisoDispositivos> aviso(new AvisoDispositivos(buzon_));
        if (SUCCEEDED(enumerador_->RegisterEndpointNotificationCallback(aviso.get()))) {
            avisoDispositivos_ = std::move(aviso);
        }
    }
    std::vector<Vigilancia> vigentes;
    for (const Com<IMMDevice>& dispositivo : dispositivos) {
        const std::wstring id = IdDe(dispositivo.get());
        if (id.empty()) {
            continue;
        }
        const auto anterior = std::find_if(vigilancias_.begin(), vigilancias_.end(),
                                           [&id](const Vigilancia& v) { return v.id == id; });
        UINT canales = 0;
        if (anterior != vigilancias_.end() &&
            anterior->volumen->GetChannelCount(&canales) != AUDCLNT_E_DEVICE_INVALIDATED) {
            vigentes.push_back(std::move(*anterior));
            vigilancias_.erase(anterior);
            continue;
        }
        std::optional<Vigilancia> nueva = NuevaVigilancia(dispositivo.get(), id);
        if (nueva) {
            vigentes.push_back(std::move(*nueva));
        }
    }
    for (Vigilancia& vieja : vigilancias_) {
        Soltar(vieja);
    }
    vigilancias_ = std::move(vigentes);
}

std::optional<Vigilancia> Trabajador::NuevaVigilancia(IMMDevice* dispositivo,
                                                      const std::wstring& id) {
    Com<IAudioEndpointVolume> volumen = VolumenDe(dispositivo);
    if (!volumen) {
        return std::nullopt;
    }
    const std::uint64_t numero = ++numeroVigilancias_;
    Com<AvisoVolumen> aviso(new AvisoVolumen(buzon_, contexto_, numero));
    {
        // This watch's notes count from now on.
        const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
        buzon_->vigilancias.insert(numero);
    }
    if (FAILED(volumen->RegisterControlChangeNotify(aviso.get()))) {
        const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
        buzon_->vigilancias.erase(numero);
        return std::nullopt;
    }
    return Vigilancia{id, numero, std::move(volumen), std::move(aviso)};
}

// Unregisters the volume callback before letting it go; its notes no longer
// count.
void Trabajador::Soltar(Vigilancia& vigilancia) {
    {
        const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
        buzon_->vigilancias.erase(vigilancia.numero);
        buzon_->notas.erase(vigilancia.numero);
    }
    if (vigilancia.volumen && vigilancia.aviso) {
        vigilancia.volumen->UnregisterControlChangeNotify(vigilancia.aviso.get());
    }
    vigilancia.aviso.reset();
    vigilancia.volumen.reset();
}

void Trabajador::DejarDeVigilar() {
    for (Vigilancia& vigilancia : vigilancias_) {
        Soltar(vigilancia);
    }
    vigilancias_.clear();
    if (enumerador_ && avisoDispositivos_) {
        enumerador_->UnregisterEndpointNotificationCallback(avisoDispositivos_.get());
    }
    avisoDispositivos_.reset();
}

// The worker thread: COM from its first call to its last, every COM object
// released before COM is. It holds nothing of the output but the mailbox, so
// it may outlive the output when the destructor stops waiting for it.
void Trabajar(std::shared_ptr<Buzon> buzon, GUID contexto, bool restaurar,
              FabricaEnumerador fabrica) {
    try {
        const ComDelHilo hilo;
        Trabajador trabajador(buzon, contexto, restaurar, std::move(fabrica));
        trabajador.Atender();
    } catch (...) {
        // No lock or no memory to be had: the output falls silent.
    }
    try {
        buzon->Terminado();
    } catch (...) {
        // No lock: the destructor stops waiting after its beat.
    }
}

class SalidaWindows final : public SalidaVolumen {
public:
    SalidaWindows(FabricaEnumerador fabrica, bool restaurarAlCambiar)
        : buzon_(std::make_shared<Buzon>()) {
        // A context of this output's own, unless the system has none to give.
        GUID propio{};
        const GUID contexto = SUCCEEDED(CoCreateGuid(&propio)) ? propio : kContextoDeReserva;
        try {
            hilo_ = std::thread(Trabajar, buzon_, contexto, restaurarAlCambiar, std::move(fabrica));
        } catch (const std::system_error&) {
            // No thread to be had: the output writes nothing, the program goes on.
        }
    }

    ~SalidaWindows() override {
        buzon_->Dejar([this] { buzon_->terminar = true; });
        if (!hilo_.joinable()) {
            return;
        }
        // It makes its last write and lets its watch and COM go; one stuck in
        // the audio service is let go, with its own share of the mailbox.
        if (buzon_->EsperarFin(kEsperaFinTrabajador)) {
            hilo_.join();
        } else {
            hilo_.detach();
        }
    }

    SalidaWindows(const SalidaWindows&) = delete;
    SalidaWindows& operator=(const SalidaWindows&) = delete;

    void Escribir(std::uint32_t palabra) override {
        buzon_->Dejar([this, palabra] {
            buzon_->palabra = palabra;
            buzon_->escribir = true;
        });
    }

    void Sostener(bool sostener) override {
        buzon_->Dejar([this, sostener] { buzon_->sostener = sostener; });
    }

    void Configurar(const Preferencias& preferencias) override {
        buzon_->Dejar([this, preferencias] { buzon_->preferencias = preferencias; });
    }

    void AlCorregir(std::function<void()> aviso) override {
        const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
        buzon_->alCorregir = std::move(aviso);
    }

    void AlCambiarEstado(std::function<void(EstadoSalida)> aviso) override {
        const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
        buzon_->alCambiarEstado = std::move(aviso);
        if (buzon_->alCambiarEstado && buzon_->estado != EstadoSalida::Escribe) {
            buzon_->alCambiarEstado(buzon_->estado);
        }
    }

private:
    std::shared_ptr<Buzon> buzon_;
    std::thread hilo_;
};

} // namespace

HRESULT EnumeradorDelSistema(IMMDeviceEnumerator** enumerador) {
    return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                            __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(enumerador));
}

std::unique_ptr<SalidaVolumen> CrearSalidaWindows(FabricaEnumerador fabrica,
                                                  bool restaurarAlCambiar) {
    return std::make_unique<SalidaWindows>(std::move(fabrica), restaurarAlCambiar);
}

std::unique_ptr<SalidaVolumen> CrearSalidaDelSistema(bool restaurarAlCambiar) {
    return CrearSalidaWindows(&EnumeradorDelSistema, restaurarAlCambiar);
}

} // namespace volumen
