#ifndef QUORVANE_TESTS_E2E_RUN_H
#define QUORVANE_TESTS_E2E_RUN_H

// The real tool as the end-to-end tests run it, what it showed and what its devices
// received, and the wait for any of it.

#include "runner/screenlog.h"

#include <QtTest>

#include <functional>

namespace e2e {

// Polls `condition` every `pollMs`, handling events in between and running `tick` before
// each look, until it holds or `limitMs` has passed.
inline bool waitFor(const std::function<bool()> &condition, qint64 limitMs,
                    const std::function<void()> &tick = {}, int pollMs = 50)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limitMs) {
        if (tick)
            tick();
        if (condition())
            return true;
        QTest::qWait(pollMs);
    }
    return condition();
}

using Event = runner::WindowChange;

// The real tool with its files in a folder of its own: its standard output and error in
// "out" and "err".
class Run
{
public:
    // The tool with `arguments` under the device simulator with `devsimOptions` (separated
    // by spaces), which writes its report to "report.json".
    explicit Run(const QString &devsimOptions, const QStringList &arguments = {})
    {
        const QStringList tool {QStringLiteral("--report"), path("report.json"), QStringLiteral("--"),
                                QStringLiteral(QUORVANE_PROGRAM)};
        start(QStringList {QStringLiteral(QUORVANE_DEVSIM)} + devsimOptions.split(' ') + tool + arguments,
              QProcessEnvironment::systemEnvironment());
    }
    // The tool alone among the caller's fakes, which `environment` shows it, on the
    // offscreen platform (or `platform`) with the screen log (runner/screenlogmodule.cpp)
    // preloaded, writing to "screen.log".
    explicit Run(QProcessEnvironment environment, const QString &platform = QStringLiteral("offscreen"))
    {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        environment.insert(QStringLiteral("QUORVANE_SCREEN_LOG"), path("screen.log"));
        const QString preload = environment.value(QStringLiteral("LD_PRELOAD"));
        environment.insert(QStringLiteral("LD_PRELOAD"), preload + QLatin1String(" " QUORVANE_SCREENLOG));
        start({QStringLiteral(QUORVANE_PROGRAM)}, environment);
    }
    ~Run() { stop(); }

    QProcess process;

    // Ends the run: the simulator stops the tool with SIGTERM, which the tool takes as a
    // close of its window (in the sanitizer build its leak check runs at that exit), and
    // writes its report.
    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
        }
    }

    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QByteArray read(const char *name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The bytes the simulator's device of `kind` (serial, usb, 9527, 3762) received.
    QByteArray received(const QString &kind) const
    {
        const QJsonDocument report = QJsonDocument::fromJson(read("report.json"));
        for (const QJsonValue &device : report.object().value(QStringLiteral("devices")).toArray()) {
            const QJsonObject fields = device.toObject();
            if (fields.value(QStringLiteral("kind")).toString() == kind)
                return QByteArray::fromHex(fields.value(QStringLiteral("receivedHex")).toString().toLatin1());
        }
        return {};
    }

    // The window's changes so far; the start-up's own (the empty labels) left out.
    QList<Event> events()
    {
        QList<Event> events;
        runner::WindowChanges changes;
        for (const QByteArray &line : read("screen.log").split('\n')) {
            const std::optional<runner::ScreenLine> parsed = runner::parseScreenLine(line);
            if (!parsed)
                continue;
            if (m_startedAtMs < 0)
                m_startedAtMs = parsed->atMs;
            if (const std::optional<runner::WindowChange> change = changes.follow(*parsed))
                events << *change;
        }
        return events;
    }

    // Each change once, in the order of its first showing: a device asked every cycle says
    // the same again and again.
    QStringList distinctEvents()
    {
        QStringList seen;
        for (const Event &event : events()) {
            if (!seen.contains(event.what))
                seen << event.what;
        }
        return seen;
    }

    qint64 firstAtMs(const QString &what)
    {
        for (const Event &event : events()) {
            if (event.what == what)
                return event.atMs;
        }
        return -1;
    }

    // The screen log's first line: the window being built.
    qint64 startedAtMs() const { return m_startedAtMs; }

    // What the window showed and the end of the tool's log, for the record of a failure.
    QString story() { return distinctEvents().join('\n') + "\n--\n" + read("err").right(3000); }

private:
    void start(const QStringList &command, const QProcessEnvironment &environment)
    {
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(path("out"));
        process.setStandardErrorFile(path("err"));
        process.start(command.first(), command.mid(1));
    }

    QTemporaryDir m_dir;
    qint64 m_startedAtMs = -1;
};

} // namespace e2e

#endif // QUORVANE_TESTS_E2E_RUN_H
