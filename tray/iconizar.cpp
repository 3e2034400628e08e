// The notify-icon record and its three operations.
#include "tray/bandeja.h"
#include "tray/shell_qt.h"

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QIcon>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>

namespace bandeja {

NOTIFYICONDATA gNid{};

namespace {

constexpr std::uint32_t kCamposIcono = NIF_MESSAGE | NIF_ICON | NIF_TIP;
// The tip's text, then one NUL; the rest of the field is filled with spaces.
constexpr char kRellenoTip = ' ';
constexpr qsizetype kTextoTipMaximo = kLongitudTip - 1;

Shell* gShellSustituto = nullptr;

// The handle table: icons by the handle the record carries, and the handles
// already given out, by the icon's identity.
struct TablaIconos {
    std::map<std::uint32_t, QIcon> iconos;
    std::map<qint64, std::uint32_t> manejadores;
    std::uint32_t siguiente = kSinIcono + 1;
};

TablaIconos& Tabla() {
    static TablaIconos tabla;
    return tabla;
}

void EscribirTip(const QString& texto) {
    const QByteArray bytes = texto.toLatin1().left(kTextoTipMaximo);
    std::fill(std::begin(gNid.szTip), std::end(gNid.szTip), kRellenoTip);
    std::memcpy(gNid.szTip, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    gNid.szTip[bytes.size()] = '\0';
}

} // namespace

bool Shell_NotifyIcon(std::uint32_t mensaje, const NOTIFYICONDATA& datos) {
    return ShellEnUso().NotifyIcon(mensaje, datos);
}

Shell& ShellEnUso() {
    if (gShellSustituto != nullptr) {
        return *gShellSustituto;
    }
    return ShellQt::Plataforma();
}

void EstablecerShell(Shell* shell) {
    gShellSustituto = shell;
}

namespace {

// The handle a window got, kept on it: a window stays the one its icon calls
// back when another program destroys its native window and it gets a new one.
constexpr char kPropiedadManejador[] = "manejadorVentana";

std::optional<std::uint32_t> ManejadorDado(const QWidget* ventana) {
    const QVariant manejador = ventana->property(kPropiedadManejador);
    if (!manejador.isValid()) {
        return std::nullopt;
    }
    return manejador.value<std::uint32_t>();
}

} // namespace

std::uint32_t ManejadorVentana(QWidget* ventana) {
    if (const auto dado = ManejadorDado(ventana)) {
        return *dado;
    }
    const auto manejador = static_cast<std::uint32_t>(ventana->winId());
    ventana->setProperty(kPropiedadManejador, QVariant::fromValue(manejador));
    return manejador;
}

QWidget* VentanaDeManejador(std::uint32_t manejador) {
    const auto ventanas = QApplication::topLevelWidgets();
    for (QWidget* ventana : ventanas) {
        if (ManejadorDado(ventana) == manejador) {
            return ventana;
        }
    }
    return nullptr;
}

std::uint32_t ManejadorIcono(const QIcon& icono) {
    if (icono.isNull()) {
        return kSinIcono;
    }
    TablaIconos& tabla = Tabla();
    const auto conocido = tabla.manejadores.find(icono.cacheKey());
    if (conocido != tabla.manejadores.end()) {
        return conocido->second;
    }
    const std::uint32_t manejador = tabla.siguiente++;
    tabla.manejadores.emplace(icono.cacheKey(), manejador);
    tabla.iconos.emplace(manejador, icono);
    return manejador;
}

QIcon IconoDeManejador(std::uint32_t manejador) {
    const TablaIconos& tabla = Tabla();
    const auto encontrado = tabla.iconos.find(manejador);
    return encontrado != tabla.iconos.end() ? encontrado->second : QIcon();
}

void AgregarIcono(QWidget* ventana, bool autoActivado) {
    gNid.cbSize = kTamanoRegistro;
    gNid.hWnd = ManejadorVentana(ventana);
    gNid.uID = kIdIcono;
    gNid.uFlags = kCamposIcono;
    gNid.uCallbackMessage = WM_MOUSEMOVE;
    gNid.hIcon = ManejadorIcono(ventana->windowIcon());
    // With control started by itself the record already holds its tip.
    if (!autoActivado) {
        EscribirTip(QString::fromLatin1(kTipParado));
    }
    Shell_NotifyIcon(NIM_ADD, gNid);
}

void CambiarTip(const QString& texto) {
    EscribirTip(texto);
    Shell_NotifyIcon(NIM_MODIFY, gNid);
}

void QuitarIcono(QWidget* ventana) {
    gNid.cbSize = kTamanoRegistro;
    gNid.hWnd = ManejadorVentana(ventana);
    gNid.uID = kIdIcono;
    Shell_NotifyIcon(NIM_DELETE, gNid);
}

bool IconoVisible() {
    return ShellEnUso().IconoVisible();
}

bool Avisar(const QString& texto) {
    static QElapsedTimer desdeElUltimo;
    if (!IconoVisible() ||
        (desdeElUltimo.isValid() && !desdeElUltimo.hasExpired(kEsperaEntreAvisosMs))) {
        return false;
    }
    desdeElUltimo.start();
    ShellEnUso().MostrarAviso(QStringLiteral("Quelvaren"), texto);
    return true;
}

} // namespace bandeja
