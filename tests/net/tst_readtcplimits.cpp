// A device that never stops talking: the drain ends after 64 KiB thrown away or 2000 ms,
// the gathering of a reply after 64 KiB or 10000 ms from its first data. The finite streams
// below outlast every limit, so a missing limit shows as a wrong time or size, not a hang.
#include "tests/net/netfixture.h"
#include "tests/support/isolation.h"

#include <QtTest>

using namespace simnet;

namespace {
constexpr int limitBytes = 64 * 1024;

// `count` pieces, `gapMs` apart.
Answer trickle(const QByteArray &piece, int count, int gapMs)
{
    Answer answer;
    for (int i = 0; i < count; ++i)
        answer.then(piece, i == 0 ? 0 : gapMs);
    return answer;
}
} // namespace

class TestReadTcpLimits : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    std::unique_ptr<FakeTcpService> serve(const Script &script)
    {
        return nettest::serveConnected(script, &window);
    }

    // When the service received the command, in ms after `startMs`.
    static qint64 commandArrival(const FakeTcpService &service, qint64 startMs)
    {
        const QList<ConnectionRecord> seen = service.connections();
        if (seen.isEmpty() || seen.first().lines.isEmpty())
            return -1;
        return seen.first().lines.first().atMs - startMs;
    }

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }
    void cleanup() { window.reset(); }

    // A fast talker: 64 KiB are thrown away long before 2000 ms.
    void drainStopsAfter64KiB()
    {
        const auto service = serve(Script()
                                       .greet(Answer::stream(QByteArray(4096, 'x')))
                                       .on("CMD", Answer::reset(10)));
        QThread::msleep(200);
        const qint64 start = clockMs();
        window->readTCP(QStringLiteral("CMD"));
        QVERIFY(service->waitForReceived(4, 2000));
        const qint64 arrival = commandArrival(*service, start);
        QVERIFY2(arrival >= 0 && arrival < 1500, qPrintable(QString::number(arrival)));
    }

    // A slow talker: the drain gives up after 2000 ms in all.
    void drainStopsAfter2000Ms()
    {
        const auto service = serve(Script()
                                       .greet(trickle(".", 300, 40)) // 12 s of one byte every 40 ms
                                       .on("CMD", Answer::reset(10)));
        const qint64 start = clockMs();
        window->readTCP(QStringLiteral("CMD"));
        const qint64 took = clockMs() - start;
        const qint64 arrival = commandArrival(*service, start);
        QVERIFY2(arrival >= 1990 && arrival < 2600, qPrintable(QString::number(arrival)));
        QVERIFY2(took < 3500, qPrintable(QString::number(took)));
    }

    // A reply that never pauses is cut at 64 KiB exactly.
    void replyStopsAt64KiB()
    {
        Answer flood; // 160 KiB in one go, with no gap to end the reply
        for (int i = 0; i < 40; ++i)
            flood.then(QByteArray(4096, 'y'));
        const auto service = serve(Script().on("CMD", flood));
        QElapsedTimer clock;
        clock.start();
        const QString reply = window->readTCP(QStringLiteral("CMD"));
        QCOMPARE(reply.size(), limitBytes);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    // A reply that trickles on for ever ends 10000 ms after its first data.
    void replyStopsAfter10000Ms()
    {
        const auto service = serve(Script().on("CMD", trickle("z", 75, 200))); // 15 s
        QElapsedTimer clock;
        clock.start();
        const QString reply = window->readTCP(QStringLiteral("CMD"));
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= 100 + 10000 && took < 11500, qPrintable(QString::number(took)));
        // One byte every 200 ms for 10 s, give or take a few.
        QVERIFY2(reply.size() >= 45 && reply.size() <= 52, qPrintable(QString::number(reply.size())));
        QVERIFY(reply.count(QLatin1Char('z')) == reply.size());
    }

    // A port-9527 device that talks without end from the moment it is connected: the whole
    // dialogue still ends, with the error of a reply without "OK".
    void endlessDeviceDialogueEnds()
    {
        QString why;
        const auto service = nettest::startService(
            atServiceAddress, atServicePort,
            Script().greet(Answer::stream("0123456789abcdef0123456789abcdef")), &why);
        QVERIFY2(service, qPrintable(why));
        window = nettest::quietWindow();
        nettest::showEarlierResult(*window);

        QElapsedTimer clock;
        clock.start();
        QVERIFY(window->ConnectTCP(QStringLiteral("192.168.0.1"), QStringLiteral("9527"), QString(), QString()));
        window->QueryTcp9527();
        QVERIFY2(clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(nettest::statusMessage(*window), QStringLiteral("返回值错误!"));
        QVERIFY(nettest::labelsCleared(*window));
        // The command went out although the device never fell silent.
        QVERIFY(service->waitForReceived(12, 1000));
        QCOMPARE(service->received(), QByteArray("AT*PROD=1\r\n\r"));
    }
};

QTEST_MAIN(TestReadTcpLimits)
#include "tst_readtcplimits.moc"
