#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

#include <cstdio>

namespace {

// The options QApplication takes for itself (its own, QGuiApplication's and the X11
// platform's); the tool's parser never sees them. Each is also accepted with two dashes,
// and one with a value also as -option=value.
struct QtOption
{
    const char *name;
    bool takesValue;
};
constexpr QtOption qtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"qmljsdebugger", true},
    {"session", true},
    {"style", true},
    {"stylesheet", true},
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"name", true},
    {"icon", true},
    {"visual", true},
    {"ncols", true},
    {"im", true},
    {"inputstyle", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
    {"cmap", false},
    {"testability", false},
};

QStringList withoutQtOptions(const QStringList &arguments)
{
    QStringList left;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool dashed = i > 0 && argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("--");
        const QString name = QString(argument)
                                 .remove(QRegularExpression(QStringLiteral("^--?")))
                                 .section(QLatin1Char('='), 0, 0);
        const auto qt = std::find_if(std::begin(qtOptions), std::end(qtOptions), [&](const QtOption &option) {
            return name == QLatin1String(option.name);
        });
        if (!dashed || qt == std::end(qtOptions)) {
            left << argument;
            continue;
        }
        if (qt->takesValue && !argument.contains(QLatin1Char('=')))
            ++i;
    }
    return left;
}

int usageError(const QString &why)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n",
                 qPrintable(QCoreApplication::applicationName()), qPrintable(why),
                 qPrintable(QCoreApplication::applicationName()));
    return usageErrorExitCode;
}

} // namespace

int readCommandLine(const QStringList &arguments, CommandLine *command)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the network-access licence label of a cellular device attached on a USB serial\n"
        "port, as a USB bulk device, or on the local network at its fixed address. Without\n"
        "options nothing is saved."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("Append one CSV line per device result (time, transport, where, identity, picture, "
                       "licence text, outcome) to FILE; a device that stays and gives the same answer is "
                       "recorded once."),
        QStringLiteral("FILE"));
    parser.addOption(record);
    const QCommandLineOption usbId(
        QStringLiteral("usb-id"),
        QStringLiteral("Also query the USB device VID:PID (hexadecimal, as lsusb shows it; may be given more "
                       "than once). Built in: %1. 'any': every newly attached device whose interface 0 is "
                       "vendor specific or HID without boot protocol; a kernel driver is still taken only "
                       "from a listed ID.")
            .arg(usbids::builtInList()),
        QStringLiteral("VID:PID"));
    parser.addOption(usbId);
    central::addOptions(parser);

    if (!parser.parse(withoutQtOptions(arguments)))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    if (parser.isSet(record)) {
        const QStringList values = parser.values(record);
        if (values.size() > 1)
            return usageError(QStringLiteral("--record given more than once"));
        const QString path = values.first();
        if (path.isEmpty())
            return usageError(QStringLiteral("--record needs a file name"));
        const QFileInfo info(path);
        if (info.isDir())
            return usageError(QStringLiteral("--record: '%1' is a directory").arg(path));
        if (info.exists() && !info.isFile())
            return usageError(QStringLiteral("--record: '%1' is not a regular file").arg(path));
        command->recordPath = info.absoluteFilePath();
    }
    for (const QString &value : parser.values(usbId)) {
        if (value == QLatin1String("any")) {
            command->usbReach.any = true;
        } else if (const std::optional<usbids::UsbId> id = usbids::parseUsbId(value)) {
            command->usbReach.added.append(*id);
        } else {
            return usageError(QStringLiteral("--usb-id: '%1' is neither VID:PID in hexadecimal (as lsusb "
                                             "shows it) nor any")
                                  .arg(value));
        }
    }
    const QString centralError = central::readOptions(parser, &command->central);
    if (!centralError.isEmpty())
        return usageError(centralError);
    return -1;
}
