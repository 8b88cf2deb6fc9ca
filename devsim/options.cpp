#include "devsim/options.h"
#include "serial/portrules.h"
#include "sim/net/netdevices.h"
#include "sim/net/privatenetwork.h"

#include <QCommandLineParser>

namespace devsim {

namespace {

// One option as --help shows it. An option without a value name is a switch; one whose
// value is S takes seconds (not negative, fractions allowed).
struct OptionRow
{
    const char *name;
    const char *valueName;
    const char *defaultValue;
    const char *help;
};
constexpr OptionRow optionRows[] = {
    {"serial", "K", nullptr,
     "A serial device on a port of kind K (0: \"USB Serial Device\" COM5, 1: \"Unisoc Usb Serial Port 0\" "
     "COM12, 2: \"Quectel USB REPL Port\" COM7, 3: \"USB-SERIAL CH340\" COM8)."},
    {"port-name", "NAME", nullptr, "The serial port's name instead of the kind's own (COM9, ttyACM0)."},
    {"port-description", "TEXT", nullptr,
     "The serial port's description instead of the kind's own; the tool chooses a port by its description "
     "followed by its name."},
    {"imei", "DIGITS", nullptr,
     "The serial device's 15-digit IMEI (default: a supported model's, 990001011234567 for kind 0, "
     "990001031234567 for 1, 990001081234567 for 2; kind 3 is not asked)."},
    {"tac", "DIGITS", nullptr, "The IMEI's first 8 digits (its model), completed to 15 digits."},
    {"usb", nullptr, nullptr, "A USB bulk device (3e0a:0c01) plugged in after the program started."},
    {"usb-after", "S", "2", "Seconds after the start before the USB device is plugged in (default 2)."},
    {"usb-status", "HEX", "90",
     "The USB reply's status byte in hex (default 90; 41 or anything else fails the check)."},
    {"usb-id", "VID:PID", "3e0a:0c01",
     "The USB device's IDs in hex (default 3e0a:0c01); the tool queries a device of another ID only when "
     "told to (its own --usb-id)."},
    {"at9527", nullptr, nullptr, "The AT service at 192.168.0.1:9527."},
    {"shell", "ADDRESS", nullptr,
     "A login shell on port 3762 at ADDRESS (192.168.2.1 or 192.168.10.1); may be given twice."},
    {"licence", "TEXT", nullptr,
     "The licence text every device presented gives (21 characters; default: one per transport, for the "
     "network devices one of a supported model, 700101-2024-CN-000147). Given twice, a serial device answers "
     "the second text from its second licence question on."},
    {"licence-hex", "HEX", nullptr,
     "The licence as bytes in hex, for bytes a command line cannot carry (zero, invalid UTF-8); like "
     "--licence."},
    {"fault", "FAULT", "none",
     "How the devices misbehave: none, silence (never answer), error (ERROR to the licence question; 9527: "
     "to AT*PROD=1; USB: status 41), endless (a stream that does not stop), unplug (pulled out in the middle "
     "of the dialogue)."},
    {"unplug-after", "S", nullptr,
     "Seconds after the start when the devices are pulled out (network services stop)."},
    {"replug-after", "S", nullptr,
     "Seconds after --unplug-after when the same devices come back (a serial device on a new port). The "
     "devices are then pulled out only once the program is done talking to them."},
    {"quit-after", "S", nullptr, "End after this many seconds (stopping the program)."},
    {"scenario", "NAME", nullptr,
     "Present a series of devices instead: 'demo' shows a serial device, a USB device, port 9527, port 3762 "
     "at each address, then one failure per transport, about 55 seconds in all; 'soak' plugs a USB, a serial "
     "and a network device in turn, each until the program has served it, for --rounds rounds."},
    {"rounds", "N", "100", "Rounds of the soak scenario (default 100)."},
    {"linger", "S", nullptr,
     "Seconds the program keeps running after the last stage of a scenario (default 0: it is stopped at "
     "once)."},
    {"shots", "DIR", nullptr,
     "Save a screenshot of the tool's window (ImageMagick's import) at the end of each stage into DIR."},
    {"report", "FILE", nullptr, "At the end, write what every device received to FILE (JSON)."},
    {"start-delay", "S", nullptr,
     "Seconds between starting the program and presenting the first devices (default 0; the demo uses 2, for "
     "the window to come up)."},
};

} // namespace

bool parseCommandLine(const QCoreApplication &application, Settings *settings, QString *why)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Presents emulated devices to the Quorvane tool: serial ports, a USB bulk device and the\n"
        "network services at 192.168.0.1:9527, 192.168.2.1:3762 and 192.168.10.1:3762. With a\n"
        "program after '--' it runs that program under the same emulation and ends with it.\n"
        "Run it inside scripts/isolated, e.g.\n"
        "  scripts/isolated build/quorvane-devsim --serial 1 --licence ABCDEFGHIJKLMNOPQRSTU -- "
        "build/quorvane\n"
        "  scripts/isolated build/quorvane-devsim --usb --usb-after 3 -- build/quorvane\n"
        "  scripts/isolated build/quorvane-devsim --shell 192.168.10.1 --fault error -- build/quorvane"));
    parser.addHelpOption();
    for (const OptionRow &row : optionRows) {
        parser.addOption(QCommandLineOption(QLatin1String(row.name), QLatin1String(row.help),
                                            QLatin1String(row.valueName), QLatin1String(row.defaultValue)));
    }
    parser.addPositionalArgument(
        QStringLiteral("-- PROGRAM [ARGS...]"),
        QStringLiteral("The program to run under the emulation, e.g. build/quorvane."));
    parser.process(application);

    const auto isSet = [&parser](const char *name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&parser](const char *name) { return parser.value(QLatin1String(name)); };
    // An option of seconds in ms; -1 when it is not given.
    const auto ms = [&value](const char *name) {
        const QString text = value(name);
        return text.isEmpty() ? -1 : int(text.toDouble() * 1000);
    };
    auto usage = [why](const QString &reason) {
        *why = reason;
        return false;
    };

    QString outside;
    if (!quorvane::sim::net::insidePrivateNetwork(&outside))
        return usage(QStringLiteral("refusing to run outside scripts/isolated: %1").arg(outside));

    bool ok = true;
    for (const OptionRow &row : optionRows) {
        const bool seconds = qstrcmp(row.valueName, "S") == 0 && isSet(row.name);
        if (seconds && !(value(row.name).toDouble(&ok) >= 0 && ok))
            return usage(QStringLiteral("--%1 takes seconds").arg(QLatin1String(row.name)));
    }

    QList<Stage> stages;
    if (isSet("scenario")) {
        const int roundCount = value("rounds").toInt(&ok);
        if (value("scenario") == QLatin1String("demo"))
            stages = demoScenario();
        else if (value("scenario") == QLatin1String("soak") && ok && roundCount > 0)
            stages = soakScenario(roundCount);
        else
            return usage(QStringLiteral("unknown scenario '%1' (there are 'demo' and 'soak' with --rounds N)")
                             .arg(value("scenario")));
    } else {
        Stage stage {QStringLiteral("devices")};
        runner::Fault fault;
        if (!runner::parseFault(value("fault"), &fault))
            return usage(QStringLiteral("unknown fault '%1'").arg(value("fault")));
        QList<QByteArray> texts;
        for (const QString &text : parser.values(QStringLiteral("licence")))
            texts << text.toUtf8();
        for (const QString &hex : parser.values(QStringLiteral("licence-hex")))
            texts << QByteArray::fromHex(hex.toLatin1());
        if (isSet("licence") && isSet("licence-hex"))
            return usage(QStringLiteral("--licence and --licence-hex do not go together"));
        if (texts.size() > 2)
            return usage(QStringLiteral("a licence is given at most twice"));
        // The licence given, or else the transport's own.
        const auto licence = [&texts](const QByteArray &own) { return texts.value(0, own); };

        if (isSet("serial")) {
            const int kind = value("serial").toInt(&ok);
            if (!ok || kind < 0 || kind >= serialKindCount)
                return usage(
                    QStringLiteral("--serial takes a port kind from 0 to %1").arg(serialKindCount - 1));
            QByteArray imei = value("imei").toLatin1();
            if (isSet("tac"))
                imei = (value("tac").toLatin1() + "1234567").left(15);
            stage.serial = runner::SerialChoice {
                kind,  value("port-name"), value("port-description"), imei, licence(runner::serialLicence),
                fault, texts.value(1)};
        }
        if (isSet("usb")) {
            const int status = value("usb-status").toInt(&ok, 16);
            if (!ok || status < 0 || status > 255)
                return usage(QStringLiteral("--usb-status takes a byte in hex"));
            const QStringList id = value("usb-id").split(QLatin1Char(':'));
            bool vidOk = false;
            bool pidOk = false;
            const uint vid = id.value(0).toUInt(&vidOk, 16);
            const uint pid = id.value(1).toUInt(&pidOk, 16);
            if (id.size() != 2 || !vidOk || !pidOk || vid > 0xFFFF || pid > 0xFFFF)
                return usage(QStringLiteral("--usb-id takes VID:PID in hex"));
            stage.usb =
                runner::UsbChoice {licence(runner::usbLicence), status, fault, quint16(vid), quint16(pid)};
            stage.usbAfterMs = ms("usb-after");
        }
        QStringList addresses = parser.values(QStringLiteral("shell"));
        if (isSet("at9527"))
            addresses.prepend(QString::fromLatin1(simnet::atServiceAddress));
        for (const QString &address : qAsConst(addresses))
            stage.net << runner::NetChoice {address, licence(runner::netLicence), fault};
        if (!stage.serial && !stage.usb && stage.net.isEmpty())
            return usage(QStringLiteral("no device chosen (--serial, --usb, --at9527, --shell or --scenario; "
                                        "see --help)"));

        stage.unplugAfterMs = ms("unplug-after");
        stage.replugAfterMs = ms("replug-after");
        if (stage.replugAfterMs >= 0 && stage.unplugAfterMs < 0)
            return usage(QStringLiteral("--replug-after takes seconds, after --unplug-after"));
        stage.lengthMs = ms("quit-after");
        stages << stage;
    }

    const int defaultDelayMs = isSet("scenario") ? 2000 : 0; // the demo's window comes up first
    *settings = Settings {stages,
                          parser.positionalArguments(),
                          value("shots"),
                          value("report"),
                          isSet("start-delay") ? ms("start-delay") : defaultDelayMs,
                          isSet("linger") ? ms("linger") : 0};
    return true;
}

} // namespace devsim
