#include "support/programa_x.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <cmath>

namespace programa_x {

namespace {

constexpr int kSondeoMs = 50;
constexpr int kRetardoTecleoMs = 20;            // between the keys xdotool types
constexpr std::uint32_t kVolumenNormal = 65536; // pa_volume_t at 100 %
constexpr std::uint32_t kNivelMaximo = 65535;
const QString kGrupo = QStringLiteral("Config/");

bool Xdotool(const EscritorioX& x, const QStringList& argumentos) {
    return x.Ejecutar(QStringLiteral("xdotool"), argumentos).has_value();
}

} // namespace

bool Esperar(const std::function<bool()>& condicion, int esperaMs) {
    const QDeadlineTimer plazo(esperaMs);
    while (!condicion()) {
        if (plazo.hasExpired()) {
            return false;
        }
        QTest::qWait(kSondeoMs);
    }
    return true;
}

std::uint32_t VolumenDeNivel(std::uint32_t nivel) {
    return static_cast<std::uint32_t>(std::lround(double(nivel) * kVolumenNormal / kNivelMaximo));
}

void Sembrar(const QString& archivo, const QMap<QString, QString>& valores) {
    QFile::remove(archivo);
    QSettings ajustes(archivo, QSettings::IniFormat);
    for (auto it = valores.begin(); it != valores.end(); ++it) {
        ajustes.setValue(kGrupo + it.key(), it.value());
    }
}

QString Leido(const QString& archivo, const QString& clave) {
    QSettings ajustes(archivo, QSettings::IniFormat);
    return ajustes.value(kGrupo + clave).toString();
}

std::optional<QString> Ventana(const EscritorioX& x, const QString& titulo) {
    const auto salida = x.Ejecutar(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
         QLatin1Char('^') + QRegularExpression::escape(titulo) + QLatin1Char('$')});
    if (!salida || salida->trimmed().isEmpty()) {
        return std::nullopt;
    }
    return salida->trimmed().split(QLatin1Char('\n')).first();
}

bool EsperarVentana(const EscritorioX& x, const QString& titulo, int esperaMs) {
    return Esperar([&] { return Ventana(x, titulo).has_value(); }, esperaMs);
}

bool Enfocar(const EscritorioX& x, const QString& ventana) {
    return Xdotool(x, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), ventana});
}

bool Teclear(const EscritorioX& x, const QString& ventana, const QString& texto) {
    if (!Enfocar(x, ventana)) {
        return false;
    }
    if (!texto.isEmpty() && !Xdotool(x, {QStringLiteral("type"), QStringLiteral("--delay"),
                                         QString::number(kRetardoTecleoMs), texto})) {
        return false;
    }
    return Xdotool(x, {QStringLiteral("key"), QStringLiteral("Return")});
}

bool Tecla(const EscritorioX& x, const QString& ventana, const QString& tecla) {
    return Enfocar(x, ventana) && Xdotool(x, {QStringLiteral("key"), tecla});
}

std::optional<EscritorioX::Geometria> Icono(const EscritorioX& x) {
    const auto icono = x.EsperarIconoIncrustado(kClaseVentana);
    if (!icono) {
        return std::nullopt;
    }
    return x.GeometriaVentana(*icono);
}

std::optional<EscritorioX::IdVentana> VentanaDelPrograma(const EscritorioX& x,
                                                         const QString& titulo) {
    const auto ventanas = x.Ejecutar(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--class"),
         QLatin1Char('^') + QRegularExpression::escape(kClaseVentana) + QLatin1Char('$')});
    if (!ventanas) {
        return std::nullopt;
    }
    for (const QString& linea : ventanas->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto nombre =
            x.Ejecutar(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), linea});
        bool ok = false;
        const EscritorioX::IdVentana id = linea.trimmed().toUInt(&ok);
        if (ok && nombre && nombre->trimmed() == titulo) {
            return id;
        }
    }
    return std::nullopt;
}

} // namespace programa_x
