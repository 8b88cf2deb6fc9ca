// readTCP: the bytes of a command on the wire, the drain of what came unasked, the
// gathering of a reply until a second of silence, the zero byte, and no reply at all.
#include "tests/net/netfixture.h"
#include "tests/support/isolation.h"

#include <QtTest>

using namespace simnet;

class TestReadTcp : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    // The window's socket connected to a fresh service playing `script`.
    std::unique_ptr<FakeTcpService> serve(const Script &script)
    {
        return nettest::serveConnected(script, &window);
    }

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }
    void cleanup() { window.reset(); }

    // UTF-8 and one carriage return behind, nothing else.
    void commandBytes_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("AT command with its own CR LF") << QStringLiteral("AT*PROD=1\r\n")
                                                       << QByteArray("AT*PROD=1\x0D\x0A\x0D");
        QTest::newRow("shell command") << QStringLiteral("cat /mnt/RT2860_default_vlan")
                                       << QByteArray("cat /mnt/RT2860_default_vlan\x0D");
        QTest::newRow("UTF-8") << QStringLiteral("echo 许可")
                               << QByteArray("echo \xE8\xAE\xB8\xE5\x8F\xAF\x0D");
    }
    void commandBytes()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, wire);
        const auto service = serve(Script().otherwise(Answer::reply("\r\nOK\r\n", 10)));
        QCOMPARE(window->readTCP(command), QStringLiteral("\r\nOK\r\n"));
        QCOMPARE(service->received(), wire);
    }

    // Leftovers of the login and prompts never reach the reply.
    void leftoversAreDrained()
    {
        const auto service = serve(Script()
                                       .greet(Answer::reply("Password: ").then("\r\n# ", 50))
                                       .on("CMD", Answer::reply("answer\r\n", 20)));
        QThread::msleep(300); // the leftovers are there, unread
        QCOMPARE(window->readTCP(QStringLiteral("CMD")), QStringLiteral("answer\r\n"));
    }

    // Data that comes after an earlier reply was complete is thrown away by the next call.
    void lateDataOfAnEarlierCommandIsDrained()
    {
        const auto service = serve(Script()
                                       .on("FIRST", Answer::reply("first", 10).then("late", 1500))
                                       .on("SECOND", Answer::reply("second", 10)));
        QCOMPARE(window->readTCP(QStringLiteral("FIRST")), QStringLiteral("first"));
        QThread::msleep(800); // "late" arrives meanwhile
        QCOMPARE(window->readTCP(QStringLiteral("SECOND")), QStringLiteral("second"));
    }

    // Chunks less than 1000 ms apart belong to one reply; the first gap of 1000 ms ends it.
    void replyEndsAtTheFirstSecondOfSilence()
    {
        const auto service = serve(Script()
                                       .on("CMD", Answer::reply("a", 10).then("b", 700).then("c", 700).then("d", 1300))
                                       .on("NEXT", Answer::reply("n", 10)));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(window->readTCP(QStringLiteral("CMD")), QStringLiteral("abc"));
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= 100 + 1400 + 1000 && took < 3300, qPrintable(QString::number(took)));
        QThread::msleep(500); // "d" arrives meanwhile, and is drained
        QCOMPARE(window->readTCP(QStringLiteral("NEXT")), QStringLiteral("n"));
    }

    // The first data may take its time, up to 6000 ms.
    void slowFirstDataIsWaitedFor()
    {
        const auto service = serve(Script().on("CMD", Answer::reply("late but in time", 2500)));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(window->readTCP(QStringLiteral("CMD")), QStringLiteral("late but in time"));
        QVERIFY(clock.elapsed() >= 2500 + 1000);
    }

    void zeroByteCutsTheText()
    {
        const auto service = serve(Script().on("CMD", Answer::reply(QByteArray("700101\0hidden\r\nOK", 17), 10)));
        QCOMPARE(window->readTCP(QStringLiteral("CMD")), QStringLiteral("700101"));
    }

    void silenceGivesAnEmptyReply()
    {
        const auto service = serve(Script());
        QElapsedTimer clock;
        clock.start();
        const QString reply = window->readTCP(QStringLiteral("CMD"));
        const qint64 took = clock.elapsed();
        QVERIFY(reply.isEmpty());
        QVERIFY2(took >= 100 + 6000 && took < 7000, qPrintable(QString::number(took)));
    }

    // A reset instead of a reply is no reply.
    void resetGivesAnEmptyReply()
    {
        const auto service = serve(Script().on("CMD", Answer::reset(10)));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(window->readTCP(QStringLiteral("CMD")).isEmpty());
        QVERIFY(clock.elapsed() < 1500);
    }
};

QTEST_MAIN(TestReadTcp)
#include "tst_readtcp.moc"
