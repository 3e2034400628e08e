#include "app/consola.h"

#include "version_programa.h"

#include <QByteArray>
#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace consola {

namespace {

// Windows ends lines in files and pipes this way; a console takes it too.
constexpr char kFinLinea[] = "\r\n";
constexpr wchar_t kEntradaConsola[] = L"CONIN$";
constexpr wchar_t kSalidaConsola[] = L"CONOUT$";
// The UTF-8 byte order mark an editor may put at the start of a file.
constexpr char kMarcaUtf8[] = "\xEF\xBB\xBF";

// One standard channel: nothing, a console (UTF-16 both ways), or a file or
// a pipe (bytes).
struct Canal {
    HANDLE manejador = nullptr;
    bool consola = false;
};

Canal gEntrada;
Canal gSalida;
Canal gError;
// What goes to the message box, where there is no console to print on.
QString gCaja;
bool gCajaDeError = false;
bool gSalidaPerdida = false;

bool Utilizable(HANDLE manejador) {
    return manejador != nullptr && manejador != INVALID_HANDLE_VALUE &&
           GetFileType(manejador) != FILE_TYPE_UNKNOWN;
}

bool EsConsola(HANDLE manejador) {
    DWORD modo = 0;
    return GetConsoleMode(manejador, &modo) != FALSE;
}

// The channel as redirected; else, with a console, the console itself.
Canal Preparar(DWORD estandar, const wchar_t* dispositivo, bool conConsola) {
    HANDLE manejador = GetStdHandle(estandar);
    if (!Utilizable(manejador) && conConsola) {
        manejador =
            CreateFileW(dispositivo, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (Utilizable(manejador)) {
            SetStdHandle(estandar, manejador);
        }
    }
    if (!Utilizable(manejador)) {
        return {};
    }
    return {manejador, EsConsola(manejador)};
}

// Writes every unit of `datos` through `escribir` (WriteConsoleW or
// WriteFile), which may take fewer than it is given at a time.
template <typename Unidad, typename Escritura>
bool EscribirTodas(const Unidad* datos, DWORD quedan, Escritura escribir) {
    while (quedan > 0) {
        DWORD escritos = 0;
        if (escribir(datos, quedan, &escritos) == FALSE || escritos == 0) {
            return false;
        }
        datos += escritos;
        quedan -= escritos;
    }
    return true;
}

bool EscribirTodo(const Canal& canal, const QString& texto) {
    if (canal.consola) {
        const std::wstring ancho = texto.toStdWString();
        return EscribirTodas(ancho.data(), static_cast<DWORD>(ancho.size()),
                             [&canal](const wchar_t* datos, DWORD cuantos, DWORD* escritos) {
                                 return WriteConsoleW(canal.manejador, datos, cuantos, escritos,
                                                      nullptr);
                             });
    }
    const QByteArray bytes = texto.toLocal8Bit();
    return EscribirTodas(bytes.constData(), static_cast<DWORD>(bytes.size()),
                         [&canal](const char* datos, DWORD cuantos, DWORD* escritos) {
                             return WriteFile(canal.manejador, datos, cuantos, escritos, nullptr);
                         });
}

// False when the channel is there but refused the line.
bool EscribirEn(const Canal& canal, const QString& linea, bool esError) {
    if (canal.manejador == nullptr) {
        gCaja += linea + QLatin1Char('\n');
        gCajaDeError = gCajaDeError || esError;
        return true;
    }
    return EscribirTodo(canal, linea + QLatin1String(kFinLinea));
}

// Bytes from a pipe or a file in the character set they most likely come
// in: UTF-8 when they are valid UTF-8 (PowerShell 7, today's editors);
// otherwise the console's code page, which the Command Prompt's own commands
// write in, or without a console the system's ANSI code page.
QString Decodificar(const QByteArray& bytes) {
    const int tamano = static_cast<int>(bytes.size());
    if (tamano == 0) {
        return {};
    }
    UINT pagina = CP_UTF8;
    DWORD opciones = MB_ERR_INVALID_CHARS;
    int unidades = MultiByteToWideChar(pagina, opciones, bytes.constData(), tamano, nullptr, 0);
    if (unidades == 0) {
        const UINT deConsola = GetConsoleOutputCP();
        pagina = deConsola != 0 ? deConsola : CP_ACP;
        opciones = 0;
        unidades = MultiByteToWideChar(pagina, opciones, bytes.constData(), tamano, nullptr, 0);
    }
    std::wstring ancho(static_cast<std::size_t>(unidades), L'\0');
    MultiByteToWideChar(pagina, opciones, bytes.constData(), tamano, ancho.data(), unidades);
    return QString::fromStdWString(ancho);
}

} // namespace

void Abrir() {
    // The console of the program that started this one, if it has one: what
    // is not redirected is printed and read there.
    const bool conConsola = AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    gEntrada = Preparar(STD_INPUT_HANDLE, kEntradaConsola, conConsola);
    gSalida = Preparar(STD_OUTPUT_HANDLE, kSalidaConsola, conConsola);
    gError = Preparar(STD_ERROR_HANDLE, kSalidaConsola, conConsola);
}

void Escribir(const QString& linea) {
    if (!EscribirEn(gSalida, linea, false)) {
        gSalidaPerdida = true;
    }
}

void EscribirError(const QString& linea) {
    EscribirEn(gError, linea, true);
}

QString LeerLinea(qsizetype tope) {
    if (gEntrada.manejador == nullptr) {
        return {};
    }
    if (gEntrada.consola) {
        // As typed, whatever the console's code page.
        std::wstring linea;
        wchar_t caracter = L'\0';
        DWORD leidos = 0;
        while (static_cast<qsizetype>(linea.size()) < tope &&
               ReadConsoleW(gEntrada.manejador, &caracter, 1, &leidos, nullptr) != FALSE &&
               leidos == 1 && caracter != L'\n') {
            linea += caracter;
        }
        if (!linea.empty() && linea.back() == L'\r') {
            linea.pop_back();
        }
        return QString::fromStdWString(linea);
    }
    QByteArray linea;
    char byte = '\0';
    DWORD leidos = 0;
    while (linea.size() < tope &&
           ReadFile(gEntrada.manejador, &byte, 1, &leidos, nullptr) != FALSE && leidos == 1 &&
           byte != '\n') {
        linea += byte;
    }
    if (linea.endsWith('\r')) {
        linea.chop(1);
    }
    if (linea.startsWith(kMarcaUtf8)) {
        linea.remove(0, static_cast<qsizetype>(sizeof kMarcaUtf8) - 1);
    }
    return Decodificar(linea);
}

QString LeerClave(qsizetype tope) {
    DWORD antes = 0;
    if (!gEntrada.consola || GetConsoleMode(gEntrada.manejador, &antes) == FALSE) {
        return LeerLinea(tope);
    }
    const bool oculta =
        SetConsoleMode(gEntrada.manejador, antes & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != FALSE;
    const bool pregunta = gError.manejador != nullptr;
    if (pregunta) {
        EscribirTodo(gError, QString::fromUtf8(kPreguntaClave));
    }
    const QString clave = LeerLinea(tope);
    if (oculta) {
        SetConsoleMode(gEntrada.manejador, antes);
    }
    if (pregunta) {
        EscribirTodo(gError, QLatin1String(kFinLinea)); // the Enter that was not shown
    }
    return clave;
}

bool SalidaCompleta() {
    // Nothing is held back: every line went out with WriteFile or
    // WriteConsoleW as it was printed.
    return !gSalidaPerdida;
}

void Cerrar() {
    if (!gCaja.isEmpty()) {
        const QString titulo = QString::fromUtf8(version_programa::kTitulo);
        gCaja.chop(1); // the last line's end
        MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(gCaja.utf16()),
                    reinterpret_cast<const wchar_t*>(titulo.utf16()),
                    MB_OK | MB_SETFOREGROUND | (gCajaDeError ? MB_ICONERROR : MB_ICONINFORMATION));
        gCaja.clear();
    }
}

} // namespace consola
