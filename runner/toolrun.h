#ifndef QUORVANE_RUNNER_TOOLRUN_H
#define QUORVANE_RUNNER_TOOLRUN_H

// The real tool as a process of its own, run and watched from outside: under the device
// simulator, alone among a caller's fakes with the screen log preloaded, or on an X server
// with its log lines stamped; with its files in a folder of its own, what it showed, what
// its devices received, its log and what it costs the machine.

#include "runner/process.h"
#include "runner/procstat.h"
#include "runner/screenlog.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>
#include <QtGlobal>

#include <memory>

namespace runner {

// Where the build put the programs a run starts.
QString toolProgram();
QString devsimProgram();
QString screenLogModule();

struct LogLine
{
    qint64 ms; // monotonic milliseconds (nowMs()), as Qt stamped it
    QString text;
};

class ToolRun
{
public:
    // The run's files go to `folder`, or to a temporary folder of its own: the tool's
    // standard output in "out" and its standard error (its log) in "err".
    explicit ToolRun(const QString &folder = {});
    ~ToolRun();
    Q_DISABLE_COPY(ToolRun)

    // The tool with `arguments` under the device simulator with `devsimOptions`, which
    // writes its report to "report.json".
    void startUnderDevsim(const QStringList &devsimOptions, const QStringList &arguments = {});
    // The tool alone among the caller's fakes, which `environment` shows it, on `platform`
    // with the screen log (runner/screenlogmodule.cpp) preloaded, writing to "screen.log".
    void startWithScreenLog(QProcessEnvironment environment, const QString &platform);
    // The tool on the X server `display`, each line of its log stamped with the monotonic
    // clock (read with newLines()). False when it does not start.
    bool startOnDisplay(QProcessEnvironment environment, const QByteArray &display);

    // Ends the run (runner::stopProcess); under the simulator, the simulator stops the tool
    // the same way and writes its report.
    void stop(int graceMs = 10000);
    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() == QProcess::Running; }
    ProcessUse use() const { return processUse(pid()); }

    QProcess process;

    QString path(const char *name) const;
    QByteArray read(const char *name) const;

    // The bytes the simulator's device of `kind` (serial, usb, 9527, 3762) received.
    QByteArray received(const QString &kind) const;

    // The window's changes so far, from the screen log; the start-up's own (the empty
    // labels) left out.
    QList<WindowChange> events();
    // Each change once, in the order of its first showing: a device asked every cycle says
    // the same again and again.
    QStringList distinctEvents();
    // When `what` first showed, or -1.
    qint64 firstAtMs(const QString &what);
    // The screen log's first line: the window being built (after events() has read it).
    qint64 startedAtMs() const { return m_startedAtMs; }
    // What the window showed and the end of the tool's log, for the record of a failure.
    QString story();

    // Stamped log lines that arrived since the last call.
    QVector<LogLine> newLines();
    // Detection cycles begun so far (beginsCycle).
    int cycles();

private:
    void start(const QStringList &command, const QProcessEnvironment &environment);

    std::unique_ptr<QTemporaryDir> m_temporary;
    QString m_folder;
    qint64 m_startedAtMs = -1;
    std::unique_ptr<GrowingFile> m_log; // "err", once newLines() first looks
    int m_cycles = 0;
};

} // namespace runner

#endif // QUORVANE_RUNNER_TOOLRUN_H
