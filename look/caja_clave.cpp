// The password box: its keyboard grab on X11 and what it tells a screen reader.
#include "look/ventana.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QWindow>
#include <memory>

namespace ventana {

namespace {

// Another client (a window manager's key binding, a menu) may hold the
// keyboard for a moment: the grab is tried again this often, this many times.
constexpr int kReintentoCapturaMs = 100;
constexpr int kReintentosCaptura = 20;

// What a screen reader hears in place of each character of a password.
constexpr char16_t kCaracterOculto = u'*';

// The one platform where any other client can listen to the keys typed into
// a window, and where a keyboard grab keeps them to the program.
bool EsX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QString Enmascarado(const QString& texto) {
    return QString(texto.size(), QChar(kCaracterOculto));
}

// Text changes of a password box, with asterisks in place of the characters;
// nothing for any other event.
std::unique_ptr<QAccessibleEvent> EventoEnmascarado(QAccessibleEvent* evento) {
    auto* caja = qobject_cast<QLineEdit*>(evento->object());
    if (caja == nullptr || caja->echoMode() == QLineEdit::Normal) {
        return nullptr;
    }
    switch (evento->type()) {
    case QAccessible::TextInserted: {
        const auto* insercion = static_cast<QAccessibleTextInsertEvent*>(evento);
        return std::make_unique<QAccessibleTextInsertEvent>(caja, insercion->changePosition(),
                                                            Enmascarado(insercion->textInserted()));
    }
    case QAccessible::TextRemoved: {
        const auto* borrado = static_cast<QAccessibleTextRemoveEvent*>(evento);
        return std::make_unique<QAccessibleTextRemoveEvent>(caja, borrado->changePosition(),
                                                            Enmascarado(borrado->textRemoved()));
    }
    case QAccessible::TextUpdated: {
        const auto* cambio = static_cast<QAccessibleTextUpdateEvent*>(evento);
        return std::make_unique<QAccessibleTextUpdateEvent>(caja, cambio->changePosition(),
                                                            Enmascarado(cambio->textRemoved()),
                                                            Enmascarado(cambio->textInserted()));
    }
    default:
        return nullptr;
    }
}

QAccessible::UpdateHandler gManejadorAnterior = nullptr;

// Sits in front of whatever tells the accessibility bridge of every event.
void EnmascararClaves(QAccessibleEvent* evento) {
    const std::unique_ptr<QAccessibleEvent> enmascarado = EventoEnmascarado(evento);
    QAccessibleEvent* aEnviar = enmascarado ? enmascarado.get() : evento;
    if (gManejadorAnterior != nullptr) {
        gManejadorAnterior(aEnviar);
        return;
    }
    // Qt's own way to the bridge is the one taken with no handler in place.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(aEnviar);
    QAccessible::installUpdateHandler(EnmascararClaves);
}

} // namespace

CajaClave::CajaClave(QWidget* padre)
    : QLineEdit(padre) {
    static const bool enmascarando = [] {
        gManejadorAnterior = QAccessible::installUpdateHandler(EnmascararClaves);
        return true;
    }();
    static_cast<void>(enmascarando);
    setEchoMode(QLineEdit::Password);
    reintento_.setInterval(kReintentoCapturaMs);
    connect(&reintento_, &QTimer::timeout, this, [this] {
        if (++reintentos_ >= kReintentosCaptura) {
            reintento_.stop();
        }
        Capturar();
    });
}

CajaClave::~CajaClave() {
    Soltar();
}

void CajaClave::focusInEvent(QFocusEvent* evento) {
    QLineEdit::focusInEvent(evento);
    reintentos_ = 0;
    Capturar();
}

void CajaClave::focusOutEvent(QFocusEvent* evento) {
    Soltar();
    QLineEdit::focusOutEvent(evento);
}

void CajaClave::hideEvent(QHideEvent* evento) {
    Soltar();
    QLineEdit::hideEvent(evento);
}

void CajaClave::Capturar() {
    QWindow* propia = window()->windowHandle();
    if (!EsX11() || !hasFocus() || !isVisible() || propia == nullptr) {
        reintento_.stop();
        return;
    }
    if (propia->setKeyboardGrabEnabled(true)) {
        capturada_ = propia;
        reintento_.stop();
    } else if (!reintento_.isActive() && reintentos_ < kReintentosCaptura) {
        reintento_.start();
    }
}

void CajaClave::Soltar() {
    reintento_.stop();
    if (capturada_ != nullptr) {
        capturada_->setKeyboardGrabEnabled(false);
        capturada_ = nullptr;
    }
}

} // namespace ventana
