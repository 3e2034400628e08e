// The Windows output under Wine (run by prueba_volumen_salida_windows.sh).
//
// con-dispositivo, sin-dispositivo: against Wine's own Core Audio, its worker
// in COM's multithreaded apartment while the output lives and out of it,
// ended, soon after; the default-device changes that Wine announces on its
// own thread, while held, after the release and after the end. Wine's
// endpoint volume answers every level call with E_NOTIMPL, so every write of
// the output fails there and no level can be checked.
//
// dobles: the hold itself, against doubles of Core Audio that stand in for
// the endpoint volume Wine lacks (tests/support/dobles_core_audio.h).
// Usage: prueba_volumen_salida_windows.exe con-dispositivo|sin-dispositivo|dobles
#include "support/dobles_core_audio.h"
#include "volume/politica_correcciones.h"
#include "volume/salida_windows.h"

#include <windows.h>

#include <mmdeviceapi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Reloj = std::chrono::steady_clock;
constexpr std::uint32_t kMitad = 0x80008000u;             // half volume on both channels
constexpr int kCambiosSeguidos = 3;                       // new default devices in a row
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

// ---- Against the doubles.

using dobles::DispositivoDoble;
using dobles::VolumenDoble;
using volumen::EstadoSalida;
using volumen::Preferencias;

constexpr unsigned kBitsMitad = 16; // the right channel is the high half of the word
constexpr std::uint16_t kIzquierdo = 0x4000;
constexpr std::uint16_t kDerecho = 0xC000;
constexpr std::uint32_t kPalabra = kIzquierdo | (std::uint32_t{kDerecho} << kBitsMitad);
constexpr std::uint16_t kNivel = 0x8000;
constexpr std::uint32_t kPalabraNivel = kNivel | (std::uint32_t{kNivel} << kBitsMitad);
constexpr float kCanalMaximo = 65535.0f; // a channel value at full volume
constexpr float kAjeno = 0.1f;           // what someone else sets
constexpr float kAjenoOtro = 0.2f;
constexpr float kDebajo = 0.25f; // below and above the level
constexpr float kEncima = 0.75f;
constexpr float kCasi = 1e-4f;
constexpr UINT kCanalesVarios[] = {0, 1, 2, 6};
constexpr UINT kEstereo = 2;
constexpr UINT kCincoUno = 6;
constexpr auto kEsperaEscritura = std::chrono::milliseconds(2000);
// Long enough for a write that should not come to have come.
constexpr auto kQuieto = std::chrono::milliseconds(300);
constexpr auto kPelea = std::chrono::milliseconds(1000);
constexpr auto kEntreAjenos = std::chrono::microseconds(500);
constexpr auto kFinPausa =
    std::chrono::milliseconds(volumen::PoliticaCorrecciones::kPausaMs) + kEsperaEscritura;
// Writes of a refused level that may be tried: the write asked for, and the
// correction of the change that follows it.
constexpr int kReintentosMaximos = 2;

float Escalar(std::uint16_t canal) {
    return static_cast<float>(canal) / kCanalMaximo;
}
bool Cerca(float uno, float otro) {
    return uno > otro - kCasi && uno < otro + kCasi;
}
// Every channel of the volume at the value.
bool Todos(VolumenDoble& volumen, float valor) {
    const std::vector<float> canales = volumen.Canales();
    return std::all_of(canales.begin(), canales.end(),
                       [valor](float c) { return Cerca(c, valor); });
}

// One output over two endpoints, A (stereo, the default) and B (5.1).
struct Banco {
    dobles::Notificador notificador;
    DispositivoDoble a{notificador, L"{0.0.0.00000000}.{a}", kEstereo};
    DispositivoDoble b{notificador, L"{0.0.0.00000000}.{b}", kCincoUno};
    dobles::EnumeradorDoble enumerador{notificador, {&a, &b}};
    std::atomic<int> correcciones{0};
    std::mutex mutex;
    std::vector<EstadoSalida> estados; // as the output told them
    std::unique_ptr<volumen::SalidaVolumen> salida;

    explicit Banco(const Preferencias& preferencias = {}) {
        salida = volumen::CrearSalidaWindows(
            [this](IMMDeviceEnumerator** e) { return enumerador.Fabricar(e); });
        salida->Configurar(preferencias);
        salida->AlCorregir([this] { ++correcciones; });
        salida->AlCambiarEstado([this](EstadoSalida estado) {
            const std::lock_guard<std::mutex> cerrojo(mutex);
            estados.push_back(estado);
        });
    }
    ~Banco() { salida.reset(); }
    std::vector<EstadoSalida> Estados() {
        const std::lock_guard<std::mutex> cerrojo(mutex);
        return estados;
    }
    bool Estado(EstadoSalida estado) {
        return Esperar([&] { return !Estados().empty() && Estados().back() == estado; },
                       kEsperaEscritura);
    }
    // Held at the level, every channel of the default written.
    void Sostenido() {
        salida->Escribir(kPalabraNivel);
        salida->Sostener(true);
        Comprobar(Esperar([&] { return Todos(a.volumen, Escalar(kNivel)); }, kEsperaEscritura),
                  "el nivel no llegó al dispositivo");
    }
};

// Every channel count: left and right channels from their halves, the
// others and a mono or channel-less device from the larger one; all with
// the output's own context. Held, one watch per device, whatever the writes.
void Canales() {
    for (const UINT canales : kCanalesVarios) {
        dobles::Notificador notificador;
        DispositivoDoble d{notificador, L"{d}", canales};
        dobles::EnumeradorDoble enumerador{notificador, {&d}};
        auto salida = volumen::CrearSalidaWindows(
            [&enumerador](IMMDeviceEnumerator** e) { return enumerador.Fabricar(e); });
        salida->Escribir(kPalabra);
        Comprobar(Esperar([&] { return d.volumen.Escrituras().size() >= std::max(canales, 1u); },
                          kEsperaEscritura),
                  "no se escribió cada canal");
        const std::vector<float> leidos = d.volumen.Canales();
        for (UINT canal = 0; canal < leidos.size(); ++canal) {
            const std::uint16_t esperado = canales < kEstereo || canal >= kEstereo
                                               ? kDerecho
                                               : (canal == 0 ? kIzquierdo : kDerecho);
            Comprobar(Cerca(leidos[canal], Escalar(esperado)), "un canal con otro nivel");
        }
        for (const VolumenDoble::Escritura& escrita : d.volumen.Escrituras()) {
            Comprobar(!IsEqualGUID(escrita.contexto, dobles::kSinContexto),
                      "una escritura sin contexto propio");
            Comprobar((escrita.canal == VolumenDoble::kMaestro) == (canales == 0),
                      "el volumen maestro solo sin canales");
        }
        salida->Sostener(true);
        for (int vez = 0; vez < kCambiosSeguidos; ++vez) {
            salida->Escribir(kPalabra);
        }
        std::this_thread::sleep_for(kQuieto);
        Comprobar(d.volumen.Registros() == 1, "el aviso de volumen se registró más de una vez");
    }
}

// A change by someone else is undone from its notification, with no tick,
// and told once; the echoes of our own writes start nothing more. Under Tope
// and Piso only a change beyond the level is undone, and a write leaves a
// device within it alone. A mute is undone under Piso, and stays under Tope.
void Cambios() {
    {
        Banco banco;
        banco.Sostenido();
        const std::size_t antes = banco.a.volumen.Escrituras().size();
        banco.a.volumen.Ajeno(kAjeno);
        Comprobar(
            Esperar([&] { return Todos(banco.a.volumen, Escalar(kNivel)); }, kEsperaEscritura),
            "un cambio ajeno no se deshizo");
        std::this_thread::sleep_for(kQuieto);
        Comprobar(banco.a.volumen.Escrituras().size() == antes + kEstereo,
                  "los ecos de lo escrito se tomaron por cambios");
        Comprobar(banco.correcciones == 1, "no se avisó una vez de la corrección");
    }
    for (const auto& [modo, fuera, dentro] : {std::tuple{volumen::Modo::Tope, kEncima, kDebajo},
                                              std::tuple{volumen::Modo::Piso, kDebajo, kEncima}}) {
        Banco banco({modo, {}});
        banco.a.volumen.Ajeno(dentro);
        banco.salida->Escribir(kPalabraNivel);
        banco.salida->Sostener(true);
        std::this_thread::sleep_for(kQuieto);
        Comprobar(banco.a.volumen.Escrituras().empty(), "se escribió en un dispositivo en el modo");
        banco.a.volumen.Ajeno(fuera);
        Comprobar(
            Esperar([&] { return Todos(banco.a.volumen, Escalar(kNivel)); }, kEsperaEscritura),
            "un cambio más allá del modo no se deshizo");
        banco.a.volumen.Ajeno(dentro);
        std::this_thread::sleep_for(kQuieto);
        Comprobar(Todos(banco.a.volumen, dentro), "se deshizo un cambio dentro del modo");
        banco.a.volumen.Silenciar(true);
        const bool piso = modo == volumen::Modo::Piso;
        if (!piso) {
            std::this_thread::sleep_for(kQuieto);
        }
        Comprobar(Esperar([&] { return banco.a.volumen.Silenciado() != piso; }, kEsperaEscritura),
                  piso ? "el silencio se impuso al piso" : "se quitó el silencio bajo el tope");
    }
}

// Under Tope every device is held, whichever is the default or chosen: one
// that appears later gets the ceiling at once, and keeps it.
void TopeEnCadaUno() {
    Banco banco({volumen::Modo::Tope, "{0.0.0.00000000}.{a}"});
    banco.enumerador.Estado(banco.b, DEVICE_STATE_NOTPRESENT);
    banco.Sostenido();
    banco.enumerador.Estado(banco.b, DEVICE_STATE_ACTIVE);
    Comprobar(Esperar([&] { return Todos(banco.b.volumen, Escalar(kNivel)); }, kEsperaEscritura),
              "un dispositivo nuevo pasó del tope");
    banco.b.volumen.Ajeno(kEncima);
    Comprobar(Esperar([&] { return Todos(banco.b.volumen, Escalar(kNivel)); }, kEsperaEscritura),
              "otro dispositivo pasó del tope");
    Comprobar(banco.correcciones == 1, "no se avisó una vez de la corrección");
}

// Another program that never stops: corrections bounded, then a pause in
// which a new default device still gets the level at once, and at its end
// the level checked and put back.
void Pelea() {
    Banco banco;
    banco.Sostenido();
    for (const auto fin = Reloj::now() + kPelea; Reloj::now() < fin;) {
        banco.a.volumen.Ajeno(kAjeno);
        std::this_thread::sleep_for(kEntreAjenos);
        banco.a.volumen.Ajeno(kAjenoOtro);
        std::this_thread::sleep_for(kEntreAjenos);
    }
    const int enPelea = banco.correcciones;
    std::printf("pelea: %d correcciones\n", enPelea);
    Comprobar(enPelea >= 1 &&
                  enPelea <=
                      static_cast<int>(volumen::PoliticaCorrecciones::kCorreccionesPorSegundo),
              "correcciones sin cota en la pelea");
    banco.b.volumen.Ajeno(kAjeno);
    banco.enumerador.Predeterminado(banco.b);
    Comprobar(Esperar([&] { return Todos(banco.b.volumen, Escalar(kNivel)); }, kQuieto),
              "el nuevo dispositivo no tuvo el nivel en la pausa");
    banco.b.volumen.Ajeno(kAjeno);
    std::this_thread::sleep_for(kQuieto);
    Comprobar(Todos(banco.b.volumen, kAjeno), "se corrigió en la pausa");
    Comprobar(Esperar([&] { return Todos(banco.b.volumen, Escalar(kNivel)); }, kFinPausa),
              "el nivel no volvió al final de la pausa");
    Comprobar(banco.correcciones == enPelea + 1, "no se avisó de la vuelta al final de la pausa");
}

// The chosen device, absent: nothing written anywhere, and the caller told
// why; back, it gets the level at once (and the default never), and the
// caller hears that writing works again.
void Elegido() {
    Banco banco({volumen::Modo::Fijo, "{0.0.0.00000000}.{b}"});
    banco.enumerador.Estado(banco.b, DEVICE_STATE_NOTPRESENT);
    banco.salida->Escribir(kPalabraNivel);
    banco.salida->Sostener(true);
    Comprobar(banco.Estado(EstadoSalida::NoConectado), "no se dijo que no está conectado");
    banco.enumerador.Estado(banco.b, DEVICE_STATE_ACTIVE);
    Comprobar(Esperar([&] { return Todos(banco.b.volumen, Escalar(kNivel)); }, kEsperaEscritura),
              "el dispositivo elegido no tuvo el nivel al volver");
    Comprobar(banco.Estado(EstadoSalida::Escribe), "no se dijo que se escribe de nuevo");
    Comprobar(banco.a.volumen.Escrituras().empty(), "se escribió en el predeterminado");
}

// Refused writes: no crash, no write again and again, the caller told once;
// the next good write goes through.
void Rechazos() {
    Banco banco;
    banco.Sostenido();
    for (const HRESULT rechazo : {E_ACCESSDENIED, AUDCLNT_E_DEVICE_INVALIDATED}) {
        banco.a.volumen.Responder(rechazo);
        const int antes = banco.a.volumen.Intentos();
        banco.salida->Escribir(kPalabraNivel);
        banco.a.volumen.Ajeno(kAjeno);
        Comprobar(banco.Estado(EstadoSalida::NoResponde), "no se dijo que no responde");
        std::this_thread::sleep_for(kQuieto);
        Comprobar(banco.a.volumen.Intentos() - antes <= kReintentosMaximos * int{kEstereo},
                  "escrituras rechazadas repetidas sin fin");
    }
    banco.a.volumen.Responder(S_OK);
    banco.salida->Escribir(kPalabraNivel);
    Comprobar(Esperar([&] { return Todos(banco.a.volumen, Escalar(kNivel)); }, kEsperaEscritura),
              "la escritura tras los rechazos no llegó");
    Comprobar(banco.Estados() == std::vector{EstadoSalida::NoResponde, EstadoSalida::Escribe},
              "estados dichos de más o de menos");
}

// The end, with callbacks on their way to the output: prompt, and what
// comes after it is let go.
void FinConAvisos() {
    Banco banco;
    banco.Sostenido();
    std::atomic<bool> seguir{true};
    std::thread otro([&] {
        while (seguir) {
            banco.a.volumen.Ajeno(kAjeno);
            std::this_thread::sleep_for(kEntreAjenos);
        }
    });
    std::this_thread::sleep_for(kQuieto);
    const auto inicio = Reloj::now();
    banco.salida.reset();
    Comprobar(Reloj::now() - inicio < kFinRapido, "la salida tardó en terminar con avisos");
    std::this_thread::sleep_for(kQuieto);
    seguir = false;
    otro.join();
}

int Dobles() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Canales();
    Cambios();
    TopeEnCadaUno();
    Pelea();
    Elegido();
    Rechazos();
    FinConAvisos();
    CoUninitialize();
    std::printf("dobles: %d fallos\n", fallos);
    return fallos == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "dobles") == 0) {
        return Dobles();
    }
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
    // Held again, through new devices in a row; then the end, with a last
    // level asked for.
    salida->Sostener(true);
    std::this_thread::sleep_for(kAsentar);
    for (int i = 0; i < kCambiosSeguidos; ++i) {
        CambiarPredeterminado(testigo, "cambio de dispositivo sin anunciar (seguidos)");
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
