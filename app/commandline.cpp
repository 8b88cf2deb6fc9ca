#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

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
    const QCommandLineOption record(QStringLiteral("record"),
        QStringLiteral("Append one CSV line per device result (time, transport, where, identity, picture, "
                       "licence text, outcome) to FILE; a device that stays and gives the same answer is "
                       "recorded once."),
        QStringLiteral("FILE"));
    parser.addOption(record);
    central::addOptions(parser);

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

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
    const QString centralError = central::readOptions(parser, &command->central);
    if (!centralError.isEmpty())
        return usageError(centralError);
    return -1;
}
