#include "hijo_ajustes.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <array>
#include <cstdio>
#include <cstring>

namespace hijo {

namespace {

constexpr char kOrdenLeer[] = "--hijo-leer";
constexpr char kOrdenEscribir[] = "--hijo-escribir";
constexpr int kEsperaMs = 30000;
constexpr int kBaseHexadecimal = 16;
constexpr int kCifrasPorUnidad = 4;
constexpr int kSalidaFallo = 3;

const std::array<const ajustes::Clave*, 4> kClaves{&ajustes::kPass, &ajustes::kValor,
                                                   &ajustes::kAuto, &ajustes::kIntervalo};

const ajustes::Clave* ClavePorNombre(const char* nombre) {
    for (const ajustes::Clave* clave : kClaves) {
        if (std::strcmp(clave->nombre, nombre) == 0) {
            return clave;
        }
    }
    return nullptr;
}

// Texts travel as hexadecimal UTF-16 units, so that NUL and line ends pass
// through arguments and pipes untouched.
QString AHexadecimal(const QString& texto) {
    QString hex;
    for (const QChar unidad : texto) {
        hex += QStringLiteral("%1").arg(unidad.unicode(), kCifrasPorUnidad, kBaseHexadecimal,
                                        QLatin1Char('0'));
    }
    return hex;
}

std::optional<QString> DeHexadecimal(const QString& hex) {
    if (hex.size() % kCifrasPorUnidad != 0) {
        return std::nullopt;
    }
    QString texto;
    for (qsizetype i = 0; i < hex.size(); i += kCifrasPorUnidad) {
        bool bien = false;
        const auto unidad = hex.mid(i, kCifrasPorUnidad).toUShort(&bien, kBaseHexadecimal);
        if (!bien) {
            return std::nullopt;
        }
        texto.append(QChar(unidad));
    }
    return texto;
}

std::optional<QString> Ejecutar(const QString& ejecutable, const QStringList& argumentos) {
    QProcess proceso;
    proceso.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proceso.start(ejecutable.isEmpty() ? QCoreApplication::applicationFilePath() : ejecutable,
                  argumentos);
    if (!proceso.waitForFinished(kEsperaMs) || proceso.exitStatus() != QProcess::NormalExit ||
        proceso.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromLatin1(proceso.readAllStandardOutput()).trimmed();
}

} // namespace

std::optional<int> Atender(int argc, char** argv) {
    constexpr int kArgumentosLeer = 3;
    constexpr int kArgumentosEscribir = 4;
    if (argc < kArgumentosLeer) {
        return std::nullopt;
    }
    const bool leer = std::strcmp(argv[1], kOrdenLeer) == 0 && argc == kArgumentosLeer;
    const bool escribir = std::strcmp(argv[1], kOrdenEscribir) == 0 && argc == kArgumentosEscribir;
    if (!leer && !escribir) {
        return std::nullopt;
    }
    QCoreApplication aplicacion(argc, argv);
    const ajustes::Clave* clave = ClavePorNombre(argv[2]);
    if (clave == nullptr) {
        return kSalidaFallo;
    }
    if (leer) {
        const QByteArray salida = AHexadecimal(ajustes::Leer(*clave)).toLatin1();
        std::fwrite(salida.constData(), 1, static_cast<std::size_t>(salida.size()), stdout);
        std::fflush(stdout);
        return 0;
    }
    const auto texto = DeHexadecimal(QString::fromLatin1(argv[3]));
    if (!texto) {
        return kSalidaFallo;
    }
    return ajustes::Escribir(*clave, *texto).ok() ? 0 : kSalidaFallo;
}

std::optional<QString> Leer(const ajustes::Clave& clave, const QString& ejecutable) {
    const auto salida =
        Ejecutar(ejecutable, {QLatin1String(kOrdenLeer), QLatin1String(clave.nombre)});
    if (!salida) {
        return std::nullopt;
    }
    return DeHexadecimal(*salida);
}

bool Escribir(const ajustes::Clave& clave, const QString& texto, const QString& ejecutable) {
    return Ejecutar(ejecutable, {QLatin1String(kOrdenEscribir), QLatin1String(clave.nombre),
                                 AHexadecimal(texto)})
        .has_value();
}

} // namespace hijo
