#include "bench/live.h"
#include "bench/machine.h"

#include "runner/devices.h"
#include "runner/process.h"
#include "runner/screenimage.h"
#include "runner/toolrun.h"
#include "runner/xscreen.h"
#include "serial/portrules.h"
#include "sim/script/waits.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>

#include <unistd.h>

namespace bench {

using namespace ::waits;
using runner::LogLine;
using runner::nowMs;
using runner::nowNs;
using runner::ToolRun;
using runner::XScreen;

namespace {

// The line with which the tool starts reading the USB device list, once per cycle
// without a serial device.
bool isUsbLook(const QString &text)
{
    return text.trimmed() == QLatin1String("11111");
}

// A paint of the whole window, not of a corner of the screen.
constexpr int windowPaintArea = 100 * 100;
constexpr int firstPaintLimitMs = 20000;
constexpr int settleAfterStartMs = 2000;

// The places devices appear at are the rows of attachPaths, in that order.
constexpr bool placesAreAttachPaths()
{
    for (size_t i = 0; i < std::size(attachPaths); ++i) {
        if (!sameId(runner::places[i].id, attachPaths[i].id))
            return false;
    }
    return std::size(runner::places) == std::size(attachPaths);
}
static_assert(placesAreAttachPaths());

// The window shows `picture` with white licence text over it.
bool showsLabel(const QImage &window, const QImage &picture)
{
    const QPoint at = runner::findPicture(window, picture);
    return !at.isNull() && runner::whiteTextPixels(window, picture, at, picture.height() * 3 / 4) > 150;
}

class Session
{
public:
    // The tool's files (its log "err") go to `folder`.
    Session(runner::Devices &devices, XScreen &screen, LoadLog &load, const QString &folder)
        : m_devices(devices)
        , m_screen(screen)
        , m_load(load)
        , m_tool(folder)
    {
    }

    ToolRun &tool() { return m_tool; }

    // Starts the tool and waits for its window's first paint; the time it took in ms, or
    // a negative value.
    double start()
    {
        m_screen.drain();
        const qint64 started = nowNs();
        if (!m_tool.startOnDisplay(m_devices.processEnvironment(), m_screen.display()))
            return -1;
        const qint64 deadline = started + qint64(firstPaintLimitMs) * 1000000;
        for (;;) {
            qint64 at = 0;
            const QRect area = m_screen.nextDamage(int((deadline - nowNs()) / 1000000), &at);
            if (area.isNull())
                return -1;
            if (area.width() * area.height() >= windowPaintArea)
                return (at - started) / 1e6;
        }
    }

    // Finds the window on the screen once it has been painted.
    bool locateWindow()
    {
        m_window = runner::windowRect(m_screen.grab());
        return m_window.width() > 300 && m_window.height() > 200;
    }

    // Lets time pass while the screen's reports are thrown away and the load is noted.
    void pause(int ms, const QString &phase)
    {
        const qint64 until = nowNs() + qint64(ms) * 1000000;
        while (nowNs() < until) {
            m_screen.nextDamage(int(std::min<qint64>(200, (until - nowNs()) / 1000000)), nullptr);
            sampleLoad(phase);
        }
    }

    // Waits until a line that `matches` arrives, logged after `sinceMs`; its time stamp, or
    // -1 when none came.
    qint64 waitForLog(const std::function<bool(const QString &)> &matches, qint64 sinceMs, int limitMs,
                      const QString &phase)
    {
        const qint64 until = nowNs() + qint64(limitMs) * 1000000;
        while (nowNs() < until) {
            for (const LogLine &line : m_tool.newLines()) {
                if (line.ms > sinceMs && matches(line.text))
                    return line.ms;
            }
            pause(20, phase);
        }
        return -1;
    }

    bool waitForCycles(int count, const QString &phase)
    {
        const int target = m_tool.cycles() + count;
        const qint64 until = nowNs() + qint64(count + 2) * 12000 * 1000000;
        while (m_tool.cycles() < target) {
            if (nowNs() > until || !m_tool.running())
                return false;
            pause(50, phase);
        }
        return true;
    }

    // One appearance: the device comes at a random moment of the cycle; the time from its
    // arrival to the first paint that shows its label. Negative when it never shows.
    double appear(const runner::Place &place, const QImage &picture, int n, int limitMs, double *plugMs,
                  double *appearedMs)
    {
        const QString phase = QStringLiteral("attach");
        m_screen.drain();
        const QImage before = m_screen.grab(m_window);
        QString why;
        const qint64 plugging = nowNs();
        m_present = m_devices.present(place, runner::licenceOf(place.transport, n), &why);
        const qint64 appeared = nowNs();
        *plugMs = (appeared - plugging) / 1e6;
        *appearedMs = appeared / 1e6;
        if (m_present.isEmpty())
            qFatal("cannot present the device: %s", qPrintable(why));
        const qint64 deadline = appeared + qint64(limitMs) * 1000000;
        double took = -1;
        while (took < 0) {
            const qint64 left = (deadline - nowNs()) / 1000000;
            if (left <= 0)
                break;
            qint64 at = 0;
            const QRect area = m_screen.nextDamage(int(std::min<qint64>(left, 500)), &at);
            sampleLoad(phase);
            if (area.isNull() || !area.intersects(m_window))
                continue;
            const QImage now = m_screen.grab(m_window);
            if (now != before && showsLabel(now, picture))
                took = (at - appeared) / 1e6;
        }
        return took;
    }

    // Takes the present device away and waits until a cycle of the tool has begun since: it
    // reads the USB list near its start, once per cycle without a serial device. The time
    // that cycle began, or -1.
    qint64 takeAway()
    {
        m_devices.remove(m_present);
        m_present.clear();
        return waitForLog(isUsbLook, nowMs(), 30000, QStringLiteral("attach"));
    }

    void sampleLoad(const QString &phase)
    {
        if (nowNs() - m_lastLoadNs < 5000000000LL)
            return;
        m_lastLoadNs = nowNs();
        m_load.sample(phase);
    }

private:
    runner::Devices &m_devices;
    XScreen &m_screen;
    LoadLog &m_load;
    ToolRun m_tool;
    QRect m_window;
    QString m_present;
    qint64 m_lastLoadNs = 0;
};

double cpuPercent(ToolRun &tool, Session &session, int seconds, const QString &phase)
{
    const long ticks = tool.use().cpuTicks;
    const qint64 from = nowNs();
    session.pause(seconds * 1000, phase);
    const double spent = double(tool.use().cpuTicks - ticks) / double(::sysconf(_SC_CLK_TCK));
    return 100.0 * spent / ((nowNs() - from) / 1e9);
}

} // namespace

bool runLive(runner::Devices &devices, const QString &workDir, const LiveOptions &options, LoadLog &load,
             LiveResults *results, QString *why)
{
    XScreen screen;
    if (!screen.start(why))
        return false;

    // Start-up: a fresh process each time, no device anywhere.
    say(QStringLiteral("start-up"));
    results->startup.id = QStringLiteral("startup");
    for (int i = 0; i < options.startups; ++i) {
        load.sample(QStringLiteral("startup"));
        Session session(devices, screen, load, QDir(workDir).filePath(QStringLiteral("startup")));
        const double took = session.start();
        if (took >= 0 && session.locateWindow())
            results->startup.values << took;
        else
            ++results->startup.failures;
        session.tool().stop();
        session.pause(300, QStringLiteral("startup"));
    }

    // One long session: every transport's devices come and go, then more of the same until
    // the cycles are counted, then the processor time without and with a device.
    Session session(devices, screen, load, QDir(workDir).filePath(QStringLiteral("session")));
    if (session.start() < 0 || !session.locateWindow()) {
        *why = QStringLiteral("the tool's window did not show");
        return false;
    }
    session.pause(settleAfterStartMs, QStringLiteral("attach"));
    ToolRun &run = session.tool();
    results->rssStartKiB = run.use().rssKiB;

    // Each device appears at a random moment of an idle cycle, counted from the cycle's
    // start. The moments are spread evenly over the cycle (one in each of as many equal
    // slices as there are appearances, in random order), so that 20 of them give the
    // median and p95 of a uniform phase and not those of a lucky draw.
    std::mt19937 random(options.seed);
    std::uniform_real_distribution<double> within(0, 1);
    results->plugging.id = QStringLiteral("plugging");
    int appearance = 0;
    QFile appearances(QDir(workDir).filePath(QStringLiteral("appearances.csv")));
    appearances.open(QIODevice::WriteOnly | QIODevice::Truncate);
    appearances.write("transport,appeared_ms,label_ms\n");
    for (size_t p = 0; p < std::size(attachPaths); ++p) {
        const AttachPath &path = attachPaths[p];
        const runner::Place &place = runner::places[p];
        if (!options.paths.isEmpty() && !options.paths.contains(QLatin1String(path.id)))
            continue;
        const QImage picture(QLatin1String(place.picture));
        Samples samples {QLatin1String(path.id)};
        say(QStringLiteral("appearances: %1").arg(QLatin1String(path.name)));
        const int limitMs = bestAttachMs(path) + idlePeriodMs + 10000;
        Samples excess {QLatin1String(path.id)};
        QVector<int> slices(options.appearances);
        std::iota(slices.begin(), slices.end(), 0);
        std::shuffle(slices.begin(), slices.end(), random);
        qint64 cycleBegan = session.waitForLog(isUsbLook, nowMs(), 30000, QStringLiteral("attach"));
        for (int i = 0; i < options.appearances; ++i) {
            const double phase = (slices[i] + within(random)) / options.appearances * idlePeriodMs;
            session.pause(int(std::max<double>(0, cycleBegan + phase - nowNs() / 1e6)),
                          QStringLiteral("attach"));
            double plugMs = 0;
            double appeared = 0;
            const double took = session.appear(place, picture, ++appearance, limitMs, &plugMs, &appeared);
            results->plugging.values << plugMs;
            // Monotonic ms, to read beside the tool's log (session/err).
            appearances.write(QStringLiteral("%1,%2,%3\n")
                                  .arg(QLatin1String(path.id))
                                  .arg(appeared, 0, 'f', 1)
                                  .arg(took >= 0 ? appeared + took : -1, 0, 'f', 1)
                                  .toUtf8());
            appearances.flush();
            if (took >= 0) {
                samples.values << took;
                // The best for this very moment: the wait for the next look at its
                // transport (in the cycle it appeared in, or one idle period later), then
                // the best path from there.
                const double sinceStart = appeared - cycleBegan;
                const double toLook =
                    std::fmod(path.checkpointMs - sinceStart + 2.0 * idlePeriodMs, idlePeriodMs);
                excess.values << took - (toLook + bestAttachMs(path));
            } else {
                ++samples.failures;
            }
            cycleBegan = session.takeAway();
            if (cycleBegan < 0) {
                results->notes
                    << QStringLiteral("%1: the tool did not look for devices after one left").arg(path.id);
                cycleBegan = nowMs();
            }
        }
        results->attach << samples;
        results->attachExcess << excess;
    }
    results->rssWarmKiB = run.use().rssKiB;

    // Devices keep coming and going until the cycles are counted: serial devices of every
    // kind, a USB device, now and then a network device.
    const QString soak = QStringLiteral("soak");
    say(QStringLiteral("devices coming and going, %1 cycles so far").arg(run.cycles()));
    for (int round = 0; run.cycles() < options.soakCycles && run.running(); ++round) {
        const QString serial =
            devices.present(runner::places[0], runner::licenceOf(runner::Transport::Serial, round), why,
                            round % serialKindCount);
        session.waitForCycles(2, soak);
        session.pause(300, soak); // out of the middle of its dialogue
        devices.remove(serial);
        const QString usb =
            devices.present(runner::usbPlace, runner::licenceOf(runner::Transport::Usb, round), why);
        session.waitForCycles(2, soak);
        devices.remove(usb);
        if (round % 4 == 3) {
            // Now and then a network device: port 9527, or the shell at 192.168.10.1.
            const runner::Place &place = runner::netPlaces[round % 8 == 3 ? 0 : 2];
            const QString net = devices.present(place, runner::licenceOf(runner::Transport::Net, round), why);
            session.waitForCycles(2, soak);
            devices.remove(net);
        }
    }
    session.waitForCycles(2, soak);
    results->cycles = run.cycles();
    const runner::ProcessUse end = run.use();
    results->rssEndKiB = end.rssKiB;
    results->hwmKiB = end.hwmKiB;

    say(QStringLiteral("processor time, %1 cycles so far").arg(results->cycles));
    // Processor time: nothing there, then a serial device, then a port-9527 device, each
    // queried in every cycle.
    session.waitForCycles(2, QStringLiteral("cpu"));
    results->cpuIdlePercent = cpuPercent(run, session, options.idleSeconds, QStringLiteral("cpu"));
    say(QStringLiteral("processor time with a serial device"));
    QString name = devices.present(runner::places[0], runner::licenceOf(runner::Transport::Serial, 0), why);
    session.waitForCycles(2, QStringLiteral("cpu"));
    results->cpuSerialPercent = cpuPercent(run, session, options.deviceSeconds, QStringLiteral("cpu"));
    devices.remove(name);
    session.waitForCycles(2, QStringLiteral("cpu"));
    say(QStringLiteral("processor time with a port-9527 device"));
    name = devices.present(runner::netPlaces[0], runner::licenceOf(runner::Transport::Net, 0), why);
    session.waitForCycles(1, QStringLiteral("cpu"));
    results->cpu9527Percent = cpuPercent(run, session, options.deviceSeconds, QStringLiteral("cpu"));
    devices.remove(name);
    if (!run.running())
        results->notes << QStringLiteral("the tool ended before the session did");
    run.stop();
    say(QStringLiteral("done"));
    return true;
}

} // namespace bench
