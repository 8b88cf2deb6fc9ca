#ifndef QUORVANE_APP_COMMANDLINE_H
#define QUORVANE_APP_COMMANDLINE_H

#include "central/centralrecord.h"

#include <QString>
#include <QStringList>

// What the operator asked for on the command line. With no options the tool runs as it
// always has: it keeps nothing.
struct CommandLine
{
    QString recordPath; // --record FILE; empty: no record
    central::Settings central; // --record-to URI, --station NAME
};

// Reads the arguments (the program's name first, Qt's own options already taken out by
// QApplication). --help and --version print and end the program with 0. A usage error
// (an unknown option, a missing or doubled value, an argument, a record file that is a
// directory or a device) is told on stderr and gives the exit code 2; otherwise the
// result is -1 and `command` holds the choices.
int readCommandLine(const QStringList &arguments, CommandLine *command);

// The exit code of a usage error.
constexpr int usageErrorExitCode = 2;

#endif // QUORVANE_APP_COMMANDLINE_H
