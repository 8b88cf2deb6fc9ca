#ifndef QUORVANE_BENCH_DIALOGUES_H
#define QUORVANE_BENCH_DIALOGUES_H

// Dialogues and whole cycles timed in this process: a window of the tool (never shown,
// its poll timer stopped) runs each step exactly as its cycle would, against the
// simulator's devices, and every run is checked for the expected licence text.

#include "bench/samples.h"

#include <QVector>

namespace runner {
class Devices;
}

namespace bench {

// One Samples per row of dialogueWaits, in that order; with `warmUp` each dialogue runs
// once more first, untimed.
QVector<Samples> timeDialogues(runner::Devices &devices, int runs, bool warmUp);
// One Samples per row of cycleWaits, in that order.
QVector<Samples> timeCycles(runner::Devices &devices, int runs, bool warmUp);

} // namespace bench

#endif // QUORVANE_BENCH_DIALOGUES_H
