#ifndef QUORVANE_RUNNER_PROCSTAT_H
#define QUORVANE_RUNNER_PROCSTAT_H

// What a running process costs the machine, as Linux's /proc shows it from outside: the
// benchmark and the soak sample the real tool with it.

#include <QString>

namespace runner {

// Each figure is -1 where it could not be read (the process has gone).
struct ProcessUse
{
    long rssKiB = -1; // resident memory now
    long hwmKiB = -1; // the most it has been resident
    long threads = -1;
    long descriptors = -1; // open file descriptors
    long cpuTicks = -1;    // user and system time so far, in clock ticks
};
ProcessUse processUse(qint64 pid);

// The first process below `ancestor` (a child, a grandchild, ...) that runs `program` (a
// path to an executable file), or 0.
qint64 findDescendant(qint64 ancestor, const QString &program);

} // namespace runner

#endif // QUORVANE_RUNNER_PROCSTAT_H
