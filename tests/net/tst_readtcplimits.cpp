// A device that never stops talking: the drain ends after 64 KiB thrown away or 2000 ms,
// the gathering of a reply after 64 KiB or 10000 ms from its first data. The finite streams
// below outlast every limit, so a missing limit shows as a wrong time or size, not a hang.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

namespace {
constexpr int limitBytes = 64 * 1024;

// `count` pieces, `gapMs` apart.
Reply trickle(const QByteArray &piece, int count, int gapMs)
{
    Reply answer;
    for (int i = 0; i < count; ++i)
        answer.then(piece, i == 0 ? 0 : gapMs);
    return answer;
}
} // namespace

class TestReadTcpLimits : public QObject
{
    Q_OBJECT

private slots:

    // Unasked data before the command: a fast talker has 64 KiB thrown away long before
    // 2000 ms; for a slow one the drain gives up after 2000 ms in all.
    void drain_data()
    {
        // drainMs: the drain's own length
        addColumns<Reply, int, int>("talk", "commandAtLeastMs", "drainMs");
        // Sent before the 2000 ms are over: the 64 KiB ended the drain.
        QTest::newRow("64 KiB") << Reply::stream(QByteArray(4096, 'x')) << 0 << 0;
        // 12 s of a byte every 40 ms: sent once 2000 ms are over, well before the talk ends.
        QTest::newRow("2000 ms") << trickle(".", 300, 40) << 1990 << 2000;
    }
    void drain()
    {
        QFETCH(Reply, talk);
        QFETCH(int, commandAtLeastMs);
        QFETCH(int, drainMs);
        const auto [service, screen] = serveConnected(Script().greet(talk).on("CMD", Reply::reset(10)));
        QThread::msleep(200);
        const qint64 start = clockMs();
        screen->window.readTCP(QStringLiteral("CMD"));
        const qint64 took = clockMs() - start;
        QVERIFY(service->waitForReceived(4, 2000));
        // When the service received the command.
        const QList<ConnectionRecord> seen = service->connections();
        QVERIFY(!seen.isEmpty() && !seen.first().lines.isEmpty());
        const qint64 arrival = seen.first().lines.first().atMs - start;
        if (drainMs == 0) // not the 2000 ms cap
            QVERIFY2(arrival < 2000, qPrintable(QString::number(arrival)));
        QUORVANE_VERIFY_DURATION(arrival, commandAtLeastMs, drainMs);
        QUORVANE_VERIFY_DURATION(took, commandAtLeastMs, drainMs);
    }

    // A reply that never pauses is cut at 64 KiB exactly; one that trickles on for ever ends
    // 10000 ms after its first data.
    void gather_data()
    {
        addColumns<Reply, int, int, int, int>("talk", "atLeastMs", "atMostMs", "minSize", "maxSize");
        Reply flood; // 160 KiB in one go, with no gap to end the reply
        for (int i = 0; i < 40; ++i)
            flood.then(QByteArray(4096, 'y'));
        // Cut at 64 KiB, or at the latest by the first 1000 ms gap after the flood.
        QTest::newRow("64 KiB") << flood << 0 << 1000 << limitBytes << limitBytes;
        // One byte every 200 ms for 15 s; 10 s of it, give or take a few.
        QTest::newRow("10000 ms") << trickle("z", 75, 200) << 100 + 10000 << 100 + 10000 << 45 << 52;
    }
    void gather()
    {
        QFETCH(Reply, talk);
        QFETCH(int, atLeastMs);
        QFETCH(int, atMostMs);
        QFETCH(int, minSize);
        QFETCH(int, maxSize);
        const auto [service, screen] = serveConnected(Script().on("CMD", talk));
        QElapsedTimer clock;
        clock.start();
        const QString reply = screen->window.readTCP(QStringLiteral("CMD"));
        const qint64 took = clock.elapsed();
        QUORVANE_VERIFY_DURATION(took, atLeastMs, atMostMs);
        QVERIFY2(reply.size() >= minSize && reply.size() <= maxSize,
                 qPrintable(QString::number(reply.size())));
        QCOMPARE(reply.count(reply.at(0)), reply.size());
    }

    // A port-9527 device that talks without end from the moment it is connected: the whole
    // dialogue still ends, with the error of a reply without "OK".
    void endlessDeviceDialogueEnds()
    {
        NETTEST_START(service, atServiceAddress, atServicePort,
                      Script().greet(Reply::stream("0123456789abcdef0123456789abcdef")));
        QuietWindow screen;
        screen.showEarlier();

        QElapsedTimer clock;
        clock.start();
        QVERIFY(connectTarget(screen.window, atServiceAddress));
        screen.window.QueryTcp9527();
        // The two 500 ms pauses; the drain and the reply end at 64 KiB each.
        QUORVANE_VERIFY_WAITS(clock.elapsed(), 1000);
        QCOMPARE(screen.statusBar(), wrongReply);
        QVERIFY(screen.cleared());
        // The command went out although the device never fell silent.
        QVERIFY(service->waitForReceived(12, 1000));
        QCOMPARE(service->received(), QByteArray("AT*PROD=1\r\n\r"));
    }
};

QUORVANE_TEST_MAIN(TestReadTcpLimits, None)
#include "tst_readtcplimits.moc"
