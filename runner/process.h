#ifndef QUORVANE_RUNNER_PROCESS_H
#define QUORVANE_RUNNER_PROCESS_H

// What the programs that run the real tool share: the lines they print as they go, the
// clock they time it by, and how they end a program they started.

#include <QProcess>
#include <QString>

namespace runner {

// A line on standard output, "[who  12.3 s] line": the seconds since the program's first
// such line.
void say(const char *who, const QString &line);

// Monotonic time: the clock Qt stamps log lines with ("%{time boot}"), the X server's
// damage reports are timed by and the screen log is written in.
qint64 nowNs();
inline qint64 nowMs()
{
    return nowNs() / 1000000;
}

// Ends `process`: SIGTERM first, which the tool takes as a close of its window (in the
// sanitizer build its leak check runs at that exit); after `graceMs` without an end, kill.
void stopProcess(QProcess &process, int graceMs);

} // namespace runner

#endif // QUORVANE_RUNNER_PROCESS_H
