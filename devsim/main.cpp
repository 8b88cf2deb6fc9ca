// quorvane-devsim: presents emulated devices of every kind the tool serves (serial ports,
// a USB bulk device, the network services) and, given a program, runs it under the same
// emulation. See --help.
#include "devsim/devices.h"
#include "sim/net/netdevices.h"
#include "sim/net/privatenetwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>
#include <QTimer>

#include <atomic>
#include <functional>
#include <optional>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int)
{
    stopRequested = true;
}

void say(const QString &line)
{
    static QElapsedTimer clock = [] { QElapsedTimer t; t.start(); return t; }();
    std::fprintf(stdout, "[devsim %6.1f s] %s\n", clock.elapsed() / 1000.0, qPrintable(line));
    std::fflush(stdout);
}

// One stretch of a run: devices come at its start (a USB device possibly later) and go at
// its end, when a screenshot may be taken.
struct Stage
{
    QString name;
    int seconds = -1;   // -1: until the program ends or the run is stopped
    std::optional<devsim::SerialChoice> serial;
    std::optional<devsim::UsbChoice> usb;
    int usbAfterMs = 0;
    QList<devsim::NetChoice> net;
    int unplugAfterMs = -1;
    int replugAfterMs = -1; // after the unplug: the same devices again
};

const QByteArray serialLicence = "SR-2026-0415-118735CN";
const QByteArray usbLicence = "CMIIT ID:2026AB1234QP";
const QByteArray netLicence = simnet::sampleLicence;

// The demo: every kind of device, one after another, then one failure per transport.
QList<Stage> demoScenario()
{
    using devsim::Fault;
    const auto serial = [](const char *name, int seconds, int kind, Fault fault) {
        Stage stage{QLatin1String(name), seconds};
        stage.serial = devsim::SerialChoice{kind, {}, {}, {}, serialLicence, fault};
        return stage;
    };
    const auto usb = [](const char *name, int seconds, int status) {
        Stage stage{QLatin1String(name), seconds};
        stage.usb = devsim::UsbChoice{usbLicence, status, Fault::None};
        return stage;
    };
    const auto net = [](const char *name, int seconds, const char *address, Fault fault) {
        Stage stage{QLatin1String(name), seconds};
        stage.net = {{QString::fromLatin1(address), netLicence, fault}};
        return stage;
    };
    return {
        serial("1-serial", 4, 0, Fault::None),
        usb("2-usb", 4, 0x90),
        net("3-port-9527", 8, simnet::atServiceAddress, Fault::None),
        net("4-port-3762-at-192.168.2.1", 6, simnet::shellAddress2, Fault::None),
        net("5-port-3762-at-192.168.10.1", 6, simnet::shellAddress10, Fault::None),
        // The 9527 failure comes first: it clears the label, so the failures after it show
        // an empty picture place with their message.
        net("6-port-9527-fault-error", 5, simnet::atServiceAddress, Fault::Error),
        serial("7-serial-fault-error", 4, 2, Fault::Error),
        usb("8-usb-fault-status-41", 4, 0x41),
        net("9-port-3762-fault-error", 6, simnet::shellAddress2, Fault::Error),
    };
}

class Run : public QObject
{
public:
    Run(QList<Stage> stages, QStringList program, QString shots, QString report, int startDelayMs)
        : m_stages(std::move(stages)), m_program(std::move(program)), m_shots(std::move(shots)),
          m_report(std::move(report)), m_startDelayMs(startDelayMs)
    {
    }

    int exec()
    {
        if (!m_program.isEmpty()) {
            m_child.setProcessEnvironment(m_devices.processEnvironment());
            m_child.setProcessChannelMode(QProcess::ForwardedChannels);
            QObject::connect(&m_child, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                             [this](int code, QProcess::ExitStatus status) {
                                 say(QStringLiteral("%1 ended (%2)").arg(m_program.first(),
                                     status == QProcess::NormalExit ? QString::number(code) : QStringLiteral("crashed")));
                                 m_childResult = status == QProcess::NormalExit ? code : 1;
                                 finish();
                             });
            m_child.start(m_program.first(), m_program.mid(1));
            if (!m_child.waitForStarted()) {
                say(QStringLiteral("cannot start %1: %2").arg(m_program.first(), m_child.errorString()));
                return 1;
            }
            say(QStringLiteral("started %1 (pid %2)").arg(m_program.join(QLatin1Char(' '))).arg(m_child.processId()));
        } else {
            const QProcessEnvironment environment = m_devices.processEnvironment();
            say(QStringLiteral("no program given: the devices stay until Ctrl-C. A program sees them in this "
                               "namespace with UMOCKDEV_DIR=%1 LD_PRELOAD=%2")
                    .arg(environment.value(QStringLiteral("UMOCKDEV_DIR")), environment.value(QStringLiteral("LD_PRELOAD"))));
        }
        auto *watch = new QTimer(this);
        QObject::connect(watch, &QTimer::timeout, this, [this] {
            if (stopRequested) {
                say(QStringLiteral("stopped by a signal"));
                finish();
            }
        });
        watch->start(100);
        QTimer::singleShot(m_startDelayMs, this, [this] { startStage(0); });
        return QCoreApplication::exec() == 0 ? m_childResult : 1;
    }

private:
    void startStage(int index)
    {
        if (m_finished)
            return;
        if (index >= m_stages.size()) {
            say(QStringLiteral("all stages done"));
            finish();
            return;
        }
        const Stage &stage = m_stages.at(index);
        if (m_stages.size() > 1)
            say(QStringLiteral("stage %1").arg(stage.name));
        QStringList names;
        QString why;
        if (stage.serial) {
            const QString name = m_devices.plugSerial(*stage.serial, &why);
            if (name.isEmpty())
                return fail(why);
            say(QStringLiteral("serial port %1 plugged in (kind %2)").arg(name).arg(stage.serial->kind));
            names << name;
        }
        for (const devsim::NetChoice &choice : stage.net) {
            const QString name = m_devices.startNet(choice, &why);
            if (name.isEmpty())
                return fail(why);
            say(QStringLiteral("network device %1 is listening").arg(name));
            names << name;
        }
        if (stage.usb) {
            const devsim::UsbChoice usb = *stage.usb;
            QTimer::singleShot(stage.usbAfterMs, this, [this, usb, index] {
                if (m_finished || index != m_stage)
                    return;
                QString why;
                const QString name = m_devices.plugUsb(usb, &why);
                if (name.isEmpty())
                    return fail(why);
                say(QStringLiteral("USB device plugged in at bus,port %1").arg(name.mid(4)));
                m_stageDevices << name;
            });
        }
        m_stage = index;
        m_stageDevices = names;
        if (stage.unplugAfterMs >= 0) {
            QTimer::singleShot(stage.unplugAfterMs, this, [this, index] {
                if (m_finished || index != m_stage)
                    return;
                if (m_stages.at(index).replugAfterMs >= 0) {
                    retire(0, [this, index] {
                        QTimer::singleShot(m_stages.at(index).replugAfterMs, this, [this, index] { replug(index); });
                    });
                    return;
                }
                for (const QString &name : qAsConst(m_stageDevices)) {
                    m_devices.remove(name);
                    say(QStringLiteral("%1 unplugged").arg(name));
                }
            });
        }
        if (stage.seconds >= 0)
            QTimer::singleShot(stage.seconds * 1000, this, [this, index] { endStage(index); });
    }

    // The stage's devices once more: the serial device on a new port (a port name is
    // never used twice), the network devices at their addresses, the USB device at a new
    // position.
    void replug(int index)
    {
        if (m_finished || index != m_stage)
            return;
        const Stage &stage = m_stages.at(index);
        QString why;
        QStringList names;
        if (stage.serial)
            names << m_devices.plugSerial(*stage.serial, &why);
        for (const devsim::NetChoice &choice : stage.net)
            names << m_devices.startNet(choice, &why);
        if (stage.usb)
            names << m_devices.plugUsb(*stage.usb, &why);
        if (names.contains(QString()))
            return fail(why);
        say(QStringLiteral("plugged in again: %1").arg(names.join(QStringLiteral(", "))));
        m_stageDevices = names;
    }

    void endStage(int index)
    {
        if (m_finished || index != m_stage)
            return;
        const Stage &stage = m_stages.at(index);
        if (!m_shots.isEmpty())
            screenshot(stage.name);
        m_stage = -1; // late plugs and unplugs of this stage are off
        if (index + 1 >= m_stages.size()) {
            say(QStringLiteral("all stages done"));
            finish();
            return;
        }
        retire(0, [this, index] { startStage(index + 1); });
    }

    // Pulls the stage's devices out, each once the program is done talking to it (a
    // service stopped in the middle of a dialogue would make the program report a
    // failure that belongs to no stage), then goes on with `next`.
    void retire(int waitedMs, const std::function<void()> &next)
    {
        if (m_finished)
            return;
        constexpr int pollMs = 20;
        constexpr int patienceMs = 15000;
        QStringList busy;
        for (const QString &name : qAsConst(m_stageDevices)) {
            if (m_devices.busy(name) && waitedMs < patienceMs)
                busy << name;
            else
                m_devices.remove(name);
        }
        m_stageDevices = busy;
        if (!busy.isEmpty()) {
            QTimer::singleShot(pollMs, this, [this, waitedMs, next] { retire(waitedMs + pollMs, next); });
            return;
        }
        next();
    }

    // The tool's window as it is on the screen now (ImageMagick's import); the whole screen
    // when the window cannot be found by its title.
    void screenshot(const QString &name)
    {
        QDir().mkpath(m_shots);
        const QString file = QDir(m_shots).filePath(name + QStringLiteral(".png"));
        int result = QProcess::execute(QStringLiteral("import"),
                                       {QStringLiteral("-window"), QStringLiteral("QuorvaneV1.10"), file});
        if (result != 0)
            result = QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
        say(result == 0 ? QStringLiteral("screenshot %1").arg(file) : QStringLiteral("no screenshot (import failed)"));
    }

    void fail(const QString &why)
    {
        say(QStringLiteral("error: %1").arg(why));
        m_childResult = 1;
        finish();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        if (m_child.state() != QProcess::NotRunning) {
            QObject::disconnect(&m_child, nullptr, this, nullptr);
            m_child.terminate();
            if (!m_child.waitForFinished(3000)) {
                m_child.kill();
                m_child.waitForFinished(3000);
            }
            say(QStringLiteral("%1 stopped").arg(m_program.first()));
        }
        if (!m_report.isEmpty()) {
            QFile file(m_report);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(m_devices.report());
            else
                say(QStringLiteral("cannot write the report %1").arg(m_report));
        }
        QCoreApplication::exit(0);
    }

    devsim::Devices m_devices;
    QList<Stage> m_stages;
    QStringList m_program;
    QString m_shots;
    QString m_report;
    int m_startDelayMs = 0;
    QProcess m_child;
    int m_stage = -1;
    QStringList m_stageDevices;
    int m_childResult = 0;
    bool m_finished = false;
};

int secondsToMs(const QString &text, bool *ok)
{
    const double seconds = text.toDouble(ok);
    *ok = *ok && seconds >= 0;
    return int(seconds * 1000);
}

} // namespace

int main(int argc, char **argv)
{
    // The emulated devices exist only for programs loaded with umockdev's preload library:
    // this one, and the program it starts.
    quorvane::sim::Testbed::runUnderEmulation(argc, argv);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-devsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Presents emulated devices to the Quorvane tool: serial ports, a USB bulk device and the\n"
        "network services at 192.168.0.1:9527, 192.168.2.1:3762 and 192.168.10.1:3762. With a\n"
        "program after '--' it runs that program under the same emulation and ends with it.\n"
        "Run it inside scripts/isolated, e.g.\n"
        "  scripts/isolated build/quorvane-devsim --serial 1 --licence ABCDEFGHIJKLMNOPQRSTU -- build/quorvane\n"
        "  scripts/isolated build/quorvane-devsim --usb --usb-after 3 -- build/quorvane\n"
        "  scripts/isolated build/quorvane-devsim --shell 192.168.10.1 --fault error -- build/quorvane"));
    parser.addHelpOption();
    const QCommandLineOption serial(QStringLiteral("serial"),
        QStringLiteral("A serial device on a port of kind K (0: \"USB Serial Device\" COM5, 1: \"Unisoc Usb Serial "
                       "Port 0\" COM12, 2: \"Quectel USB REPL Port\" COM7, 3: \"USB-SERIAL CH340\" COM8)."),
        QStringLiteral("K"));
    const QCommandLineOption portName(QStringLiteral("port-name"),
        QStringLiteral("The serial port's name instead of the kind's own (COM9, ttyACM0)."), QStringLiteral("NAME"));
    const QCommandLineOption portDescription(QStringLiteral("port-description"),
        QStringLiteral("The serial port's description instead of the kind's own; the tool chooses a port by its "
                       "description followed by its name."), QStringLiteral("TEXT"));
    const QCommandLineOption imei(QStringLiteral("imei"),
        QStringLiteral("The serial device's 15-digit IMEI (default: a supported model's, 990001011234567 for kind 0, "
                       "990001031234567 for 1, 990001081234567 for 2; kind 3 is not asked)."), QStringLiteral("DIGITS"));
    const QCommandLineOption tac(QStringLiteral("tac"),
        QStringLiteral("The IMEI's first 8 digits (its model), completed to 15 digits."), QStringLiteral("DIGITS"));
    const QCommandLineOption usb(QStringLiteral("usb"), QStringLiteral("A USB bulk device (3e0a:0c01) plugged in after the program started."));
    const QCommandLineOption usbAfter(QStringLiteral("usb-after"),
        QStringLiteral("Seconds after the start before the USB device is plugged in (default 2)."), QStringLiteral("S"), QStringLiteral("2"));
    const QCommandLineOption usbStatus(QStringLiteral("usb-status"),
        QStringLiteral("The USB reply's status byte in hex (default 90; 41 or anything else fails the check)."),
        QStringLiteral("HEX"), QStringLiteral("90"));
    const QCommandLineOption at9527(QStringLiteral("at9527"), QStringLiteral("The AT service at 192.168.0.1:9527."));
    const QCommandLineOption shell(QStringLiteral("shell"),
        QStringLiteral("A login shell on port 3762 at ADDRESS (192.168.2.1 or 192.168.10.1); may be given twice."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption licence(QStringLiteral("licence"),
        QStringLiteral("The licence text every device presented gives (21 characters; default: one per transport, "
                       "for the network devices one of a supported model, 700101-2024-CN-000147). Given twice, "
                       "a serial device answers the second text from its second licence question on."),
        QStringLiteral("TEXT"));
    const QCommandLineOption licenceHex(QStringLiteral("licence-hex"),
        QStringLiteral("The licence as bytes in hex, for bytes a command line cannot carry (zero, invalid UTF-8); "
                       "like --licence."), QStringLiteral("HEX"));
    const QCommandLineOption fault(QStringLiteral("fault"),
        QStringLiteral("How the devices misbehave: none, silence (never answer), error (ERROR to the licence question; "
                       "9527: to AT*PROD=1; USB: status 41), endless (a stream that does not stop), unplug (pulled out "
                       "in the middle of the dialogue)."), QStringLiteral("FAULT"), QStringLiteral("none"));
    const QCommandLineOption unplugAfter(QStringLiteral("unplug-after"),
        QStringLiteral("Seconds after the start when the devices are pulled out (network services stop)."), QStringLiteral("S"));
    const QCommandLineOption replugAfter(QStringLiteral("replug-after"),
        QStringLiteral("Seconds after --unplug-after when the same devices come back (a serial device on a new "
                       "port). The devices are then pulled out only once the program is done talking to them."),
        QStringLiteral("S"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
        QStringLiteral("End after this many seconds (stopping the program)."), QStringLiteral("S"));
    const QCommandLineOption scenario(QStringLiteral("scenario"),
        QStringLiteral("Present a series of devices instead: 'demo' shows a serial device, a USB device, port 9527, "
                       "port 3762 at each address, then one failure per transport, about 55 seconds in all."),
        QStringLiteral("NAME"));
    const QCommandLineOption shots(QStringLiteral("shots"),
        QStringLiteral("Save a screenshot of the tool's window (ImageMagick's import) at the end of each stage into DIR."),
        QStringLiteral("DIR"));
    const QCommandLineOption report(QStringLiteral("report"),
        QStringLiteral("At the end, write what every device received to FILE (JSON)."), QStringLiteral("FILE"));
    const QCommandLineOption startDelay(QStringLiteral("start-delay"),
        QStringLiteral("Seconds between starting the program and presenting the first devices (default 0; the demo "
                       "uses 2, for the window to come up)."), QStringLiteral("S"));
    parser.addOptions({serial, portName, portDescription, imei, tac, usb, usbAfter, usbStatus, at9527, shell,
                       licence, licenceHex, fault, unplugAfter, replugAfter, quitAfter, scenario, shots, report, startDelay});
    parser.addPositionalArgument(QStringLiteral("-- PROGRAM [ARGS...]"),
                                 QStringLiteral("The program to run under the emulation, e.g. build/quorvane."));
    parser.process(application);

    auto usage = [](const QString &why) {
        std::fprintf(stderr, "quorvane-devsim: %s\n", qPrintable(why));
        return 2;
    };

    QString why;
    if (!quorvane::sim::net::insidePrivateNetwork(&why))
        return usage(QStringLiteral("refusing to run outside scripts/isolated: %1").arg(why));

    bool ok = true;
    QList<Stage> stages;
    if (parser.isSet(scenario)) {
        if (parser.value(scenario) != QLatin1String("demo"))
            return usage(QStringLiteral("unknown scenario '%1' (there is 'demo')").arg(parser.value(scenario)));
        stages = demoScenario();
    } else {
        Stage stage{QStringLiteral("devices")};
        devsim::Fault chosenFault;
        if (!devsim::parseFault(parser.value(fault), &chosenFault))
            return usage(QStringLiteral("unknown fault '%1'").arg(parser.value(fault)));
        QList<QByteArray> texts;
        for (const QString &value : parser.values(licence))
            texts << value.toUtf8();
        for (const QString &value : parser.values(licenceHex))
            texts << QByteArray::fromHex(value.toLatin1());
        if (parser.isSet(licence) && parser.isSet(licenceHex))
            return usage(QStringLiteral("--licence and --licence-hex do not go together"));
        if (texts.size() > 2)
            return usage(QStringLiteral("a licence is given at most twice"));
        const bool licenceGiven = !texts.isEmpty();
        const QByteArray text = texts.value(0);
        if (parser.isSet(serial)) {
            devsim::SerialChoice choice;
            choice.kind = parser.value(serial).toInt(&ok);
            if (!ok || choice.kind < 0 || choice.kind > 3)
                return usage(QStringLiteral("--serial takes a port kind from 0 to 3"));
            choice.name = parser.value(portName);
            choice.description = parser.value(portDescription);
            choice.imei = parser.value(imei).toLatin1();
            if (parser.isSet(tac))
                choice.imei = (parser.value(tac).toLatin1() + "1234567").left(15);
            choice.licence = licenceGiven ? text : serialLicence;
            choice.laterLicence = texts.value(1);
            choice.fault = chosenFault;
            stage.serial = choice;
        }
        if (parser.isSet(usb)) {
            devsim::UsbChoice choice;
            choice.licence = licenceGiven ? text : usbLicence;
            choice.status = parser.value(usbStatus).toInt(&ok, 16);
            if (!ok || choice.status < 0 || choice.status > 255)
                return usage(QStringLiteral("--usb-status takes a byte in hex"));
            choice.fault = chosenFault;
            stage.usb = choice;
            stage.usbAfterMs = secondsToMs(parser.value(usbAfter), &ok);
            if (!ok)
                return usage(QStringLiteral("--usb-after takes seconds"));
        }
        QStringList addresses = parser.values(shell);
        if (parser.isSet(at9527))
            addresses.prepend(QString::fromLatin1(simnet::atServiceAddress));
        for (const QString &address : qAsConst(addresses))
            stage.net << devsim::NetChoice{address, licenceGiven ? text : netLicence, chosenFault};
        if (parser.isSet(unplugAfter)) {
            stage.unplugAfterMs = secondsToMs(parser.value(unplugAfter), &ok);
            if (!ok)
                return usage(QStringLiteral("--unplug-after takes seconds"));
        }
        if (parser.isSet(replugAfter)) {
            stage.replugAfterMs = secondsToMs(parser.value(replugAfter), &ok);
            if (!ok || stage.unplugAfterMs < 0)
                return usage(QStringLiteral("--replug-after takes seconds, after --unplug-after"));
        }
        if (parser.isSet(quitAfter)) {
            stage.seconds = secondsToMs(parser.value(quitAfter), &ok) / 1000;
            if (!ok)
                return usage(QStringLiteral("--quit-after takes seconds"));
        }
        if (!stage.serial && !stage.usb && stage.net.isEmpty())
            return usage(QStringLiteral("no device chosen (--serial, --usb, --at9527, --shell or --scenario; see --help)"));
        stages << stage;
    }
    int startDelayMs = parser.isSet(scenario) ? 2000 : 0;
    if (parser.isSet(startDelay)) {
        startDelayMs = secondsToMs(parser.value(startDelay), &ok);
        if (!ok)
            return usage(QStringLiteral("--start-delay takes seconds"));
    }

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    Run run(stages, parser.positionalArguments(), parser.value(shots), parser.value(report), startDelayMs);
    return run.exec();
}
