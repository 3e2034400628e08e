// The Windows output: the device volume of the default render endpoint,
// through Core Audio (IAudioEndpointVolume). Since Vista this is the
// device's own level, the one the system mixer shows; per-program session
// volumes and the mute switch are left alone.
//
// Every call into Core Audio runs on one worker thread of the output's own,
// which lives in COM's multithreaded apartment from its start to its end.
// Escribir and Sostener only record what is asked under a lock and wake the
// worker, so an audio service that is slow or restarting never holds up the
// caller. The worker keeps only the newest word: writes asked for while it
// was busy collapse into one.
//
// While held, two callbacks watch the device: the endpoint's volume
// notifications and the enumerator's default-device changes. They come on
// COM's own threads and only leave a note for the worker, which compares
// and writes. Our own writes carry a context of the output's own, so their
// notifications (also the half-done ones, between one channel and the next)
// are told apart from another program's changes.
//
// The default endpoint is looked up at every write, so the level follows the
// user to a newly chosen output device. Results are not reported: a write
// that fails leaves the device as it is and the next write tries again.
// When FrenoCorrecciones refuses a correction, the worker checks the device
// once more at the end of the pause and corrects it where it differs.
//
// The destructor lets the worker make the last write asked for, then waits
// for it at most one beat of the cycle: a worker held up longer inside the
// audio service is let go, and as it shares nothing with the output but the
// mailbox, it ends on its own whenever the service answers.
#include "volume/com_windows.h"
#include "volume/freno_correcciones.h"
#include "volume/salida_volumen.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
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
constexpr std::uint64_t kSinVigilancia = 0; // no endpoint watched: notes are dropped
// The end of a pause of corrections is checked a little after the brake's own
// end, so that the check is not refused by the last moment of the pause.
constexpr std::int64_t kMargenFinPausaMs = 10;
constexpr auto kFinPausa =
    std::chrono::milliseconds(FrenoCorrecciones::kPausaMs + kMargenFinPausaMs);
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

// A device's volume as a notification tells it.
struct Niveles {
    float maestro = 0.0f;
    std::vector<float> canales;
};

// The device's volume as it is now, or nothing when it cannot be read.
std::optional<Niveles> NivelesDe(IMMDevice* dispositivo) {
    const Com<IAudioEndpointVolume> volumen = VolumenDe(dispositivo);
    Niveles niveles;
    UINT canales = 0;
    if (!volumen || FAILED(volumen->GetMasterVolumeLevelScalar(&niveles.maestro)) ||
        FAILED(volumen->GetChannelCount(&canales))) {
        return std::nullopt;
    }
    niveles.canales.resize(canales);
    for (UINT canal = 0; canal < canales; ++canal) {
        if (FAILED(volumen->GetChannelVolumeLevelScalar(canal, &niveles.canales[canal]))) {
            return std::nullopt;
        }
    }
    return niveles;
}

// Whether a channel at `actual` must move for the level `nivel` in the mode.
bool FueraDeModo(Modo modo, float actual, float nivel) {
    return std::fabs(actual - ValorEnModo(modo, actual, nivel)) > kTolerancia;
}

// Whether the device's volume differs from what the word gives it in the
// mode. A device that reports no channels is judged by its master volume.
bool Difiere(const Niveles& niveles, std::uint32_t palabra, Modo modo) {
    const auto canales = static_cast<UINT>(niveles.canales.size());
    if (canales == 0) {
        return FueraDeModo(modo, niveles.maestro, EscalarDeCanal(palabra, 0, 0));
    }
    for (UINT canal = 0; canal < canales; ++canal) {
        if (FueraDeModo(modo, niveles.canales[canal], EscalarDeCanal(palabra, canal, canales))) {
            return true;
        }
    }
    return false;
}

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
    bool cambioDispositivo = false;            // a new default render device
    bool notificado = false;                   // a change of the watched volume
    Niveles niveles;                           // ... and what the device told
    std::uint64_t vigilancia = kSinVigilancia; // the watch whose notes count
    Preferencias preferencias;
    std::function<void()> alCorregir; // called under the lock

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

    void Notificar(std::uint64_t deVigilancia, const AUDIO_VOLUME_NOTIFICATION_DATA& datos) {
        {
            const std::lock_guard<std::mutex> cerrojo(mutex);
            if (deVigilancia != vigilancia) {
                return; // from an endpoint no longer watched
            }
            const FLOAT* primero = datos.afChannelVolumes;
            niveles.maestro = datos.fMasterVolume;
            niveles.canales.assign(primero, primero + datos.nChannels);
            notificado = true;
        }
        aviso.notify_one();
    }
};

// IUnknown for the callback objects: counted references, deleted with the last.
template <typename Interfaz> class ObjetoCom : public Interfaz {
public:
    ObjetoCom(const ObjetoCom&) = delete;
    ObjetoCom& operator=(const ObjetoCom&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++referencias_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG quedan = --referencias_;
        if (quedan == 0) {
            delete this;
        }
        return quedan;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** objeto) override {
        if (objeto == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(id, __uuidof(IUnknown)) || IsEqualIID(id, __uuidof(Interfaz))) {
            *objeto = static_cast<Interfaz*>(this);
            AddRef();
            return S_OK;
        }
        *objeto = nullptr;
        return E_NOINTERFACE;
    }

protected:
    explicit ObjetoCom(std::shared_ptr<Buzon> buzon)
        : buzon_(std::move(buzon)) {}
    virtual ~ObjetoCom() = default;

    std::shared_ptr<Buzon> buzon_;

private:
    std::atomic<ULONG> referencias_{1}; // the creator's
};

// The watched endpoint's volume notifications: another program's changes
// go to the worker; our own writes' are dropped here.
class AvisoVolumen final : public ObjetoCom<IAudioEndpointVolumeCallback> {
public:
    AvisoVolumen(std::shared_ptr<Buzon> buzon, const GUID& contextoPropio, std::uint64_t vigilancia)
        : ObjetoCom(std::move(buzon))
        , contextoPropio_(contextoPropio)
        , vigilancia_(vigilancia) {}

    HRESULT STDMETHODCALLTYPE OnNotify(AUDIO_VOLUME_NOTIFICATION_DATA* datos) override {
        if (datos == nullptr || IsEqualGUID(datos->guidEventContext, contextoPropio_)) {
            return S_OK;
        }
        try {
            buzon_->Notificar(vigilancia_, *datos);
        } catch (...) {
            return E_FAIL; // nothing may cross into COM's thread
        }
        return S_OK;
    }

private:
    const GUID contextoPropio_;
    const std::uint64_t vigilancia_;
};

// The enumerator's device events: only a new default render device matters.
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
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR /*id*/, DWORD /*estado*/) override {
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
    std::optional<Niveles> niveles;
    bool comprobar = false; // a pause of corrections is over
    Preferencias preferencias;
};

// The worker thread's side: every COM object of the output lives here and
// is used on this thread only.
class Trabajador {
public:
    Trabajador(std::shared_ptr<Buzon> buzon, const GUID& contexto, bool restaurar)
        : buzon_(std::move(buzon))
        , contexto_(contexto)
        , restaurar_(restaurar) {}
    ~Trabajador() { Desconectar(); }
    Trabajador(const Trabajador&) = delete;
    Trabajador& operator=(const Trabajador&) = delete;

    // Connects, then serves the mailbox until told to end.
    void Atender();

private:
    void Hacer(const Pedido& pedido);
    bool Corregir();
    void CorregidoAjeno();
    bool Conectar();
    void Desconectar();
    Com<IMMDevice> Predeterminado();
    bool EscribirAlPredeterminado(std::uint32_t palabra);
    void Vigilar(IMMDevice* dispositivo);
    void SoltarVolumen();
    void DejarDeVigilar();

    std::shared_ptr<Buzon> buzon_;
    const GUID contexto_;
    const bool restaurar_;

    Com<IMMDeviceEnumerator> enumerador_;
    bool sostenido_ = false;
    Com<AvisoDispositivos> avisoDispositivos_; // registered with the enumerator
    Com<IAudioEndpointVolume> vigilado_;       // the watched endpoint's volume
    Com<AvisoVolumen> avisoVolumen_;           // registered with it
    std::wstring idVigilado_;
    std::uint64_t vigilancias_ = kSinVigilancia; // watches started so far
    FrenoCorrecciones freno_;
    std::optional<Reloj::time_point> comprobacion_; // the check at the end of a pause
    Preferencias preferencias_;                     // as the mailbox had them this round
};

void Trabajador::Atender() {
    Conectar(); // so that the first write goes out as soon as it is asked for
    std::unique_lock<std::mutex> cerrojo(buzon_->mutex);
    const auto hayTrabajo = [this] {
        const Buzon& b = *buzon_;
        return b.terminar || b.escribir || b.cambioDispositivo || b.notificado ||
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
        if (buzon_->terminar) {
            // The last level asked for still goes out; nothing is watched any more.
            cerrojo.unlock();
            sostenido_ = false;
            if (pedido.escribir && pedido.palabra) {
                EscribirAlPredeterminado(*pedido.palabra);
            }
            return;
        }
        pedido.comprobar = comprobacion_ && Reloj::now() >= *comprobacion_;
        pedido.sostener = restaurar_ && buzon_->sostener;
        pedido.cambioDispositivo = std::exchange(buzon_->cambioDispositivo, false);
        if (std::exchange(buzon_->notificado, false)) {
            pedido.niveles = std::move(buzon_->niveles);
        }
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
            freno_.Reiniciar();
            Vigilar(Predeterminado().get());
        } else {
            DejarDeVigilar(); // released: nothing is written back
        }
    }
    bool escrito = false;
    if (pedido.escribir && pedido.palabra) {
        escrito = EscribirAlPredeterminado(*pedido.palabra);
    }
    if (!sostenido_ || escrito) {
        return; // not held, or the device was just given the level in force
    }
    if (pedido.cambioDispositivo || pedido.comprobar) {
        // A new default device, or the end of a pause. Watch the device first,
        // so that no change after our write goes unseen; then give it the
        // level: a new device always, after a pause where it differs (or
        // cannot be read).
        Com<IMMDevice> dispositivo = Predeterminado();
        Vigilar(dispositivo.get());
        if (!dispositivo || !pedido.palabra) {
            return;
        }
        if (!pedido.cambioDispositivo) {
            const std::optional<Niveles> niveles = NivelesDe(dispositivo.get());
            if (niveles && !Difiere(*niveles, *pedido.palabra, preferencias_.modo)) {
                return;
            }
        }
        if (Corregir() && EscribirAlPredeterminado(*pedido.palabra) && !pedido.cambioDispositivo) {
            CorregidoAjeno();
        }
        return;
    }
    if (pedido.niveles && pedido.palabra &&
        Difiere(*pedido.niveles, *pedido.palabra, preferencias_.modo) && Corregir() &&
        EscribirAlPredeterminado(*pedido.palabra)) {
        CorregidoAjeno();
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

// Whether a correction may go out now. One refused means a fight: the device
// is checked once more when the pause is over, as the notes that come during
// the pause are let go.
bool Trabajador::Corregir() {
    if (freno_.Permitir(AhoraMs())) {
        return true;
    }
    if (!comprobacion_) {
        comprobacion_ = Reloj::now() + kFinPausa;
    }
    return false;
}

bool Trabajador::Conectar() {
    if (enumerador_) {
        return true;
    }
    IMMDeviceEnumerator* enumerador = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerador)))) {
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

// The current default render device, or nothing. A failure other than "no
// such device" means the audio service is gone or restarting: the output
// then connects afresh at its next write.
Com<IMMDevice> Trabajador::Predeterminado() {
    if (!Conectar()) {
        return nullptr;
    }
    IMMDevice* dispositivo = nullptr;
    const HRESULT resultado =
        preferencias_.dispositivo.empty()
            ? enumerador_->GetDefaultAudioEndpoint(eRender, eConsole, &dispositivo)
            : enumerador_->GetDevice(com::Ancho(preferencias_.dispositivo).c_str(), &dispositivo);
    if (SUCCEEDED(resultado) && !preferencias_.dispositivo.empty()) {
        // One device by its ID: only while it is there to play.
        DWORD estado = 0;
        Com<IMMDevice> elegido(dispositivo);
        if (FAILED(elegido->GetState(&estado)) || estado != DEVICE_STATE_ACTIVE) {
            return nullptr;
        }
        return elegido;
    }
    if (FAILED(resultado)) {
        if (resultado != E_NOTFOUND) {
            Desconectar();
        }
        return nullptr;
    }
    return Com<IMMDevice>(dispositivo);
}

bool Trabajador::EscribirAlPredeterminado(std::uint32_t palabra) {
    const Com<IMMDevice> dispositivo = Predeterminado();
    if (!dispositivo) {
        return false;
    }
    if (sostenido_) {
        Vigilar(dispositivo.get()); // follows a new device, and a watch lost with the service
    }
    const Com<IAudioEndpointVolume> volumen = VolumenDe(dispositivo.get());
    UINT canales = 0;
    if (!volumen || FAILED(volumen->GetChannelCount(&canales))) {
        return false;
    }
    // Every channel, whatever the count. Written when one channel at least
    // took the level: the watch corrects the others. Under a ceiling or a
    // floor, only the channels beyond it, and a device within it counts as
    // written.
    bool escrito = false;
    bool pendiente = false;
    for (UINT canal = 0; canal < canales; ++canal) {
        const float nivel = EscalarDeCanal(palabra, canal, canales);
        float actual = 0.0f;
        if (preferencias_.modo != Modo::Fijo &&
            SUCCEEDED(volumen->GetChannelVolumeLevelScalar(canal, &actual)) &&
            !FueraDeModo(preferencias_.modo, actual, nivel)) {
            continue;
        }
        pendiente = true;
        if (SUCCEEDED(volumen->SetChannelVolumeLevelScalar(canal, nivel, &contexto_))) {
            escrito = true;
        }
    }
    return escrito || (!pendiente && canales > 0);
}

// Watches the given device (the default one) while held: its volume
// notifications, and the enumerator's default-device changes. A watch that
// is already on that device and still answers is kept.
void Trabajador::Vigilar(IMMDevice* dispositivo) {
    if (!sostenido_ || !enumerador_) {
        return;
    }
    if (!avisoDispositivos_) {
        Com<AvisoDispositivos> aviso(new AvisoDispositivos(buzon_));
        if (SUCCEEDED(enumerador_->RegisterEndpointNotificationCallback(aviso.get()))) {
            avisoDispositivos_ = std::move(aviso);
        }
    }
    if (dispositivo == nullptr) {
        SoltarVolumen(); // no device now: the next default device brings a watch
        return;
    }
    LPWSTR idCrudo = nullptr;
    if (FAILED(dispositivo->GetId(&idCrudo)) || idCrudo == nullptr) {
        return;
    }
    const com::TextoCom idPropio(idCrudo);
    const std::wstring id(idCrudo);
    UINT canales = 0;
    if (vigilado_ && id == idVigilado_ && SUCCEEDED(vigilado_->GetChannelCount(&canales))) {
        return;
    }

    SoltarVolumen();
    Com<IAudioEndpointVolume> volumen = VolumenDe(dispositivo);
    if (!volumen) {
        return;
    }
    const std::uint64_t vigilancia = ++vigilancias_;
    Com<AvisoVolumen> aviso(new AvisoVolumen(buzon_, contexto_, vigilancia));
    {
        // Only this watch's notes count from now on.
        const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
        buzon_->vigilancia = vigilancia;
        buzon_->notificado = false;
    }
    if (FAILED(volumen->RegisterControlChangeNotify(aviso.get()))) {
        return;
    }
    vigilado_ = std::move(volumen);
    avisoVolumen_ = std::move(aviso);
    idVigilado_ = id;
}

// Unregisters the volume callback before letting it go.
void Trabajador::SoltarVolumen() {
    {
        const std::lock_guard<std::mutex> cerrojo(buzon_->mutex);
        buzon_->vigilancia = kSinVigilancia;
        buzon_->notificado = false;
    }
    if (vigilado_ && avisoVolumen_) {
        vigilado_->UnregisterControlChangeNotify(avisoVolumen_.get());
    }
    avisoVolumen_.reset();
    vigilado_.reset();
    idVigilado_.clear();
}

void Trabajador::DejarDeVigilar() {
    SoltarVolumen();
    if (enumerador_ && avisoDispositivos_) {
        enumerador_->UnregisterEndpointNotificationCallback(avisoDispositivos_.get());
    }
    avisoDispositivos_.reset();
}

// The worker thread: COM from its first call to its last, every COM object
// released before COM is. It holds nothing of the output but the mailbox, so
// it may outlive the output when the destructor stops waiting for it.
void Trabajar(std::shared_ptr<Buzon> buzon, GUID contexto, bool restaurar) {
    try {
        const ComDelHilo hilo;
        Trabajador trabajador(buzon, contexto, restaurar);
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
    explicit SalidaWindows(bool restaurarAlCambiar)
        : buzon_(std::make_shared<Buzon>()) {
        // A context of this output's own, unless the system has none to give.
        GUID propio{};
        const GUID contexto = SUCCEEDED(CoCreateGuid(&propio)) ? propio : kContextoDeReserva;
        try {
            hilo_ = std::thread(Trabajar, buzon_, contexto, restaurarAlCambiar);
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

private:
    std::shared_ptr<Buzon> buzon_;
    std::thread hilo_;
};

} // namespace

std::unique_ptr<SalidaVolumen> CrearSalidaDelSistema(bool restaurarAlCambiar) {
    return std::make_unique<SalidaWindows>(restaurarAlCambiar);
}

} // namespace volumen
