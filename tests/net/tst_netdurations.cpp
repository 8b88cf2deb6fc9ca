// How long each network dialogue (ConnectTCP and the query) takes, next to the sum of the
// waits it must make; printed for the record, and held to a lower bound with room above.
#include "tests/net/netfixture.h"

using namespace simnet;

class TestNetDurations : public QObject
{
    Q_OBJECT

private slots:

    void dialogue_data()
    {
        QTest::addColumn<int>("target");   // 0: 192.168.0.1:9527, 1: 192.168.2.1:3762
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("waitsMs");  // the tool's own waits plus the device's pauses

        // 500 pause, 1000 greeting wait, 500 pause; twice 100 drain + 1000 gap; the device
        // answers each command after 20 ms.
        QTest::newRow("9527, no greeting") << 0 << atService(serialRecordReply(sampleLicence))
                                           << 500 + 1000 + 500 + 2 * (100 + 1000) + 2 * 20;
        // 500 + 500 pauses, the shell's chunks (10 + 60 for the user name, 10 + 60 for the
        // password, 10 + 60 for the output), 100 drain + 1000 gap.
        QTest::newRow("3762, full shell") << 1 << loginShell(vlanDefaults(sampleLicence))
                                          << 500 + 500 + 3 * (10 + 60) + 100 + 1000;
    }
    void dialogue()
    {
        QFETCH(int, target);
        QFETCH(Script, script);
        QFETCH(int, waitsMs);
        const bool at = target == 0;
        NETTEST_START(device, at ? atServiceAddress : shellAddress2, at ? atServicePort : shellPort, script);
        auto window = nettest::quietWindow();

        QElapsedTimer clock;
        clock.start();
        if (at) {
            QVERIFY(window->ConnectTCP(QStringLiteral("192.168.0.1"), QStringLiteral("9527"), QString(), QString()));
            window->QueryTcp9527();
        } else {
            QVERIFY(window->ConnectTCP(QStringLiteral("192.168.2.1"), QStringLiteral("3762"),
                                       QLatin1String(shellUser), QLatin1String(shellPassword)));
            window->tcpVariant = 0;
            window->QueryTcp3762();
        }
        const qint64 took = clock.elapsed();
        QCOMPARE(testsupport::WindowProbe(*window).text->text(), QLatin1String(sampleLicence));

        qInfo("%s: %lld ms, waits %d ms, %lld ms more", QTest::currentDataTag(), took, waitsMs, took - waitsMs);
        QUORVANE_VERIFY_WAITS(took, waitsMs);
    }

    // A whole cycle with all three devices answering.
    void cycle()
    {
        NETTEST_START(atDevice, atServiceAddress, atServicePort, atService(serialRecordReply(sampleLicence)));
        NETTEST_START(shell2, shellAddress2, shellPort, loginShell(vlanDefaults(sampleLicence)));
        NETTEST_START(shell10, shellAddress10, shellPort, loginShell(vlanDefaults(sampleLicence)));
        auto window = nettest::quietWindow();
        const qint64 took = nettest::runCycle(*window);
        const int waits = (500 + 1000 + 500 + 2 * (100 + 1000) + 2 * 20)
                          + 2 * (500 + 500 + 3 * (10 + 60) + 100 + 1000);
        qInfo("cycle with all three devices: %lld ms, waits %d ms", took, waits);
        QUORVANE_VERIFY_WAITS(took, waits);
    }
};

QUORVANE_TEST_MAIN(TestNetDurations, None)
#include "tst_netdurations.moc"
