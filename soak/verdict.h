#ifndef QUORVANE_SOAK_VERDICT_H
#define QUORVANE_SOAK_VERDICT_H

// The soak's judgement of a run: the screen log (the simulator's stage lines and the
// window's changes in the order they happened) and the samples of the tool taken from
// /proc make the summary of every figure, and PASS or FAIL.
//
// The screen log holds, among the lines of the screen-log module (runner/screenlog.h),
// the simulator's own:
//
//   [devsim  12.3 s] stage 4-usb expects :/qjpg/res/LBL17.png CMIIT ID:2026AB1234QP
//   [devsim  13.9 s] stage 4-usb served
//   [devsim  99.0 s] /path/to/quorvane ended (0)
//
// A stage line is a plug: the window's label shown after it, up to the next stage, must be
// that picture with that text.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

namespace soak {

// Memory and descriptors are compared with what the tool needed once this many plugs were
// done: the first cycles load pictures, fonts and libraries for good.
constexpr int warmUpPlugs = 100;
// Resident memory may grow by this much after the warm-up.
constexpr long memoryGrowthLimitKiB = 1024;
constexpr int sampleEverySeconds = 5;

// One look at the tool from /proc.
struct Sample
{
    qint64 seconds = 0; // since the start of the run
    int plugs = 0;      // stage lines in the screen log by then
    long rssKiB = 0;
    long descriptors = 0;
    long threads = 0;
};

// How the run ended.
struct RunEnd
{
    qint64 seconds = 0;
    bool stopped = false; // stopped by its limit; otherwise the simulator ended by itself
    int exitCode = 0;     // the simulator's, when it ended by itself; -1: it crashed
    int cycles = 0;       // the tool's detection cycles
};

struct Verdict
{
    QString summary; // every figure, one per line, the last line PASS or FAIL
    bool pass = false;
};

Verdict judge(const QList<QByteArray> &screenLog, const QVector<Sample> &samples, const RunEnd &end);

// A stage line (a plug), for counting plugs while the run goes on.
bool isStageLine(const QByteArray &screenLine);

} // namespace soak

#endif // QUORVANE_SOAK_VERDICT_H
