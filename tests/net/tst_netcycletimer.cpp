// Cycles driven by the window's own 1000 ms timer never overlap: while one cycle is
// blocked in a network dialogue the timer starts no other, so the devices see their
// connections strictly one after another, each dialogue complete; and no event at all is
// handled before the cycle has returned.
#include "tests/net/netfixture.h"

#include <algorithm>

using namespace simnet;
using namespace testsupport;

class TestNetCycleTimer : public QObject
{
    Q_OBJECT

private slots:

    void cyclesNeverOverlap()
    {
        NETTEST_START(atDevice, atServiceAddress, atServicePort, atService(serialRecordReply(sampleLicence)));
        NETTEST_START(shell10, shellAddress10, shellPort, loginShell(vlanDefaults("700102-2023-CN-004711")));
        MainWindow window; // its poll timer runs
        // Due while the first cycle is blocked in its first dialogue: it can run only
        // once that cycle has returned to the event loop.
        qint64 otherEventAtMs = -1;
        QTimer::singleShot(1500, &window, [&otherEventAtMs] { otherEventAtMs = clockMs(); });

        QElapsedTimer clock;
        clock.start();
        while (shell10->connections().size() < 2 && clock.elapsed() < 40000)
            QTest::qWait(50);
        QVERIFY(shell10->connections().size() >= 2);

        // Every connection either service saw, in the order they began.
        struct Seen
        {
            ConnectionRecord record;
            bool atService;
        };
        QList<Seen> seen;
        for (const ConnectionRecord &record : atDevice->connections())
            seen.append({record, true});
        for (const ConnectionRecord &record : shell10->connections())
            seen.append({record, false});
        std::sort(seen.begin(), seen.end(),
                  [](const Seen &a, const Seen &b) { return a.record.acceptedAtMs < b.record.acceptedAtMs; });
        QVERIFY(seen.size() >= 4);

        for (int i = 0; i + 1 < seen.size(); ++i) {
            const ConnectionRecord &one = seen[i].record;
            const ConnectionRecord &next = seen[i + 1].record;
            // The targets alternate, each dialogue ran to its end before its connection
            // closed, and the next connection came only after the close.
            QVERIFY(seen[i].atService != seen[i + 1].atService);
            QCOMPARE(one.lines.size(), seen[i].atService ? 2 : 3);
            QVERIFY(!one.isOpen());
            QVERIFY2(one.closedAtMs >= one.lastSentAtMs, "a connection closed in the middle of its dialogue");
            QVERIFY2(next.acceptedAtMs >= one.closedAtMs + 480,
                     "a connection began before the previous one ended");
            // Each dialogue spans more than one tick of the timer.
            QVERIFY(one.closedAtMs - one.acceptedAtMs > 1000);
        }
        // A new cycle starts no sooner than the previous one has ended: the same service is
        // reached again only after the whole round of three targets.
        for (int i = 0; i + 2 < seen.size(); ++i)
            QVERIFY(seen[i + 2].record.acceptedAtMs - seen[i].record.acceptedAtMs >= 4000);

        // No wait inside a cycle runs the event loop.
        QVERIFY(otherEventAtMs > 0);
        QVERIFY2(otherEventAtMs >= shell10->connections().first().lastSentAtMs,
                 "an event was handled in the middle of a cycle");

        QCOMPARE(WindowProbe(window).text->text(), QStringLiteral("700102-2023-CN-004711"));
    }
};

QUORVANE_TEST_MAIN(TestNetCycleTimer, None)
#include "tst_netcycletimer.moc"
