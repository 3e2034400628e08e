// The administrator's policy on Windows: the values of the registry key that
// Group Policy writes, HKEY_LOCAL_MACHINE\Software\Policies\Quelvaren, read
// in the registry's 64-bit view whichever build runs. Only administrators can
// write under Software\Policies.

#include "settings/politica.h"

#include <QWinEventNotifier>

#include <windows.h>

namespace ajustes {

namespace {

// The key is opened one level up, so that reading never creates it.
const QString kRaizPoliticas = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Policies");
constexpr wchar_t kSubclavePoliticas[] = L"Software\\Policies";
constexpr char kGrupoPolitica[] = "Quelvaren";

} // namespace

namespace politica {

QString Ubicacion() {
    return kRaizPoliticas + QLatin1Char('\\') + QLatin1String(kGrupoPolitica);
}

bool Existe() {
    return Abrir()->childGroups().contains(Grupo(), Qt::CaseInsensitive);
}

std::unique_ptr<QSettings> Abrir() {
    auto almacen = std::make_unique<QSettings>(kRaizPoliticas, QSettings::Registry64Format);
    almacen->setFallbacksEnabled(false);
    return almacen;
}

QString Grupo() {
    return QString::fromLatin1(kGrupoPolitica);
}

bool DistingueMayusculas() {
    return false;
}

void RevisarProteccion(Comprobacion& /*comprobacion*/) {
    // The key's permissions are Windows' own: administrators write it, every
    // user reads it.
}

} // namespace politica

// A registry notification on Software\Policies and everything under it
// (the program's key may not exist yet), armed again after each one.
struct VigiaPolitica::Datos {
    HKEY clave = nullptr;
    HANDLE evento = nullptr;
    std::unique_ptr<QWinEventNotifier> aviso;

    bool Armar() {
        return RegNotifyChangeKeyValue(clave, TRUE,
                                       REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, evento,
                                       TRUE) == ERROR_SUCCESS;
    }
    ~Datos() {
        aviso.reset();
        if (clave != nullptr) {
            RegCloseKey(clave);
        }
        if (evento != nullptr) {
            CloseHandle(evento);
        }
    }
};

VigiaPolitica::VigiaPolitica(QObject* padre)
    : QObject(padre)
    , datos_(std::make_unique<Datos>()) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSubclavePoliticas, 0, KEY_NOTIFY | KEY_WOW64_64KEY,
                      &datos_->clave) != ERROR_SUCCESS) {
        datos_->clave = nullptr;
        return;
    }
    datos_->evento = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (datos_->evento == nullptr || !datos_->Armar()) {
        return;
    }
    datos_->aviso = std::make_unique<QWinEventNotifier>(datos_->evento);
    connect(datos_->aviso.get(), &QWinEventNotifier::activated, this, [this] {
        datos_->Armar();
        emit Cambiada();
    });
}

VigiaPolitica::~VigiaPolitica() = default;

} // namespace ajustes
