#include "soak/verdict.h"
#include "runner/screenlog.h"

#include <QMap>
#include <QStringList>

#include <optional>

namespace soak {

namespace {

constexpr int wrongLabelsListed = 5;
constexpr int messagesListed = 5;
constexpr int missesListed = 10;

const QByteArray simulatorPrefix = "[devsim ";

// A plug: what the window must show for it, as a change of the window
// ("label <picture> <text>"), and whether it did.
struct Plug
{
    QString expected;
    bool answered = false;
};

// The plug a stage line announces.
std::optional<Plug> stageOf(const QByteArray &line)
{
    static const QByteArray expects = " expects ";
    if (!line.startsWith(simulatorPrefix) || !line.contains("] stage "))
        return std::nullopt;
    const int at = line.lastIndexOf(expects);
    if (at < 0)
        return std::nullopt;
    return Plug {QStringLiteral("label ") + QString::fromUtf8(line.mid(at + expects.size()))};
}

QString figure(long value, bool known)
{
    return known ? QString::number(value) : QStringLiteral("n/a");
}

// What the samples say: memory and descriptors first, at the end of the warm-up and after it.
struct Use
{
    int count = 0;
    long rssFirst = 0, rssBase = 0, rssLast = 0, rssMin = 0, rssMax = 0;
    long fdFirst = 0, fdWarm = 0, fdMin = 0, fdMax = 0, fdLast = 0;
    long threadsMin = 0, threadsMax = 0, threadsLast = 0;
    bool warmedUp = false;
    int after = 0;            // samples from the end of the warm-up on
    QMap<long, int> fdCounts; // after the warm-up: how many samples found each count
};

Use useOf(const QVector<Sample> &samples)
{
    Use use;
    for (const Sample &sample : samples) {
        if (use.count++ == 0) {
            use.rssFirst = sample.rssKiB;
            use.fdFirst = use.fdWarm = sample.descriptors;
            use.threadsMin = use.threadsMax = sample.threads;
        }
        use.threadsMin = qMin(use.threadsMin, sample.threads);
        use.threadsMax = qMax(use.threadsMax, sample.threads);
        if (sample.plugs < warmUpPlugs)
            use.fdWarm = qMax(use.fdWarm, sample.descriptors);
        if (sample.plugs >= warmUpPlugs && !use.warmedUp) {
            use.warmedUp = true;
            use.rssBase = use.rssMin = use.rssMax = sample.rssKiB;
            use.fdMin = use.fdMax = sample.descriptors;
        }
        if (use.warmedUp) {
            ++use.after;
            ++use.fdCounts[sample.descriptors];
            use.fdMin = qMin(use.fdMin, sample.descriptors);
            use.fdMax = qMax(use.fdMax, sample.descriptors);
            use.rssMin = qMin(use.rssMin, sample.rssKiB);
            use.rssMax = qMax(use.rssMax, sample.rssKiB);
        }
        use.rssLast = sample.rssKiB;
        use.fdLast = sample.descriptors;
        use.threadsLast = sample.threads;
    }
    return use;
}

} // namespace

bool isStageLine(const QByteArray &screenLine)
{
    return stageOf(screenLine).has_value();
}

Verdict judge(const QList<QByteArray> &screenLog, const QVector<Sample> &samples, const RunEnd &end)
{
    QVector<Plug> plugs;
    int served = 0;
    int wrong = 0;
    int messages = 0;
    int cleared = 0;
    QString wrongs;
    QString said;
    QString ended;
    runner::WindowChanges window;
    for (const QByteArray &line : screenLog) {
        if (line.startsWith(simulatorPrefix)) {
            if (const std::optional<Plug> plug = stageOf(line))
                plugs << *plug;
            else if (line.endsWith(" served"))
                ++served;
            else if (line.contains("quorvane ended"))
                ended = QString::fromUtf8(line);
            continue;
        }
        const std::optional<runner::ScreenLine> parsed = runner::parseScreenLine(line);
        const std::optional<runner::WindowChange> change = parsed ? window.follow(*parsed) : std::nullopt;
        if (!change)
            continue;
        if (change->what.startsWith(QLatin1String("message "))) {
            if (++messages <= messagesListed)
                said += QStringLiteral("\n  ") + QString::fromUtf8(line);
        } else if (plugs.isEmpty()) {
            continue; // the window before the first plug
        } else if (change->what == QLatin1String("cleared")) {
            ++cleared;
        } else if (change->what == plugs.last().expected) {
            plugs.last().answered = true;
        } else if (++wrong <= wrongLabelsListed) {
            wrongs += QStringLiteral("\n  plug %1: %2")
                          .arg(plugs.size())
                          .arg(change->what.section(QLatin1Char(' '), 1));
        }
    }
    // A run stopped by its limit leaves its last plug unfinished.
    if (end.stopped && !plugs.isEmpty() && !plugs.last().answered)
        plugs.removeLast();
    int answered = 0;
    QStringList misses;
    for (int i = 0; i < plugs.size(); ++i) {
        if (plugs[i].answered)
            ++answered;
        else if (misses.size() < missesListed)
            misses << QString::number(i + 1);
    }

    const Use use = useOf(samples);
    const bool some = use.count > 0;
    const bool base = use.warmedUp;
    const long growth = use.rssLast - use.rssBase;
    // The descriptors most samples after the warm-up found (between dialogues); of equal
    // counts the lowest.
    long fdMode = 0;
    for (auto at = use.fdCounts.cbegin(); at != use.fdCounts.cend(); ++at) {
        if (at.value() > use.fdCounts.value(fdMode))
            fdMode = at.key();
    }

    QStringList lines;
    lines << QStringLiteral("length: %1 s (%2 min %3 s), %4")
                 .arg(end.seconds)
                 .arg(end.seconds / 60)
                 .arg(end.seconds % 60)
                 .arg(end.stopped ? QStringLiteral("stopped by its limit")
                                  : QStringLiteral("the simulator ended, exit %1")
                                        .arg(end.exitCode < 0 ? QStringLiteral("crashed")
                                                              : QString::number(end.exitCode)));
    lines << QStringLiteral("detection cycles of the tool: %1").arg(end.cycles);
    lines << QStringLiteral("plugs: %1 (%2 served)").arg(plugs.size()).arg(served);
    lines << QStringLiteral("answered with the right label: %1 of %2%3")
                 .arg(answered)
                 .arg(plugs.size())
                 .arg(misses.isEmpty() ? QString() : QStringLiteral(" (not: %1)").arg(misses.join(' ')));
    lines << QStringLiteral("wrong picture or text shown: %1%2").arg(wrong).arg(wrongs);
    lines << QStringLiteral("status messages: %1%2").arg(messages).arg(said);
    lines << QStringLiteral("labels cleared: %1").arg(cleared);
    lines << QStringLiteral("samples: %1, every %2 s").arg(use.count).arg(sampleEverySeconds);
    lines << QStringLiteral(
                 "resident memory: %1 KiB first, %2 KiB after %3 plugs, %4 KiB last: growth %5 KiB "
                 "after the warm-up (samples after it %6 to %7 KiB)")
                 .arg(figure(use.rssFirst, some), figure(use.rssBase, base))
                 .arg(warmUpPlugs)
                 .arg(figure(use.rssLast, some), figure(growth, base), figure(use.rssMin, base),
                      figure(use.rssMax, base));
    lines << QStringLiteral(
                 "open descriptors: %1 first, at most %2 in the first %3 plugs; after them %4 to %5 "
                 "(%6 in %7 of %8 samples); %9 last")
                 .arg(figure(use.fdFirst, some), figure(use.fdWarm, some))
                 .arg(warmUpPlugs)
                 .arg(figure(use.fdMin, base), figure(use.fdMax, base), figure(fdMode, base))
                 .arg(use.fdCounts.value(fdMode))
                 .arg(use.after)
                 .arg(figure(use.fdLast, some));
    lines << QStringLiteral("threads: %1 to %2, %3 last")
                 .arg(figure(use.threadsMin, some), figure(use.threadsMax, some),
                      figure(use.threadsLast, some));
    lines << (ended.isEmpty() ? QStringLiteral("the tool ran until the simulator stopped it")
                              : QStringLiteral("the tool ended by itself: ") + ended);

    Verdict verdict;
    verdict.pass = ended.isEmpty() && !plugs.isEmpty() && answered == plugs.size() && wrong == 0
        && messages == 0 && cleared == 0 && base && growth <= memoryGrowthLimitKiB && use.fdMax <= use.fdWarm;
    if (!base)
        lines << QStringLiteral(
                     "too short to judge: memory and descriptors are compared after the first %1 plugs")
                     .arg(warmUpPlugs);
    lines << (verdict.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    verdict.summary = lines.join('\n') + '\n';
    return verdict;
}

} // namespace soak
