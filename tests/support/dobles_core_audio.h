// Doubles of Core Audio for the Windows output, run under Wine. They stand in
// because Wine has no endpoint volume of its own (every level call answers
// E_NOTIMPL there): an enumerator whose endpoints come and go and whose
// default changes, which lists the active ones, and endpoint volumes with any
// number of channels and a mute switch that may refuse writes, record every
// write of a level with its event context, and call their registered
// callbacks from a thread of their own, as Windows does, for every change,
// ours too. MinGW-w64 only; the test program and the benchmark
// under Wine share them. The doubles live as long as their owner; their
// reference counts are not kept, except the collection of endpoints that the
// enumerator hands over, which goes with its last reference.
#pragma once

#include <windows.h>

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include "volume/com_windows.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dobles {

using Reloj = std::chrono::steady_clock;

// The context of a change that nobody marked: the system's own, or another
// program's.
inline constexpr GUID kSinContexto{};

// One COM interface of a double: IUnknown answered, references not counted.
template <typename Interfaz> class Doble : public Interfaz {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** objeto) override {
        const bool propia =
            IsEqualIID(id, __uuidof(IUnknown)) || IsEqualIID(id, __uuidof(Interfaz));
        *objeto = propia ? static_cast<Interfaz*>(this) : nullptr;
        return propia ? S_OK : E_NOINTERFACE;
    }
};

// Calls the callbacks in order from a thread of its own. A call taken from
// the queue runs to its end before a callback may be unregistered.
class Notificador {
public:
    Notificador()
        : hilo_([this] { Atender(); }) {}
    ~Notificador() {
        {
            const std::lock_guard<std::mutex> cerrojo(mutex_);
            fin_ = true;
        }
        cambio_.notify_all();
        hilo_.join();
    }
    void Enviar(std::function<void()> llamada) {
        {
            const std::lock_guard<std::mutex> cerrojo(mutex_);
            cola_.push_back(std::move(llamada));
        }
        cambio_.notify_all();
    }
    // Waits for the call that runs now, if any.
    void EsperarLlamada() {
        std::unique_lock<std::mutex> cerrojo(mutex_);
        cambio_.wait(cerrojo, [this] { return !llamando_; });
    }
    // Takes a registered callback off its owner's list and lets it go once no
    // call of it runs: what an unregister does.
    template <typename Aviso>
    HRESULT Quitar(std::mutex& mutex, std::vector<Aviso*>& registrados, Aviso* aviso) {
        {
            const std::lock_guard<std::mutex> cerrojo(mutex);
            const auto encontrado = std::find(registrados.begin(), registrados.end(), aviso);
            if (encontrado == registrados.end()) {
                return E_INVALIDARG;
            }
            registrados.erase(encontrado);
        }
        EsperarLlamada();
        aviso->Release();
        return S_OK;
    }

private:
    void Atender() {
        std::unique_lock<std::mutex> cerrojo(mutex_);
        for (;;) {
            cambio_.wait(cerrojo, [this] { return fin_ || !cola_.empty(); });
            if (cola_.empty()) {
                return;
            }
            const std::function<void()> llamada = std::move(cola_.front());
            cola_.pop_front();
            llamando_ = true;
            cerrojo.unlock();
            llamada();
            cerrojo.lock();
            llamando_ = false;
            cambio_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable cambio_;
    std::deque<std::function<void()>> cola_;
    bool llamando_ = false;
    bool fin_ = false;
    std::thread hilo_;
};

// An endpoint's volume: `canales` channels (none: a master volume alone).
class VolumenDoble final : public Doble<IAudioEndpointVolume> {
public:
    static constexpr UINT kMaestro = ~UINT{0}; // the channel of a write of the master volume
    struct Escritura {
        UINT canal;
        float valor;
        GUID contexto;
        Reloj::time_point cuando;
    };

    VolumenDoble(Notificador& notificador, UINT canales)
        : notificador_(notificador)
        , canales_(canales, 1.0f) {}

    // Someone else sets every channel: the callbacks hear of it.
    void Ajeno(float valor) {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        std::fill(canales_.begin(), canales_.end(), valor);
        maestro_ = valor;
        Avisar(kSinContexto);
    }
    // Someone else mutes it, or undoes the mute.
    void Silenciar(bool silencio) {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        silencio_ = silencio ? TRUE : FALSE;
        Avisar(kSinContexto);
    }
    bool Silenciado() {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        return silencio_ != FALSE;
    }
    // What every write answers from now on.
    void Responder(HRESULT resultado) {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        respuesta_ = resultado;
    }
    std::vector<float> Canales() {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        return canales_.empty() ? std::vector<float>{maestro_} : canales_;
    }
    std::vector<Escritura> Escrituras() {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        return escrituras_;
    }
    int Registros() {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        return registros_;
    }
    int Intentos() { // writes asked for, refused ones too
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        return intentos_;
    }

    HRESULT STDMETHODCALLTYPE
    RegisterControlChangeNotify(IAudioEndpointVolumeCallback* aviso) override {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        aviso->AddRef();
        avisos_.push_back(aviso);
        ++registros_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* aviso) override {
        return notificador_.Quitar(mutex_, avisos_, aviso);
    }
    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* cuenta) override {
        *cuenta = static_cast<UINT>(canales_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float valor, LPCGUID contexto) override {
        return Fijar(kMaestro, valor, contexto);
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float* valor) override {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        *valor = maestro_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT canal, float valor,
                                                          LPCGUID contexto) override {
        return canal < canales_.size() ? Fijar(canal, valor, contexto) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT canal, float* valor) override {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        if (canal >= canales_.size()) {
            return E_INVALIDARG;
        }
        *valor = canales_[canal];
        return S_OK;
    }
    // What the output never calls.
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, float, LPCGUID) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL silencio, LPCGUID contexto) override {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        ++intentos_;
        if (FAILED(respuesta_)) {
            return respuesta_;
        }
        silencio_ = silencio;
        Avisar(contexto != nullptr ? *contexto : kSinContexto);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* silencio) override {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        *silencio = silencio_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVolumeRange(float*, float*, float*) override { return E_NOTIMPL; }

private:
    HRESULT Fijar(UINT canal, float valor, LPCGUID contexto) {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        ++intentos_;
        if (FAILED(respuesta_)) {
            return respuesta_;
        }
        if (canal == kMaestro) {
            std::fill(canales_.begin(), canales_.end(), valor);
            maestro_ = valor;
        } else {
            canales_[canal] = valor;
            maestro_ = *std::max_element(canales_.begin(), canales_.end());
        }
        const GUID propio = contexto != nullptr ? *contexto : kSinContexto;
        escrituras_.push_back({canal, valor, propio, Reloj::now()});
        Avisar(propio);
        return S_OK;
    }

    // Every registered callback hears of the volume as it is now, later.
    void Avisar(const GUID& contexto) {
        const UINT cuenta = static_cast<UINT>(canales_.size());
        const std::size_t bytes =
            sizeof(AUDIO_VOLUME_NOTIFICATION_DATA) + std::max<UINT>(cuenta, 1) * sizeof(float);
        const auto memoria = std::make_shared<std::vector<unsigned char>>(bytes);
        auto* datos = reinterpret_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(memoria->data());
        datos->guidEventContext = contexto;
        datos->bMuted = silencio_;
        datos->fMasterVolume = maestro_;
        datos->nChannels = cuenta;
        std::copy(canales_.begin(), canales_.end(), datos->afChannelVolumes);
        for (IAudioEndpointVolumeCallback* aviso : avisos_) {
            aviso->AddRef(); // a call on its way outlives an unregistration
            notificador_.Enviar([aviso, memoria, datos] {
                aviso->OnNotify(datos);
                aviso->Release();
            });
        }
    }

    Notificador& notificador_;
    std::mutex mutex_;
    std::vector<float> canales_;
    float maestro_ = 1.0f;
    BOOL silencio_ = FALSE;
    HRESULT respuesta_ = S_OK;
    std::vector<Escritura> escrituras_;
    std::vector<IAudioEndpointVolumeCallback*> avisos_;
    int registros_ = 0;
    int intentos_ = 0;
};

// An endpoint: its ID, whether it is there to play, and its volume.
class DispositivoDoble final : public Doble<IMMDevice> {
public:
    DispositivoDoble(Notificador& notificador, std::wstring id, UINT canales)
        : id_(std::move(id))
        , volumen(notificador, canales) {}

    const std::wstring& Id() const { return id_; }
    bool Activo() const { return estado_ == DEVICE_STATE_ACTIVE; }
    void Estado(DWORD estado) { estado_ = estado; }

    HRESULT STDMETHODCALLTYPE Activate(REFIID id, DWORD, PROPVARIANT*, void** objeto) override {
        if (!IsEqualIID(id, __uuidof(IAudioEndpointVolume))) {
            return E_NOINTERFACE;
        }
        *objeto = Activo() ? static_cast<IAudioEndpointVolume*>(&volumen) : nullptr;
        return Activo() ? S_OK : AUDCLNT_E_DEVICE_INVALIDATED;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        const std::size_t bytes = (id_.size() + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        std::memcpy(*id, id_.c_str(), bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* estado) override {
        *estado = estado_;
        return S_OK;
    }

private:
    const std::wstring id_;
    std::atomic<DWORD> estado_{DEVICE_STATE_ACTIVE};

public:
    VolumenDoble volumen;
};

// The endpoints that EnumAudioEndpoints found, as the collection it hands
// over; its references are counted, and the last one deletes it.
class ColeccionDoble final : public volumen::com::Contado<IMMDeviceCollection> {
public:
    explicit ColeccionDoble(std::vector<DispositivoDoble*> dispositivos)
        : dispositivos_(std::move(dispositivos)) {}

    HRESULT STDMETHODCALLTYPE GetCount(UINT* cuenta) override {
        *cuenta = static_cast<UINT>(dispositivos_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT indice, IMMDevice** dispositivo) override {
        *dispositivo = indice < dispositivos_.size() ? dispositivos_[indice] : nullptr;
        return *dispositivo != nullptr ? S_OK : E_INVALIDARG;
    }

private:
    const std::vector<DispositivoDoble*> dispositivos_;
};

// The device enumerator: the endpoints given, the first one the default.
class EnumeradorDoble final : public Doble<IMMDeviceEnumerator> {
public:
    EnumeradorDoble(Notificador& notificador, std::vector<DispositivoDoble*> dispositivos)
        : notificador_(notificador)
        , dispositivos_(std::move(dispositivos))
        , predeterminado_(dispositivos_.front()) {}

    // How the output gets it.
    HRESULT Fabricar(IMMDeviceEnumerator** enumerador) {
        *enumerador = this;
        return S_OK;
    }
    // Another default render device, told to the clients.
    void Predeterminado(DispositivoDoble& dispositivo) {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        predeterminado_ = &dispositivo;
        Avisar([&dispositivo](IMMNotificationClient* cliente) {
            for (const ERole papel : {eConsole, eMultimedia, eCommunications}) {
                cliente->OnDefaultDeviceChanged(eRender, papel, dispositivo.Id().c_str());
            }
        });
    }
    // A device unplugged (not present) or back (active), told to the clients.
    void Estado(DispositivoDoble& dispositivo, DWORD estado) {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        dispositivo.Estado(estado);
        Avisar([&dispositivo, estado](IMMNotificationClient* cliente) {
            cliente->OnDeviceStateChanged(dispositivo.Id().c_str(), estado);
        });
    }

    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flujo, ERole,
                                                      IMMDevice** dispositivo) override {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        const bool hay = flujo == eRender && predeterminado_->Activo();
        *dispositivo = hay ? predeterminado_ : nullptr;
        return hay ? S_OK : E_NOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** dispositivo) override {
        const auto encontrado = std::find_if(dispositivos_.begin(), dispositivos_.end(),
                                             [id](DispositivoDoble* d) { return d->Id() == id; });
        *dispositivo = encontrado != dispositivos_.end() ? *encontrado : nullptr;
        return *dispositivo != nullptr ? S_OK : E_NOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* cliente) override {
        const std::lock_guard<std::mutex> cerrojo(mutex_);
        cliente->AddRef();
        clientes_.push_back(cliente);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* cliente) override {
        return notificador_.Quitar(mutex_, clientes_, cliente);
    }
    // The render endpoints there to play (the only state the output asks for).
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flujo, DWORD,
                                                 IMMDeviceCollection** coleccion) override {
        std::vector<DispositivoDoble*> activos;
        if (flujo == eRender) {
            std::copy_if(dispositivos_.begin(), dispositivos_.end(), std::back_inserter(activos),
                         [](DispositivoDoble* d) { return d->Activo(); });
        }
        *coleccion = new ColeccionDoble(std::move(activos));
        return S_OK;
    }

private:
    void Avisar(const std::function<void(IMMNotificationClient*)>& llamada) {
        for (IMMNotificationClient* cliente : clientes_) {
            cliente->AddRef();
            notificador_.Enviar([cliente, llamada] {
                llamada(cliente);
                cliente->Release();
            });
        }
    }

    Notificador& notificador_;
    std::mutex mutex_;
    const std::vector<DispositivoDoble*> dispositivos_;
    DispositivoDoble* predeterminado_;
    std::vector<IMMNotificationClient*> clientes_;
};

} // namespace dobles
