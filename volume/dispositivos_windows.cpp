// The Windows device list: the active render endpoints of Core Audio
// (IMMDeviceEnumerator), each by its ID and its friendly name, the default
// one for the console role marked. These calls are answered by the audio
// service on the spot; none of them waits on a device.
#include "volume/dispositivos.h"

#include "volume/com_windows.h"

#include <mmdeviceapi.h>
// Last: it turns the property keys below into definitions of this file.
#include <initguid.h>

#include <functiondiscoverykeys_devpkey.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

namespace volumen {
namespace {

using com::Com;
using com::Utf8;

// The endpoint's ID, or nothing when it cannot be read.
std::string Identificador(IMMDevice& dispositivo) {
    LPWSTR id = nullptr;
    if (FAILED(dispositivo.GetId(&id))) {
        return {};
    }
    return Utf8(com::TextoCom(id).get());
}

// The name the system's sound settings show, or nothing.
std::string NombreAmigable(IMMDevice& dispositivo) {
    IPropertyStore* almacen = nullptr;
    if (FAILED(dispositivo.OpenPropertyStore(STGM_READ, &almacen))) {
        return {};
    }
    Com<IPropertyStore> propiedades(almacen);
    PROPVARIANT valor;
    PropVariantInit(&valor);
    std::string resultado;
    if (SUCCEEDED(propiedades->GetValue(PKEY_Device_FriendlyName, &valor)) &&
        valor.vt == VT_LPWSTR) {
        resultado = Utf8(valor.pwszVal);
    }
    PropVariantClear(&valor);
    return resultado;
}

ListaDispositivos Fallo(const char* que, HRESULT resultado) {
    // An HRESULT as Windows' documents write it: 0x and eight hexadecimal digits.
    char codigo[sizeof "0x12345678"];
    std::snprintf(codigo, sizeof codigo, "0x%08lX", static_cast<unsigned long>(resultado));
    return {{}, std::string(que) + " (error " + codigo + ")."};
}

} // namespace

ListaDispositivos ListarDispositivos() {
    const com::ComDelHilo hilo;
    if (!hilo.Listo()) {
        return {{}, "No se pudo preparar COM para hablar con el servicio de audio."};
    }
    IMMDeviceEnumerator* crudo = nullptr;
    HRESULT resultado =
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&crudo));
    if (FAILED(resultado)) {
        return Fallo("No se pudo hablar con el servicio de audio de Windows", resultado);
    }
    Com<IMMDeviceEnumerator> enumerador(crudo);

    // With no output device at all there is no default: not an error.
    std::string predeterminado;
    IMMDevice* crudoPredeterminado = nullptr;
    if (SUCCEEDED(enumerador->GetDefaultAudioEndpoint(eRender, eConsole, &crudoPredeterminado))) {
        predeterminado = Identificador(*Com<IMMDevice>(crudoPredeterminado));
    }

    IMMDeviceCollection* crudaColeccion = nullptr;
    resultado = enumerador->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &crudaColeccion);
    if (FAILED(resultado)) {
        return Fallo("El servicio de audio no dio la lista de dispositivos", resultado);
    }
    Com<IMMDeviceCollection> coleccion(crudaColeccion);
    UINT cuantos = 0;
    resultado = coleccion->GetCount(&cuantos);
    if (FAILED(resultado)) {
        return Fallo("El servicio de audio no dio la lista de dispositivos", resultado);
    }

    ListaDispositivos lista;
    for (UINT i = 0; i < cuantos; ++i) {
        IMMDevice* crudoDispositivo = nullptr;
        if (FAILED(coleccion->Item(i, &crudoDispositivo))) {
            continue; // gone meanwhile
        }
        Com<IMMDevice> dispositivo(crudoDispositivo);
        Dispositivo entrada;
        entrada.nombre = Identificador(*dispositivo);
        if (entrada.nombre.empty()) {
            continue;
        }
        entrada.descripcion = NombreAmigable(*dispositivo);
        entrada.predeterminado = entrada.nombre == predeterminado;
        lista.dispositivos.push_back(std::move(entrada));
    }
    return lista;
}

} // namespace volumen
