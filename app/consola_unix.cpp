#include "app/consola.h"

#include <QByteArray>
#include <QFile>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace consola {

namespace {

void EscribirEn(std::FILE* canal, const QString& linea) {
    const QByteArray bytes = linea.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), canal);
}

} // namespace

void Abrir() {}

void Escribir(const QString& linea) {
    EscribirEn(stdout, linea);
}

void EscribirError(const QString& linea) {
    EscribirEn(stderr, linea);
}

QString LeerLinea(qsizetype tope) {
    QFile entrada;
    if (!entrada.open(stdin, QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray linea = entrada.readLine(tope);
    if (linea.endsWith('\n')) {
        linea.chop(1);
    }
    if (linea.endsWith('\r')) {
        linea.chop(1);
    }
    return QString::fromLocal8Bit(linea);
}

QString LeerClave(qsizetype tope) {
    termios antes{};
    if (::isatty(STDIN_FILENO) == 0 || ::tcgetattr(STDIN_FILENO, &antes) != 0) {
        return LeerLinea(tope);
    }
    termios sinEco = antes;
    sinEco.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    const bool oculta = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &sinEco) == 0;
    std::fputs(kPreguntaClave, stderr);
    std::fflush(stderr);
    const QString clave = LeerLinea(tope);
    if (oculta) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &antes);
    }
    std::fputc('\n', stderr); // the Enter that was not shown
    return clave;
}

bool SalidaCompleta() {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

void Cerrar() {
    std::fflush(stdout);
    std::fflush(stderr);
}

} // namespace consola
