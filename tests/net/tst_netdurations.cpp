// How long each network dialogue (ConnectTCP and the query) takes, next to the sum of the
// waits it must make; printed for the record, and held to a lower bound with room above.
#include "sim/script/waits.h"
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

namespace {
// The tool's own waits and the devices' pauses (sim/script/waits.h lists them one by one).
constexpr int at9527WaitsMs = waits::totalMs(*waits::findDialogue("9527"));
constexpr int shellWaitsMs = waits::totalMs(*waits::findDialogue("3762-2"));
static_assert(shellWaitsMs == waits::totalMs(*waits::findDialogue("3762-10")));
} // namespace

class TestNetDurations : public QObject
{
    Q_OBJECT

private slots:

    void dialogue_data()
    {
        // at9527: 192.168.0.1:9527, else 192.168.2.1:3762
        // waitsMs: the tool's own waits plus the device's pauses
        addColumns<bool, Script, int>("at9527", "script", "waitsMs");
        QTest::newRow("9527, no greeting")
            << true << atService(serialRecordReply(sampleLicence)) << at9527WaitsMs;
        QTest::newRow("3762, full shell") << false << loginShell(vlanDefaults(sampleLicence)) << shellWaitsMs;
    }
    void dialogue()
    {
        QFETCH(bool, at9527);
        QFETCH(Script, script);
        QFETCH(int, waitsMs);
        const char *address = at9527 ? atServiceAddress : shellAddress2;
        NETTEST_START(device, address, at9527 ? atServicePort : shellPort, script);
        QuietWindow screen;

        QElapsedTimer clock;
        clock.start();
        QVERIFY(connectTarget(screen.window, address));
        if (at9527) {
            screen.window.QueryTcp9527();
        } else {
            screen.window.tcpVariant = 0;
            screen.window.QueryTcp3762();
        }
        const qint64 took = clock.elapsed();
        QCOMPARE(screen.text->text(), QLatin1String(sampleLicence));

        qInfo("%s: %lld ms, waits %d ms, %lld ms more", QTest::currentDataTag(), took, waitsMs,
              took - waitsMs);
        QUORVANE_VERIFY_WAITS(took, waitsMs);
    }

    // A whole cycle with all three devices answering.
    void cycle()
    {
        NETTEST_START(atDevice, atServiceAddress, atServicePort, atService(serialRecordReply(sampleLicence)));
        NETTEST_START(shell2, shellAddress2, shellPort, loginShell(vlanDefaults(sampleLicence)));
        NETTEST_START(shell10, shellAddress10, shellPort, loginShell(vlanDefaults(sampleLicence)));
        QuietWindow screen;
        const qint64 took = runCycle(screen.window);
        const int waits = at9527WaitsMs + 2 * shellWaitsMs;
        qInfo("cycle with all three devices: %lld ms, waits %d ms", took, waits);
        QUORVANE_VERIFY_WAITS(took, waits);
    }
};

QUORVANE_TEST_MAIN(TestNetDurations, None)
#include "tst_netdurations.moc"
