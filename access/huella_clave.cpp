#include "access/huella_clave.h"

#include <QCryptographicHash>
#include <QLatin1StringView>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

namespace acceso {

namespace {

constexpr QChar kSeparador = u'$';
// "", the algorithm, the iterations, the salt, the hash.
constexpr int kPartes = 5;
constexpr int kParteAlgoritmo = 1;
constexpr int kParteIteraciones = 2;
constexpr int kParteSal = 3;
constexpr int kParteDerivada = 4;
constexpr auto kBase64 = QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals;

QByteArray Derivar(const QString& clave, const QByteArray& sal, int iteraciones) {
    return QPasswordDigestor::deriveKeyPbkdf2(
        QCryptographicHash::Sha256, clave.normalized(QString::NormalizationForm_C).toUtf8(), sal,
        iteraciones, kBytesDerivada);
}

std::optional<QByteArray> LeerBase64(const QString& texto) {
    const auto leido = QByteArray::fromBase64Encoding(
        texto.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!leido || texto.isEmpty() || texto.contains(u'=')) {
        return std::nullopt;
    }
    return *leido;
}

} // namespace

std::optional<Huella> LeerHuella(const QString& texto, QString* motivo) {
    const auto fallo = [motivo](const QString& porque) -> std::optional<Huella> {
        if (motivo != nullptr) {
            *motivo = porque;
        }
        return std::nullopt;
    };
    const QStringList partes = texto.trimmed().split(kSeparador);
    if (partes.size() != kPartes || !partes.at(0).isEmpty()) {
        return fallo(QStringLiteral("no tiene la forma $%1$iteraciones$sal$huella que escribe "
                                    "--clave-politica")
                         .arg(QLatin1StringView(kAlgoritmoHuella)));
    }
    if (partes.at(kParteAlgoritmo) != QLatin1StringView(kAlgoritmoHuella)) {
        return fallo(QStringLiteral("el algoritmo «%1» no es %2")
                         .arg(partes.at(kParteAlgoritmo), QLatin1StringView(kAlgoritmoHuella)));
    }
    bool numero = false;
    Huella huella;
    huella.iteraciones = partes.at(kParteIteraciones).toInt(&numero);
    if (!numero || huella.iteraciones < 1 || huella.iteraciones > kIteracionesMaximas) {
        return fallo(QStringLiteral("el número de iteraciones «%1» no está entre 1 y %2")
                         .arg(partes.at(kParteIteraciones))
                         .arg(kIteracionesMaximas));
    }
    const auto sal = LeerBase64(partes.at(kParteSal));
    const auto derivada = LeerBase64(partes.at(kParteDerivada));
    if (!sal || !derivada || derivada->size() != kBytesDerivada) {
        return fallo(
            QStringLiteral("la sal o la huella no son base64 de %1 bytes").arg(kBytesDerivada));
    }
    huella.sal = *sal;
    huella.derivada = *derivada;
    return huella;
}

QString TextoHuella(const Huella& huella) {
    return QStringList{QString(), QLatin1StringView(kAlgoritmoHuella),
                       QString::number(huella.iteraciones),
                       QString::fromLatin1(huella.sal.toBase64(kBase64)),
                       QString::fromLatin1(huella.derivada.toBase64(kBase64))}
        .join(kSeparador);
}

Huella CrearHuella(const QString& clave, int iteraciones) {
    Huella huella;
    huella.iteraciones = iteraciones;
    huella.sal.resize(kBytesSal);
    QRandomGenerator::system()->generate(huella.sal.begin(), huella.sal.end());
    huella.derivada = Derivar(clave, huella.sal, iteraciones);
    return huella;
}

bool CoincideHuella(const Huella& huella, const QString& clave) {
    const QByteArray derivada = Derivar(clave, huella.sal, huella.iteraciones);
    if (derivada.size() != huella.derivada.size()) {
        return false;
    }
    // Every byte is looked at, whatever the first difference: the time taken
    // tells nothing of how much of the hash was right.
    unsigned char diferencia = 0;
    for (qsizetype i = 0; i < derivada.size(); ++i) {
        diferencia |= static_cast<unsigned char>(derivada.at(i) ^ huella.derivada.at(i));
    }
    return diferencia == 0;
}

} // namespace acceso
