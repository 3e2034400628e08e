// The Windows output: the device volume of the default render endpoint,
// through Core Audio (IAudioEndpointVolume). Since Vista this is the
// device's own level, the one the system mixer shows; per-program session
// volumes are left alone.
//
// The default endpoint is looked up at every write, so the level follows
// the user to a newly chosen output device. Results are not reported: a
// write that fails leaves the device as it is and the next write tries again.
#include "volume/salida_volumen.h"

#include <windows.h>

#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace volumen {
namespace {

constexpr std::uint32_t kMascaraCanal = 0xFFFFu; // one channel per 16-bit half
constexpr unsigned kBitsMitad = 16;              // the right channel is the high half
constexpr float kCanalMaximo = 65535.0f;         // a channel value at full volume
constexpr UINT kCanalIzquierdo = 0;
constexpr UINT kCanalDerecho = 1;

// Releases a COM interface when it goes out of scope.
struct LiberarCom {
    void operator()(IUnknown* interfaz) const { interfaz->Release(); }
};
template <typename T> using Com = std::unique_ptr<T, LiberarCom>;

// COM for the calling thread, set up at its first write and taken down when
// the thread ends. A thread that already runs COM (Qt's GUI thread does)
// keeps its apartment; a thread in the multithreaded apartment
// (RPC_E_CHANGED_MODE) can still make these calls.
class ComDelHilo {
public:
    ComDelHilo()
        : inicializado_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComDelHilo() {
        if (inicializado_) {
            CoUninitialize();
        }
    }
    ComDelHilo(const ComDelHilo&) = delete;
    ComDelHilo& operator=(const ComDelHilo&) = delete;

private:
    bool inicializado_;
};

void AsegurarCom() {
    thread_local ComDelHilo com;
}

// The endpoint volume of the current default render device, or nothing.
Com<IAudioEndpointVolume> VolumenPredeterminado() {
    IMMDeviceEnumerator* enumerador = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerador)))) {
        return nullptr;
    }
    const Com<IMMDeviceEnumerator> enumeradorPropio(enumerador);

    IMMDevice* dispositivo = nullptr;
    if (FAILED(enumerador->GetDefaultAudioEndpoint(eRender, eConsole, &dispositivo))) {
        return nullptr;
    }
    const Com<IMMDevice> dispositivoPropio(dispositivo);

    IAudioEndpointVolume* volumen = nullptr;
    if (FAILED(dispositivo->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                     reinterpret_cast<void**>(&volumen)))) {
        return nullptr;
    }
    return Com<IAudioEndpointVolume>(volumen);
}

class SalidaWindows final : public SalidaVolumen {
public:
    void Sostener(bool /*sostener*/) override {} // held by the ticks alone for now
    void Escribir(std::uint32_t palabra) override {
        AsegurarCom();
        const Com<IAudioEndpointVolume> volumen = VolumenPredeterminado();
        if (!volumen) {
            return;
        }
        UINT canales = 0;
        if (FAILED(volumen->GetChannelCount(&canales))) {
            return;
        }
        const auto izquierdo = static_cast<std::uint16_t>(palabra & kMascaraCanal);
        const auto derecho = static_cast<std::uint16_t>((palabra >> kBitsMitad) & kMascaraCanal);
        const float escalarIzquierdo = static_cast<float>(izquierdo) / kCanalMaximo;
        const float escalarDerecho = static_cast<float>(derecho) / kCanalMaximo;
        const float escalarOtro = std::max(escalarIzquierdo, escalarDerecho);
        // Every channel, whatever the count; channels past the first two
        // (centre, LFE, surround) take the larger half.
        for (UINT canal = 0; canal < canales; ++canal) {
            float escalar = escalarOtro;
            if (canal == kCanalIzquierdo) {
                escalar = escalarIzquierdo;
            } else if (canal == kCanalDerecho) {
                escalar = escalarDerecho;
            }
            volumen->SetChannelVolumeLevelScalar(canal, escalar, nullptr);
        }
    }
};

} // namespace

std::unique_ptr<SalidaVolumen> CrearSalidaDelSistema(bool /*restaurarAlCambiar*/) {
    return std::make_unique<SalidaWindows>();
}

} // namespace volumen
