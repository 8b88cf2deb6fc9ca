// The three network targets of one detection cycle: their order, their login strings,
// tcpVariant for each shell, and which result stays on screen.
#include "tests/net/netfixture.h"
#include "tests/support/isolation.h"

#include <QtTest>

using namespace simnet;

namespace {
const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
const QString lbl16 = QStringLiteral(":/qjpg/res/LBL16.png");
const QByteArray loggedInCat = QByteArray(shellUser) + '\r' + shellPassword + "\rcat /mnt/RT2860_default_vlan\r";

// One detection cycle, as the poll timer runs it; returns how long it took.
qint64 runCycle(MainWindow &window)
{
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(&window, "dealTimer", Qt::DirectConnection);
    return clock.elapsed();
}
} // namespace

class TestNetCycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    // Nothing answers: three pauses of 500 ms, no message, the screen as it was.
    void noDeviceAnywhere()
    {
        auto window = nettest::quietWindow();
        nettest::showEarlierResult(*window);
        window->tcpVariant = 5;
        QSignalSpy messages(window.get(), &MainWindow::ShowInformationTr);

        const qint64 took = runCycle(*window);
        QVERIFY2(took >= 1500 && took < 2500, qPrintable(QString::number(took)));
        QCOMPARE(messages.size(), 0);
        QCOMPARE(nettest::shownText(*window), QLatin1String(nettest::earlierText));
        QCOMPARE(window->tcpVariant, 5);
    }

    // Both shells answer: the first is queried with tcpVariant 0, the second with 1, and
    // the second result stays on screen.
    void bothShellsInOneCycle()
    {
        NETTEST_START(shell2, shellAddress2, shellPort, loginShell(vlanDefaults("700101-2024-CN-00000A")));
        NETTEST_START(shell10, shellAddress10, shellPort, loginShell(vlanDefaults("700101-2024-CN-00000B")));
        auto window = nettest::quietWindow();
        QSignalSpy messages(window.get(), &MainWindow::ShowInformationTr);

        runCycle(*window);
        QCOMPARE(shell2->received(), loggedInCat);
        QCOMPARE(shell10->received(), loggedInCat);
        QCOMPARE(window->tcpVariant, 1);
        QVERIFY(nettest::showsPicture(*window, lbl16));
        QCOMPARE(nettest::shownText(*window), QStringLiteral("700101-2024-CN-00000B"));
        QCOMPARE(messages.size(), 0);
        // One after the other: the first shell's connection ends before the second begins.
        QVERIFY(shell2->waitForClosedConnections(1, 1000));
        QVERIFY(shell2->connections().first().closedAtMs <= shell10->connections().first().acceptedAtMs);
    }

    // The shell at 192.168.2.1 alone: tcpVariant 0 picks LBL15 for 700101.
    void firstShellAlone()
    {
        NETTEST_START(shell2, shellAddress2, shellPort, loginShell(vlanDefaults("700101-2024-CN-00000A")));
        auto window = nettest::quietWindow();
        window->tcpVariant = 1;

        runCycle(*window);
        QCOMPARE(window->tcpVariant, 0);
        QVERIFY(nettest::showsPicture(*window, lbl15));
        QCOMPARE(nettest::shownText(*window), QStringLiteral("700101-2024-CN-00000A"));
    }

    // The AT service connects without login and leaves tcpVariant alone; a shell answering
    // later in the same cycle replaces its result.
    void atServiceThenShell()
    {
        NETTEST_START(atDevice, atServiceAddress, atServicePort, atService(serialRecordReply(sampleLicence)));
        NETTEST_START(shell10, shellAddress10, shellPort, loginShell(vlanDefaults("700102-2023-CN-004711")));
        auto window = nettest::quietWindow();
        window->tcpVariant = 5;

        runCycle(*window);
        QCOMPARE(atDevice->received(), QByteArray("AT*PROD=1\r\n\rAT*MRD_SN=R\r\n\r"));
        QCOMPARE(shell10->received(), loggedInCat);
        QVERIFY(atDevice->connections().first().closedAtMs <= shell10->connections().first().acceptedAtMs);
        QCOMPARE(window->tcpVariant, 1);
        QVERIFY(nettest::showsPicture(*window, lbl15));
        QCOMPARE(nettest::shownText(*window), QStringLiteral("700102-2023-CN-004711"));
    }

    // A failed login skips that target's dialogue, and the cycle goes on: the AT service's
    // result stays, tcpVariant untouched.
    void failedLoginGoesOn()
    {
        NETTEST_START(atDevice, atServiceAddress, atServicePort, atService(serialRecordReply(sampleLicence)));
        NETTEST_START(shell2, shellAddress2, shellPort,
                      Script(loginShell(vlanDefaults("700102-2023-CN-004711")))
                          .on(shellPassword, Answer::silence()));
        auto window = nettest::quietWindow();
        window->tcpVariant = 5;
        QSignalSpy messages(window.get(), &MainWindow::ShowInformationTr);

        runCycle(*window);
        QCOMPARE(shell2->received(), QByteArray(shellUser) + '\r' + shellPassword + '\r');
        QCOMPARE(window->tcpVariant, 5);
        QVERIFY(nettest::showsPicture(*window, lbl16));
        QCOMPARE(nettest::shownText(*window), QLatin1String(sampleLicence));
        QCOMPARE(messages.size(), 0);
    }
};

QTEST_MAIN(TestNetCycle)
#include "tst_netcycle.moc"
