#ifndef QUORVANE_BENCH_LIVE_H
#define QUORVANE_BENCH_LIVE_H

// The real tool, as a process on an X server of the benchmark's own, with the simulator's
// devices coming and going: start-up time, device-to-label time, memory and processor time.

#include "bench/samples.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace runner {
class Devices;
}

namespace bench {

class LoadLog;

struct LiveOptions
{
    int startups = 20;
    int appearances = 20; // per transport
    int soakCycles = 500;
    int idleSeconds = 60;
    int deviceSeconds = 30;
    unsigned seed = 13;
    QStringList paths; // rows of attachPaths to measure; empty: all
};

struct LiveResults
{
    Samples startup;               // process start to the first paint of the window, ms
    QVector<Samples> attach;       // per row of attachPaths: appearing to the label painted, ms
    QVector<Samples> attachExcess; // the same, less the best the cycle allows at that moment
    Samples plugging;              // how long presenting a device took (before the clock starts)
    long rssStartKiB = -1;         // after start, no device yet
    long rssWarmKiB = -1;          // after every transport has shown a label
    long rssEndKiB = -1;           // after the soak
    long hwmKiB = -1;
    int cycles = 0;             // cycles the soak session ran
    double cpuIdlePercent = -1; // of one core
    double cpuSerialPercent = -1;
    double cpu9527Percent = -1;
    QStringList notes; // what went wrong on the way
};

bool runLive(runner::Devices &devices, const QString &workDir, const LiveOptions &options, LoadLog &load,
             LiveResults *results, QString *why);

} // namespace bench

#endif // QUORVANE_BENCH_LIVE_H
