#ifndef QUORVANE_BENCH_REPORT_H
#define QUORVANE_BENCH_REPORT_H

// The published result: docs/benchmark.md with its table of figures, and the plot of the
// device-to-label times (gnuplot).

#include "bench/live.h"
#include "bench/machine.h"
#include "bench/samples.h"

#include <QString>
#include <QVector>

namespace bench {

struct Run
{
    QString command; // as the reader would type it
    bool quick = false;
    QString started;    // date and time
    double seconds = 0; // the whole run
    int dialogueRuns = 0;
    int cycleRuns = 0;
    LiveOptions live;
};

struct Results
{
    QVector<Samples> dialogues; // per row of dialogueWaits
    QVector<Samples> cycles;    // per row of cycleWaits
    LiveResults live;
    bool haveLive = false;
    Samples wakeLateStart; // how late a 20 ms sleep ends, before the timed dialogues
    Samples wakeLateEnd;   // and after the timed cycles
};

// Writes the figures part of the document (scripts/bench appends the analysis); the
// plot's data and script go to workDir, the picture to plotPath (named in the document by
// its file name: keep both in one folder). False with the reason when a file cannot be written.
bool writeReport(const QString &docPath, const QString &plotPath, const QString &workDir, const Run &run,
                 const Results &results, const LoadLog &load, QString *why);

} // namespace bench

#endif // QUORVANE_BENCH_REPORT_H
