#ifndef QUORVANE_RUNNER_PROCESS_H
#define QUORVANE_RUNNER_PROCESS_H

// What the programs that run the real tool share: the lines they print as they go, the
// clock they time it by, and how they end a program they started.

#include <QByteArray>
#include <QFile>
#include <QList>
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

// The lines a file has gained since the last look, whole lines only: its writer (the tool,
// the simulator) goes on writing it. The file is opened at the first look that finds it.
class GrowingFile
{
public:
    explicit GrowingFile(const QString &path)
        : m_file(path)
    {
    }
    QList<QByteArray> newLines();

private:
    QFile m_file;
    QByteArray m_partial;
};

// Whether a line of the tool's log begins a detection cycle: each begins with the serial
// port search, which logs either the port it opens or that it found none.
bool beginsCycle(const QByteArray &logLine);

} // namespace runner

#endif // QUORVANE_RUNNER_PROCESS_H
