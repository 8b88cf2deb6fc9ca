// How long each network dialogue (ConnectTCP and the query) takes, next to the sum of the
// waits it must make; printed for the record, and held to a lower bound with room above.
#include "tests/net/netfixture.h"

using namespace simnet;

namespace {
// 500 pause, 1000 greeting wait, 500 pause; twice 100 drain + 1000 gap; the device answers
// each command after 20 ms.
constexpr int at9527WaitsMs = 500 + 1000 + 500 + 2 * (100 + 1000) + 2 * 20;
// 500 + 500 pauses, the shell's chunks (10 + 60 for the user name, 10 + 60 for the password,
// 10 + 60 for the output), 100 drain + 1000 gap.
constexpr int shellWaitsMs = 500 + 500 + 3 * (10 + 60) + 100 + 1000;
} // namespace

class TestNetDurations : public QObject
{
    Q_OBJECT

private slots:

    void dialogue_data()
    {
        QTest::addColumn<bool>("at9527"); // else 192.168.2.1:3762
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("waitsMs");  // the tool's own waits plus the device's pauses
        QTest::newRow("9527, no greeting") << true << atService(serialRecordReply(sampleLicence)) << at9527WaitsMs;
        QTest::newRow("3762, full shell") << false << loginShell(vlanDefaults(sampleLicence)) << shellWaitsMs;
    }
    void dialogue()
    {
        QFETCH(bool, at9527);
        QFETCH(Script, script);
        QFETCH(int, waitsMs);
        const char *address = at9527 ? atServiceAddress : shellAddress2;
        NETTEST_START(device, address, at9527 ? atServicePort : shellPort, script);
        nettest::QuietWindow screen;

        QElapsedTimer clock;
        clock.start();
        QVERIFY(nettest::connectTarget(screen.window, address));
        if (at9527) {
            screen.window.QueryTcp9527();
        } else {
            screen.window.tcpVariant = 0;
            screen.window.QueryTcp3762();
        }
        const qint64 took = clock.elapsed();
        QCOMPARE(screen.text->text(), QLatin1String(sampleLicence));

        qInfo("%s: %lld ms, waits %d ms, %lld ms more", QTest::currentDataTag(), took, waitsMs, took - waitsMs);
        QUORVANE_VERIFY_WAITS(took, waitsMs);
    }

    // A whole cycle with all three devices answering.
    void cycle()
    {
        NETTEST_START(atDevice, atServiceAddress, atServicePort, atService(serialRecordReply(sampleLicence)));
        NETTEST_START(shell2, shellAddress2, shellPort, loginShell(vlanDefaults(sampleLicence)));
        NETTEST_START(shell10, shellAddress10, shellPort, loginShell(vlanDefaults(sampleLicence)));
        nettest::QuietWindow screen;
        const qint64 took = nettest::runCycle(screen.window);
        const int waits = at9527WaitsMs + 2 * shellWaitsMs;
        qInfo("cycle with all three devices: %lld ms, waits %d ms", took, waits);
        QUORVANE_VERIFY_WAITS(took, waits);
    }
};

QUORVANE_TEST_MAIN(TestNetDurations, None)
#include "tst_netdurations.moc"
