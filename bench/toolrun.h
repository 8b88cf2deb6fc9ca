#ifndef QUORVANE_BENCH_TOOLRUN_H
#define QUORVANE_BENCH_TOOLRUN_H

// The real tool as a process of its own, on the benchmark's X server and under the
// simulator's emulation, seen from outside: its log (each line stamped by Qt with the
// monotonic clock), its memory and its processor time.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QVector>

#include <cstdio>

namespace bench {

struct LogLine
{
    qint64 ms; // monotonic milliseconds, as Qt stamped it
    QString text;
};

class ToolRun
{
public:
    ToolRun(const QString &program, const QProcessEnvironment &environment, const QByteArray &display,
            const QString &logPath);
    ~ToolRun();

    // Starts the tool; false when it does not start.
    bool start();
    void stop();
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }

    // Log lines that arrived since the last call.
    QVector<LogLine> newLines();
    // Detection cycles begun so far: each begins with the serial port search, which logs
    // either the port it opens or that it found none.
    int cycles();

    long rssKiB() const;   // resident memory now
    long hwmKiB() const;   // the most it has been resident
    long cpuTicks() const; // user and system time so far, in clock ticks

private:
    QString m_program;
    QString m_logPath;
    QProcess m_process;
    std::FILE *m_log = nullptr;
    QByteArray m_partial;
    int m_cycles = 0;
};

// Monotonic milliseconds on the clock of the log stamps.
qint64 nowMs();

} // namespace bench

#endif // QUORVANE_BENCH_TOOLRUN_H
