// The native window as the X server has it, when the program runs on X11;
// elsewhere (Wayland, the offscreen platform) what Qt believes.
#include "look/ventana.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace ventana {

namespace {

// Replies of xcb are freed with free().
struct Liberar {
    void operator()(void* respuesta) const { std::free(respuesta); }
};
template <typename T> using Respuesta = std::unique_ptr<T, Liberar>;

// ICCCM's WM_STATE, which a window manager keeps on each window it manages,
// and its states.
constexpr char kWmState[] = "WM_STATE";
constexpr std::uint32_t kEstadoRetirada = 0;
constexpr std::uint32_t kEstadoMinimizada = 3;

xcb_atom_t AtomoWmState(xcb_connection_t* conexion) {
    static const xcb_atom_t atomo = [conexion] {
        const Respuesta<xcb_intern_atom_reply_t> respuesta(xcb_intern_atom_reply(
            conexion, xcb_intern_atom(conexion, 0, sizeof(kWmState) - 1, kWmState), nullptr));
        return respuesta ? respuesta->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }();
    return atomo;
}

// The state a window manager keeps on the window it manages: NormalState
// (on this desktop or another), IconicState; WithdrawnState when none does.
std::uint32_t EstadoDelGestor(xcb_connection_t* conexion, xcb_window_t ventana) {
    const xcb_atom_t wmState = AtomoWmState(conexion);
    if (wmState == XCB_ATOM_NONE) {
        return kEstadoRetirada;
    }
    const Respuesta<xcb_get_property_reply_t> propiedad(xcb_get_property_reply(
        conexion, xcb_get_property(conexion, 0, ventana, wmState, wmState, 0, 1), nullptr));
    if (!propiedad || xcb_get_property_value_length(propiedad.get()) < int(sizeof(std::uint32_t))) {
        return kEstadoRetirada;
    }
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(propiedad.get()));
}

} // namespace

Nativa EstadoNativa(const QWidget* ventana) {
    const WId id = ventana->internalWinId();
    if (id == 0) {
        return Nativa::Ninguna;
    }
    // The offscreen platform may offer the X11 interface, with no connection.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* conexion = x11 != nullptr ? x11->connection() : nullptr;
    if (conexion == nullptr) {
        if (!ventana->isVisible()) {
            return Nativa::Retirada;
        }
        return ventana->isMinimized() ? Nativa::Minimizada : Nativa::Presente;
    }
    const auto nativa = static_cast<xcb_window_t>(id);
    xcb_generic_error_t* error = nullptr;
    const Respuesta<xcb_get_window_attributes_reply_t> atributos(xcb_get_window_attributes_reply(
        conexion, xcb_get_window_attributes(conexion, nativa), &error));
    std::free(error);
    if (!atributos) {
        return Nativa::Ninguna; // destroyed by another client
    }
    switch (EstadoDelGestor(conexion, nativa)) {
    case kEstadoMinimizada:
        return Nativa::Minimizada;
    case kEstadoRetirada:
        return atributos->map_state != XCB_MAP_STATE_UNMAPPED ? Nativa::Presente : Nativa::Retirada;
    default:
        return Nativa::Presente;
    }
}

} // namespace ventana
