// The three network targets of one detection cycle: their order, their login strings,
// tcpVariant for each shell, and which result stays on screen.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

namespace {
const QByteArray loggedInCat = login + "cat /mnt/RT2860_default_vlan\r";
const QByteArray licenceA = "700101-2024-CN-00000A";
const QByteArray licenceB = "700101-2024-CN-00000B";
const QByteArray licence02 = "700102-2023-CN-004711";
} // namespace

class TestNetCycle : public QObject
{
    Q_OBJECT

private slots:

    // Each device present answers with its licence (none: no service at that address).
    // The window starts with tcpVariant 5 and an earlier result on screen.
    void oneCycle_data()
    {
        addColumns<QByteArray, QByteArray, bool, QByteArray, int, QString, QString>(
            "atLicence", "shell2Licence", "shell2LoginFails", "shell10Licence", "variant", "picture", "text");

        const QByteArray none;
        // Three pauses of 500 ms, the screen and tcpVariant as they were.
        QTest::newRow("no device anywhere")
            << none << none << false << none << 5 << earlierPicture << earlierText;
        // The first shell is queried with tcpVariant 0, the second with 1; the second stays.
        QTest::newRow("both shells: the second stays")
            << none << licenceA << false << licenceB << 1 << lbl16 << QString::fromLatin1(licenceB);
        QTest::newRow("192.168.2.1 alone: tcpVariant 0 picks LBL15 for 700101")
            << none << licenceA << false << none << 0 << lbl15 << QString::fromLatin1(licenceA);
        // The AT service leaves tcpVariant alone; a shell answering later replaces its result.
        QTest::newRow("AT service, then a shell replaces its result")
            << QByteArray(sampleLicence) << none << false << licence02 << 1 << lbl15
            << QString::fromLatin1(licence02);
        // A failed login skips that target's dialogue, and the cycle goes on.
        QTest::newRow("a failed login keeps the AT service's result")
            << QByteArray(sampleLicence) << licence02 << true << none << 5 << lbl16
            << QString::fromLatin1(sampleLicence);
    }
    void oneCycle()
    {
        QFETCH(QByteArray, atLicence);
        QFETCH(QByteArray, shell2Licence);
        QFETCH(bool, shell2LoginFails);
        QFETCH(QByteArray, shell10Licence);
        QFETCH(int, variant);
        QFETCH(QString, picture);
        QFETCH(QString, text);

        // The services present, in the order the cycle reaches them, with the bytes each must get.
        std::vector<std::pair<std::unique_ptr<FakeTcpService>, QByteArray>> services;
        QString why;
        if (!atLicence.isEmpty()) {
            services.emplace_back(
                startService(atServiceAddress, atServicePort, atService(serialRecordReply(atLicence)), &why),
                "AT*PROD=1\r\n\rAT*MRD_SN=R\r\n\r");
        }
        if (!shell2Licence.isEmpty()) {
            Script shell = loginShell(vlanDefaults(shell2Licence));
            if (shell2LoginFails)
                shell.on(shellPassword, Reply::silence());
            services.emplace_back(startService(shellAddress2, shellPort, shell, &why),
                                  shell2LoginFails ? login : loggedInCat);
        }
        if (!shell10Licence.isEmpty())
            services.emplace_back(
                startService(shellAddress10, shellPort, loginShell(vlanDefaults(shell10Licence)), &why),
                loggedInCat);
        for (const auto &service : services)
            QVERIFY2(service.first, qPrintable(why));

        QuietWindow screen;
        screen.showEarlier();
        screen.window.tcpVariant = 5;

        const qint64 took = runCycle(screen.window);
        if (services.empty())
            QUORVANE_VERIFY_WAITS(took, 1500);
        NETTEST_OUTCOME(screen, QString(), picture, text);
        QCOMPARE(screen.window.tcpVariant, variant);
        for (int i = 0; i < int(services.size()); ++i) {
            FakeTcpService &service = *services[i].first;
            QCOMPARE(service.received(), services[i].second);
            // One after the other: a connection ends before the next target's begins.
            if (i + 1 < int(services.size())) {
                QVERIFY(service.waitForClosedConnections(1, 1000));
                QVERIFY(service.connections().first().closedAtMs
                        <= services[i + 1].first->connections().first().acceptedAtMs);
            }
        }
    }
};

QUORVANE_TEST_MAIN(TestNetCycle, None)
#include "tst_netcycle.moc"
