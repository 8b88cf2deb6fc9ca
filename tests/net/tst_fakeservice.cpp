// The fake network device itself, seen through a plain socket: what the simulator and the
// other tests rely on.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

namespace {
// Reads whatever arrives within `ms`, as one read.
QByteArray nextRead(QTcpSocket &socket, int ms)
{
    return socket.waitForReadyRead(ms) ? socket.readAll() : QByteArray();
}
} // namespace

class TestFakeService : public QObject
{
    Q_OBJECT

private slots:

    // Greeting, chunks after their pauses as separate reads, lines split at CR, exact records,
    // and a script changed on the way.
    void playsItsScriptAndRecords()
    {
        NETTEST_START(service, atServiceAddress, atServicePort,
                      Script()
                          .greet(Reply::text("hello"))
                          .on("ONE", Reply::text("a", 10).then("b", 300))
                          .on("ONE", Reply::text("first", 10)) // replaces the rule above
                          .on("TWO", Reply::text("a", 10).then("b", 300))
                          .otherwise(Reply::text("?", 10)));
        QTcpSocket socket;
        QVERIFY(connectStraight(socket));
        QCOMPARE(nextRead(socket, 1000), QByteArray("hello"));

        socket.write("ONE\r\n\r");
        QCOMPARE(nextRead(socket, 1000), QByteArray("first"));
        QElapsedTimer clock;
        clock.start();
        socket.write("TWO\r");
        QCOMPARE(nextRead(socket, 1000), QByteArray("a"));
        QCOMPARE(nextRead(socket, 1000), QByteArray("b"));
        QVERIFY(clock.elapsed() >= 300);
        socket.write("else\r");
        QCOMPARE(nextRead(socket, 1000), QByteArray("?"));
        // A new script holds for the lines that come next.
        service->setScript(Script().on("ONE", Reply::text("new")));
        socket.write("ONE\r");
        QCOMPARE(nextRead(socket, 1000), QByteArray("new"));

        QCOMPARE(service->received(), QByteArray("ONE\r\n\rTWO\relse\rONE\r"));
        QCOMPARE(service->receivedLines(), (QList<QByteArray> {"ONE", "TWO", "else", "ONE"}));
        socket.disconnectFromHost();
        QVERIFY(service->waitForClosedConnections(1, 1000));
        const ConnectionRecord record = service->connections().first();
        QVERIFY(record.acceptedAtMs <= record.lines.first().atMs);
        QVERIFY(record.lastSentAtMs <= record.closedAtMs);
    }

    // An endless stream goes on until the peer leaves; a reset drops the connection; an
    // unplug drops it and stops listening.
    void replyEndings()
    {
        NETTEST_START(service, atServiceAddress, atServicePort,
                      Script()
                          .on("FLOOD", Reply::stream(QByteArray(1024, 'f')))
                          .on("BYE", Reply::text("bye").thenReset(50))
                          .on("PULL", Reply::text("gone").thenUnplug(50)));
        QTcpSocket flooded;
        QVERIFY(connectStraight(flooded));
        flooded.write("FLOOD\r");
        qint64 got = 0;
        QElapsedTimer clock;
        clock.start();
        while (got < 4 * 1024 * 1024 && clock.elapsed() < 5000)
            got += nextRead(flooded, 1000).size();
        QVERIFY2(got >= 4 * 1024 * 1024, qPrintable(QString::number(got)));
        flooded.abort();
        QVERIFY(service->waitForClosedConnections(1, 2000));

        QTcpSocket dropped;
        QVERIFY(connectStraight(dropped));
        dropped.write("BYE\r");
        QCOMPARE(nextRead(dropped, 1000), QByteArray("bye"));
        QVERIFY(!dropped.waitForReadyRead(1000));
        QCOMPARE(dropped.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(service->waitForClosedConnections(2, 1000));

        QTcpSocket pulled;
        QVERIFY(connectStraight(pulled));
        QVERIFY(service->waitForConnections(3, 1000));
        QVERIFY(service->inConversation());
        pulled.write("PULL\r");
        QCOMPARE(nextRead(pulled, 1000), QByteArray("gone"));
        QVERIFY(service->waitForClosedConnections(3, 1000));
        QVERIFY(!service->isListening());
        QVERIFY(!service->inConversation());
    }

    void refusesASecondListenerOnTheSamePort()
    {
        NETTEST_START(service, atServiceAddress, atServicePort, Script());
        FakeTcpService second(QLatin1String(atServiceAddress), atServicePort);
        QString why;
        QVERIFY(!second.start(&why));
        QVERIFY(why.contains(QLatin1String("9527")));
        QVERIFY(service->isListening());
    }
};

QUORVANE_TEST_MAIN(TestFakeService, None)
#include "tst_fakeservice.moc"
