// ConnectTCP's fixed time budget, a target without a listener, and the fresh connection
// that every call makes. Lower bounds are the waits; the upper bounds leave room.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

class TestTcpBudget : public QObject
{
    Q_OBJECT

private slots:

    void withoutLogin_data()
    {
        addColumns<Script, int>("script", "atLeastMs");
        // Two 500 ms pauses; the greeting wait ends as soon as the greeting is there.
        QTest::newRow("greeting at once: the two pauses")
            << Script().greet(Reply::text("\r\nREADY\r\n")) << 1000;
        // Nothing after the connection costs the whole 1000 ms greeting wait.
        QTest::newRow("no greeting: the pauses and the greeting wait") << Script() << 2000;
    }
    void withoutLogin()
    {
        QFETCH(Script, script);
        QFETCH(int, atLeastMs);
        NETTEST_START(atService, atServiceAddress, atServicePort, script);
        QuietWindow screen;

        QElapsedTimer clock;
        clock.start();
        QVERIFY(connectTarget(screen.window, atServiceAddress));
        const qint64 took = clock.elapsed();
        QUORVANE_VERIFY_WAITS(took, atLeastMs);

        // The connection stands, and nothing was sent.
        QCOMPARE(screen.window.tcpSocket->state(), QAbstractSocket::ConnectedState);
        QVERIFY(atService->connections().first().isOpen());
        QVERIFY(atService->received().isEmpty());
    }

    // No listener: refused at once (not timed out), so the call ends soon after its first
    // pause.
    void addressWithoutListener_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::newRow("192.168.0.1:9527") << QByteArray(atServiceAddress);
        QTest::newRow("192.168.2.1:3762") << QByteArray(shellAddress2);
        QTest::newRow("192.168.10.1:3762") << QByteArray(shellAddress10);
    }
    void addressWithoutListener()
    {
        QFETCH(QByteArray, address);
        QuietWindow screen;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!connectTarget(screen.window, address.constData()));
        const qint64 took = clock.elapsed();
        QCOMPARE(screen.window.tcpSocket->error(), QAbstractSocket::ConnectionRefusedError);
        QUORVANE_VERIFY_WAITS(took, 500);
    }

    // Every call closes the previous connection before its pause, and logs in afresh.
    void everyCallStartsAFreshConnection()
    {
        NETTEST_START(shellA, shellAddress2, shellPort, loginShell(vlanDefaults(sampleLicence)));
        QuietWindow screen;
        QVERIFY(connectTarget(screen.window, shellAddress2));
        QVERIFY(connectTarget(screen.window, shellAddress2));

        const QList<ConnectionRecord> seen = shellA->connections();
        QCOMPARE(seen.size(), 2);
        QVERIFY(!seen[0].isOpen());
        QVERIFY(seen[1].isOpen());
        QVERIFY2(seen[1].acceptedAtMs - seen[0].closedAtMs >= 480,
                 qPrintable(QString::number(seen[1].acceptedAtMs - seen[0].closedAtMs)));
        QCOMPARE(seen[0].received, login);
        QCOMPARE(seen[1].received, login);
    }

    // A failed connection leaves the socket as it is; the next call still connects. A port
    // text that is no number gives port 0: nothing to connect to, even with the service
    // listening on the right port.
    void aFailedAttemptDoesNotSpoilTheNext()
    {
        QuietWindow screen;
        QVERIFY(!connectTarget(screen.window, atServiceAddress));
        NETTEST_START(atService, atServiceAddress, atServicePort, Script().greet(Reply::text("hi")));
        QVERIFY(!screen.window.ConnectTCP(QLatin1String(atServiceAddress), QStringLiteral("95x7"), QString(),
                                          QString()));
        QVERIFY(!atService->waitForConnections(1, 200));
        QVERIFY(connectTarget(screen.window, atServiceAddress));
        QCOMPARE(atService->connections().size(), 1);
    }
};

QUORVANE_TEST_MAIN(TestTcpBudget, None)
#include "tst_tcpbudget.moc"
