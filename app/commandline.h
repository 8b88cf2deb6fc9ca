#ifndef QUORVANE_APP_COMMANDLINE_H
#define QUORVANE_APP_COMMANDLINE_H

#include "central/centralrecord.h"
#include "usb/usbids.h"

#include <QString>
#include <QStringList>

// What the operator asked for on the command line. With no options the tool runs as it
// always has: it keeps nothing.
// A new option: a member here, and its QCommandLineOption and check in readCommandLine.
struct CommandLine
{
    QString recordPath;        // --record FILE; empty: no record
    usbids::UsbReach usbReach; // --usb-id VID:PID (repeatable) or any; none: the built-in IDs
    central::Settings central; // --record-to URI, --station NAME
};

// Reads the arguments (the program's name first) before the window's application exists,
// so that none of this needs a display; Qt's own options (-platform, -display, -style...)
// are left for QApplication. Needs a QCoreApplication. --help and --version print and end
// the program with 0. A usage error
// (an unknown option, a missing or doubled value, an argument, a record file that is a
// directory or a device, a USB ID that is neither VID:PID nor any, a central record's URI
// that carries a password) is told on stderr and gives the exit code 2; otherwise the
// result is -1 and `command` holds the choices.
int readCommandLine(const QStringList &arguments, CommandLine *command);

// The exit code of a usage error.
constexpr int usageErrorExitCode = 2;

#endif // QUORVANE_APP_COMMANDLINE_H
