// The system tray of the platform, reached through Qt: it does with each
// notify request what the shell would do with it.
#pragma once

#include "tray/bandeja.h"

#include <QEvent>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

namespace bandeja {

// The icon's callback as the shell posts it to the window that added the
// icon: the mouse message that happened over the icon (AtenderIcono takes it).
class MensajeIcono : public QEvent {
public:
    explicit MensajeIcono(std::uint32_t mensajeRaton)
        : QEvent(Tipo())
        , mensajeRaton_(mensajeRaton) {}
    static QEvent::Type Tipo();
    std::uint32_t MensajeRaton() const { return mensajeRaton_; }

private:
    std::uint32_t mensajeRaton_;
};

class ShellQt : public QObject, public Shell {
    Q_OBJECT
public:
    explicit ShellQt(QObject* padre = nullptr);
    ~ShellQt() override;

    // NIM_ADD shows one icon with the record's icon and tip (refused while an
    // icon is already shown); NIM_MODIFY updates the fields the record's flags
    // name, and NIM_DELETE removes the icon, both only for the icon added with
    // the same window handle and id.
    bool NotifyIcon(std::uint32_t mensaje, const NOTIFYICONDATA& datos) override;
    bool IconoVisible() const override;
    void MostrarAviso(const QString& titulo, const QString& texto) override;

    // The icon on show, or nullptr before the add and after the delete.
    QSystemTrayIcon* Icono() const { return icono_.get(); }

    // The mouse message the shell reports for an activation of the icon;
    // 0 for an activation that reports none.
    static std::uint32_t MensajeDeActivacion(QSystemTrayIcon::ActivationReason razon);

    // The platform's tray of this run, created at first use and ended when the
    // application ends.
    static ShellQt& Plataforma();

private:
    bool EsElIcono(const NOTIFYICONDATA& datos) const;
    void AplicarCampos(const NOTIFYICONDATA& datos);
    void Activado(QSystemTrayIcon::ActivationReason razon);

    std::unique_ptr<QSystemTrayIcon> icono_;
    std::uint32_t hWnd_ = 0;
    std::uint32_t uID_ = 0;
    std::uint32_t mensajeRetorno_ = 0;
};

} // namespace bandeja
