// quorvane-soak: the real tool under the device simulator for an hour or more, inside
// scripts/isolated (scripts/soak builds it and runs it there). The simulator plugs a USB, a
// serial and a network device in turn, each until the tool has served it, then pulls it;
// every few seconds this program samples the tool's resident memory, open descriptors and
// threads from /proc, and once its limits are met it stops the simulator, which stops the
// tool. Then it judges the run (soak/verdict.h) and prints every figure, PASS or FAIL.
//
//   quorvane-soak                  one hour or 2000 detection cycles, whichever is longer
//   quorvane-soak --minutes M      a shorter run: M minutes
//   quorvane-soak --plugs N        stops after N plugs (or the minutes, whichever comes first)
//   quorvane-soak --cycles N       the minutes or N detection cycles, whichever is longer
//   quorvane-soak --logs FOLDER    its files go into FOLDER/<time>/ (default soak-runs/)
//
// The files: screen.log (the stages and the window's changes, in order), quorvane.log (the
// tool's log), samples.txt and summary.txt. The programs it runs lie beside it.
#include "runner/process.h"
#include "runner/procstat.h"
#include "sim/net/privatenetwork.h"
#include "soak/simulator.h"
#include "soak/verdict.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// When the run stops: after `minutes` and `cycles` detection cycles both (`longer`), or at
// the end of the minutes; the simulator ends by itself after the rounds that `plugs` need.
struct Limits
{
    int minutes = 60;
    int cycles = 2000;
    int plugs = 0; // 0: no limit
    bool longer = true;
    QString logs = QStringLiteral("soak-runs");
};

std::optional<Limits> limitsFrom(const QStringList &arguments)
{
    Limits limits;
    for (int i = 1; i < arguments.size(); i += 2) {
        const QString &option = arguments[i];
        const QString value = arguments.value(i + 1);
        bool number = false;
        const int count = value.toInt(&number);
        if (option == QLatin1String("--logs") && !value.isEmpty())
            limits.logs = value;
        else if (!number || count < 0)
            return std::nullopt;
        else if (option == QLatin1String("--minutes")) {
            limits.minutes = count;
            limits.cycles = 0;
            limits.longer = false;
        } else if (option == QLatin1String("--plugs")) {
            limits.plugs = count;
            limits.longer = false;
        } else if (option == QLatin1String("--cycles")) {
            limits.cycles = count;
        } else {
            return std::nullopt;
        }
    }
    return limits;
}

int count(const QList<QByteArray> &lines, bool (*counts)(const QByteArray &))
{
    return int(std::count_if(lines.cbegin(), lines.cend(), counts));
}

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const std::optional<Limits> limits = limitsFrom(application.arguments());
    if (!limits) {
        std::fputs("usage: scripts/soak [--minutes M] [--plugs N] [--cycles N]\n", stderr);
        return 2;
    }
    QString outside;
    if (!quorvane::sim::net::insidePrivateNetwork(&outside)) {
        std::fprintf(stderr, "quorvane-soak: refusing to run outside scripts/isolated: %s\n",
                     qPrintable(outside));
        return 2;
    }

    const QDir programs(QCoreApplication::applicationDirPath());
    const QString folder =
        QDir(limits->logs).absoluteFilePath(QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "quorvane-soak: cannot make the folder %s\n", qPrintable(folder));
        return 1;
    }
    const QDir out(folder);
    const soak::SimulatorFiles files {programs.filePath("quorvane-devsim"), programs.filePath("quorvane"),
                                      programs.filePath("libquorvane-screenlog.so"),
                                      out.filePath("screen.log"), out.filePath("quorvane.log")};
    QFile(files.screenLog).open(QIODevice::WriteOnly | QIODevice::Truncate);
    QFile samplesFile(out.filePath("samples.txt"));
    samplesFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    QTextStream samplesText(&samplesFile);
    samplesText << "seconds plugs rss_kib fds threads\n";

    // Three plugs a round; without a limit on plugs, rounds enough for any length.
    const int rounds = limits->plugs > 0 ? (limits->plugs + 2) / 3 : 1000000;
    QElapsedTimer clock;
    clock.start();
    soak::Simulator simulator;
    if (!simulator.start(files, rounds)) {
        std::fprintf(stderr, "quorvane-soak: cannot start %s: %s\n", qPrintable(files.simulator),
                     qPrintable(simulator.errorString()));
        return 1;
    }

    runner::GrowingFile toolLog(files.toolLog);
    runner::GrowingFile screenLog(files.screenLog);
    QVector<soak::Sample> samples;
    int cycles = 0;
    int plugs = 0;
    bool stopped = false;
    for (;;) {
        cycles += count(toolLog.newLines(), runner::beginsCycle);
        plugs += count(screenLog.newLines(), soak::isStageLine);
        const qint64 seconds = clock.elapsed() / 1000;
        if (const qint64 tool = runner::findDescendant(simulator.pid(), files.tool)) {
            const runner::ProcessUse use = runner::processUse(tool);
            if (use.rssKiB >= 0) {
                samples << soak::Sample {seconds, plugs, use.rssKiB, use.descriptors, use.threads};
                samplesText << seconds << ' ' << plugs << ' ' << use.rssKiB << ' ' << use.descriptors << ' '
                            << use.threads << '\n';
                samplesText.flush();
            }
        }
        const bool timeUp = seconds >= limits->minutes * 60;
        const bool cyclesUp = cycles >= limits->cycles;
        if (timeUp && (cyclesUp || !limits->longer)) {
            // The simulator stops the tool within a few seconds; should it not, it is killed.
            stopped = true;
            simulator.stop(60000);
            break;
        }
        if (simulator.waitForEnd(soak::sampleEverySeconds * 1000))
            break;
    }
    cycles += count(toolLog.newLines(), runner::beginsCycle);

    QFile screen(files.screenLog);
    screen.open(QIODevice::ReadOnly);
    const soak::RunEnd end {clock.elapsed() / 1000, stopped, simulator.exitCode(), cycles};
    const soak::Verdict verdict = soak::judge(screen.readAll().split('\n'), samples, end);
    QFile summary(out.filePath("summary.txt"));
    if (summary.open(QIODevice::WriteOnly | QIODevice::Truncate))
        summary.write(verdict.summary.toUtf8());
    print(verdict.summary + QStringLiteral("logs: %1\n").arg(folder));
    return verdict.pass ? 0 : 1;
}
