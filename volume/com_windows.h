// What the Windows output and the Windows device list share of COM: owning
// pointers to interfaces and COM texts, COM for one thread, and the texts
// between the program's UTF-8 and Windows' UTF-16. Free of Qt.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace volumen::com {

// Releases a COM interface when it goes out of scope.
struct LiberarCom {
    void operator()(IUnknown* interfaz) const { interfaz->Release(); }
};
template <typename T> using Com = std::unique_ptr<T, LiberarCom>;

// Frees a text that COM allocated for us.
struct LiberarTexto {
    void operator()(WCHAR* texto) const { CoTaskMemFree(texto); }
};
using TextoCom = std::unique_ptr<WCHAR, LiberarTexto>;

// IUnknown for an object of ours that COM hands around: counted references
// (the creator holds the first), deleted with the last.
template <typename Interfaz> class Contado : public Interfaz {
public:
    Contado(const Contado&) = delete;
    Contado& operator=(const Contado&) = delete;

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
    Contado() = default;
    virtual ~Contado() = default;

private:
    std::atomic<ULONG> referencias_{1};
};

// COM for the calling thread, in the multithreaded apartment, for as long as
// this object lives. A thread that already has COM in the other apartment
// keeps it, and it serves as well.
class ComDelHilo {
public:
    ComDelHilo()
        : resultado_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComDelHilo() {
        if (SUCCEEDED(resultado_)) {
            CoUninitialize();
        }
    }
    ComDelHilo(const ComDelHilo&) = delete;
    ComDelHilo& operator=(const ComDelHilo&) = delete;
    bool Listo() const { return SUCCEEDED(resultado_) || resultado_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT resultado_;
};

// A text of the program (UTF-8) as Windows takes it.
inline std::wstring Ancho(const std::string& texto) {
    const int largo =
        MultiByteToWideChar(CP_UTF8, 0, texto.data(), static_cast<int>(texto.size()), nullptr, 0);
    std::wstring ancho(static_cast<std::size_t>(std::max(largo, 0)), L'\0');
    if (largo > 0) {
        MultiByteToWideChar(CP_UTF8, 0, texto.data(), static_cast<int>(texto.size()), ancho.data(),
                            largo);
    }
    return ancho;
}

// A text of Windows as the program keeps it (UTF-8); empty for none.
inline std::string Utf8(const wchar_t* texto) {
    if (texto == nullptr || *texto == L'\0') {
        return {};
    }
    // With -1 the sizes count the final null, which std::string keeps apart.
    const int tamano = WideCharToMultiByte(CP_UTF8, 0, texto, -1, nullptr, 0, nullptr, nullptr);
    if (tamano <= 1) {
        return {};
    }
    std::string resultado(static_cast<std::size_t>(tamano), '\0');
    WideCharToMultiByte(CP_UTF8, 0, texto, -1, resultado.data(), tamano, nullptr, nullptr);
    resultado.resize(static_cast<std::size_t>(tamano) - 1);
    return resultado;
}

} // namespace volumen::com
