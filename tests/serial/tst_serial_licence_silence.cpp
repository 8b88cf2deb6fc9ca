// A device that does not answer its licence command within 10000 ms: kinds 0 to 2 say
// "指令接收失败！", kind 3 says nothing; the screen keeps what it showed. One kind per
// binary (selected by QUORVANE_TEST_KIND), so that CTest waits them out side by side.
#include "tests/serial/serialtest.h"
#include "tests/support/isolation.h"

using namespace serialtest;

class TestSerialLicenceSilence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    void noReplyToTheLicenceCommand()
    {
        const int kind = QUORVANE_TEST_KIND;
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, kind);
        if (portsOfKind[kind].imeiCommand)
            device.answer(portsOfKind[kind].imeiCommand, AtReply::text(imeiReply("990001091234567")));
        Dialogue dialogue;
        dialogue.showEarlier(QStringLiteral(":/qjpg/res/LBL11.png"));

        QVERIFY(dialogue.run());
        QVERIFY(device.received().endsWith(QByteArray(portsOfKind[kind].licenceCommand) + "\r\n"));
        const QStringList expected = kind == 3 ? QStringList() : QStringList{QStringLiteral("指令接收失败！")};
        QCOMPARE(dialogue.messageTexts(), expected);
        QVERIFY(dialogue.showsEarlier(QStringLiteral(":/qjpg/res/LBL11.png")));
        QUORVANE_VERIFY_MS(dialogue.lastQueryMs, 10000, 13000);
    }
};

QUORVANE_SERIAL_TEST_MAIN(TestSerialLicenceSilence)
#include "tst_serial_licence_silence.moc"
