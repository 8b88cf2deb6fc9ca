// A device silent on its own IMEI command for 3000 ms is asked once more with
// "AT*MRD_IMEI=R"; answering that, it gets its licence label as usual.
#include "tests/serial/serialtest.h"
#include "tests/support/isolation.h"

using namespace serialtest;

class TestSerialFallback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    void fallbackAfterSilence_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("kind 0 repeats its own command")
            << 0 << QByteArray("AT*MRD_IMEI=R\r\nAT*MRD_IMEI=R\r\nAT*KESET=26\r\n");
        QTest::newRow("kind 1") << 1 << QByteArray("AT+CGSN\r\nAT*MRD_IMEI=R\r\nAT+NCSN?\r\n");
        QTest::newRow("kind 2") << 2 << QByteArray("AT+EGMR=0\r\nAT*MRD_IMEI=R\r\nAT*MRD_SN=R\r\n");
    }
    void fallbackAfterSilence()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, wire);
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, kind);
        device.answerOnce(portsOfKind[kind].imeiCommand, AtReply::silence());
        device.answer("AT*MRD_IMEI=R", AtReply::text(imeiReply("990001131234567")));
        device.answer(portsOfKind[kind].licenceCommand, AtReply::text(licenceReplyOfKind(kind)));
        Dialogue dialogue;

        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), wire);
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL14.png")));
        QCOMPARE(dialogue.text->text(), QString::fromLatin1(licence21));
        QVERIFY(dialogue.messages.isEmpty());
        QUORVANE_VERIFY_MS(dialogue.lastQueryMs, 3000, 6000);
    }
};

QUORVANE_SERIAL_TEST_MAIN(TestSerialFallback)
#include "tst_serial_fallback.moc"
