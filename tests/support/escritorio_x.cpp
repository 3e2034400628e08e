#include "support/escritorio_x.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

constexpr int kEsperaArranqueMs = 20000; // a server or tray host coming up
constexpr int kEsperaOrdenMs = 15000;    // one run of a command-line tool
constexpr int kEsperaFinMs = 5000;       // a process ending after SIGTERM
constexpr int kSondeoMs = 25;
constexpr int kRetardoDobleClicMs = 80; // well inside any double-click interval
constexpr int kBaseHexadecimal = 16;
constexpr int kCodigoExecFallido = 127;
constexpr int kBloqueLectura = 4096;
constexpr char kPantalla[] = "1280x800x24";
constexpr char kAnchoBandeja[] = "200";
constexpr char kAltoBandeja[] = "32";
constexpr char kClaseBandeja[] = "^trayer$";
constexpr char kRegistroXvfb[] = "xvfb.log";
constexpr char kRegistroBandeja[] = "trayer.log";
constexpr char kRegistroOrdenes[] = "ordenes.log";
constexpr char kRegistroGestorVentanas[] = "openbox.log";

void Pausa(int ms) {
    if (QCoreApplication::instance() != nullptr) {
        QTest::qWait(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

bool Esperar(const std::function<bool()>& condicion, int esperaMs) {
    const QDeadlineTimer plazo(esperaMs);
    for (;;) {
        if (condicion()) {
            return true;
        }
        if (plazo.hasExpired()) {
            return false;
        }
        Pausa(kSondeoMs);
    }
}

bool SigueVivo(pid_t proceso) {
    return proceso > 0 && waitpid(proceso, nullptr, WNOHANG) == 0;
}

// Waits for a child to end, up to the deadline; true when it has ended.
bool EsperarFin(pid_t proceso, int esperaMs, int* estado) {
    const QDeadlineTimer plazo(esperaMs);
    for (;;) {
        const pid_t fin = waitpid(proceso, estado, WNOHANG);
        if (fin == proceso || (fin < 0 && errno != EINTR)) {
            return true;
        }
        if (plazo.hasExpired()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kSondeoMs));
    }
}

// Reads what the descriptor delivers until it closes or the deadline passes.
// With `hastaFinDeLinea` it stops at the first complete line.
QByteArray Leer(int descriptor, int esperaMs, bool hastaFinDeLinea) {
    QByteArray leido;
    const QDeadlineTimer plazo(esperaMs);
    while (!plazo.hasExpired()) {
        pollfd espera{descriptor, POLLIN, 0};
        const int listo = poll(&espera, 1, static_cast<int>(plazo.remainingTime()));
        if (listo < 0 && errno == EINTR) {
            continue;
        }
        if (listo <= 0) {
            break;
        }
        char bloque[kBloqueLectura];
        const ssize_t n = read(descriptor, bloque, sizeof bloque);
        if (n <= 0) {
            break;
        }
        leido.append(bloque, n);
        if (hastaFinDeLinea && leido.contains('\n')) {
            break;
        }
    }
    return leido;
}

// An exact WM class as an anchored POSIX regular expression.
QString Anclado(const QString& texto) {
    static const QString especiales = QStringLiteral(".[]()*+?{}|^$\\");
    QString patron = QStringLiteral("^");
    for (const QChar c : texto) {
        if (especiales.contains(c)) {
            patron += QLatin1Char('\\');
        }
        patron += c;
    }
    return patron + QLatin1Char('$');
}

std::optional<std::uint32_t> NumeroHex(const QString& texto, const QString& rotulo) {
    const QRegularExpression patron(QRegularExpression::escape(rotulo) +
                                    QStringLiteral(":\\s*0x([0-9a-fA-F]+)"));
    const auto encontrado = patron.match(texto);
    if (!encontrado.hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const auto valor = encontrado.captured(1).toUInt(&ok, kBaseHexadecimal);
    return ok ? std::optional<std::uint32_t>(valor) : std::nullopt;
}

std::optional<int> Numero(const QString& texto, const QString& rotulo) {
    const QRegularExpression patron(QRegularExpression::escape(rotulo) +
                                    QStringLiteral(":\\s*(-?\\d+)"));
    const auto encontrado = patron.match(texto);
    if (!encontrado.hasMatch()) {
        return std::nullopt;
    }
    return encontrado.captured(1).toInt();
}

} // namespace

EscritorioX::EscritorioX() = default;

EscritorioX::~EscritorioX() {
    Terminar(gestor_);
    Terminar(bandeja_);
    Terminar(xvfb_);
}

QString EscritorioX::Display() const {
    return numeroDisplay_ < 0 ? QString() : QStringLiteral(":%1").arg(numeroDisplay_);
}

QString EscritorioX::ArchivoRegistro(const char* nombre) const {
    return carpeta_.filePath(QString::fromLatin1(nombre));
}

QString EscritorioX::Registro() const {
    QString texto;
    for (const char* nombre :
         {kRegistroXvfb, kRegistroBandeja, kRegistroOrdenes, kRegistroGestorVentanas}) {
        QFile archivo(ArchivoRegistro(nombre));
        if (archivo.open(QIODevice::ReadOnly)) {
            texto += QStringLiteral("== %1 ==\n").arg(QString::fromLatin1(nombre)) +
                     QString::fromLocal8Bit(archivo.readAll());
        }
    }
    return texto;
}

QProcessEnvironment EscritorioX::Entorno() const {
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    entorno.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (numeroDisplay_ >= 0) {
        entorno.insert(QStringLiteral("DISPLAY"), Display());
    }
    entorno.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return entorno;
}

void EscritorioX::PrepararEntornoQt() const {
    qputenv("DISPLAY", Display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

pid_t EscritorioX::Lanzar(const QString& programa, const QStringList& argumentos, int salida,
                          const QString& registro) const {
    // Everything the child needs is prepared here: after fork() it only
    // redirects its descriptors and runs the program.
    std::vector<QByteArray> textos;
    textos.push_back(programa.toLocal8Bit());
    for (const QString& argumento : argumentos) {
        textos.push_back(argumento.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& texto : textos) {
        argv.push_back(texto.data());
    }
    argv.push_back(nullptr);

    std::vector<QByteArray> variables;
    for (const QString& variable : Entorno().toStringList()) {
        variables.push_back(variable.toLocal8Bit());
    }
    std::vector<char*> envp;
    for (QByteArray& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    const QByteArray rutaRegistro = registro.toLocal8Bit();
    const int errores = open(rutaRegistro.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                             S_IRUSR | S_IWUSR);
    const int nulo = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t padre = getpid();

    const pid_t hijo = fork();
    if (hijo == 0) {
        // Ends with this process, also when a test crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != padre) {
            _exit(kCodigoExecFallido);
        }
        dup2(nulo, STDIN_FILENO);
        dup2(salida >= 0 ? salida : nulo, STDOUT_FILENO);
        dup2(errores >= 0 ? errores : nulo, STDERR_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(kCodigoExecFallido);
    }
    if (errores >= 0) {
        close(errores);
    }
    if (nulo >= 0) {
        close(nulo);
    }
    return hijo;
}

void EscritorioX::Terminar(pid_t& proceso) {
    if (proceso <= 0) {
        return;
    }
    kill(proceso, SIGTERM);
    int estado = 0;
    if (!EsperarFin(proceso, kEsperaFinMs, &estado)) {
        kill(proceso, SIGKILL);
        waitpid(proceso, &estado, 0);
    }
    proceso = -1;
}

bool EscritorioX::Iniciar() {
    if (xvfb_ > 0) {
        return true;
    }
    if (!carpeta_.isValid()) {
        error_ = QStringLiteral("no hay carpeta temporal");
        return false;
    }
    int tubo[2];
    if (pipe2(tubo, O_CLOEXEC) != 0) {
        error_ = QStringLiteral("pipe2 falló");
        return false;
    }
    // Xvfb picks a free display itself and writes its number on the given
    // descriptor once it takes connections. It never resets: by default an X
    // server resets when its last client leaves, and refuses connections
    // meanwhile (a tray host started right after a window manager ends would
    // find no display).
    xvfb_ =
        Lanzar(QStringLiteral("Xvfb"),
               {QStringLiteral("-noreset"), QStringLiteral("-displayfd"),
                QString::number(STDOUT_FILENO), QStringLiteral("-screen"), QStringLiteral("0"),
                QString::fromLatin1(kPantalla), QStringLiteral("-nolisten"), QStringLiteral("tcp")},
               tubo[1], ArchivoRegistro(kRegistroXvfb));
    close(tubo[1]);
    const QByteArray numero = Leer(tubo[0], kEsperaArranqueMs, true);
    close(tubo[0]);
    bool ok = false;
    numeroDisplay_ = numero.trimmed().toInt(&ok);
    if (xvfb_ <= 0 || !ok) {
        numeroDisplay_ = -1;
        error_ = QStringLiteral("Xvfb no arrancó:\n") + Registro();
        Terminar(xvfb_);
        return false;
    }
    return true;
}

bool EscritorioX::IniciarBandeja() {
    if (xvfb_ <= 0) {
        error_ = QStringLiteral("no hay servidor X");
        return false;
    }
    if (bandeja_ > 0) {
        return true;
    }
    bandeja_ = Lanzar(
        QStringLiteral("trayer"),
        {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
         QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
         QStringLiteral("--width"), QString::fromLatin1(kAnchoBandeja), QStringLiteral("--height"),
         QString::fromLatin1(kAltoBandeja), QStringLiteral("--transparent"),
         QStringLiteral("false"), QStringLiteral("--SetDockType"), QStringLiteral("true"),
         QStringLiteral("--expand"), QStringLiteral("false")},
        -1, ArchivoRegistro(kRegistroBandeja));
    const bool arriba = Esperar(
        [this] {
            if (!SigueVivo(bandeja_)) {
                return true;
            }
            const auto ventanas =
                Ejecutar(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--class"), QString::fromLatin1(kClaseBandeja)});
            return ventanas && !ventanas->trimmed().isEmpty();
        },
        kEsperaArranqueMs);
    if (!arriba || !SigueVivo(bandeja_)) {
        error_ = QStringLiteral("trayer no arrancó:\n") + Registro();
        DetenerBandeja();
        return false;
    }
    return true;
}

void EscritorioX::DetenerBandeja() {
    Terminar(bandeja_);
}

std::optional<QString> EscritorioX::Ejecutar(const QString& programa,
                                             const QStringList& argumentos) const {
    int tubo[2];
    if (pipe2(tubo, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    const pid_t hijo = Lanzar(programa, argumentos, tubo[1], ArchivoRegistro(kRegistroOrdenes));
    close(tubo[1]);
    const QByteArray salida = Leer(tubo[0], kEsperaOrdenMs, false);
    close(tubo[0]);
    if (hijo <= 0) {
        return std::nullopt;
    }
    int estado = 0;
    if (!EsperarFin(hijo, kEsperaOrdenMs, &estado)) {
        kill(hijo, SIGKILL);
        waitpid(hijo, &estado, 0);
        return std::nullopt;
    }
    if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(salida);
}

std::optional<EscritorioX::IdVentana> EscritorioX::IconoIncrustado(const QString& claseWm) const {
    const auto ventanas =
        Ejecutar(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--class"),
                                             QStringLiteral("--classname"), Anclado(claseWm)});
    if (!ventanas) {
        return std::nullopt;
    }
    const auto lineas = ventanas->split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& linea : lineas) {
        bool ok = false;
        const IdVentana ventana = linea.trimmed().toUInt(&ok);
        if (!ok) {
            continue;
        }
        const auto arbol =
            Ejecutar(QStringLiteral("xwininfo"), {QStringLiteral("-children"),
                                                  QStringLiteral("-id"), QString::number(ventana)});
        if (!arbol) {
            continue;
        }
        const auto raiz = NumeroHex(*arbol, QStringLiteral("Root window id"));
        const auto padre = NumeroHex(*arbol, QStringLiteral("Parent window id"));
        if (raiz && padre && *padre != *raiz) {
            return ventana;
        }
    }
    return std::nullopt;
}

std::optional<EscritorioX::IdVentana> EscritorioX::EsperarIconoIncrustado(const QString& claseWm,
                                                                          int esperaMs) const {
    std::optional<IdVentana> icono;
    Esperar(
        [&] {
            icono = IconoIncrustado(claseWm);
            return icono.has_value();
        },
        esperaMs);
    return icono;
}

std::optional<EscritorioX::Geometria> EscritorioX::GeometriaVentana(IdVentana ventana) const {
    const auto info =
        Ejecutar(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(ventana)});
    if (!info) {
        return std::nullopt;
    }
    const auto x = Numero(*info, QStringLiteral("Absolute upper-left X"));
    const auto y = Numero(*info, QStringLiteral("Absolute upper-left Y"));
    const auto ancho = Numero(*info, QStringLiteral("Width"));
    const auto alto = Numero(*info, QStringLiteral("Height"));
    if (!x || !y || !ancho || !alto) {
        return std::nullopt;
    }
    return Geometria{QPoint(*x, *y), QSize(*ancho, *alto)};
}

bool EscritorioX::VentanaMapeada(IdVentana ventana) const {
    const auto info =
        Ejecutar(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(ventana)});
    return info && info->contains(QStringLiteral("Map State: IsViewable"));
}

bool EscritorioX::Mover(int x, int y) const {
    // No --sync: it waits for a motion that never comes when the pointer is
    // already there. The server handles the requests of XTEST in order anyway.
    return Ejecutar(QStringLiteral("xdotool"),
                    {QStringLiteral("mousemove"), QString::number(x), QString::number(y)})
        .has_value();
}

bool EscritorioX::Clic(int x, int y, int boton) const {
    return Mover(x, y) &&
           Ejecutar(QStringLiteral("xdotool"), {QStringLiteral("click"), QString::number(boton)})
               .has_value();
}

bool EscritorioX::DobleClic(int x, int y, int boton) const {
    return Mover(x, y) && Ejecutar(QStringLiteral("xdotool"),
                                   {QStringLiteral("click"), QStringLiteral("--repeat"),
                                    QStringLiteral("2"), QStringLiteral("--delay"),
                                    QString::number(kRetardoDobleClicMs), QString::number(boton)})
                              .has_value();
}

bool EscritorioX::CapturarPantalla(const QString& archivo) const {
    return Ejecutar(QStringLiteral("import"),
                    {QStringLiteral("-window"), QStringLiteral("root"), archivo})
        .has_value();
}

// ---- StatusNotifierItem host: xfce4-panel on a private session bus ----

namespace {

constexpr char kCarpetaSni[] = "sni";
constexpr char kRegistroBusSni[] = "bus-sni.log";
constexpr char kRegistroPanelSni[] = "xfce4-panel.log";
constexpr char kVigilanteSni[] = "org.kde.StatusNotifierWatcher";
constexpr char kRutaVigilanteSni[] = "/StatusNotifierWatcher";
constexpr char kInterfazElementoSni[] = "org.kde.StatusNotifierItem";
constexpr char kClasePanelSni[] = "^xfce4-panel$";

// One panel along the bottom ("p=8"), 32 pixels high, whose only plugin is
// the status tray: its icons start at the panel's left end. Seeded so that
// the panel asks nothing at its first start.
constexpr char kConfiguracionPanelSni[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="icon-size" type="uint" value="24"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray">
      <property name="square-icons" type="bool" value="true"/>
    </property>
  </property>
</channel>
)";

// The quoted strings of a gdbus reply, in order.
QStringList Entrecomillados(const QString& respuesta) {
    QStringList textos;
    static const QRegularExpression patron(QStringLiteral("'([^']*)'"));
    for (auto it = patron.globalMatch(respuesta); it.hasNext();) {
        textos << it.next().captured(1);
    }
    return textos;
}

} // namespace

EscritorioX::FinSni::~FinSni() {
    Terminar(escritorio->panelSni_);
    Terminar(escritorio->busSniProceso_);
}

QProcessEnvironment EscritorioX::EntornoSni() const {
    QProcessEnvironment entorno = Entorno();
    if (!busSni_.isEmpty()) {
        entorno.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busSni_);
    }
    return entorno;
}

std::optional<QString> EscritorioX::Gdbus(const QStringList& argumentos) const {
    if (busSni_.isEmpty()) {
        return std::nullopt;
    }
    return Ejecutar(QStringLiteral("gdbus"),
                    QStringList{QStringLiteral("call"), QStringLiteral("--address"), busSni_} +
                        argumentos);
}

bool EscritorioX::DuenoVigilanteSni() const {
    const auto respuesta =
        Gdbus({QStringLiteral("--dest"), QStringLiteral("org.freedesktop.DBus"),
               QStringLiteral("--object-path"), QStringLiteral("/org/freedesktop/DBus"),
               QStringLiteral("--method"), QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
               QString::fromLatin1(kVigilanteSni)});
    return respuesta && respuesta->contains(QStringLiteral("true"));
}

bool EscritorioX::IniciarPanelSni() {
    if (xvfb_ <= 0) {
        error_ = QStringLiteral("no hay servidor X");
        return false;
    }
    if (panelSni_ > 0) {
        return true;
    }
    // The panel and the configuration daemon that the bus starts for it
    // (xfconfd) read and write only under this folder.
    const QString raiz = carpeta_.filePath(QString::fromLatin1(kCarpetaSni));
    const QString configuracion = raiz + QStringLiteral("/config");
    const QString canales = configuracion + QStringLiteral("/xfce4/xfconf/xfce-perchannel-xml");
    const QStringList variables = {
        QStringLiteral("XDG_CONFIG_HOME=") + configuracion,
        QStringLiteral("XDG_CACHE_HOME=") + raiz + QStringLiteral("/cache"),
        QStringLiteral("XDG_DATA_HOME=") + raiz + QStringLiteral("/data")};
    if (busSni_.isEmpty()) {
        QFile panel(canales + QStringLiteral("/xfce4-panel.xml"));
        if (!QDir().mkpath(canales) || !panel.open(QIODevice::WriteOnly) ||
            panel.write(kConfiguracionPanelSni) < 0) {
            error_ = QStringLiteral("no se pudo escribir la configuración del panel");
            return false;
        }
        panel.close();
        int tubo[2];
        if (pipe2(tubo, O_CLOEXEC) != 0) {
            error_ = QStringLiteral("pipe2 falló");
            return false;
        }
        // The bus passes its own environment to the services it starts.
        busSniProceso_ =
            Lanzar(QStringLiteral("env"),
                   variables + QStringList{QStringLiteral("dbus-daemon"),
                                           QStringLiteral("--session"), QStringLiteral("--nofork"),
                                           QStringLiteral("--print-address=1")},
                   tubo[1], ArchivoRegistro(kRegistroBusSni));
        close(tubo[1]);
        busSni_ = QString::fromLocal8Bit(Leer(tubo[0], kEsperaArranqueMs, true)).trimmed();
        close(tubo[0]);
        if (busSniProceso_ <= 0 || busSni_.isEmpty()) {
            busSni_.clear();
            error_ = QStringLiteral("dbus-daemon no arrancó:\n") + Registro();
            Terminar(busSniProceso_);
            return false;
        }
    }
    // No window manager runs here: without --disable-wm-check the panel
    // waits seconds for one.
    panelSni_ =
        Lanzar(QStringLiteral("env"),
               variables + QStringList{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + busSni_,
                                       QStringLiteral("xfce4-panel"),
                                       QStringLiteral("--disable-wm-check")},
               -1, ArchivoRegistro(kRegistroPanelSni));
    const bool arriba = Esperar(
        [this] { return !SigueVivo(panelSni_) || (DuenoVigilanteSni() && IconoPanelSni()); },
        kEsperaArranqueMs);
    if (!arriba || !SigueVivo(panelSni_)) {
        QFile registro(ArchivoRegistro(kRegistroPanelSni));
        registro.open(QIODevice::ReadOnly);
        error_ = QStringLiteral("xfce4-panel no arrancó:\n") +
                 QString::fromLocal8Bit(registro.readAll());
        DetenerPanelSni();
        return false;
    }
    return true;
}

void EscritorioX::DetenerPanelSni() {
    Terminar(panelSni_);
    Esperar([this] { return !DuenoVigilanteSni(); }, kEsperaArranqueMs);
}

QStringList EscritorioX::ElementosSni() const {
    const auto respuesta = Gdbus(
        {QStringLiteral("--dest"), QString::fromLatin1(kVigilanteSni),
         QStringLiteral("--object-path"), QString::fromLatin1(kRutaVigilanteSni),
         QStringLiteral("--method"), QStringLiteral("org.freedesktop.DBus.Properties.Get"),
         QString::fromLatin1(kVigilanteSni), QStringLiteral("RegisteredStatusNotifierItems")});
    return respuesta ? Entrecomillados(*respuesta) : QStringList();
}

std::optional<QString> EscritorioX::PropiedadSni(const QString& elemento,
                                                 const QString& propiedad) const {
    const qsizetype barra = elemento.indexOf(QLatin1Char('/'));
    if (barra <= 0) {
        return std::nullopt;
    }
    return Gdbus({QStringLiteral("--dest"), elemento.left(barra), QStringLiteral("--object-path"),
                  elemento.mid(barra), QStringLiteral("--method"),
                  QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                  QString::fromLatin1(kInterfazElementoSni), propiedad});
}

std::optional<EscritorioX::Geometria> EscritorioX::IconoPanelSni() const {
    const auto ventanas =
        Ejecutar(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--class"), QString::fromLatin1(kClasePanelSni)});
    if (!ventanas) {
        return std::nullopt;
    }
    for (const QString& linea : ventanas->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const auto panel = GeometriaVentana(linea.trimmed().toUInt(&ok));
        if (ok && panel && panel->tamano.height() > 0) {
            // Square icons as high as the panel, the first at its left end.
            const int lado = panel->tamano.height();
            return Geometria{panel->posicion, QSize(lado, lado)};
        }
    }
    return std::nullopt;
}

bool EscritorioX::IniciarGestorVentanas() {
    if (xvfb_ <= 0) {
        error_ = QStringLiteral("no hay servidor X");
        return false;
    }
    if (gestor_ > 0) {
        return true;
    }
    gestor_ = Lanzar(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}, -1,
                     ArchivoRegistro(kRegistroGestorVentanas));
    // Up once the root window names a check window that exists and carries
    // the manager's name (one that ran before may have left the name of its
    // own, gone, window behind).
    const bool arriba = Esperar(
        [this] {
            if (!SigueVivo(gestor_)) {
                return true;
            }
            const auto raiz =
                Ejecutar(QStringLiteral("xprop"),
                         {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            const auto id = raiz
                                ? QRegularExpression(QStringLiteral("window id # (0x[0-9a-fA-F]+)"))
                                      .match(*raiz)
                                      .captured(1)
                                : QString();
            if (id.isEmpty()) {
                return false;
            }
            const auto nombre = Ejecutar(QStringLiteral("xprop"), {QStringLiteral("-id"), id,
                                                                   QStringLiteral("_NET_WM_NAME")});
            return nombre && nombre->contains(QStringLiteral("Openbox"));
        },
        kEsperaArranqueMs);
    if (!arriba || !SigueVivo(gestor_)) {
        error_ = QStringLiteral("openbox no arrancó:\n") + Registro();
        DetenerGestorVentanas();
        return false;
    }
    return true;
}

void EscritorioX::DetenerGestorVentanas() {
    Terminar(gestor_);
}

bool EscritorioX::VentanaIconica(IdVentana ventana) const {
    const auto estado =
        Ejecutar(QStringLiteral("xprop"),
                 {QStringLiteral("-id"), QString::number(ventana), QStringLiteral("WM_STATE")});
    return estado && estado->contains(QStringLiteral("window state: Iconic"));
}

bool EscritorioX::TecladoCapturado() const {
    // Another client's grab makes this one fail; a grab that succeeds is let
    // go at once.
    xcb_connection_t* conexion = xcb_connect(Display().toLatin1().constData(), nullptr);
    bool capturado = false;
    if (xcb_connection_has_error(conexion) == 0) {
        const xcb_window_t raiz = xcb_setup_roots_iterator(xcb_get_setup(conexion)).data->root;
        xcb_grab_keyboard_reply_t* respuesta =
            xcb_grab_keyboard_reply(conexion,
                                    xcb_grab_keyboard(conexion, 0, raiz, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr);
        capturado = respuesta != nullptr && respuesta->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
        std::free(respuesta);
        xcb_ungrab_keyboard(conexion, XCB_CURRENT_TIME);
        xcb_flush(conexion);
    }
    xcb_disconnect(conexion);
    return capturado;
}
