// A device that never stops talking. The continuation reads end at 64 KiB of
// reply or after 2000 ms in all, and the dialogue goes on with what it has read.
#include "tests/serial/serialdevices.h"
#include "tests/support/isolation.h"

#include "serial/serialreply.h"

using namespace serialtest;

namespace {

// The IMEI replies as the dialogue writes them to the debug log.
QStringList loggedImeiReplies;
QtMessageHandler testLogHandler = nullptr;

void keepImeiReplies(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && message.startsWith(QStringLiteral("读到的readdata：")))
        loggedImeiReplies << message;
    else
        testLogHandler(type, context, message);
}

} // namespace

class TestSerialEndless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QUORVANE_REQUIRE_PRIVATE_NETWORK();
        testLogHandler = qInstallMessageHandler(keepImeiReplies);
    }
    void cleanupTestCase() { qInstallMessageHandler(testLogHandler); }

    // A slow stream after the IMEI reply: read for 2000 ms, then on to the licence.
    void endlessImeiReplyEndsAfter2000ms()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text("\r\n*MRD_IMEI:990001011234567\r\n").thenEndless("+CREG: 1\r\n", 20));
        device.answer("AT*KESET=26", AtReply::text(licenceReplyOfKind(0), 30));
        Dialogue dialogue;

        QVERIFY(dialogue.run());
        QVERIFY2(dialogue.lastQueryMs >= 2000, qPrintable(QString::number(dialogue.lastQueryMs)));
        QVERIFY2(dialogue.lastQueryMs < 4500, qPrintable(QString::number(dialogue.lastQueryMs)));
        QCOMPARE(device.received(), QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n"));
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL01.jpg")));
        QCOMPARE(dialogue.text->text(), QString::fromLatin1(licence21));
    }

    // A flood: the reply stops growing at 64 KiB, long before 2000 ms.
    void floodingImeiReplyEndsAt64KiB()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text("990001021234567,").thenEndless(QByteArray(2048, '7'), 1));
        device.answer("AT*KESET=26", AtReply::text(licenceReplyOfKind(0), 30));
        Dialogue dialogue;
        loggedImeiReplies.clear();

        QVERIFY(dialogue.run());
        QVERIFY2(dialogue.lastQueryMs < 2000, qPrintable(QString::number(dialogue.lastQueryMs)));
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL02.jpg")));
        QCOMPARE(dialogue.text->text(), QString::fromLatin1(licence21));
        // The log line is the label, a space and the reply in quotes.
        QCOMPARE(loggedImeiReplies.size(), 1);
        const int logged = loggedImeiReplies.first().size() - QStringLiteral("读到的readdata： \"\"").size();
        QCOMPARE(logged, serialReplyLimitBytes);
    }

    // A licence reply without "ok" that goes on for ever: cut from what 2000 ms brought.
    void endlessLicenceReplyEndsAfter2000ms()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text(imeiReply("990001131234567")));
        device.answer("AT*KESET=26", AtReply::text("\r\n+KESET: 26," + licence21).thenEndless("\r\n+CSQ: 31,99", 25));
        Dialogue dialogue;

        QVERIFY(dialogue.run());
        QVERIFY2(dialogue.lastQueryMs >= 2000, qPrintable(QString::number(dialogue.lastQueryMs)));
        QVERIFY2(dialogue.lastQueryMs < 4500, qPrintable(QString::number(dialogue.lastQueryMs)));
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL14.png")));
        QCOMPARE(dialogue.text->text(), QString::fromLatin1(licence21));
    }
};

QUORVANE_SERIAL_TEST_MAIN(TestSerialEndless)
#include "tst_serial_endless.moc"
