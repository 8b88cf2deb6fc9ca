// A device that never stops talking. The continuation reads end at 64 KiB of
// reply or after 2000 ms in all, and the dialogue goes on with what it has read.
#include "tests/serial/serialtest.h"
#include "tests/support/logcapture.h"

#include "serial/serialreply.h"

using namespace testsupport;

class TestSerialEndless : public QObject
{
    Q_OBJECT

private slots:
    // A slow stream after the IMEI reply, or a licence reply without "ok" that goes on
    // for ever: read for 2000 ms, then on with what was read.
    void endlessReplyEndsAfter2000ms_data()
    {
        addColumns<Reply, Reply, QString>("imei", "licence", "picture");
        QTest::newRow("IMEI reply")
            << Reply::text("\r\n*MRD_IMEI:990001011234567\r\n").thenStream("+CREG: 1\r\n", 20, 20)
            << Reply::text(licenceReplyOfKind(0), 30) << "LBL01.jpg";
        QTest::newRow("licence reply")
            << Reply::text(imeiReply("990001131234567"))
            << Reply::text("\r\n+KESET: 26," + licence21).thenStream("\r\n+CSQ: 31,99", 25, 25)
            << "LBL14.png";
    }
    void endlessReplyEndsAfter2000ms()
    {
        QFETCH(Reply, imei);
        QFETCH(Reply, licence);
        QFETCH(QString, picture);
        FakeSerialPorts ports;
        FakeAtDevice &device = addAnsweringPort(ports, 0, imei, licence);
        Dialogue dialogue;

        QVERIFY(dialogue.run());
        QUORVANE_VERIFY_WAITS(dialogue.lastQueryMs, 2000);
        QCOMPARE(device.received(), QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n"));
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/") + picture, QString::fromLatin1(licence21)));
    }

    // A flood: the reply stops growing at 64 KiB, long before 2000 ms: the logged reply
    // holds 64 KiB, where 2000 ms of the flood would be megabytes. Should the device's
    // thread be starved for 100 ms before it has written 64 KiB (its write log says so),
    // the line really was silent and the reply may end there, with what came before.
    void floodingImeiReplyEndsAt64KiB()
    {
        FakeSerialPorts ports;
        const FakeAtDevice &device = addAnsweringPort(
            ports, 0, Reply::text("990001021234567,").thenStream(QByteArray(2048, '7'), 1, 1),
            Reply::text(licenceReplyOfKind(0), 30));
        Dialogue dialogue;
        const LogCapture log;

        QVERIFY(dialogue.run());
        QUORVANE_VERIFY_WAITS(dialogue.lastQueryMs, 0);
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL02.jpg"), QString::fromLatin1(licence21)));
        // The log line is the label, a space and the reply in quotes.
        const QStringList loggedImeiReplies = log.lines().filter(QStringLiteral("读到的readdata："));
        QCOMPARE(loggedImeiReplies.size(), 1);
        const int logged = loggedImeiReplies.first().size() - QStringLiteral("读到的readdata： \"\"").size();
        const QList<FakeAtDevice::Write> writes = device.writes();
        const qint64 silentFromMs = lastWriteBeforeSilence(writes, 0, 100, clockMs());
        int writtenBeforeSilence = 0;
        for (int i = 0; i < writes.size() && (silentFromMs < 0 || writes.at(i).atMs <= silentFromMs); ++i)
            writtenBeforeSilence += writes.at(i).bytes;
        if (writtenBeforeSilence >= licencetext::replyLimitBytes) {
            QCOMPARE(logged, licencetext::replyLimitBytes);
        } else {
            qInfo("the device fell silent after %d bytes", writtenBeforeSilence);
            QVERIFY2(logged >= writtenBeforeSilence && logged <= licencetext::replyLimitBytes,
                     qPrintable(QString::number(logged)));
        }
    }
};

QUORVANE_TEST_MAIN(TestSerialEndless, Serial)
#include "tst_serial_endless.moc"
