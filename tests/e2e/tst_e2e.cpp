// The real tool against the device simulator, on an X server of its own: for every kind of
// device the expected label picture reaches the screen with white licence text over it,
// and the device received the tool's dialogue; for one failure per transport the status
// bar changes. The tool draws its window without loading OpenGL.
#include "sim/net/netdevices.h"
#include "tests/e2e/run.h"
#include "runner/screenimage.h"
#include "runner/xserver.h"
#include "tests/support/testmain.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <string_view>

using namespace std::string_view_literals;

namespace {

// Every run: the test function (and data row) it is, the simulator's devices, the label
// picture that must show with white licence text over it (none: the devices fail, two
// seconds after the start, and the status bar must change), and the start of what the
// device of `kind` must have received (none: the shell's login).
struct Case
{
    const char *function;
    const char *tag;
    const char *devices;
    const char *picture;
    const char *kind;
    std::string_view dialogue;
};
constexpr std::string_view serialKeset = "AT*MRD_IMEI=R\r\nAT*KESET=26\r\n"sv;
constexpr std::string_view usbRequest = "\xaa\xaa\xaa\x96\x69\x00\x04\x09\x43\x02\x4c"sv;
constexpr Case cases[] = {
    // A serial device of each port kind; kind 3 is not asked for an IMEI and always shows
    // the same picture.
    {"serialDevice", "USB Serial Device", "--serial 0", "LBL01.jpg", "serial", serialKeset},
    {"serialDevice", "Unisoc", "--serial 1", "LBL03.jpg", "serial", "AT+CGSN\r\nAT+NCSN?\r\n"},
    {"serialDevice", "Quectel", "--serial 2", "LBL08.jpg", "serial", "AT+EGMR=0\r\nAT*MRD_SN=R\r\n"},
    {"serialDevice", "CH340", "--serial 3", "BKG00.png", "serial", "AT*MRD_SN=R\r\n"},
    // ERROR to the licence command: "指令接收失败！"
    {"serialFault", nullptr, "--serial 0 --fault error", nullptr, "serial", serialKeset},
    {"usbDevice", nullptr, "--usb --usb-after 1", "LBL17.png", "usb", usbRequest},
    // A reply whose status fails the check: "校验失败".
    {"usbFault", nullptr, "--usb --usb-after 0 --usb-status 41", nullptr, "usb", usbRequest},
    {"port9527Device", nullptr, "--at9527", "LBL16.png", "9527", "AT*PROD=1\r\n\rAT*MRD_SN=R\r\n\r"},
    // ERROR to AT*PROD=1: "返回值错误!"
    {"port9527Fault", nullptr, "--at9527 --fault error", nullptr, "9527", "AT*PROD=1\r\n\r"},
    // The same model shows another label at each address.
    {"port3762Device", "192.168.2.1", "--shell 192.168.2.1", "LBL15.png", "3762", {}},
    {"port3762Device", "192.168.10.1", "--shell 192.168.10.1", "LBL16.png", "3762", {}},
    // The VLAN file cannot be read, no licence entry: "(tcp)不支持此机型！"
    {"port3762Fault", nullptr, "--shell 192.168.10.1 --fault error", nullptr, "3762", {}},
};

// The shell's login, as its persona has it: user, password, the VLAN file's command.
const QByteArray shellDialogue =
    QByteArray(simnet::shellUser) + '\r' + simnet::shellPassword + '\r' + simnet::vlanDefaultsLine + '\r';
// The picture label label_show inside the window, as the window's form places it.
const QRect labelShowGeometry(60, 50, 251, 125);
// Grabbing and searching the screen is costly: a look every 200 ms.
constexpr int screenPollMs = 200;

// The libraries of Qt's X11 platform that prepare windows for OpenGL, as mapped into the
// tool, whose process id the simulator says when it starts it; the window of the tool is
// drawn without OpenGL and loads none of them.
QStringList openGlIntegrations(const testsupport::Run &run)
{
    const QRegularExpressionMatch started =
        QRegularExpression(QStringLiteral("\\(pid (\\d+)\\)")).match(QString::fromUtf8(run.read("out")));
    QFile maps(QStringLiteral("/proc/%1/maps").arg(started.captured(1)));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("cannot read %1").arg(maps.fileName())};
    const QStringList lines = QString::fromLocal8Bit(maps.readAll()).split('\n');
    QStringList found = lines.filter(QStringLiteral("/xcbglintegrations/"));
    found.replaceInStrings(QRegularExpression(QStringLiteral("^[^/]*")), QString()); // the paths alone
    found.removeDuplicates();
    return found;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

    // The whole X screen as it is now.
    static QImage grab()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        return screen ? screen->grabWindow(0).toImage() : QImage();
    }

    // Waits until `picture` shows on the screen with white licence text over it, inside the
    // window's picture label; the tool must load no OpenGL.
    static void expectLabel(testsupport::Run &run, const QString &picturePath)
    {
        const QImage picture(picturePath);
        QVERIFY2(!picture.isNull(), qPrintable(picturePath));
        QPoint at;
        QRect window;
        int white = 0;
        const bool shown = testsupport::waitFor(
            [&] {
                const QImage screen = grab();
                window = runner::windowRect(screen);
                at = runner::findPicture(screen, picture);
                white =
                    at.isNull() ? 0 : runner::whiteTextPixels(screen, picture, at, picture.height() * 3 / 4);
                return !at.isNull() && white > 150;
            },
            25000, {}, screenPollMs);
        const QStringList openGl = openGlIntegrations(run);
        run.stop();
        QVERIFY2(openGl.isEmpty(), qPrintable(openGl.join(QLatin1Char(' '))));
        QVERIFY2(shown,
                 qPrintable(QStringLiteral("%1 not on screen with its text (white pixels %2)\n%3")
                                .arg(picturePath)
                                .arg(white)
                                .arg(QString::fromUtf8(run.read("out")))));
        qInfo("%s at (%d,%d), %d white text pixels over it", qPrintable(picturePath), at.x(), at.y(), white);
        // Where the window's picture label is (the window is the only one on the screen).
        const QRect labelPlace = labelShowGeometry.translated(window.topLeft());
        QVERIFY2(
            labelPlace.contains(QRect(at, picture.size())),
            qPrintable(
                QStringLiteral("picture at (%1,%2), outside the picture label").arg(at.x()).arg(at.y())));
    }

    // Waits for the window, then until its status bar changes.
    static void expectMessage(testsupport::Run &run)
    {
        QVERIFY(testsupport::waitFor(
            [&] {
                const QRect window = runner::windowRect(grab());
                return window.width() > 300 && window.height() > 200;
            },
            10000, {}, screenPollMs));
        QTest::qWait(500);
        const QImage before = grab();
        const QRect status = runner::statusRegion(runner::windowRect(before));
        int changed = 0;
        const bool reported = testsupport::waitFor(
            [&] {
                changed = runner::differingPixels(before, grab(), status);
                return changed > 30;
            },
            25000, {}, screenPollMs);
        run.stop();
        QVERIFY2(reported, run.read("out").constData());
        qInfo("status bar %d,%d %dx%d: %d pixels changed", status.x(), status.y(), status.width(),
              status.height(), changed);
    }

    // The rows of the test function `function`, from its data function.
    static void addRows(const char *function)
    {
        QTest::addColumn<int>("row");
        for (const Case &test : cases) {
            if (qstrcmp(test.function, function) == 0)
                QTest::newRow(test.tag) << int(&test - cases);
        }
    }

    // Runs the case of the test function running now (of its row, for one with rows), then
    // checks what the device received.
    static void runCase()
    {
        const Case &test = *std::find_if(std::begin(cases), std::end(cases), [](const Case &c) {
            return qstrcmp(c.function, QTest::currentTestFunction()) == 0
                && qstrcmp(c.tag, QTest::currentDataTag()) == 0;
        });
        testsupport::Run run(QString::fromLatin1(test.picture ? "" : "--start-delay 2 ") + test.devices);
        QVERIFY(run.process.waitForStarted(5000));
        if (test.picture)
            expectLabel(run, QStringLiteral(":/qjpg/res/") + test.picture);
        else
            expectMessage(run);
        if (QTest::currentTestFailed())
            return;
        const QByteArray dialogue = test.dialogue.empty()
            ? shellDialogue
            : QByteArray(test.dialogue.data(), int(test.dialogue.size()));
        const QByteArray received = run.received(QLatin1String(test.kind));
        QVERIFY2(received.startsWith(dialogue), received.toHex().constData());
    }

private slots:
    void initTestCase()
    {
        testsupport::requirePrivateNetwork();
        QVERIFY(!grab().isNull());
    }

    void serialDevice_data() { addRows("serialDevice"); }
    void serialDevice() { runCase(); }
    void serialFault() { runCase(); }
    void usbDevice() { runCase(); }
    void usbFault() { runCase(); }
    void port9527Device() { runCase(); }
    void port9527Fault() { runCase(); }
    void port3762Device_data() { addRows("port3762Device"); }
    void port3762Device() { runCase(); }
    void port3762Fault() { runCase(); }
};

// The test grabs the screen of its own X server: it runs on that server as a client, and
// so does the tool it starts.
int main(int argc, char **argv)
{
    static const runner::XServer server = runner::startXServer(640, 480);
    if (server.display.isEmpty())
        qFatal("cannot start Xvfb (scripts/install-deps installs it)");
    std::atexit([] { runner::stopXServer(server.pid); });
    qputenv("DISPLAY", server.display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
    TestEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_e2e.moc"
