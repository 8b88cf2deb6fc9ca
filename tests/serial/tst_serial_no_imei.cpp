// A device silent on both IMEI attempts: "指令接收失败10000！" after twice 3000 ms, no
// licence command, and the screen keeps what it showed.
#include "tests/serial/serialtest.h"
#include "tests/support/isolation.h"

using namespace serialtest;

class TestSerialNoImei : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    void noReplyToEitherImeiCommand()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 1);
        device.answer("AT+NCSN?", AtReply::text(licenceReplyOfKind(1)));
        Dialogue dialogue;
        dialogue.showEarlier(QStringLiteral(":/qjpg/res/LBL03.jpg"));

        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), QByteArray("AT+CGSN\r\nAT*MRD_IMEI=R\r\n"));
        QCOMPARE(dialogue.messageTexts(), QStringList{QStringLiteral("指令接收失败10000！")});
        QCOMPARE(dialogue.window.statusBar()->currentMessage(), QStringLiteral("指令接收失败10000！"));
        QVERIFY(dialogue.showsEarlier(QStringLiteral(":/qjpg/res/LBL03.jpg")));
        QUORVANE_VERIFY_MS(dialogue.lastQueryMs, 6000, 9000);
    }
};

QUORVANE_SERIAL_TEST_MAIN(TestSerialNoImei)
#include "tst_serial_no_imei.moc"
