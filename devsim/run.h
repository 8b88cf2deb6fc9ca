#ifndef QUORVANE_DEVSIM_RUN_H
#define QUORVANE_DEVSIM_RUN_H

// A run of the simulator: presents the stages' devices one stage after another, runs the
// program under the emulation if one is given, and ends with it, with the last stage, or
// with SIGINT or SIGTERM.

#include "devsim/scenario.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace devsim {

struct Settings
{
    QList<Stage> stages;  // one at least
    QStringList program;  // empty: the devices stay until the run is stopped
    QString shots;        // a folder for a screenshot at the end of each stage; empty: none
    QString report;       // a file for what every device received (JSON); empty: none
    int startDelayMs = 0; // between starting the program and the first stage
    int lingerMs = 0;     // the program keeps running this long after the last stage
};

// Runs to the end; the program's exit code (1 when it crashed or the run failed).
int run(const Settings &settings);

} // namespace devsim

#endif // QUORVANE_DEVSIM_RUN_H
