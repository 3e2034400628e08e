// --comprobar: every value in force with where it comes from, and what an
// administrator would otherwise learn only from the users: names the program
// does not read, values it does not understand, a device that is not there, a
// policy that others can change or that users cannot read.

#include "settings/ajustes.h"
#include "settings/almacenes.h"
#include "settings/politica.h"
#include "volume/dispositivos.h"
#include "volume/volumen.h"

#include <algorithm>
#include <iterator>
#include <span>

namespace ajustes {

namespace {

// The store values the program reads, in the order they are shown.
constexpr const Clave* kValoresMostrados[] = {&kValor, &kAuto,        &kModo,
                                              &kAviso, &kDispositivo, &kIntervalo};
constexpr const char* kModos[] = {kModoFijo, kModoTope, kModoPiso};

QString Nombre(const Clave& clave) {
    return QString::fromLatin1(clave.nombre);
}

// How a store is named to an administrator: its file, or its registry key
// down to the group that `ruta` (a key's path) names.
QString Donde(const QSettings& almacen, const QString& ruta) {
    const QString grupo = ruta.left(ruta.lastIndexOf(u'/'));
    if (!grupo.contains(u'/')) {
        return almacen.fileName();
    }
    return almacen.fileName() + QLatin1Char('\\') +
           QString(grupo.left(grupo.lastIndexOf(u'/'))).replace(u'/', u'\\');
}

// "Valor=70000 (usuario)": a value as the user or the administrator wrote it.
QString Escrito(const Clave& clave, const Lectura& lectura) {
    return QStringLiteral("%1=%2 (%3)")
        .arg(Nombre(clave), lectura.texto, NombreOrigen(lectura.origen));
}

// A key that belongs in another store, and where it goes instead.
struct Extraviada {
    const Clave& clave;
    QString pista;
};

// Names in a store that the program does not read: groups and keys beside
// its own, and keys it does not know or that are written in another case.
// `hermanos` is whether the groups beside `grupo` belong to this store.
void RevisarNombres(QSettings& almacen, const QString& donde, const QString& grupo, bool hermanos,
                    bool mayusculas, std::span<const Clave* const> conocidas,
                    const Extraviada& extraviada, Comprobacion& comprobacion) {
    const auto avisar = [&](const QString& texto) {
        comprobacion.avisos.append(donde + QStringLiteral(": ") + texto);
    };
    if (hermanos) {
        const QStringList grupos = almacen.childGroups();
        for (const QString& otro : grupos) {
            if (otro == grupo || (!mayusculas && otro.compare(grupo, Qt::CaseInsensitive) == 0)) {
                continue;
            }
            avisar(otro.compare(grupo, Qt::CaseInsensitive) == 0
                       ? QStringLiteral("el grupo [%1] se escribe [%2]; así no se lee.")
                             .arg(otro, grupo)
                       : QStringLiteral("el grupo [%1] no es del programa; no se lee.").arg(otro));
        }
        const QStringList sueltas = almacen.childKeys();
        for (const QString& suelta : sueltas) {
            avisar(QStringLiteral("%1 está fuera del grupo [%2]; no se lee.").arg(suelta, grupo));
        }
    }
    almacen.beginGroup(grupo);
    const QStringList claves = almacen.childKeys();
    for (const QString& escrita : claves) {
        const Clave* parecida = nullptr;
        bool exacta = false;
        for (const Clave* conocida : conocidas) {
            if (escrita.compare(Nombre(*conocida), Qt::CaseInsensitive) == 0) {
                parecida = conocida;
                exacta = !mayusculas || escrita == Nombre(*conocida);
            }
        }
        if (exacta) {
            continue;
        }
        if (parecida != nullptr) {
            avisar(
                QStringLiteral("%1 se escribe %2; así no se lee.").arg(escrita, Nombre(*parecida)));
        } else if (escrita.compare(Nombre(extraviada.clave), Qt::CaseInsensitive) == 0) {
            avisar(QStringLiteral("%1 no se lee aquí: %2.").arg(escrita, extraviada.pista));
        } else {
            avisar(QStringLiteral("%1 no es una clave del programa; no se lee.").arg(escrita));
        }
    }
    const QStringList subgrupos = almacen.childGroups();
    for (const QString& subgrupo : subgrupos) {
        avisar(QStringLiteral("%1/%2 no se lee.").arg(grupo, subgrupo));
    }
    almacen.endGroup();
}

void RevisarAlmacenes(Comprobacion& comprobacion) {
    if (politica::Existe()) {
        const auto almacen = politica::Abrir();
        if (almacen->status() == QSettings::FormatError) {
            comprobacion.errores.append(
                QStringLiteral("%1 tiene líneas que no se entienden: puede que no se lea entera.")
                    .arg(politica::Ubicacion()));
        }
        RevisarNombres(*almacen, politica::Ubicacion(), politica::Grupo(),
                       politica::DistingueMayusculas(), politica::DistingueMayusculas(),
                       kClavesPolitica,
                       {kPass, QStringLiteral("la clave de acceso de la política va en Clave, como "
                                              "la escribe --clave-politica")},
                       comprobacion);
    }
    // The user's store and the preset: their group is the last folder of a
    // key's path.
    const auto revisarAlmacen = [&](QSettings& almacen, const QString& ruta) {
        const QString grupo = ruta.left(ruta.lastIndexOf(u'/'));
        if (almacen.status() == QSettings::FormatError) {
            comprobacion.avisos.append(
                QStringLiteral("%1 tiene líneas que no se entienden.").arg(Donde(almacen, ruta)));
        }
        RevisarNombres(almacen, Donde(almacen, ruta), grupo, !grupo.contains(u'/'),
                       politica::DistingueMayusculas(), kClavesAlmacen,
                       {kClavePolitica, QStringLiteral("solo se lee en la política")},
                       comprobacion);
    };
    revisarAlmacen(*AbrirAlmacen(), RutaClave(kValor));
    revisarAlmacen(*AbrirAlmacenDelSistema(), RutaEnSistema(kValor));
}

void RevisarValor(const Clave& clave, const Lectura& lectura, Comprobacion& comprobacion) {
    const QString escrito = Escrito(clave, lectura);
    const QString texto = lectura.texto;
    const auto avisar = [&](const QString& queHace) {
        comprobacion.avisos.append(escrito + QStringLiteral(" ") + queHace);
    };
    if (&clave == &kValor) {
        bool numero = false;
        const std::int32_t nivel = texto.toInt(&numero);
        if (!numero) {
            avisar(QStringLiteral("no es un número: vale %1.")
                       .arg(QString::fromLatin1(kValor.porDefecto)));
        } else if (nivel < 0 || nivel > volumen::kNivelMaximo) {
            avisar(QStringLiteral("está fuera de 0–%1: se toma como %2.")
                       .arg(volumen::kNivelMaximo)
                       .arg(volumen::RecortarNivel(nivel)));
        }
    } else if (&clave == &kAuto || &clave == &kAviso) {
        if (texto != QLatin1String(kSi) && texto != QLatin1String(kNo)) {
            avisar(QStringLiteral("no se entiende (solo %1 o %2): vale %2.")
                       .arg(QLatin1String(kSi), QLatin1String(kNo)));
        }
    } else if (&clave == &kModo) {
        const QString modo = texto.trimmed();
        const bool conocido =
            std::any_of(std::begin(kModos), std::end(kModos), [&modo](const char* nombre) {
                return modo.compare(QLatin1String(nombre), Qt::CaseInsensitive) == 0;
            });
        if (!conocido && !modo.isEmpty()) {
            avisar(QStringLiteral("no se entiende (%1, %2 o %3): vale %1.")
                       .arg(QLatin1String(kModoFijo), QLatin1String(kModoTope),
                            QLatin1String(kModoPiso)));
        }
    } else if (&clave == &kDispositivo && !texto.trimmed().isEmpty()) {
        const volumen::ListaDispositivos lista = volumen::ListarDispositivos();
        const std::string nombre = texto.trimmed().toStdString();
        if (!lista.error.empty()) {
            avisar(QStringLiteral("no se pudo comprobar: %1")
                       .arg(QString::fromStdString(lista.error)));
        } else if (std::none_of(lista.dispositivos.begin(), lista.dispositivos.end(),
                                [&nombre](const volumen::Dispositivo& dispositivo) {
                                    return dispositivo.nombre == nombre;
                                })) {
            avisar(
                QStringLiteral("no está ahora entre los dispositivos de salida (--dispositivos): "
                               "mientras falte no se escribe nada."));
        }
    }
}

} // namespace

Comprobacion Comprobar() {
    Comprobacion comprobacion;
    comprobacion.valores.append(QStringLiteral("Política: %1%2")
                                    .arg(politica::Ubicacion(), politica::Existe()
                                                                    ? QString()
                                                                    : QStringLiteral(" (no hay)")));
    comprobacion.valores.append(
        QStringLiteral("Ajustes del usuario: %1").arg(Donde(*AbrirAlmacen(), RutaClave(kValor))));
    comprobacion.valores.append(QStringLiteral("Preajuste: %1")
                                    .arg(Donde(*AbrirAlmacenDelSistema(), RutaEnSistema(kValor))));
    politica::RevisarProteccion(comprobacion);
    RevisarAlmacenes(comprobacion);

    const bool valorImpuesto = LeerPolitica(kValor).has_value();
    for (const Clave* clave : kValoresMostrados) {
        const Lectura lectura = LeerConOrigen(*clave);
        QString linea = Escrito(*clave, lectura);
        if (valorImpuesto && lectura.origen == Origen::PorDefecto &&
            (clave == &kModo || clave == &kDispositivo)) {
            linea += QStringLiteral(", porque la política fija Valor");
        }
        comprobacion.valores.append(linea);
        RevisarValor(*clave, lectura, comprobacion);
    }
    return comprobacion;
}

} // namespace ajustes
