#include "devsim/run.h"
#include "runner/devices.h"
#include "runner/process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <atomic>
#include <functional>
#include <csignal>

namespace devsim {

namespace {

std::atomic<bool> stopRequested {false};

void requestStop(int)
{
    stopRequested = true;
}

void say(const QString &line)
{
    runner::say("devsim", line);
}

class Run : public QObject
{
public:
    explicit Run(const Settings &settings)
        : m_settings(settings)
    {
    }

    int exec()
    {
        const QStringList &program = m_settings.program;
        if (!program.isEmpty()) {
            m_child.setProcessEnvironment(m_devices.processEnvironment());
            m_child.setProcessChannelMode(QProcess::ForwardedChannels);
            QObject::connect(&m_child, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                             [this](int code, QProcess::ExitStatus status) {
                                 say(QStringLiteral("%1 ended (%2)")
                                         .arg(m_settings.program.first(),
                                              status == QProcess::NormalExit ? QString::number(code)
                                                                             : QStringLiteral("crashed")));
                                 m_childResult = status == QProcess::NormalExit ? code : 1;
                                 finish();
                             });
            m_child.start(program.first(), program.mid(1));
            if (!m_child.waitForStarted()) {
                say(QStringLiteral("cannot start %1: %2").arg(program.first(), m_child.errorString()));
                return 1;
            }
            say(QStringLiteral("started %1 (pid %2)")
                    .arg(program.join(QLatin1Char(' ')))
                    .arg(m_child.processId()));
        } else {
            const QProcessEnvironment environment = m_devices.processEnvironment();
            say(QStringLiteral("no program given: the devices stay until Ctrl-C. A program sees them in this "
                               "namespace with UMOCKDEV_DIR=%1 LD_PRELOAD=%2")
                    .arg(environment.value(QStringLiteral("UMOCKDEV_DIR")),
                         environment.value(QStringLiteral("LD_PRELOAD"))));
        }
        auto *watch = new QTimer(this);
        QObject::connect(watch, &QTimer::timeout, this, [this] {
            if (stopRequested) {
                say(QStringLiteral("stopped by a signal"));
                finish();
            }
        });
        watch->start(100);
        QTimer::singleShot(m_settings.startDelayMs, this, [this] { startStage(0); });
        return QCoreApplication::exec() == 0 ? m_childResult : 1;
    }

private:
    void startStage(int index)
    {
        if (m_finished)
            return;
        const Stage &stage = m_settings.stages.at(index);
        if (!stage.expect.isEmpty())
            say(QStringLiteral("stage %1 expects %2").arg(stage.name, stage.expect));
        else if (m_settings.stages.size() > 1)
            say(QStringLiteral("stage %1").arg(stage.name));
        m_stage = index;
        m_stageDevices.clear();
        if (!plug(index, stage.usbAfterMs))
            return;
        if (stage.unplugAfterMs >= 0) {
            QTimer::singleShot(stage.unplugAfterMs, this, [this, index, &stage] {
                if (!current(index))
                    return;
                if (stage.replugAfterMs >= 0) {
                    retire(0, [this, index, &stage] {
                        QTimer::singleShot(stage.replugAfterMs, this, [this, index] { replug(index); });
                    });
                    return;
                }
                for (const QString &name : qAsConst(m_stageDevices)) {
                    m_devices.remove(name);
                    say(QStringLiteral("%1 unplugged").arg(name));
                }
            });
        }
        if (stage.lengthMs >= 0)
            QTimer::singleShot(stage.lengthMs, this, [this, index] { endStage(index); });
        if (stage.untilServed)
            whenServed(index, 0);
    }

    // True while the stage is the one being played: late timers of an earlier stage, and
    // every timer after the end, do nothing.
    bool current(int index) const { return !m_finished && index == m_stage; }

    // Presents the stage's devices, the USB device `usbAfterMs` later, and says so. False
    // when one cannot be presented: the run has failed.
    bool plug(int index, int usbAfterMs)
    {
        const Stage &stage = m_settings.stages.at(index);
        QString why;
        QStringList names;
        if (stage.serial)
            names << m_devices.plugSerial(*stage.serial, &why);
        for (const runner::NetChoice &choice : stage.net)
            names << m_devices.startNet(choice, &why);
        if (names.contains(QString())) {
            fail(why);
            return false;
        }
        if (!names.isEmpty())
            say(QStringLiteral("plugged in: %1").arg(names.join(QStringLiteral(", "))));
        m_stageDevices << names;
        if (stage.usb) {
            QTimer::singleShot(usbAfterMs, this, [this, index, &stage] {
                if (!current(index))
                    return;
                QString why;
                const QString name = m_devices.plugUsb(*stage.usb, &why);
                if (name.isEmpty())
                    return fail(why);
                say(QStringLiteral("plugged in: %1").arg(name));
                m_stageDevices << name;
            });
        }
        return true;
    }

    // Ends the stage once its devices have all been served and a moment has passed for the
    // program to show the result.
    void whenServed(int index, int servedForMs)
    {
        constexpr int pollMs = 50;
        constexpr int settleMs = 300;
        if (!current(index))
            return;
        const Stage &stage = m_settings.stages.at(index);
        const int expected = (stage.serial ? 1 : 0) + (stage.usb ? 1 : 0) + stage.net.size();
        bool served = m_stageDevices.size() == expected;
        for (const QString &name : qAsConst(m_stageDevices))
            served = served && m_devices.served(name);
        servedForMs = served ? servedForMs + pollMs : 0;
        if (servedForMs > settleMs) {
            say(QStringLiteral("stage %1 served").arg(stage.name));
            endStage(index);
            return;
        }
        QTimer::singleShot(pollMs, this, [this, index, servedForMs] { whenServed(index, servedForMs); });
    }

    // The stage's devices once more: the serial device on a new port (a port name is
    // never used twice), the network devices at their addresses, the USB device at a new
    // position.
    void replug(int index)
    {
        if (!current(index))
            return;
        say(QStringLiteral("plugging in again"));
        plug(index, 0);
    }

    void endStage(int index)
    {
        if (!current(index))
            return;
        if (!m_settings.shots.isEmpty())
            screenshot(m_settings.stages.at(index).name);
        m_stage = -1; // late plugs and unplugs of this stage are off
        if (index + 1 >= m_settings.stages.size()) {
            say(QStringLiteral("all stages done"));
            QTimer::singleShot(m_settings.lingerMs, this, [this] { finish(); });
            return;
        }
        retire(0, [this, index] { startStage(index + 1); });
    }

    // Pulls the stage's devices out, each once the program is done talking to it (a
    // service stopped in the middle of a dialogue would make the program report a
    // failure that belongs to no stage), then goes on with `next`.
    void retire(int waitedMs, const std::function<void()> &next)
    {
        if (m_finished)
            return;
        constexpr int pollMs = 20;
        constexpr int patienceMs = 15000;
        if (waitedMs == 0) {
            for (const QString &name : qAsConst(m_stageDevices))
                m_devices.leave(name);
        }
        QStringList busy;
        for (const QString &name : qAsConst(m_stageDevices)) {
            if (m_devices.busy(name) && waitedMs < patienceMs)
                busy << name;
            else
                m_devices.remove(name);
        }
        m_stageDevices = busy;
        if (!busy.isEmpty()) {
            QTimer::singleShot(pollMs, this, [this, waitedMs, next] { retire(waitedMs + pollMs, next); });
            return;
        }
        next();
    }

    // The tool's window as it is on the screen now (ImageMagick's import); the whole screen
    // when the window cannot be found by its title.
    void screenshot(const QString &name)
    {
        QDir().mkpath(m_settings.shots);
        const QString file = QDir(m_settings.shots).filePath(name + QStringLiteral(".png"));
        int result = QProcess::execute(QStringLiteral("import"),
                                       {QStringLiteral("-window"), QStringLiteral("QuorvaneV1.10"), file});
        if (result != 0)
            result = QProcess::execute(QStringLiteral("import"),
                                       {QStringLiteral("-window"), QStringLiteral("root"), file});
        say(result == 0 ? QStringLiteral("screenshot %1").arg(file)
                        : QStringLiteral("no screenshot (import failed)"));
    }

    void fail(const QString &why)
    {
        say(QStringLiteral("error: %1").arg(why));
        m_childResult = 1;
        finish();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        if (m_child.state() != QProcess::NotRunning) {
            QObject::disconnect(&m_child, nullptr, this, nullptr);
            runner::stopProcess(m_child, 3000);
            say(QStringLiteral("%1 stopped").arg(m_settings.program.first()));
        }
        if (!m_settings.report.isEmpty()) {
            QFile file(m_settings.report);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(m_devices.report());
            else
                say(QStringLiteral("cannot write the report %1").arg(m_settings.report));
        }
        QCoreApplication::exit(0);
    }

    const Settings m_settings;
    runner::Devices m_devices;
    QProcess m_child;
    int m_stage = -1;
    QStringList m_stageDevices;
    int m_childResult = 0;
    bool m_finished = false;
};

} // namespace

int run(const Settings &settings)
{
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    Run run(settings);
    return run.exec();
}

} // namespace devsim
