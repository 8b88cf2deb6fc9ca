#ifndef QUORVANE_DEVSIM_OPTIONS_H
#define QUORVANE_DEVSIM_OPTIONS_H

// The simulator's command line (see --help): which devices, how they misbehave, the demo,
// and the program to run.

#include "devsim/run.h"

#include <QCoreApplication>
#include <QString>

namespace devsim {

// The run the command line asks for. False with the reason when the command line is wrong
// or the simulator is not inside the private network of scripts/isolated; --help prints
// the help and ends the program.
bool parseCommandLine(const QCoreApplication &application, Settings *settings, QString *why);

} // namespace devsim

#endif // QUORVANE_DEVSIM_OPTIONS_H
