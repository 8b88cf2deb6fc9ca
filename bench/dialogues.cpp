#include "bench/dialogues.h"

#include "app/mainwindow.h"
#include "net/tcptargets.h"
#include "runner/devices.h"
#include "runner/quietwindow.h"
#include "serial/portrules.h"
#include "sim/script/waits.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>

#include <functional>
#include <iterator>
#include <memory>

#include <ctime>

namespace bench {

using namespace ::waits;

namespace {

// Time for a fake to notice that the port closed or the connection went, between runs.
constexpr int settleMs = 30;

using runner::netLicence;
using runner::serialLicence;
using runner::usbLicence;

// A window of the tool whose poll timer never fires: the benchmark runs its steps.
std::unique_ptr<MainWindow> quietWindow()
{
    auto window = std::make_unique<MainWindow>();
    runner::stopPolling(*window);
    return window;
}

double elapsedMs(const QElapsedTimer &clock)
{
    return clock.nsecsElapsed() / 1e6;
}

// Processor time of this thread, in ms: the work of the step, without its waits and
// without the fakes, which run on threads of their own.
double threadCpuMs()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Runs `step` `runs` times, each after `before`, and keeps the times of the runs after
// which the window shows `expected` (and `alsoOk` holds, when given). With `warmUp`, one
// run more comes first and is not kept: the tool has long been running when a device
// comes, with its fonts, image readers and libraries loaded, and a device that stays is
// asked again in every cycle.
Samples timeRuns(const char *id, int runs, bool warmUp, MainWindow &window, const QString &expected,
                 const std::function<void()> &before, const std::function<void()> &step,
                 const std::function<void()> &after = {}, const std::function<bool()> &alsoOk = {})
{
    Samples samples {QLatin1String(id)};
    for (int run = warmUp ? -1 : 0; run < runs; ++run) {
        if (before)
            before();
        window.ClearLicenceLabel();
        const double cpuBefore = threadCpuMs();
        QElapsedTimer clock;
        clock.start();
        step();
        const double took = elapsedMs(clock);
        const double cpu = threadCpuMs() - cpuBefore;
        const bool kept = run >= 0;
        if (kept && runner::shownText(window) == expected && (!alsoOk || alsoOk())) {
            samples.values << took;
            samples.cpu << cpu;
        } else if (kept) {
            ++samples.failures;
        }
        if (after)
            after();
        QThread::msleep(settleMs);
    }
    return samples;
}

// Whether the device of this name received the USB licence request (from the report).
bool receivedRequest(const runner::Devices &devices, const QString &name)
{
    const QJsonArray all =
        QJsonDocument::fromJson(devices.report()).object().value(QStringLiteral("devices")).toArray();
    for (const QJsonValue &device : all) {
        if (device.toObject().value(QStringLiteral("name")).toString() == name)
            return device.toObject()
                .value(QStringLiteral("receivedHex"))
                .toString()
                .startsWith(QLatin1String("aaaaaa966900040943024c"));
    }
    return false;
}

// A well-behaved device at `place` giving its transport's licence.
QString present(runner::Devices &devices, const runner::Place &place, const QByteArray &licence,
                int serialKind = 0)
{
    QString why;
    const QString name = devices.present(place, licence, &why, serialKind);
    if (name.isEmpty())
        qFatal("%s device: %s", place.id, qPrintable(why));
    return name;
}

QString plugSerial(runner::Devices &devices, int kind)
{
    return present(devices, runner::places[0], serialLicence, kind);
}

QString plugUsb(runner::Devices &devices)
{
    return present(devices, runner::usbPlace, usbLicence);
}

QString startNet(runner::Devices &devices, int target)
{
    return present(devices, runner::netPlaces[target], netLicence);
}

// ConnectTCP to a target of the cycle's table, and its dialogue when it connects.
void networkStep(MainWindow &window, const tcptargets::Target &target)
{
    if (!window.ConnectTCP(QLatin1String(target.ip), QLatin1String(target.port), QLatin1String(target.user),
                           QLatin1String(target.password)))
        return;
    if (target.tcpVariant != tcptargets::keepTcpVariant)
        window.tcpVariant = target.tcpVariant;
    (window.*target.dialogue)();
}

} // namespace

QVector<Samples> timeDialogues(runner::Devices &devices, int runs, bool warmUp)
{
    auto window = quietWindow();
    QVector<Samples> all;

    // The serial step: the port search and opening, then the AT dialogue.
    for (int kind = 0; kind < serialKindCount; ++kind) {
        const QString name = plugSerial(devices, kind);
        all << timeRuns(dialogueWaits[kind].id, runs, warmUp, *window, QLatin1String(serialLicence), {}, [&] {
            if (window->OpenSerialPort())
                window->QuerySerial();
        });
        devices.remove(name);
    }
    window->serialPort->close();

    // The USB step with a device plugged in just before: the list comparison, then the
    // dialogue. Unplugged after each run, and the window's list brought up to date.
    window->CheckUsbList();
    QString usb;
    all << timeRuns(
        "usb", runs, warmUp, *window, QLatin1String(usbLicence), [&] { usb = plugUsb(devices); },
        [&] {
            if (window->CheckUsbList() != QLatin1String("NULL"))
                window->QueryUsb();
        },
        [&] {
            devices.remove(usb);
            window->CheckUsbList();
        });

    // The network steps, each target with its device listening.
    for (int i = 0; i < runner::netPlaceCount; ++i) {
        const QString name = startNet(devices, i);
        // The table's rows: the serial kinds, the USB device, then the network targets.
        all << timeRuns(dialogueWaits[serialKindCount + 1 + i].id, runs, warmUp, *window,
                        QLatin1String(netLicence), {}, [&] { networkStep(*window, tcptargets::targets[i]); });
        devices.remove(name);
    }
    window->tcpSocket->abort();
    return all;
}

QVector<Samples> timeCycles(runner::Devices &devices, int runs, bool warmUp)
{
    auto window = quietWindow();
    QVector<Samples> all;

    // Nothing anywhere: the window shows nothing before and after.
    window->CheckUsbList();
    all << timeRuns("cycle-none", runs, warmUp, *window, QString(), {}, [&] { runner::runCycle(*window); });

    // Everything there: the serial device takes the cycle.
    QStringList names;
    names << plugSerial(devices, 0) << plugUsb(devices);
    for (int i = 0; i < runner::netPlaceCount; ++i)
        names << startNet(devices, i);
    all << timeRuns("cycle-all", runs, warmUp, *window, QLatin1String(serialLicence), {},
                    [&] { runner::runCycle(*window); });
    devices.remove(names.takeFirst());
    devices.remove(names.takeFirst());
    window->serialPort->close();

    // Everything but serial: a newly plugged USB device and the three network devices; the
    // last of them (192.168.10.1) is what stays on screen. A run counts only when the USB
    // device was asked as well.
    window->CheckUsbList();
    QString usb;
    all << timeRuns(
        "cycle-no-serial", runs, warmUp, *window, QLatin1String(netLicence), [&] { usb = plugUsb(devices); },
        [&] { runner::runCycle(*window); },
        [&] {
            devices.remove(usb);
            window->CheckUsbList();
        },
        [&] { return receivedRequest(devices, usb); });
    for (const QString &name : qAsConst(names))
        devices.remove(name);
    window->tcpSocket->abort();
    return all;
}

} // namespace bench
