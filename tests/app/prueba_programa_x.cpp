// The whole program, run as its own process on a real X server with a real
// tray host and a private audio server (PulseAudio, or PipeWire; see
// ServidorPulse): the first start through both dialogs, the auto start that
// holds the sink, the way back from the tray and the exit; and, under a window
// manager with no tray host, the way back from the taskbar.

#include "access/intentos.h"
#include "app/linea_ordenes.h"
#include "settings/ajustes.h"
#include "support/atspi.h"
#include "support/escritorio_x.h"
#include "support/politica_prueba.h"
#include "support/programa_x.h"
#include "support/servidor_pulse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

using namespace programa_x;

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kClave = QStringLiteral("abc");
const QString kOtraClave = QStringLiteral("xyz");
const QString kClaveGuardada = QStringLiteral("MwM");
const QString kTituloPrimeraClave = QStringLiteral("Nueva Clave de Acceso");
const QString kTituloAcceso = QStringLiteral("Introducir la CLAVE de ACCESO");
const QString kTituloPrincipal = QStringLiteral("Quelvaren");
const QString kTituloAviso = QStringLiteral("Quelvaren"); // message boxes carry the program's title

// Two ticks and some room: whatever another program sets lasts at most one tick.
constexpr int kEsperaTicksMs = 4500;
constexpr std::uint32_t kVolumenNormal = 65536;                  // pa_volume_t at 100 %
constexpr std::uint32_t kVolumenFuerte = kVolumenNormal * 3 / 2; // 150 %, as the servers allow
// Long enough for a window manager to have restored a window it was going to.
constexpr int kEsperaNegativaMs = 600;
constexpr int kLejos = 10; // a point of the screen away from every window

} // namespace

class PruebaProgramaX : public QObject {
    Q_OBJECT

    EscritorioX escritorio_;
    std::unique_ptr<ServidorPulse> pulse_;
    ProgramaEnPrueba programa_{kPrograma};
    atspi::Bus bus_; // for a screen reader, where a case wants one

    bool Lanzar() { return programa_.Lanzar(escritorio_.Entorno()); }
    // A desktop with a window manager and no tray host; the program starts
    // on the auto road, so its window can only be minimised on the taskbar.
    // Returns its main window once the window manager keeps it minimised.
    std::optional<EscritorioX::IdVentana> LanzarEnLaBarra() {
        escritorio_.DetenerBandeja();
        if (!escritorio_.IniciarGestorVentanas()) {
            qWarning("%s", qPrintable(escritorio_.Error()));
            return std::nullopt;
        }
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Auto"), QStringLiteral("S")}});
        if (!Lanzar()) {
            return std::nullopt;
        }
        std::optional<EscritorioX::IdVentana> principal;
        const bool iconica = Esperar([&] {
            principal = VentanaDelPrograma(escritorio_, kTituloPrincipal);
            return principal && escritorio_.VentanaIconica(*principal);
        });
        return iconica ? principal : std::nullopt;
    }
    // Whether the main window is on screen in normal state.
    bool EnUso(EscritorioX::IdVentana principal) const {
        return escritorio_.VentanaMapeada(principal) && !escritorio_.VentanaIconica(principal);
    }
    // What a taskbar's or window manager's "close" sends.
    bool PedirCierre(EscritorioX::IdVentana ventana) const {
        return escritorio_
            .Ejecutar(QStringLiteral("wmctrl"),
                      {QStringLiteral("-i"), QStringLiteral("-c"), QString::number(ventana)})
            .has_value();
    }
    bool Activar(EscritorioX::IdVentana ventana) const {
        return escritorio_
            .Ejecutar(QStringLiteral("xdotool"),
                      {QStringLiteral("windowactivate"), QString::number(ventana)})
            .has_value();
    }

    // Whether every channel of the first sink holds the level.
    bool Sostenido(std::uint32_t nivel) {
        const auto canales = pulse_->VolumenCanales(ServidorPulse::kSumideroInicial);
        return !canales.isEmpty() &&
               std::all_of(canales.begin(), canales.end(), [&](std::uint32_t v) {
                   return pulse_->Coincide(v, VolumenDeNivel(nivel));
               });
    }

    // Starts the program on the auto road and waits for its icon; with a
    // screen reader's bus, the program talks to it.
    void LanzarEnAutomatico(bool conLector = false) {
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Auto"), QStringLiteral("S")}});
        QVERIFY(conLector ? programa_.Lanzar(
                                atspi::ConAccesibilidad(escritorio_.Entorno(), bus_.Direccion()))
                          : Lanzar());
        QVERIFY(Icono(escritorio_).has_value());
    }
    // The access dialog, opened by a click on the icon.
    std::optional<QString> AbrirAcceso() {
        const auto icono = Icono(escritorio_);
        const bool abierto = icono && escritorio_.Clic(icono->Centro().x(), icono->Centro().y()) &&
                             EsperarVentana(escritorio_, kTituloAcceso);
        return abierto ? Ventana(escritorio_, kTituloAcceso) : std::nullopt;
    }
    bool Xdotool(const QStringList& argumentos) const {
        return escritorio_.Ejecutar(QStringLiteral("xdotool"), argumentos).has_value();
    }
    // A wrong password, and the message that says so answered.
    bool Fallar(const QString& acceso) {
        if (!Teclear(escritorio_, acceso, kOtraClave) ||
            !EsperarVentana(escritorio_, kTituloAviso)) {
            return false;
        }
        const auto aviso = Ventana(escritorio_, kTituloAviso);
        return aviso && Tecla(escritorio_, *aviso, QStringLiteral("Return")) &&
               Esperar([&] { return !Ventana(escritorio_, kTituloAviso).has_value(); });
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(kPrograma), qPrintable(kPrograma));
        QVERIFY2(escritorio_.Iniciar(), qPrintable(escritorio_.Error()));
        QVERIFY2(escritorio_.IniciarBandeja(), qPrintable(escritorio_.Error()));
        pulse_ = std::make_unique<ServidorPulse>();
        QVERIFY(pulse_->Listo());
    }

    void cleanup() {
        if (QTest::currentTestFailed()) {
            DiagnosticarEscritorio(escritorio_);
        }
        programa_.FinDelCaso();
        // The desktop of the other cases: a tray host, no window manager.
        if (escritorio_.GestorVentanasIniciado()) {
            escritorio_.DetenerGestorVentanas();
            QVERIFY2(escritorio_.IniciarBandeja(), qPrintable(escritorio_.Error()));
        }
    }

    void primerArranqueHastaLaVentana() {
        QFile::remove(programa_.ArchivoAjustes());
        QVERIFY(Lanzar());
        QVERIFY(EsperarVentana(escritorio_, kTituloPrimeraClave));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloPrimeraClave), kClave));
        QVERIFY(Esperar([&] { return programa_.Leido(QStringLiteral("Pass")) == kClaveGuardada; }));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        // The dialog carries the program's icon, as every window does.
        const auto iconoAcceso = escritorio_.Ejecutar(
            QStringLiteral("xprop"), {QStringLiteral("-id"), *Ventana(escritorio_, kTituloAcceso),
                                      QStringLiteral("_NET_WM_ICON")});
        QVERIFY(iconoAcceso.has_value() && iconoAcceso->contains(QStringLiteral("Icon (")));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        QVERIFY(Icono(escritorio_).has_value());
        // Nothing holds the level until control starts.
        QVERIFY(pulse_->Coincide(pulse_->VolumenCanales(ServidorPulse::kSumideroInicial).value(0),
                                 kVolumenNormal));
    }

    void arranqueAutomaticoSostieneElNivel() {
        constexpr std::uint32_t kNivel = 16384;
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Valor"), QString::number(kNivel)},
                           {QStringLiteral("Auto"), QStringLiteral("S")}});
        QVERIFY(Lanzar());
        QVERIFY(Icono(escritorio_).has_value());
        const auto sostenido = [&] {
            const auto canales = pulse_->VolumenCanales(ServidorPulse::kSumideroInicial);
            return !canales.isEmpty() &&
                   std::all_of(canales.begin(), canales.end(), [&](std::uint32_t v) {
                       return pulse_->Coincide(v, VolumenDeNivel(kNivel));
                   });
        };
        QVERIFY(Esperar(sostenido));
        QVERIFY(!Ventana(escritorio_, kTituloPrincipal).has_value()); // only the icon shows

        // Another program turns it up: the next tick puts it back.
        for (int vez = 0; vez < 2; ++vez) {
            QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {kVolumenNormal}));
            QVERIFY(Esperar(sostenido, kEsperaTicksMs));
        }

        // A left click on the icon asks for the password; the right one shows the window.
        const auto icono = Icono(escritorio_);
        QVERIFY(icono.has_value());
        QVERIFY(VolverPorElIcono(escritorio_, *icono, kClave));

        // Leaving: "&Salir" asks first; Yes removes the icon and ends the program.
        QVERIFY(
            Tecla(escritorio_, *Ventana(escritorio_, kTituloPrincipal), QStringLiteral("alt+s")));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal) && Esperar([&] {
                    const auto salida = escritorio_.Ejecutar(
                        QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                         QStringLiteral("--name"), QStringLiteral("^Quelvaren$")});
                    return salida && salida->trimmed().split(QLatin1Char('\n')).size() >= 2;
                }));
        QVERIFY(escritorio_
                    .Ejecutar(QStringLiteral("xdotool"),
                              {QStringLiteral("key"), QStringLiteral("Return")})
                    .has_value());
        QVERIFY(programa_.TerminaEnOrden());
        QVERIFY(!escritorio_.IconoIncrustado(kClaseVentana).has_value());
    }

    void segundoArranqueDevuelveLaVentana() {
        LanzarEnAutomatico();
        QProcess segundo;
        QVERIFY(programa_.LanzarOtro(segundo, escritorio_.Entorno()));
        QVERIFY(segundo.waitForFinished(kEsperaMs));
        QCOMPARE(segundo.exitCode(), 0);
        // The running program asks for the password and shows its window.
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        QVERIFY(programa_.Corre());
    }

    void copiaConOtroNombreCorrePorSuCuenta() {
        LanzarEnAutomatico();
        QTemporaryDir carpeta;
        const QString copia = carpeta.filePath(QStringLiteral("otro"));
        QVERIFY(QFile::copy(kPrograma, copia));
        QVERIFY(QFile::setPermissions(copia, QFile::ReadOwner | QFile::ExeOwner));
        QProcess otro;
        QVERIFY(programa_.LanzarOtro(otro, escritorio_.Entorno(), copia));
        // Its own, empty store: it asks for a first password instead of ending.
        QVERIFY(EsperarVentana(escritorio_, kTituloPrimeraClave));
        QCOMPARE(otro.state(), QProcess::Running);
        otro.kill();
        otro.waitForFinished();
    }

    void terminarPorSenalQuitaElIcono() {
        LanzarEnAutomatico();
        QVERIFY(programa_.Terminar()); // SIGTERM, as at the end of a desktop session
        QVERIFY(!escritorio_.IconoIncrustado(kClaseVentana).has_value());
    }

    // With no tray host the auto road leaves the window minimised on the
    // taskbar, never shown; a restore by the window manager (a taskbar click:
    // _NET_ACTIVE_WINDOW) meets the access dialog first.
    void restaurarDesdeLaBarraPideLaClave() {
        const auto principal = LanzarEnLaBarra();
        QVERIFY2(principal.has_value(), "la ventana no quedó minimizada en la barra");
        QVERIFY(!escritorio_.VentanaMapeada(*principal));

        // Restored from the taskbar: the access dialog, with the window
        // locked meanwhile, so a close request ends nothing. Cancelled: back
        // to minimised.
        const auto cancelar = [&] {
            return EsperarVentana(escritorio_, kTituloAcceso) &&
                   Tecla(escritorio_, *Ventana(escritorio_, kTituloAcceso),
                         QStringLiteral("Escape")) &&
                   Esperar([&] { return !Ventana(escritorio_, kTituloAcceso).has_value(); }) &&
                   Esperar([&] { return escritorio_.VentanaIconica(*principal); });
        };
        QVERIFY(Activar(*principal));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(PedirCierre(*principal));
        QVERIFY(cancelar());
        // A close request on the minimised window asks for the password too.
        QVERIFY(PedirCierre(*principal));
        QVERIFY(cancelar());
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(programa_.Corre());
        QVERIFY(!EnUso(*principal));

        // The right password: the window comes back in normal state.
        QVERIFY(Activar(*principal));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(Esperar([&] { return EnUso(*principal); }));
    }

    // With a window manager and a tray, the right password brings the window
    // back every time and it stays: the window manager's late reports of the
    // program's own restore do not lock it again.
    void bandejaConGestorDevuelveLaVentanaCadaVez() {
        constexpr int kVueltas = 10;
        QVERIFY2(escritorio_.IniciarGestorVentanas(), qPrintable(escritorio_.Error()));
        LanzarEnAutomatico();
        for (int vuelta = 0; vuelta < kVueltas; ++vuelta) {
            const auto icono = Icono(escritorio_);
            QVERIFY(icono.has_value());
            QVERIFY(VolverPorElIcono(escritorio_, *icono, kClave));
            QTest::qWait(kEsperaNegativaMs);
            const auto principal = Ventana(escritorio_, kTituloPrincipal);
            QVERIFY2(principal.has_value(), qPrintable(QStringLiteral("vuelta %1").arg(vuelta)));
            QVERIFY(Tecla(escritorio_, *principal, QStringLiteral("Escape")));
            QVERIFY(Esperar([&] { return !Ventana(escritorio_, kTituloPrincipal).has_value(); }));
        }
        // Activated from outside (a taskbar's click), the locked window
        // stays put away, or asks.
        const auto principal = VentanaDelPrograma(escritorio_, kTituloPrincipal);
        QVERIFY(principal.has_value());
        Activar(*principal);
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(!escritorio_.VentanaMapeada(*principal) || Ventana(escritorio_, kTituloAcceso));
    }

    // With a tray and no window manager, the locked window mapped by another
    // program asks for the password, as a click on it would; cancelled, it
    // goes back behind the icon.
    void mapeadaDesdeFueraVuelveTrasElIcono() {
        LanzarEnAutomatico();
        const auto principal = VentanaDelPrograma(escritorio_, kTituloPrincipal);
        QVERIFY(principal.has_value());
        QVERIFY(Xdotool({QStringLiteral("windowmap"), QString::number(*principal)}));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Tecla(escritorio_, *Ventana(escritorio_, kTituloAcceso), QStringLiteral("Escape")));
        QVERIFY(Esperar([&] { return !escritorio_.VentanaMapeada(*principal); }));
        QVERIFY(!Ventana(escritorio_, kTituloPrincipal).has_value());
    }

    // A second start also brings a window minimised on the taskbar back,
    // behind the access check.
    void segundoArranqueConLaVentanaEnLaBarra() {
        const auto principal = LanzarEnLaBarra();
        QVERIFY2(principal.has_value(), "la ventana no quedó minimizada en la barra");
        QProcess segundo;
        QVERIFY(programa_.LanzarOtro(segundo, escritorio_.Entorno()));
        QVERIFY(segundo.waitForFinished(kEsperaMs));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(!EnUso(*principal));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(Esperar([&] { return EnUso(*principal); }));
    }

    // Destroyed by another program (as xkill or `xdotool windowclose` do),
    // the access dialog counts as cancelled, and the main window in use locks:
    // the icon leads back through the password each time.
    void destruidasDesdeFueraVuelvenPorElIcono() {
        LanzarEnAutomatico();
        const auto icono = Icono(escritorio_);
        QVERIFY(icono.has_value());
        for (const QString& titulo : {kTituloAcceso, kTituloPrincipal}) {
            if (titulo == kTituloAcceso) {
                QVERIFY(AbrirAcceso().has_value());
            }
            QVERIFY(Xdotool({QStringLiteral("windowclose"), *Ventana(escritorio_, titulo)}));
            QVERIFY(Esperar([&] { return !Ventana(escritorio_, titulo).has_value(); }));
            QTest::qWait(kEsperaNegativaMs); // no double click with the click before
            QVERIFY(VolverPorElIcono(escritorio_, *icono, kClave));
        }
    }

    // While the password box has the focus the program holds the keyboard:
    // a client that listens for key events on the dialog's window (as xev
    // does) hears nothing typed there. The dialog gone, the keyboard is free.
    void nadieMasOyeLaClave() {
        LanzarEnAutomatico();
        const auto acceso = AbrirAcceso();
        QVERIFY(acceso.has_value());
        QProcess xev;
        xev.setProcessEnvironment(escritorio_.Entorno());
        AtarAlPadre(xev);
        xev.start(QStringLiteral("xev"), {QStringLiteral("-id"), *acceso, QStringLiteral("-event"),
                                          QStringLiteral("keyboard")});
        QVERIFY(xev.waitForStarted());
        // Listening, xev hears the keyboard's state when the pointer comes in.
        const auto dialogo = escritorio_.GeometriaVentana(acceso->toUInt());
        QVERIFY(dialogo.has_value());
        QByteArray oido;
        QVERIFY(Esperar([&] {
            escritorio_.Mover(kLejos, kLejos);
            escritorio_.Mover(dialogo->Centro().x(), dialogo->Centro().y());
            oido += xev.readAllStandardOutput();
            return oido.contains("KeymapNotify");
        }));
        QVERIFY(Esperar([&] { return escritorio_.TecladoCapturado(); }));
        QVERIFY(Teclear(escritorio_, *acceso, kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        QVERIFY(Esperar([&] { return !escritorio_.TecladoCapturado(); }));
        TerminarProceso(xev);
        oido += xev.readAllStandardOutput();
        QVERIFY2(!oido.contains("KeyPress"), oido.constData());
    }

    // A screen reader hears every change of the password box as asterisks,
    // and gets no character of it when it asks for the box's text.
    void lectorDePantallaNoOyeLaClave() {
        QVERIFY2(bus_.Iniciar(), qPrintable(bus_.Error()));
        LanzarEnAutomatico(true);
        const auto acceso = AbrirAcceso();
        QVERIFY(acceso.has_value());
        atspi::Escucha escucha;
        QVERIFY(escucha.Iniciar(bus_.Direccion(), {QStringLiteral("object:text-changed")}));
        QVERIFY(Enfocar(escritorio_, *acceso) && Xdotool({QStringLiteral("type"), kClave}));
        QVERIFY(Esperar([&] { return !escucha.Oido().isEmpty(); }));
        const auto texto = atspi::Texto(bus_.Direccion(), QStringLiteral("password text"));
        QVERIFY(texto.has_value());
        QVERIFY(Tecla(escritorio_, *acceso, QStringLiteral("Return")));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        const QStringList oidos = escucha.Oido() << *texto;
        for (const QString& oido : oidos) {
            for (const QChar caracter : kClave) {
                QVERIFY2(!oido.contains(caracter), qPrintable(oido));
            }
        }
    }

    // After three wrong entries in a row each further one waits before it is
    // judged, the wait shown on "Aceptar"; the message for it is the same.
    // The right password clears the count.
    void esperaTrasElCuartoFallo() {
        QVERIFY2(bus_.Iniciar(), qPrintable(bus_.Error()));
        LanzarEnAutomatico(true);
        atspi::Escucha escucha;
        QVERIFY(escucha.Iniciar(bus_.Direccion(),
                                {QStringLiteral("object:property-change:accessible-name")}));
        const auto esperas = [&] { return escucha.Oido().filter(QStringLiteral("Espere")).size(); };
        auto acceso = AbrirAcceso();
        QVERIFY(acceso.has_value());
        for (int fallo = 0; fallo < acceso::kFallosSinEspera; ++fallo) {
            QVERIFY(Fallar(*acceso));
        }
        QCOMPARE(esperas(), 0);
        QVERIFY(Fallar(*acceso));
        QVERIFY(esperas() > 0);
        QVERIFY(Teclear(escritorio_, *acceso, kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));

        const auto antes = esperas();
        QVERIFY(
            Tecla(escritorio_, *Ventana(escritorio_, kTituloPrincipal), QStringLiteral("Escape")));
        acceso = AbrirAcceso();
        QVERIFY(acceso.has_value());
        QVERIFY(Fallar(*acceso));
        QCOMPARE(esperas(), antes);
    }

    void accesoRechazadoAlArrancar() {
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada}});
        QVERIFY(Lanzar());
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Tecla(escritorio_, *Ventana(escritorio_, kTituloAcceso), QStringLiteral("Escape")));
        QVERIFY(programa_.TerminaEnOrden());
        QVERIFY(!escritorio_.IconoIncrustado(kClaseVentana).has_value());
        QCOMPARE(programa_.Leido(QStringLiteral("Pass")), kClaveGuardada);
    }

    // The line --clave-preajuste prints, put in the machine's preset, gives a
    // user with no settings of their own that password.
    void claveDelPreajuste() {
        const QString clave = QStringLiteral("xyz"); // scrambled, it holds U+008E
        QVERIFY(programa_.VaciarAjustes());
        const auto linea = EjecutarHastaElFin(
            kPrograma, {QStringLiteral("--clave-preajuste")},
            SinSesionGrafica(programa_.Entorno(escritorio_.Entorno())), clave.toUtf8() + '\n');
        QCOMPARE(linea.codigo, 0);
        QTemporaryDir maquina;
        QFile preajuste(QDir(maquina.path())
                            .filePath(QFileInfo(kPrograma).fileName() + QStringLiteral(".conf")));
        QVERIFY(preajuste.open(QIODevice::WriteOnly));
        preajuste.write("[Config]\n" + linea.salida);
        preajuste.close();

        QVERIFY(!QFileInfo::exists(programa_.ArchivoAjustes()));
        QProcessEnvironment entorno = escritorio_.Entorno();
        entorno.insert(QStringLiteral("XDG_CONFIG_DIRS"), maquina.path());
        QVERIFY(programa_.Lanzar(entorno));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), clave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
    }

    // An administrator's policy at its real path against a user who undoes
    // every key of it in their own store (an empty Pass, Auto=N, Modo=Tope at
    // the top level, a device that is not there) and runs a copy under
    // another name: the level is held, the window opens only with the
    // policy's password, and a change pushed while it runs is held at once.
    void politicaContraElUsuario() {
        QUELVAREN_CON_ETC_PROPIO();
        const auto quitar = qScopeGuard([] { politica_prueba::Quitar(); });
        constexpr std::uint32_t kNivel = 20000;
        constexpr std::uint32_t kNuevoNivel = 30000;
        constexpr std::uint32_t kMasBajo = 1000;
        const QString claveAdministrador = QStringLiteral("xyz");
        QMap<QString, QString> politica{
            {QStringLiteral("Valor"), QString::number(kNivel)},
            {QStringLiteral("Auto"), QStringLiteral("S")},
            {QStringLiteral("Clave"), politica_prueba::Clave(claveAdministrador)}};
        QVERIFY(politica_prueba::Poner(politica));
        programa_.Sembrar({{QStringLiteral("Pass"), QString()},
                           {QStringLiteral("Auto"), QStringLiteral("N")},
                           {QStringLiteral("Modo"), QStringLiteral("Tope")},
                           {QStringLiteral("Valor"), QStringLiteral("65535")},
                           {QStringLiteral("Dispositivo"), QStringLiteral("nada")}});
        QVERIFY(Lanzar());
        const auto icono = Icono(escritorio_); // the auto road: nothing asked
        QVERIFY(icono.has_value());
        QVERIFY(Esperar([&] { return Sostenido(kNivel); }));
        // Turned down, it comes back up: a fixed level, not a ceiling.
        QVERIFY(pulse_->FijarVolumen(ServidorPulse::kSumideroInicial, {VolumenDeNivel(kMasBajo)}));
        QVERIFY(Esperar([&] { return Sostenido(kNivel); }, kEsperaTicksMs));

        // The user's password is none; the window wants the policy's. A wrong
        // one is refused with a box titled as the program (the window itself
        // is hidden).
        QVERIFY(escritorio_.Clic(icono->Centro().x(), icono->Centro().y()));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), kClave));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        QVERIFY(
            Tecla(escritorio_, *Ventana(escritorio_, kTituloPrincipal), QStringLiteral("Return")));
        QVERIFY(Esperar([&] { return !Ventana(escritorio_, kTituloPrincipal).has_value(); }));
        QVERIFY(Teclear(escritorio_, *Ventana(escritorio_, kTituloAcceso), claveAdministrador));
        QVERIFY(EsperarVentana(escritorio_, kTituloPrincipal));
        QVERIFY(!Ventana(escritorio_, kTituloAcceso).has_value());

        politica[QStringLiteral("Valor")] = QString::number(kNuevoNivel);
        QVERIFY(politica_prueba::Poner(politica));
        QVERIFY(Esperar([&] { return Sostenido(kNuevoNivel); }));

        // A copy under another name: the same policy, no first password.
        QTemporaryDir carpeta;
        const QString copia = carpeta.filePath(QStringLiteral("otro"));
        QVERIFY(QFile::copy(kPrograma, copia));
        QVERIFY(QFile::setPermissions(copia, QFile::ReadOwner | QFile::ExeOwner));
        QProcess otro;
        const auto terminarOtro = qScopeGuard([&otro] { TerminarProceso(otro); });
        QVERIFY(programa_.LanzarOtro(otro, escritorio_.Entorno(), copia));
        QVERIFY(escritorio_.EsperarIconoIncrustado(QStringLiteral("otro")).has_value());
        QVERIFY(!Ventana(escritorio_, kTituloPrimeraClave).has_value());
    }

    // A mode from the policy holds as a user's would: under Tope an
    // application's stream turned to 150 % comes back to 100 %, and once the
    // policy is pushed to Piso while the program runs, a mute of the sink is
    // undone.
    void politicaTopeYPiso() {
        QUELVAREN_CON_ETC_PROPIO();
        const auto quitar = qScopeGuard([this] {
            politica_prueba::Quitar();
            pulse_->QuitarFlujos();
        });
        constexpr std::uint32_t kNivel = 20000;
        const QString sumidero = ServidorPulse::kSumideroInicial;
        QMap<QString, QString> politica{{QStringLiteral("Valor"), QString::number(kNivel)},
                                        {QStringLiteral("Auto"), QStringLiteral("S")},
                                        {QStringLiteral("Modo"), QStringLiteral("Tope")}};
        QVERIFY(politica_prueba::Poner(politica));
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada}});
        QVERIFY(pulse_->FijarVolumen(sumidero, {kVolumenNormal}));
        const std::optional<std::uint32_t> flujo = pulse_->AgregarFlujo(sumidero);
        QVERIFY(flujo.has_value());
        QVERIFY(Lanzar());
        QVERIFY(Esperar([&] { return Sostenido(kNivel); }));
        QVERIFY(pulse_->FijarVolumenFlujo(*flujo, kVolumenFuerte));
        QVERIFY(Esperar([&] {
            const QList<std::uint32_t> canales = pulse_->VolumenFlujo(*flujo);
            return !canales.isEmpty() && std::all_of(canales.begin(), canales.end(), [&](auto v) {
                return pulse_->Coincide(v, kVolumenNormal);
            });
        }));
        politica[QStringLiteral("Modo")] = QStringLiteral("Piso");
        QVERIFY(politica_prueba::Poner(politica));
        QVERIFY(pulse_->FijarSilencio(sumidero, true));
        QVERIFY(
            Esperar([&] { return pulse_->Silenciado(sumidero) == std::optional<bool>(false); }));
    }

    // Last, as it leaves a second sink behind. The audio server's sinks with
    // no graphical session, the default one marked; a running copy hears
    // nothing of it; no server, or one that does not answer, is an error in
    // good time.
    void dispositivos() {
        const QStringList opcion{QStringLiteral("--dispositivos")};
        const QProcessEnvironment sinSesion =
            SinSesionGrafica(programa_.Entorno(escritorio_.Entorno()));
        QTemporaryDir vacia;
        QProcessEnvironment sinServidor = sinSesion;
        sinServidor.insert(QStringLiteral("PULSE_SERVER"),
                           QStringLiteral("unix:") +
                               QDir(vacia.path()).filePath(QStringLiteral("ninguno")));
        const auto ninguno = EjecutarHastaElFin(kPrograma, opcion, sinServidor);
        QVERIFY(pulse_->Pausar());
        const auto colgado = EjecutarHastaElFin(kPrograma, opcion, sinSesion);
        QVERIFY(pulse_->Reanudar());
        for (const Ejecucion& fallida : {ninguno, colgado}) {
            QVERIFY(fallida.codigo > 0); // and not -1: it ended by itself, in time
            QCOMPARE(fallida.salida, QByteArray());
            QVERIFY(!fallida.error.trimmed().isEmpty());
        }

        const QString segundo = QStringLiteral("segundo");
        constexpr int kEstereo = 2; // channels
        QVERIFY(pulse_->AgregarSumidero(segundo, kEstereo));
        QVERIFY(pulse_->FijarPredeterminado(segundo));
        const auto json = pulse_->Pactl({QStringLiteral("-f"), QStringLiteral("json"),
                                         QStringLiteral("list"), QStringLiteral("sinks")});
        QVERIFY(json.has_value());
        QByteArray esperado;
        for (const QJsonValue& sumidero : QJsonDocument::fromJson(json->toUtf8()).array()) {
            const QString nombre = sumidero[QStringLiteral("name")].toString();
            esperado +=
                (nombre + QLatin1Char('\t') + sumidero[QStringLiteral("description")].toString() +
                 (nombre == segundo ? QString::fromUtf8(linea_ordenes::kMarcaPredeterminado)
                                    : QString()))
                    .toUtf8() +
                '\n';
        }
        QVERIFY2(esperado.count('\n') >= 2, esperado.constData());
        const auto lista = EjecutarHastaElFin(kPrograma, opcion, sinSesion);
        QCOMPARE(lista.codigo, 0);
        QCOMPARE(lista.salida, esperado);

        LanzarEnAutomatico();
        const auto junto =
            EjecutarHastaElFin(kPrograma, opcion, programa_.Entorno(escritorio_.Entorno()));
        QCOMPARE(junto.codigo, 0);
        QCOMPARE(junto.salida, esperado);
        QTest::qWait(kEsperaNegativaMs);
        QVERIFY(!Ventana(escritorio_, kTituloAcceso).has_value());
        QVERIFY(pulse_->FijarPredeterminado(ServidorPulse::kSumideroInicial));
    }
};

QTEST_GUILESS_MAIN(PruebaProgramaX)
#include "prueba_programa_x.moc"
