#include "app/fin_sesion.h"

#include "version_programa.h"

#include <QCoreApplication>
#include <QDir>
#include <QWinEventNotifier>
#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

// The value of the program's machine key, HKEY_LOCAL_MACHINE\Software\Quelvaren,
// through which the installer and the uninstaller ask every copy running
// from the folder it names to end. Only administrators may write under that
// key: the installer's rights, never a user's.
constexpr wchar_t kValorCerrar[] = L"Cerrar";

// Watches the machine key; ends the program when the value names the folder
// it runs from.
class PeticionDelInstalador : public QObject {
public:
    PeticionDelInstalador(HKEY clave, std::function<void()> terminar)
        : QObject(qApp)
        , clave_(clave)
        , evento_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
        , terminar_(std::move(terminar)) {
        if (evento_ == nullptr) {
            return;
        }
        aviso_ = new QWinEventNotifier(evento_, this);
        connect(aviso_, &QWinEventNotifier::activated, this, &PeticionDelInstalador::Cambio);
        Vigilar();
    }

    ~PeticionDelInstalador() override {
        delete aviso_;
        if (evento_ != nullptr) {
            CloseHandle(evento_);
        }
        RegCloseKey(clave_);
    }

private:
    // Once: each change of the key's values sets the event, then it must be
    // asked again.
    bool Vigilar() {
        return RegNotifyChangeKeyValue(clave_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, evento_, TRUE) ==
               ERROR_SUCCESS;
    }

    void Cambio() {
        if (NombraEstaCarpeta()) {
            aviso_->setEnabled(false);
            terminar_();
            return;
        }
        Vigilar();
    }

    bool NombraEstaCarpeta() const {
        DWORD bytes = 0;
        if (RegGetValueW(clave_, nullptr, kValorCerrar, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
                ERROR_SUCCESS ||
            bytes == 0) {
            return false;
        }
        std::wstring valor(bytes / sizeof(wchar_t), L'\0');
        if (RegGetValueW(clave_, nullptr, kValorCerrar, RRF_RT_REG_SZ, nullptr, valor.data(),
                         &bytes) != ERROR_SUCCESS) {
            return false;
        }
        valor.resize(wcsnlen(valor.c_str(), valor.size()));
        if (valor.empty()) {
            return false;
        }
        const QString carpeta =
            QDir::cleanPath(QDir::fromNativeSeparators(QString::fromStdWString(valor)));
        return carpeta.compare(QDir::cleanPath(QCoreApplication::applicationDirPath()),
                               Qt::CaseInsensitive) == 0;
    }

    HKEY clave_;
    HANDLE evento_;
    QWinEventNotifier* aviso_ = nullptr;
    std::function<void()> terminar_;
};

} // namespace

void AtenderFinDeSesion(std::function<void()> terminar) {
    // Qt ends the event loop when Windows ends the session; the window's
    // orderly end runs on the way out.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, terminar);
    // The installer's request. The key exists once the program has been
    // installed; a copy that was never installed has nothing to watch.
    const std::wstring ruta =
        L"Software\\" + QString::fromUtf8(version_programa::kTitulo).toStdWString();
    HKEY clave = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ruta.c_str(), 0, KEY_NOTIFY | KEY_QUERY_VALUE, &clave) ==
        ERROR_SUCCESS) {
        new PeticionDelInstalador(clave, std::move(terminar));
    }
}
