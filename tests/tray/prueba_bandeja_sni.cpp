// The real program's tray icon on a StatusNotifierItem host (xfce4-panel on a
// private session bus under Xvfb), checked through the host's bus: the item
// registers with the watcher, its title and tips, a real click on the panel's
// icon, the icon coming back when the panel restarts, and the notice sent to
// the desktop's notifications when a change is undone.

#include "support/escritorio_x.h"
#include "support/programa_x.h"
#include "support/servidor_pulse.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <memory>

namespace {

using namespace programa_x;

const QString kPrograma = QStringLiteral(QUELVAREN_BINARIO);
const QString kClave = QStringLiteral("abc");
const QString kClaveGuardada = QStringLiteral("MwM");
const QString kTituloAcceso = QStringLiteral("Introducir la CLAVE de ACCESO");
const QString kTituloPrincipal = QStringLiteral("Quelvaren");
constexpr std::uint32_t kVolumenAjeno = 1000; // what another program sets
constexpr int kEntreCambiosMs = 1000;
const QString kSumideroAusente = QStringLiteral("b"); // absent until the test makes it
constexpr int kCanalesSumidero = 2;

} // namespace

class PruebaBandejaSni : public QObject {
    Q_OBJECT

    EscritorioX escritorio_;
    std::unique_ptr<ServidorPulse> pulse_;
    ProgramaEnPrueba programa_{kPrograma};

    // Starts the program on the auto road with the panel's bus and waits
    // until the watcher lists its item.
    std::optional<QString> LanzarEnAutomatico() {
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Auto"), QStringLiteral("S")}});
        return programa_.Lanzar(escritorio_.EntornoSni()) ? Elemento() : std::nullopt;
    }

    std::optional<QString> Elemento() const {
        QStringList elementos;
        Esperar([&] {
            elementos = escritorio_.ElementosSni();
            return !elementos.isEmpty();
        });
        return elementos.size() == 1 ? std::optional<QString>(elementos.first()) : std::nullopt;
    }

    // Listens for the notices sent to the notification service on the
    // panel's bus.
    bool VigilarAvisos(QProcess& vigia) const {
        AtarAlPadre(vigia);
        vigia.start(QStringLiteral("dbus-monitor"),
                    {QStringLiteral("--address"), escritorio_.BusSni(),
                     QStringLiteral("type='method_call',interface='org.freedesktop.Notifications',"
                                    "member='Notify'")});
        return vigia.waitForStarted();
    }

    bool Tip(const QString& elemento, const QString& tip) const {
        return Esperar([&] {
            const auto valor = escritorio_.PropiedadSni(elemento, QStringLiteral("ToolTip"));
            return valor && valor->contains(QLatin1Char('\'') + tip + QLatin1Char('\''));
        });
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(kPrograma), qPrintable(kPrograma));
        QVERIFY2(escritorio_.Iniciar(), qPrintable(escritorio_.Error()));
        QVERIFY2(escritorio_.IniciarPanelSni(), qPrintable(escritorio_.Error()));
        pulse_ = std::make_unique<ServidorPulse>();
        QVERIFY(pulse_->Listo());
    }

    void cleanup() {
        if (QTest::currentTestFailed()) {
            DiagnosticarEscritorio(escritorio_);
        }
        programa_.FinDelCaso();
    }

    void iconoTituloTipsYClic() {
        const auto elemento = LanzarEnAutomatico();
        QVERIFY(elemento.has_value());
        QCOMPARE(escritorio_.PropiedadSni(*elemento, QStringLiteral("Title")),
                 QStringLiteral("(<'Quelvaren'>,)\n"));
        QVERIFY(Tip(*elemento, QStringLiteral("Funcionando")));

        // The window put away behind the icon, mapped by someone else: it
        // asks for the password, a key sent to it (the button's access key)
        // changes nothing, and control goes on. Cancelled, it goes back
        // behind the icon.
        const auto escondida = VentanaDelPrograma(escritorio_, kTituloPrincipal);
        QVERIFY(escondida.has_value() && !escritorio_.VentanaMapeada(*escondida));
        QVERIFY(escritorio_.Ejecutar(QStringLiteral("xdotool"),
                                     {QStringLiteral("windowmap"), QString::number(*escondida)}));
        Tecla(escritorio_, QString::number(*escondida), QStringLiteral("alt+t"));
        QVERIFY(EsperarVentana(escritorio_, kTituloAcceso));
        QVERIFY(Tecla(escritorio_, *Ventana(escritorio_, kTituloAcceso), QStringLiteral("Escape")));
        QVERIFY(Esperar([&] { return !Ventana(escritorio_, kTituloAcceso).has_value(); }));
        QVERIFY(Esperar([&] { return !escritorio_.VentanaMapeada(*escondida); }));
        const auto tip = escritorio_.PropiedadSni(*elemento, QStringLiteral("ToolTip"));
        QVERIFY(tip && tip->contains(QStringLiteral("'Funcionando'")));

        // A real left click on the panel's icon: the password, then the window.
        const auto icono = escritorio_.IconoPanelSni();
        QVERIFY(icono.has_value());
        QVERIFY(VolverPorElIcono(escritorio_, *icono, kClave));

        // Stopping and starting control changes the tip the host reads.
        const auto principal = Ventana(escritorio_, kTituloPrincipal);
        QVERIFY(Tecla(escritorio_, *principal, QStringLiteral("alt+t")));
        QVERIFY(Tip(*elemento, QStringLiteral("Parado")));
        QVERIFY(Tecla(escritorio_, *principal, QStringLiteral("alt+t")));
        QVERIFY(Tip(*elemento, QStringLiteral("Funcionando")));
    }

    void panelReiniciadoRecuperaElIcono() {
        QVERIFY(LanzarEnAutomatico().has_value());
        escritorio_.DetenerPanelSni();
        QVERIFY2(escritorio_.IniciarPanelSni(), qPrintable(escritorio_.Error()));
        const auto elemento = Elemento();
        QVERIFY(elemento.has_value());
        QVERIFY(Tip(*elemento, QStringLiteral("Funcionando")));
        QVERIFY(programa_.Corre());
    }

    // Two changes by someone else, a second apart: both undone, one notice,
    // with the level as the level box shows it, to the notification service
    // on the panel's bus (no one answers it there: the call is what counts).
    void avisoAlDeshacerUnCambio() {
        const QString nivel = QStringLiteral("30000");
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Auto"), QStringLiteral("S")},
                           {QStringLiteral("Valor"), nivel},
                           {QStringLiteral("Aviso"), QStringLiteral("S")}});
        QProcess vigia;
        QVERIFY(VigilarAvisos(vigia));
        QVERIFY(programa_.Lanzar(escritorio_.EntornoSni()));
        QVERIFY(Elemento().has_value());

        const QString sumidero = ServidorPulse::kSumideroInicial;
        QList<std::uint32_t> sostenido;
        QVERIFY(Esperar([&] {
            sostenido = pulse_->VolumenCanales(sumidero);
            return !sostenido.isEmpty() && sostenido.first() != kVolumenAjeno;
        }));
        for (int cambio = 0; cambio < 2; ++cambio) {
            QVERIFY(pulse_->FijarVolumen(sumidero, {kVolumenAjeno}));
            QVERIFY(Esperar([&] { return pulse_->VolumenCanales(sumidero) == sostenido; }));
            QTest::qWait(kEntreCambiosMs);
        }
        const QString avisos = QString::fromUtf8(vigia.readAllStandardOutput());
        QCOMPARE(avisos.count(QStringLiteral("member=Notify")), 1);
        QVERIFY2(avisos.contains(QStringLiteral("string \"Quelvaren\"")), qPrintable(avisos));
        QVERIFY2(
            avisos.contains(QStringLiteral("string \"El volumen está fijado en %1.\"").arg(nivel)),
            qPrintable(avisos));
        TerminarProceso(vigia);
    }

    // The chosen output device is not there: the tip says so under its
    // words, and a notice too; once the device comes and takes the level,
    // the tip is back to its words, and a notice says so (after the first,
    // as notices come ten seconds apart at most).
    void tipConElDispositivoAusente() {
        programa_.Sembrar({{QStringLiteral("Pass"), kClaveGuardada},
                           {QStringLiteral("Auto"), QStringLiteral("S")},
                           {QStringLiteral("Aviso"), QStringLiteral("S")},
                           {QStringLiteral("Dispositivo"), kSumideroAusente}});
        QProcess vigia;
        QVERIFY(VigilarAvisos(vigia));
        QVERIFY(programa_.Lanzar(escritorio_.EntornoSni()));
        const auto elemento = Elemento();
        QVERIFY(elemento.has_value());
        // gdbus writes the line break as \n.
        QVERIFY(Tip(*elemento,
                    QStringLiteral("Funcionando\\nNo se puede ajustar: dispositivo no conectado")));

        QVERIFY(pulse_->AgregarSumidero(kSumideroAusente, kCanalesSumidero));
        QVERIFY(Tip(*elemento, QStringLiteral("Funcionando")));
        QString avisos;
        QVERIFY(Esperar([&] {
            avisos += QString::fromUtf8(vigia.readAllStandardOutput());
            return avisos.contains(QStringLiteral("Ya se puede ajustar el volumen."));
        }));
        QVERIFY2(avisos.contains(QStringLiteral(
                     "No se puede ajustar el volumen: el dispositivo no está conectado.")),
                 qPrintable(avisos));
        QCOMPARE(avisos.count(QStringLiteral("member=Notify")), 2);
        TerminarProceso(vigia);
        pulse_->Detener(); // the sink goes with its server
        QVERIFY(pulse_->Arrancar());
    }
};

QTEST_GUILESS_MAIN(PruebaBandejaSni)
#include "prueba_bandeja_sni.moc"
