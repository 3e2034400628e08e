// The Windows output under Wine (run by prueba_volumen_salida_windows.sh):
// its worker in COM's multithreaded apartment while the output lives and out
// of it, ended, soon after; the default-device changes that Wine announces on
// its own thread, while held, after the release and after the end. Wine's
// endpoint volume answers every level call with E_NOTIMPL, so every write of
// the output fails here and no level can be checked.
// Usage: prueba_volumen_salida_windows.exe con-dispositivo|sin-dispositivo
#include "volume/freno_correcciones.h"
#include "volume/salida_volumen.h"

#include <windows.h>

#include <mmdeviceapi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Reloj = std::chrono::steady_clock;
constexpr std::uint32_t kMitad = 0x80008000u; // half volume on both channels
// One change more than the bound lets through in a second: the last is refused.
constexpr std::size_t kCambiosDePelea = volumen::FrenoCorrecciones::kCorreccionesPorSegundo + 1;
constexpr auto kAsentar = std::chrono::milliseconds(100); // for the worker to take a request
constexpr auto kEsperaTrabajador = std::chrono::milliseconds(1000);
// Wine misses a change made before it watches the key again after the last
// one: a change not announced in a while is made once more.
constexpr auto kEsperaAviso = std::chrono::milliseconds(250);
constexpr int kIntentosCambio = 4;
constexpr auto kSondeo = std::chrono::milliseconds(1);
// A destructor that waited for its worker to end, not one that gave up on it.
constexpr auto kFinRapido = std::chrono::milliseconds(volumen::kIntervaloControlMs / 2);
constexpr wchar_t kDrivers[] = L"Software\\Wine\\Drivers";
constexpr wchar_t kDriverAlsa[] = L"Software\\Wine\\Drivers\\winealsa.drv";

int fallos = 0;

void Comprobar(bool cierto, const char* que) {
    if (!cierto) {
        std::printf("FALLO: %s\n", que);
        ++fallos;
    }
}

template <typename Condicion> bool Esperar(Condicion condicion, Reloj::duration espera) {
    const auto limite = Reloj::now() + espera;
    while (!condicion()) {
        if (Reloj::now() > limite) {
            return false;
        }
        std::this_thread::sleep_for(kSondeo);
    }
    return true;
}

// Whether the process has a multithreaded apartment, asked from a thread
// outside COM. The main thread lives in a single-threaded one, so the only
// one can be the output's worker's.
bool HayMta() {
    HRESULT resultado = E_FAIL;
    std::thread([&resultado] {
        APTTYPE tipo{};
        APTTYPEQUALIFIER calificador{};
        resultado = CoGetApartmentType(&tipo, &calificador);
    }).join();
    return SUCCEEDED(resultado);
}

void EscribirRegistro(const wchar_t* clave, const wchar_t* nombre, const std::wstring& valor) {
    const auto bytes = static_cast<DWORD>((valor.size() + 1) * sizeof(wchar_t));
    RegSetKeyValueW(HKEY_CURRENT_USER, clave, nombre, REG_SZ, valor.c_str(), bytes);
}

// A client of the device enumerator beside the output's: it tells when Wine
// has announced a change to every client.
class Testigo final : public IMMNotificationClient {
public:
    std::atomic<int> ultimos{0}; // eMultimedia, the role Wine announces after eConsole

    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flujo, ERole papel,
                                                     LPCWSTR /*id*/) override {
        if (flujo == eRender && papel == eMultimedia) {
            ++ultimos;
        }
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
        return S_OK;
    }
};

// Names a new default output in the key Wine watches, and waits until Wine
// has announced it to every client. A client left registered past its end
// crashes the process here.
void CambiarPredeterminado(Testigo& testigo, const char* cuando) {
    static int cambios = 0;
    const int antes = testigo.ultimos;
    bool anunciado = false;
    for (int intento = 0; intento < kIntentosCambio && !anunciado; ++intento) {
        EscribirRegistro(kDriverAlsa, L"DefaultOutput",
                         L"prueba-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(++cambios));
        anunciado = Esperar([&] { return testigo.ultimos > antes; }, kEsperaAviso);
    }
    Comprobar(anunciado, cuando);
}

} // namespace

int main(int argc, char* argv[]) {
    const bool conDispositivo = argc > 1 && std::strcmp(argv[1], "con-dispositivo") == 0;
    // Wine's ALSA driver alone, so that the device is the one ALSA_CONFIG_PATH
    // gives (or none), whatever sound server runs; the watched key there first.
    EscribirRegistro(kDrivers, L"Audio", L"alsa");
    EscribirRegistro(kDriverAlsa, L"DefaultOutput", L"");
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IMMDeviceEnumerator* enumerador = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerador)))) {
        std::printf("FALLO: Wine no da el enumerador de dispositivos\n");
        return 1;
    }
    IMMDevice* dispositivo = nullptr;
    const HRESULT predeterminado =
        enumerador->GetDefaultAudioEndpoint(eRender, eConsole, &dispositivo);
    if (dispositivo != nullptr) {
        dispositivo->Release();
    }
    Comprobar(conDispositivo ? SUCCEEDED(predeterminado) : predeterminado == E_NOTFOUND,
              "el dispositivo de Wine no es el esperado");
    Testigo testigo;
    enumerador->RegisterEndpointNotificationCallback(&testigo);
    Comprobar(!HayMta(), "hay un apartamento MTA antes de la salida");

    auto salida = volumen::CrearSalidaDelSistema();
    Comprobar(Esperar(HayMta, kEsperaTrabajador), "el trabajador no entró en COM");
    salida->Escribir(kMitad);
    salida->Sostener(true);
    std::this_thread::sleep_for(kAsentar);
    CambiarPredeterminado(testigo, "cambio de dispositivo sin anunciar (sostenido)");
    salida->Sostener(false);
    std::this_thread::sleep_for(kAsentar);
    CambiarPredeterminado(testigo, "cambio de dispositivo sin anunciar (soltado)");
    // Held again, through a fight: a check waits for the end of the pause
    // when the output goes, with a last level asked for.
    salida->Sostener(true);
    std::this_thread::sleep_for(kAsentar);
    for (std::size_t i = 0; i < kCambiosDePelea; ++i) {
        CambiarPredeterminado(testigo, "cambio de dispositivo sin anunciar (pelea)");
    }
    salida->Escribir(kMitad);
    const auto inicioFin = Reloj::now();
    salida.reset();
    Comprobar(Reloj::now() - inicioFin < kFinRapido, "la salida tardó en terminar");
    Comprobar(!HayMta(), "el trabajador sigue en COM tras el fin de la salida");
    CambiarPredeterminado(testigo, "cambio de dispositivo sin anunciar (tras el fin)");

    enumerador->UnregisterEndpointNotificationCallback(&testigo);
    enumerador->Release();
    CoUninitialize();
    std::printf("%s: %d fallos\n", conDispositivo ? "con dispositivo" : "sin dispositivo", fallos);
    return fallos == 0 ? 0 : 1;
}
