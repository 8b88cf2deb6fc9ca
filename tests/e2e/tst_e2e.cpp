// The real tool against the device simulator, on an X server of its own: for every kind of
// device the expected label picture reaches the screen with white licence text over it,
// and the device received the tool's dialogue; for one failure per transport the status
// bar changes. The tool draws its window without loading OpenGL.
#include "sim/net/netdevices.h"
#include "tests/e2e/screen.h"
#include "tests/support/testmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace {

constexpr int shortestWaitMs = 200;
// The picture label label_show inside the window, as the window's form places it.
const QRect labelShowGeometry(60, 50, 251, 125);

// The tool as the device simulator runs it, with the devices chosen by `options`.
class SimulatorRun
{
public:
    SimulatorRun(const QString &display, const QStringList &options)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_process.setProcessEnvironment(environment);
        m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("devsim.log")));
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("quorvane.log")));
        m_process.start(QStringLiteral(QUORVANE_DEVSIM),
                        options + QStringList{QStringLiteral("--report"), reportPath(), QStringLiteral("--"),
                                              QStringLiteral(QUORVANE_PROGRAM)});
    }
    ~SimulatorRun() { stop(); }

    bool started() { return m_process.waitForStarted(5000); }

    // Ends the run: the simulator stops the tool and writes its report.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // The bytes the device of `kind` (serial, usb, 9527, 3762) received, from the report.
    QByteArray received(const QString &kind) const
    {
        QFile file(reportPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QJsonArray devices = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("devices")).toArray();
        for (const QJsonValue &device : devices) {
            if (device.toObject().value(QStringLiteral("kind")).toString() == kind)
                return QByteArray::fromHex(device.toObject().value(QStringLiteral("receivedHex")).toString().toLatin1());
        }
        return {};
    }

    QString log() const
    {
        QFile file(m_dir.filePath(QStringLiteral("devsim.log")));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    // The tool's process id, as the simulator reported it when it started the tool.
    qint64 toolPid() const
    {
        const QRegularExpressionMatch started = QRegularExpression(QStringLiteral("\\(pid (\\d+)\\)")).match(log());
        return started.hasMatch() ? started.captured(1).toLongLong() : -1;
    }

private:
    QString reportPath() const { return m_dir.filePath(QStringLiteral("report.json")); }

    QTemporaryDir m_dir;
    QProcess m_process;
};

// The libraries of Qt's X11 platform that prepare windows for OpenGL, as mapped into the
// process `pid`; the window of the tool is drawn without OpenGL and loads none of them.
QStringList openGlIntegrations(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read %1").arg(maps.fileName())};
    QStringList found;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString path = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
        if (line.contains("/xcbglintegrations/") && !found.contains(path))
            found << path;
    }
    return found;
}

// Polls `condition` until it holds or `limitMs` has passed.
bool waitFor(const std::function<bool()> &condition, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        if (condition())
            return true;
        QTest::qWait(shortestWaitMs);
    } while (clock.elapsed() < limitMs);
    return condition();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

    QString display;

    // The whole X screen as it is now.
    static QImage grab()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        return screen ? screen->grabWindow(0).toImage() : QImage();
    }

    // Runs the tool with the devices of `options` until `picture` shows on the screen with
    // white licence text over it; then the device of `kind` must have received `dialogue`.
    void expectLabel(const QStringList &options, const QString &picturePath, const QString &kind,
                     const QByteArray &dialogue)
    {
        const QImage picture(picturePath);
        QVERIFY2(!picture.isNull(), qPrintable(picturePath));
        SimulatorRun run(display, options);
        QVERIFY(run.started());
        QPoint at;
        QRect window;
        int white = 0;
        const bool shown = waitFor([&] {
            const QImage screen = grab();
            window = e2e::windowRect(screen);
            at = e2e::findPicture(screen, picture);
            white = at.isNull() ? 0 : e2e::whiteTextPixels(screen, picture, at, picture.height() * 3 / 4);
            return !at.isNull() && white > 150;
        }, 25000);
        const QStringList openGl = openGlIntegrations(run.toolPid());
        run.stop();
        QVERIFY2(openGl.isEmpty(), qPrintable(openGl.join(QLatin1Char(' '))));
        QVERIFY2(shown, qPrintable(QStringLiteral("%1 not on screen with its text (white pixels %2)\n%3")
                                       .arg(picturePath).arg(white).arg(run.log())));
        qInfo("%s at (%d,%d), %d white text pixels over it", qPrintable(picturePath), at.x(), at.y(), white);
        // Where the window's picture label is (the window is the only one on the screen).
        const QRect labelPlace = labelShowGeometry.translated(window.topLeft());
        QVERIFY2(labelPlace.contains(QRect(at, picture.size())),
                 qPrintable(QStringLiteral("picture at (%1,%2), outside the picture label").arg(at.x()).arg(at.y())));
        const QByteArray received = run.received(kind);
        QVERIFY2(received.startsWith(dialogue), received.toHex().constData());
    }

    // Runs the tool with the failing devices of `options` (presented two seconds after the
    // start) until the status bar changes; then the device of `kind` must have received
    // `dialogue`.
    void expectMessage(const QStringList &options, const QString &kind, const QByteArray &dialogue)
    {
        SimulatorRun run(display, QStringList{QStringLiteral("--start-delay"), QStringLiteral("2")} + options);
        QVERIFY(run.started());
        QRect window;
        QVERIFY(waitFor([&] {
            window = e2e::windowRect(grab());
            return window.width() > 300 && window.height() > 200;
        }, 10000));
        QTest::qWait(500);
        const QImage before = grab();
        const QRect status = e2e::statusRegion(e2e::windowRect(before));
        int changed = 0;
        const bool reported = waitFor([&] {
            changed = e2e::differingPixels(before, grab(), status);
            return changed > 30;
        }, 25000);
        run.stop();
        QVERIFY2(reported, qPrintable(run.log()));
        qInfo("status bar %d,%d %dx%d: %d pixels changed", status.x(), status.y(), status.width(), status.height(), changed);
        const QByteArray received = run.received(kind);
        QVERIFY2(received.startsWith(dialogue), received.toHex().constData());
    }

private slots:
    void initTestCase()
    {
        testsupport::requirePrivateNetwork();
        QVERIFY(!grab().isNull());
        display = qEnvironmentVariable("DISPLAY");
    }

    // A serial device of each port kind; kind 3 is not asked for an IMEI and always shows
    // the same picture.
    void serialDevice_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QByteArray>("dialogue");
        QTest::newRow("USB Serial Device") << 0 << ":/qjpg/res/LBL01.jpg" << QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n");
        QTest::newRow("Unisoc") << 1 << ":/qjpg/res/LBL03.jpg" << QByteArray("AT+CGSN\r\nAT+NCSN?\r\n");
        QTest::newRow("Quectel") << 2 << ":/qjpg/res/LBL08.jpg" << QByteArray("AT+EGMR=0\r\nAT*MRD_SN=R\r\n");
        QTest::newRow("CH340") << 3 << ":/qjpg/res/BKG00.png" << QByteArray("AT*MRD_SN=R\r\n");
    }
    void serialDevice()
    {
        QFETCH(int, kind);
        QFETCH(QString, picture);
        QFETCH(QByteArray, dialogue);
        expectLabel({QStringLiteral("--serial"), QString::number(kind)}, picture, QStringLiteral("serial"), dialogue);
    }
    void serialFault()
    {
        // ERROR to the licence command: "指令接收失败！"
        expectMessage({QStringLiteral("--serial"), QStringLiteral("0"), QStringLiteral("--fault"), QStringLiteral("error")},
                      QStringLiteral("serial"), "AT*MRD_IMEI=R\r\nAT*KESET=26\r\n");
    }

    void usbDevice()
    {
        expectLabel({QStringLiteral("--usb"), QStringLiteral("--usb-after"), QStringLiteral("1")},
                    QStringLiteral(":/qjpg/res/LBL17.png"), QStringLiteral("usb"),
                    QByteArray::fromHex("aaaaaa966900040943024c"));
    }
    void usbFault()
    {
        // A reply whose status fails the check: "校验失败".
        expectMessage({QStringLiteral("--usb"), QStringLiteral("--usb-after"), QStringLiteral("0"),
                       QStringLiteral("--usb-status"), QStringLiteral("41")},
                      QStringLiteral("usb"), QByteArray::fromHex("aaaaaa966900040943024c"));
    }

    void port9527Device()
    {
        expectLabel({QStringLiteral("--at9527")}, QStringLiteral(":/qjpg/res/LBL16.png"), QStringLiteral("9527"),
                    "AT*PROD=1\r\n\rAT*MRD_SN=R\r\n\r");
    }
    void port9527Fault()
    {
        // ERROR to AT*PROD=1: "返回值错误!"
        expectMessage({QStringLiteral("--at9527"), QStringLiteral("--fault"), QStringLiteral("error")},
                      QStringLiteral("9527"), "AT*PROD=1\r\n\r");
    }

    // The same model shows another label at each address.
    void port3762Device_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("picture");
        QTest::newRow("192.168.2.1") << simnet::shellAddress2 << ":/qjpg/res/LBL15.png";
        QTest::newRow("192.168.10.1") << simnet::shellAddress10 << ":/qjpg/res/LBL16.png";
    }
    void port3762Device()
    {
        QFETCH(QString, address);
        QFETCH(QString, picture);
        expectLabel({QStringLiteral("--shell"), address}, picture, QStringLiteral("3762"), shellDialogue());
    }
    void port3762Fault()
    {
        // The VLAN file cannot be read, no licence entry: "(tcp)不支持此机型！"
        expectMessage({QStringLiteral("--shell"), simnet::shellAddress10, QStringLiteral("--fault"), QStringLiteral("error")},
                      QStringLiteral("3762"), shellDialogue());
    }

private:
    static QByteArray shellDialogue()
    {
        return QByteArray(simnet::shellUser) + '\r' + simnet::shellPassword + '\r' + simnet::vlanDefaultsLine + '\r';
    }
};

namespace {

long xserverPid = 0;

void stopOwnXServer() { e2e::stopXServer(xserverPid); }

} // namespace

// The test grabs the screen of its own X server: it runs on that server as a client.
int main(int argc, char **argv)
{
    const e2e::XServer server = e2e::startXServer(640, 480);
    xserverPid = server.pid;
    if (server.display.isEmpty())
        qFatal("cannot start Xvfb (scripts/install-deps installs it)");
    std::atexit(stopOwnXServer);
    const QByteArray display = server.display;
    qputenv("DISPLAY", display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_e2e.moc"
