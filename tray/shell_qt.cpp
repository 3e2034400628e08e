#include "tray/shell_qt.h"

#include "tray/area_notificacion.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <iterator>

namespace bandeja {

namespace {

// An icon added without a picture still takes its place in the tray, empty.
constexpr int kLadoIconoVacio = 16;

ShellQt* gPlataforma = nullptr;

void TerminarPlataforma() {
    delete gPlataforma;
    gPlataforma = nullptr;
}

QString TextoTip(const NOTIFYICONDATA& datos) {
    const char* fin = std::find(std::begin(datos.szTip), std::end(datos.szTip), '\0');
    return QString::fromLatin1(datos.szTip, fin - datos.szTip);
}

QIcon IconoParaMostrar(std::uint32_t manejador) {
    QIcon icono = IconoDeManejador(manejador);
    if (icono.isNull()) {
        QPixmap vacio(kLadoIconoVacio, kLadoIconoVacio);
        vacio.fill(Qt::transparent);
        icono = QIcon(vacio);
    }
    return icono;
}

} // namespace

QEvent::Type MensajeIcono::Tipo() {
    static const int tipo = QEvent::registerEventType();
    return static_cast<QEvent::Type>(tipo);
}

ShellQt::ShellQt(QObject* padre)
    : QObject(padre) {}

ShellQt::~ShellQt() = default;

bool ShellQt::NotifyIcon(std::uint32_t mensaje, const NOTIFYICONDATA& datos) {
    switch (mensaje) {
    case NIM_ADD:
        if (icono_) {
            return false;
        }
        icono_ = std::make_unique<QSystemTrayIcon>();
        hWnd_ = datos.hWnd;
        uID_ = datos.uID;
        AplicarCampos(datos);
        if (icono_->icon().isNull()) {
            icono_->setIcon(IconoParaMostrar(kSinIcono));
        }
        connect(icono_.get(), &QSystemTrayIcon::activated, this, &ShellQt::Activado);
        icono_->show();
        return true;
    case NIM_MODIFY:
        if (!EsElIcono(datos)) {
            return false;
        }
        AplicarCampos(datos);
        return true;
    case NIM_DELETE:
        if (!EsElIcono(datos)) {
            return false;
        }
        icono_.reset();
        hWnd_ = 0;
        uID_ = 0;
        mensajeRetorno_ = 0;
        return true;
    default:
        return false;
    }
}

bool ShellQt::IconoVisible() const {
    return HayAreaDeNotificacion() && icono_ && icono_->isVisible();
}

void ShellQt::MostrarAviso(const QString& titulo, const QString& texto) {
    if (icono_) {
        icono_->showMessage(titulo, texto, QSystemTrayIcon::Information);
    }
}

std::uint32_t ShellQt::MensajeDeActivacion(QSystemTrayIcon::ActivationReason razon) {
    switch (razon) {
    case QSystemTrayIcon::Trigger:
        return WM_LBUTTONUP;
    case QSystemTrayIcon::DoubleClick:
        return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context:
        return WM_RBUTTONUP;
    case QSystemTrayIcon::MiddleClick:
        return WM_MBUTTONUP;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return 0;
}

ShellQt& ShellQt::Plataforma() {
    if (gPlataforma == nullptr) {
        gPlataforma = new ShellQt;
        // Runs at the start of the application's end, while the tray icon's
        // window can still be taken down cleanly.
        qAddPostRoutine(TerminarPlataforma);
    }
    return *gPlataforma;
}

bool ShellQt::EsElIcono(const NOTIFYICONDATA& datos) const {
    return icono_ && datos.hWnd == hWnd_ && datos.uID == uID_;
}

void ShellQt::AplicarCampos(const NOTIFYICONDATA& datos) {
    if ((datos.uFlags & NIF_MESSAGE) != 0) {
        mensajeRetorno_ = datos.uCallbackMessage;
    }
    if ((datos.uFlags & NIF_ICON) != 0) {
        icono_->setIcon(IconoParaMostrar(datos.hIcon));
    }
    if ((datos.uFlags & NIF_TIP) != 0) {
        icono_->setToolTip(TextoTip(datos));
    }
}

// The shell posts the callback to the window that added the icon, with the
// mouse message; the window's mouse-move handling gets it. Posting it keeps
// the handler (and any dialog it opens) out of the icon's own mouse handling.
void ShellQt::Activado(QSystemTrayIcon::ActivationReason razon) {
    const std::uint32_t mensajeRaton = MensajeDeActivacion(razon);
    if (mensajeRaton == 0 || mensajeRetorno_ != WM_MOUSEMOVE) {
        return;
    }
    const std::uint32_t destino = hWnd_;
    QMetaObject::invokeMethod(
        this,
        [destino, mensajeRaton] {
            if (QWidget* ventana = VentanaDeManejador(destino)) {
                MensajeIcono mensaje(mensajeRaton);
                QCoreApplication::sendEvent(ventana, &mensaje);
            }
        },
        Qt::QueuedConnection);
}

} // namespace bandeja
