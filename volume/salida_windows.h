// The Windows output made with a given way to reach Core Audio: the program
// gives it the system's device enumerator (CrearSalidaDelSistema does), a
// test gives it doubles of its own. Free of Qt.
#pragma once

#include "volume/salida_volumen.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mmdeviceapi.h>

#include <functional>
#include <memory>

namespace volumen {

// Makes a device enumerator and hands it over with one reference, or fails.
// Called on the output's worker thread, which is in COM's multithreaded
// apartment: at the start, and again after the audio service was lost.
using FabricaEnumerador = std::function<HRESULT(IMMDeviceEnumerator** enumerador)>;

// The system's own: Core Audio's MMDeviceEnumerator.
HRESULT EnumeradorDelSistema(IMMDeviceEnumerator** enumerador);

std::unique_ptr<SalidaVolumen> CrearSalidaWindows(FabricaEnumerador fabrica,
                                                  bool restaurarAlCambiar = true);

} // namespace volumen
