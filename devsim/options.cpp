#include "devsim/options.h"
#include "sim/net/netdevices.h"
#include "sim/net/privatenetwork.h"

#include <QCommandLineParser>

namespace devsim {

namespace {

int secondsToMs(const QString &text, bool *ok)
{
    const double seconds = text.toDouble(ok);
    *ok = *ok && seconds >= 0;
    return int(seconds * 1000);
}

} // namespace

bool parseCommandLine(const QCoreApplication &application, Settings *settings, QString *why)
{
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
                       "port 3762 at each address, then one failure per transport, about 55 seconds in all; 'soak' "
                       "plugs a USB, a serial and a network device in turn, each until the program has served it, "
                       "for --rounds rounds."),
        QStringLiteral("NAME"));
    const QCommandLineOption rounds(QStringLiteral("rounds"),
        QStringLiteral("Rounds of the soak scenario (default 100)."), QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption shots(QStringLiteral("shots"),
        QStringLiteral("Save a screenshot of the tool's window (ImageMagick's import) at the end of each stage into DIR."),
        QStringLiteral("DIR"));
    const QCommandLineOption report(QStringLiteral("report"),
        QStringLiteral("At the end, write what every device received to FILE (JSON)."), QStringLiteral("FILE"));
    const QCommandLineOption startDelay(QStringLiteral("start-delay"),
        QStringLiteral("Seconds between starting the program and presenting the first devices (default 0; the demo "
                       "uses 2, for the window to come up)."), QStringLiteral("S"));
    parser.addOptions({serial, portName, portDescription, imei, tac, usb, usbAfter, usbStatus, at9527, shell,
                       licence, licenceHex, fault, unplugAfter, replugAfter, quitAfter, scenario, rounds, shots, report,
                       startDelay});
    parser.addPositionalArgument(QStringLiteral("-- PROGRAM [ARGS...]"),
                                 QStringLiteral("The program to run under the emulation, e.g. build/quorvane."));
    parser.process(application);

    auto usage = [why](const QString &reason) {
        *why = reason;
        return false;
    };

    QString outside;
    if (!quorvane::sim::net::insidePrivateNetwork(&outside))
        return usage(QStringLiteral("refusing to run outside scripts/isolated: %1").arg(outside));

    bool ok = true;
    QList<Stage> stages;
    if (parser.isSet(scenario)) {
        const int roundCount = parser.value(rounds).toInt(&ok);
        if (parser.value(scenario) == QLatin1String("demo"))
            stages = demoScenario();
        else if (parser.value(scenario) == QLatin1String("soak") && ok && roundCount > 0)
            stages = soakScenario(roundCount);
        else
            return usage(QStringLiteral("unknown scenario '%1' (there are 'demo' and 'soak' with --rounds N)")
                             .arg(parser.value(scenario)));
    } else {
        Stage stage{QStringLiteral("devices")};
        Fault chosenFault;
        if (!parseFault(parser.value(fault), &chosenFault))
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
            SerialChoice choice;
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
            UsbChoice choice;
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
            stage.net << NetChoice{address, licenceGiven ? text : netLicence, chosenFault};
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

    settings->stages = stages;
    settings->program = parser.positionalArguments();
    settings->shots = parser.value(shots);
    settings->report = parser.value(report);
    settings->startDelayMs = startDelayMs;
    return true;
}

} // namespace devsim
