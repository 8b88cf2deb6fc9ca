// readTCP: the bytes of a command on the wire, the drain of what came unasked, the
// gathering of a reply until a second of silence, the zero byte, and no reply at all.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

class TestReadTcp : public QObject
{
    Q_OBJECT

private slots:

    // The command goes out as UTF-8 with one carriage return behind, nothing else; the reply
    // ends a second after its last data and is cut at a zero byte; its first data may take
    // up to 6000 ms; silence or a reset is no reply, a reset at once.
    void reply_data()
    {
        // atLeastMs: the waits; the reset's row ends long before the 6000 ms wait
        addColumns<QString, Reply, QByteArray, QString, int>("command", "answer", "wire", "reply",
                                                             "atLeastMs");

        const Reply ok = Reply::text("\r\nOK\r\n", 10);
        const QString okText = QStringLiteral("\r\nOK\r\n");
        QTest::newRow("AT command with its own CR LF")
            << QStringLiteral("AT*PROD=1\r\n") << ok << QByteArray("AT*PROD=1\x0D\x0A\x0D") << okText << 1000;
        QTest::newRow("shell command") << QStringLiteral("cat /mnt/RT2860_default_vlan") << ok
                                       << QByteArray("cat /mnt/RT2860_default_vlan\x0D") << okText << 1000;
        QTest::newRow("UTF-8") << QStringLiteral("echo 许可") << ok
                               << QByteArray("echo \xE8\xAE\xB8\xE5\x8F\xAF\x0D") << okText << 1000;
        QTest::newRow("zero byte cuts the text")
            << QStringLiteral("CMD") << Reply::text(QByteArray("700101\0hidden\r\nOK", 17), 10)
            << QByteArray("CMD\r") << QStringLiteral("700101") << 1000;
        QTest::newRow("reset gives an empty reply")
            << QStringLiteral("CMD") << Reply::reset(10) << QByteArray("CMD\r") << QString() << 0;
        QTest::newRow("slow first data is waited for")
            << QStringLiteral("CMD") << Reply::text("late but in time", 2500) << QByteArray("CMD\r")
            << QStringLiteral("late but in time") << 2500 + 1000;
        QTest::newRow("silence gives an empty reply")
            << QStringLiteral("CMD") << Reply::silence() << QByteArray("CMD\r") << QString() << 100 + 6000;
    }
    void reply()
    {
        QFETCH(QString, command);
        QFETCH(Reply, answer);
        QFETCH(QByteArray, wire);
        QFETCH(QString, reply);
        QFETCH(int, atLeastMs);
        const auto [service, screen] = serveConnected(Script().otherwise(answer));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(screen->window.readTCP(command), reply);
        const qint64 took = clock.elapsed();
        QUORVANE_VERIFY_WAITS(took, atLeastMs);
        QCOMPARE(service->received(), wire);
    }

    // Leftovers of the login and prompts never reach the reply.
    void leftoversAreDrained()
    {
        const auto [service, screen] = serveConnected(Script()
                                                          .greet(Reply::text("Password: ").then("\r\n# ", 50))
                                                          .on("CMD", Reply::text("answer\r\n", 20)));
        QThread::msleep(300); // the leftovers are there, unread
        QCOMPARE(screen->window.readTCP(QStringLiteral("CMD")), QStringLiteral("answer\r\n"));
    }

    // Data that comes after an earlier reply was complete is thrown away by the next call.
    void lateDataOfAnEarlierCommandIsDrained()
    {
        const auto [service, screen] =
            serveConnected(Script()
                               .on("FIRST", Reply::text("first", 10).then("late", 1500))
                               .on("SECOND", Reply::text("second", 10)));
        QCOMPARE(screen->window.readTCP(QStringLiteral("FIRST")), QStringLiteral("first"));
        QThread::msleep(800); // "late" arrives meanwhile
        QCOMPARE(screen->window.readTCP(QStringLiteral("SECOND")), QStringLiteral("second"));
    }

    // Chunks less than 1000 ms apart belong to one reply; the first gap of 1000 ms ends it.
    void replyEndsAtTheFirstSecondOfSilence()
    {
        const auto [service, screen] =
            serveConnected(Script()
                               .on("CMD", Reply::text("a", 10).then("b", 700).then("c", 700).then("d", 1300))
                               .on("NEXT", Reply::text("n", 10)));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(screen->window.readTCP(QStringLiteral("CMD")), QStringLiteral("abc"));
        const qint64 took = clock.elapsed();
        QUORVANE_VERIFY_WAITS(took, 100 + 1400 + 1000);
        QThread::msleep(500); // "d" arrives meanwhile, and is drained
        QCOMPARE(screen->window.readTCP(QStringLiteral("NEXT")), QStringLiteral("n"));
    }
};

QUORVANE_TEST_MAIN(TestReadTcp, None)
#include "tst_readtcp.moc"
