#include "bench/report.h"
#include "sim/script/waits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

#include <cmath>

namespace bench {

using namespace ::waits;

namespace {

constexpr double ratioTarget = 1.02;
constexpr double overTargetMs = 10;
constexpr double startupTargetMs = 150;
constexpr double rssTargetMiB = 40;
constexpr double growthTargetMiB = 1;
constexpr double idleCpuTargetPercent = 1;

QString num(double value, int decimals = 1)
{
    return std::isnan(value) ? QStringLiteral("—") : QString::number(value, 'f', decimals);
}

QString mib(long kib)
{
    return kib < 0 ? QStringLiteral("—") : QString::number(kib / 1024.0, 'f', 1);
}

QString yesNo(bool met)
{
    return met ? QStringLiteral("**yes**") : QStringLiteral("**no**");
}

QString spread(const Samples &s)
{
    QString text = QStringLiteral("median %1 ms (min %2, max %3; n = %4")
                       .arg(num(s.median()), num(s.min()), num(s.max()))
                       .arg(s.values.size());
    if (s.failures)
        text += QStringLiteral(", **%1 failed**").arg(s.failures);
    text += QLatin1Char(')');
    if (!s.cpu.isEmpty())
        text += QStringLiteral("; processor time %1 ms").arg(num(s.cpuMedian()));
    return text;
}

// A row of figures 1 and 2: measured against the sum of the waits.
QString waitRow(const QString &figure, const QString &name, int limitMs, const Samples &s)
{
    const double median = s.median();
    const double over = median - limitMs;
    const bool hasRatio = limitMs > 0;
    const double ratio = hasRatio ? median / limitMs : NAN;
    const bool met =
        !s.values.isEmpty() && s.failures == 0 && over <= overTargetMs && (!hasRatio || ratio <= ratioTarget);
    return QStringLiteral("| %1 | %2 | %3 ms | %4 | %5 (+%6 ms) | ≤ %7 and ≤ +%8 ms | %9 |\n")
        .arg(figure, name)
        .arg(limitMs)
        .arg(spread(s), hasRatio ? num(ratio, 3) : QStringLiteral("— (no wait)"), num(over))
        .arg(ratioTarget)
        .arg(overTargetMs)
        .arg(yesNo(met));
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *why = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    file.write(bytes);
    return true;
}

// The cumulative share of appearances by time, as steps, and the best the cycle allows:
// a device appearing at a uniformly random moment waits between nothing and one period.
bool plotAttach(const QString &plotPath, const QString &workDir, const LiveResults &live, QString *why)
{
    QString script;
    QTextStream out(&script);
    out << "set terminal pngcairo size 900,500 font 'DejaVu Sans,10'\n"
        << "set output '" << plotPath << "'\n"
        << "set title 'Device appearing to its label painted: measured (steps) and the best the cycle allows "
           "(dashed)'\n"
        << "set xlabel 'ms from the device appearing to the first paint of its label'\n"
        << "set ylabel 'share of appearances'\n"
        << "set key outside right\nset grid\nset yrange [0:1.02]\nset xrange [0:*]\n"
        << "plot ";
    for (int p = 0; p < live.attach.size(); ++p) {
        const Samples &s = live.attach[p];
        const AttachPath &path = *findAttachPath(s.id.toLatin1().constData());
        QByteArray measured;
        const QVector<double> sorted = s.sorted();
        if (!sorted.isEmpty())
            measured += QByteArray::number(sorted.first(), 'f', 1) + " 0\n";
        for (int i = 0; i < sorted.size(); ++i)
            measured += QByteArray::number(sorted[i], 'f', 1) + ' '
                + QByteArray::number((i + 1.0) / sorted.size(), 'f', 4) + '\n';
        const QString measuredFile = QDir(workDir).filePath(QStringLiteral("attach-%1.dat").arg(path.id));
        const QString idealFile = QDir(workDir).filePath(QStringLiteral("ideal-%1.dat").arg(path.id));
        const int best = bestAttachMs(path);
        const QByteArray ideal =
            QByteArray::number(best) + " 0\n" + QByteArray::number(best + idlePeriodMs) + " 1\n";
        if (!writeFile(measuredFile, measured, why) || !writeFile(idealFile, ideal, why))
            return false;
        if (p)
            out << ", ";
        out << "'" << measuredFile << "' using 1:2 with steps lw 2 lc " << p + 1 << " title '" << path.name
            << "', "
            << "'" << idealFile << "' using 1:2 with lines dt 2 lw 1 lc " << p + 1 << " notitle";
    }
    out << "\n";
    const QString scriptPath = QDir(workDir).filePath(QStringLiteral("attach.gp"));
    if (!writeFile(scriptPath, script.toUtf8(), why))
        return false;
    QProcess gnuplot;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_PRELOAD")); // an ordinary program, not an emulated one
    gnuplot.setProcessEnvironment(environment);
    gnuplot.start(QStringLiteral("gnuplot"), {scriptPath});
    if (!gnuplot.waitForFinished(60000) || gnuplot.exitCode() != 0) {
        *why =
            QStringLiteral("gnuplot failed: %1").arg(QString::fromLocal8Bit(gnuplot.readAllStandardError()));
        return false;
    }
    return true;
}

} // namespace

bool writeReport(const QString &docPath, const QString &plotPath, const QString &workDir, const Run &run,
                 const Results &results, const LoadLog &load, QString *why)
{
    QString doc;
    QTextStream out(&doc);
    const LiveResults &live = results.live;

    out << "# Benchmark\n\n"
        << "How close the tool runs to the waits that its devices force on it, and what it costs the "
           "workstation. "
        << "Every figure comes from one run of `" << run.command
        << "` against the device simulator's devices, "
        << "inside `scripts/isolated`; this file and the plot are written by that run (the analysis at the "
           "end is kept "
        << "in `bench/analysis.md`).\n\n";
    if (run.quick)
        out << "**This is a quick run** (`--quick`): fewer repetitions than the figures ask for, for "
               "development only.\n\n";

    out << "## Figures\n\n"
        << "| # | Figure | Limit | Measured | Ratio (and above the limit) | Target | Met |\n"
        << "|---|---|---|---|---|---|---|\n";
    for (int i = 0; i < results.dialogues.size(); ++i) {
        const DialogueWaits &d = dialogueWaits[i];
        out << waitRow(QStringLiteral("1"), QStringLiteral("Dialogue: %1").arg(QLatin1String(d.name)),
                       totalMs(d), results.dialogues[i]);
    }
    for (int i = 0; i < results.cycles.size(); ++i) {
        const CycleWaits &c = cycleWaits[i];
        out << waitRow(QStringLiteral("2"), QLatin1String(c.name), totalMs(c), results.cycles[i]);
    }
    if (results.haveLive) {
        for (int p = 0; p < live.attach.size(); ++p) {
            const Samples &s = live.attach[p];
            const Samples &above = live.attachExcess[p];
            const AttachPath &path = *findAttachPath(s.id.toLatin1().constData());
            const int best = bestAttachMs(path);
            const double idealMedian = best + idlePeriodMs / 2.0;
            const double idealP95 = best + 0.95 * idlePeriodMs;
            out << QStringLiteral(
                       "| 3 | Device appearing → label painted: %1 | best %2 ms; at a random moment median "
                       "%3, p95 %4 ms "
                       "| median %5, p95 %6 ms (min %7, max %8; n = %9%10); above the best for its moment: "
                       "median %11, max %12 ms | %13 (median), %14 (p95) | beside the best | — |\n")
                       .arg(QLatin1String(path.name))
                       .arg(best)
                       .arg(num(idealMedian, 0), num(idealP95, 0), num(s.median()), num(s.percentile(95)),
                            num(s.min()), num(s.max()))
                       .arg(s.values.size())
                       .arg(s.failures ? QStringLiteral(", **%1 never shown**").arg(s.failures) : QString())
                       .arg(num(above.median()), num(above.max()), num(s.median() / idealMedian, 3),
                            num(s.percentile(95) / idealP95, 3));
        }
        const Samples &up = live.startup;
        out << QStringLiteral("| 4 | Start-up: process start → first paint of the window | %1 ms | %2 | %3 | "
                              "≤ %1 ms | %4 |\n")
                   .arg(startupTargetMs)
                   .arg(spread(up), num(up.median() / startupTargetMs, 3),
                        yesNo(!up.values.isEmpty() && up.median() <= startupTargetMs));
        const double growthMiB = (live.rssEndKiB - live.rssStartKiB) / 1024.0;
        const double soakGrowthMiB = (live.rssEndKiB - live.rssWarmKiB) / 1024.0;
        out << QStringLiteral(
                   "| 5 | Memory (RSS): after start; after every transport's first label; after %1 cycles "
                   "with devices coming and going | %2 MiB, growth < %3 MiB | %4 → %5 → %6 MiB "
                   "(growth %7 MiB in all, %8 MiB over the cycles after the first labels; peak %9 MiB) "
                   "| %10 | ≤ %2 MiB, flat | %11 |\n")
                   .arg(live.cycles)
                   .arg(rssTargetMiB)
                   .arg(growthTargetMiB)
                   .arg(mib(live.rssStartKiB), mib(live.rssWarmKiB), mib(live.rssEndKiB), num(growthMiB, 2),
                        num(soakGrowthMiB, 2), mib(live.hwmKiB),
                        num(live.rssEndKiB / 1024.0 / rssTargetMiB, 3))
                   .arg(yesNo(live.rssEndKiB >= 0 && live.rssEndKiB / 1024.0 <= rssTargetMiB
                              && soakGrowthMiB < growthTargetMiB));
        out << QStringLiteral("| 6 | Processor time, no device, over %1 s | %2 % of one core | %3 % | %4 | ≤ "
                              "%2 % | %5 |\n")
                   .arg(run.live.idleSeconds)
                   .arg(idleCpuTargetPercent)
                   .arg(num(live.cpuIdlePercent, 2), num(live.cpuIdlePercent / idleCpuTargetPercent, 2),
                        yesNo(live.cpuIdlePercent >= 0 && live.cpuIdlePercent <= idleCpuTargetPercent));
        out << QStringLiteral("| 6 | Processor time, a serial device queried every cycle, over %1 s | — | %2 "
                              "% | — | none | — |\n")
                   .arg(run.live.deviceSeconds)
                   .arg(num(live.cpuSerialPercent, 2));
        out << QStringLiteral("| 6 | Processor time, a port-9527 device queried every cycle, over %1 s | — | "
                              "%2 % | — | none | — |\n")
                   .arg(run.live.deviceSeconds)
                   .arg(num(live.cpu9527Percent, 2));
    }
    out << "\nRatios are the median over the limit (for the device-to-label times also the 95th percentile "
           "over "
        << "its limit). A dialogue without any wait (serial kind 3) has no ratio; it is held to the +"
        << overTargetMs << " ms bound alone.\n\n";

    out << "## Machine and run\n\n"
        << "- Command: `" << run.command << "`, started " << run.started << ", took "
        << QString::number(run.seconds / 60.0, 'f', 1) << " min.\n"
        << "- Repetitions: " << run.dialogueRuns << " per dialogue, " << run.cycleRuns << " per cycle"
        << (run.quick ? "" : " (each after one untimed run: the tool has been running when a device comes)");
    if (results.haveLive)
        out << ", " << run.live.startups << " start-ups, " << run.live.appearances
            << " appearances per transport, "
            << "memory after " << live.cycles << " cycles, processor time over " << run.live.idleSeconds
            << " s idle and " << run.live.deviceSeconds << " s per device";
    out << ".\n"
        << "- Machine: " << QThread::idealThreadCount() << " cores (nproc), " << cpuModel() << ", "
        << QSysInfo::prettyProductName() << ", kernel " << QSysInfo::kernelVersion() << ".\n"
        << "- A 20 ms sleep of the benchmark woke late by " << num(results.wakeLateStart.median(), 2)
        << " ms (median; max " << num(results.wakeLateStart.max(), 2)
        << ") before the timed dialogues and by " << num(results.wakeLateEnd.median(), 2) << " ms (max "
        << num(results.wakeLateEnd.max(), 2)
        << ") after the timed cycles: every wait of a dialogue pays about as much.\n"
        << QStringLiteral("- Load average (1 min) during the run, by phase — other engineers were building "
                          "on the same machine:\n\n")
        << "| Phase | Load, lowest | Load, highest |\n|---|---|---|\n";
    for (const QString &phase : load.phases())
        out << "| " << phase << " | " << num(load.min(phase), 2) << " | " << num(load.max(phase), 2)
            << " |\n";
    out << "\n";

    if (results.haveLive) {
        out << QStringLiteral("## Device appearing → label painted\n\n")
            << "![Cumulative share of appearances by time, per transport](" << QFileInfo(plotPath).fileName()
            << ")\n\n"
            << "A device appears at a random moment (uniform over one idle cycle of " << idlePeriodMs
            << " ms). "
            << "Its transport is looked at once per cycle, at a fixed place in it; from there its dialogue "
               "runs, and the window repaints as soon as the dialogue has ended (the next wait of the "
               "cycle serves the window). The dashed line of each colour is that best: "
            << "a uniform wait of up to one period on top of the shortest path. Presenting a device took "
            << num(live.plugging.median()) << " ms (median, max " << num(live.plugging.max())
            << ") before the clock started.\n\n";
        if (!live.notes.isEmpty()) {
            out << "Noted during the run:\n\n";
            for (const QString &note : live.notes)
                out << "- " << note << "\n";
            out << "\n";
        }
    }

    out << "## The waits each dialogue must make\n\n"
        << "Derived from the dialogues' rules and the simulator's replies (the table `dialogueWaits` in "
        << "`sim/script/waits.h`). The serial and USB devices answer at once; the network devices' own "
           "delays are the "
        << "simulator's.\n\n"
        << "| Dialogue | Waits | Sum |\n|---|---|---|\n";
    for (const DialogueWaits &d : dialogueWaits) {
        QStringList waits;
        for (const Wait &w : d.waits) {
            if (w.what)
                waits << QStringLiteral("%1 ms %2").arg(w.ms).arg(QString::fromUtf8(w.what));
        }
        out << "| " << d.name << " | "
            << (waits.isEmpty() ? QStringLiteral("none") : waits.join(QStringLiteral("; "))) << " | "
            << totalMs(d) << " ms |\n";
    }
    for (const CycleWaits &c : cycleWaits) {
        QStringList parts;
        for (const char *id : c.dialogues) {
            if (id)
                parts << QString::fromUtf8(findDialogue(id)->name);
        }
        if (c.refusedTargets)
            parts << QStringLiteral("%1 × %2 ms pause before a target that refuses")
                         .arg(c.refusedTargets)
                         .arg(connectPauseMs);
        out << "| " << c.name << " | " << parts.join(QStringLiteral(" + ")) << " | " << totalMs(c)
            << " ms |\n";
    }
    out << "\n";

    out.flush();
    if (!writeFile(docPath, doc.toUtf8(), why))
        return false;
    if (results.haveLive && !plotAttach(plotPath, workDir, live, why))
        return false;
    return true;
}

} // namespace bench
