// quorvane-bench: how close the tool runs to the waits its devices force on it, and what
// it costs the workstation. Run by scripts/bench, inside scripts/isolated, against the
// device simulator's devices; writes docs/benchmark.md and its plot.
#include "bench/dialogues.h"
#include "bench/live.h"
#include "bench/machine.h"
#include "bench/report.h"

#include "runner/devices.h"
#include "runner/process.h"
#include "sim/emulation/testbed.h"
#include "sim/net/privatenetwork.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>

#include <cstdio>

using bench::say;

int main(int argc, char **argv)
{
    // The emulated serial ports and USB devices exist only for programs loaded with
    // umockdev's preload library: this one and the tool it starts.
    quorvane::sim::Testbed::runUnderEmulation(argc, argv);
    // The windows timed in this process are never shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The benchmark of the Quorvane tool; run it through scripts/bench."));
    parser.addHelpOption();
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("Few repetitions, for development."));
    const QCommandLineOption work(QStringLiteral("work"), QStringLiteral("Folder for logs and plot data."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption doc(QStringLiteral("doc"), QStringLiteral("The document to write."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption plot(QStringLiteral("plot"), QStringLiteral("The plot to draw (PNG)."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption command(QStringLiteral("command"),
                                     QStringLiteral("The command named in the document."),
                                     QStringLiteral("TEXT"), QStringLiteral("scripts/bench"));
    const QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("Measure only these parts (comma-separated: dialogues, cycles, live)."),
        QStringLiteral("LIST"));
    const QCommandLineOption paths(
        QStringLiteral("paths"),
        QStringLiteral(
            "Only these transports for the device-to-label times (serial, usb, 9527, 3762-2, 3762-10)."),
        QStringLiteral("LIST"));
    const QCommandLineOption appearances(QStringLiteral("appearances"),
                                         QStringLiteral("Appearances per transport."), QStringLiteral("N"));
    parser.addOptions({quick, work, doc, plot, command, only, paths, appearances});
    parser.process(application);

    QString why;
    if (!quorvane::sim::net::insidePrivateNetwork(&why)) {
        std::fprintf(stderr, "quorvane-bench: refusing to run outside scripts/isolated: %s\n",
                     qPrintable(why));
        return 2;
    }
    if (!parser.isSet(work) || !parser.isSet(doc) || !parser.isSet(plot)) {
        std::fprintf(stderr, "quorvane-bench: --work, --doc and --plot are needed\n");
        return 2;
    }
    const QStringList parts = parser.isSet(only)
        ? parser.value(only).split(QLatin1Char(','))
        : QStringList {QStringLiteral("dialogues"), QStringLiteral("cycles"), QStringLiteral("live")};
    QDir().mkpath(parser.value(work));

    bench::Run run;
    run.command = parser.value(command);
    run.quick = parser.isSet(quick);
    run.started = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
    run.dialogueRuns = run.quick ? 1 : 10;
    run.cycleRuns = run.quick ? 1 : 10;
    if (run.quick)
        run.live = bench::LiveOptions {5, 2, 0, 5, 5, 13};

    if (parser.isSet(paths))
        run.live.paths = parser.value(paths).split(QLatin1Char(','));
    if (parser.isSet(appearances))
        run.live.appearances = parser.value(appearances).toInt();
    const qint64 started = runner::nowNs();
    bench::LoadLog load;
    bench::Results results;
    runner::Devices devices;

    // How late this machine wakes a thread from a plain sleep now: every wait of a
    // dialogue pays it once, whatever the tool does.
    results.wakeLateStart = bench::wakeLateness();
    if (parts.contains(QStringLiteral("dialogues"))) {
        say(QStringLiteral("dialogues, %1 runs each").arg(run.dialogueRuns));
        load.sample(QStringLiteral("dialogues"));
        results.dialogues = bench::timeDialogues(devices, run.dialogueRuns, !run.quick);
        load.sample(QStringLiteral("dialogues"));
    }
    if (parts.contains(QStringLiteral("cycles"))) {
        say(QStringLiteral("cycles, %1 runs each").arg(run.cycleRuns));
        load.sample(QStringLiteral("cycles"));
        results.cycles = bench::timeCycles(devices, run.cycleRuns, !run.quick);
        load.sample(QStringLiteral("cycles"));
    }
    results.wakeLateEnd = bench::wakeLateness();
    if (parts.contains(QStringLiteral("live"))) {
        say(QStringLiteral(
                "the tool on its own X server: %1 start-ups, %2 appearances per transport, %3 cycles, "
                "%4 s idle")
                .arg(run.live.startups)
                .arg(run.live.appearances)
                .arg(run.live.soakCycles)
                .arg(run.live.idleSeconds));
        if (!bench::runLive(devices, parser.value(work), run.live, load, &results.live, &why)) {
            std::fprintf(stderr, "quorvane-bench: %s\n", qPrintable(why));
            return 1;
        }
        results.haveLive = true;
    }
    run.seconds = (runner::nowNs() - started) / 1e9;

    if (!bench::writeReport(parser.value(doc), parser.value(plot), parser.value(work), run, results, load,
                            &why)) {
        std::fprintf(stderr, "quorvane-bench: %s\n", qPrintable(why));
        return 1;
    }
    say(QStringLiteral("wrote %1 after %2 s").arg(parser.value(doc)).arg(run.seconds, 0, 'f', 0));
    return 0;
}
