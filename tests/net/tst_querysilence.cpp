// Devices that accept a command and never answer it: after the 6000 ms wait the dialogues
// report the missing reply and clear the labels.
#include "tests/net/netfixture.h"

using namespace simnet;

class TestQuerySilence : public QObject
{
    Q_OBJECT

private slots:

    void silentDevice_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<Script>("script");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("atLeastMs");

        // drain 100, 6000 without a reply
        QTest::newRow("9527: no acknowledgement")
            << QString::fromLatin1(atServiceAddress) << int(atServicePort)
            << Script().on(serialRecordLine, Reply::text(serialRecordReply(sampleLicence)))
            << nettest::wrongReply << 6100;
        // drain 100, OK, a second of silence; drain 100, 6000 without a reply
        QTest::newRow("9527: no record")
            << QString::fromLatin1(atServiceAddress) << int(atServicePort)
            << Script().on(productionModeLine, Reply::text("\r\nOK\r\n", 10))
            << nettest::unsupported << 7200;
        QTest::newRow("3762: no output")
            << QString::fromLatin1(shellAddress10) << int(shellPort) << Script()
            << nettest::unsupported << 6100;
    }
    void silentDevice()
    {
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(Script, script);
        QFETCH(QString, message);
        QFETCH(int, atLeastMs);
        const QByteArray ip = address.toLatin1();
        NETTEST_START(device, ip.constData(), quint16(port), script);
        auto window = nettest::quietWindow();
        testsupport::WindowProbe(*window).showEarlier();
        window->tcpVariant = 1;
        QSignalSpy messages(window.get(), &MainWindow::ShowInformationTr);
        QVERIFY(nettest::connectStraight(*window, ip.constData(), quint16(port)));

        QElapsedTimer clock;
        clock.start();
        if (port == atServicePort)
            window->QueryTcp9527();
        else
            window->QueryTcp3762();
        const qint64 took = clock.elapsed();

        QUORVANE_VERIFY_WAITS(took, atLeastMs);
        NETTEST_OUTCOME(*window, messages, message, QString(), QString());
    }
};

QUORVANE_TEST_MAIN(TestQuerySilence, None)
#include "tst_querysilence.moc"
