// The AT dialogue with devices that answer at once or within a continuation: commands on
// the wire byte for byte, markers and offsets, the model table, the model variant of
// one device against the next, replies without their marker, and devices pulled out.
#include "tests/serial/serialdevices.h"
#include "tests/support/isolation.h"

using namespace serialtest;

namespace {

QByteArray kesetReply(const QByteArray &field)
{
    return "\r\n+KESET: 26," + field + "\r\n\r\nOK\r\n";
}

using Script = QList<QPair<QByteArray, QByteArray>>; // command -> reply at once

FakeAtDevice &addScriptedPort(SerialBench &bench, int kind, const Script &script)
{
    FakeAtDevice &device = addPortOfKind(bench, kind);
    for (const auto &entry : script)
        device.answer(entry.first, AtReply::text(entry.second));
    return device;
}

} // namespace

Q_DECLARE_METATYPE(Script)

class TestSerialDialogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    // One whole dialogue per kind: what goes on the wire, and what is shown.
    void dialogueByKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("modelVariantBefore");
        QTest::addColumn<Script>("script");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("text");

        QTest::newRow("kind 0, KESET")
            << 0 << 0
            << Script{{"AT*MRD_IMEI=R", imeiReply("990001011234567")},
                      {"AT*KESET=26", kesetReply(licence21 + "XYZ")}}
            << QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n") << ":/qjpg/res/LBL01.jpg"
            << QString::fromLatin1(licence21);
        QTest::newRow("kind 0, row 10 asks USERDATAR")
            << 0 << 0
            << Script{{"AT*MRD_IMEI=R", imeiReply("990001101234567")},
                      {"AT+USERDATAR=1,21", okLine("+USERDATAR:21," + licence21)}}
            << QByteArray("AT*MRD_IMEI=R\r\nAT+USERDATAR=1,21\r\n") << ":/qjpg/res/LBL10.jpg"
            << QString::fromLatin1(licence21);
        QTest::newRow("kind 1, 4 bytes skipped behind AT+NCSN?")
            << 1 << 0
            << Script{{"AT+CGSN", okLine("990001031234567")},
                      {"AT+NCSN?", "AT+NCSN?\r\r\n+" + licence21 + "\r\n\r\nOK\r\n"}}
            << QByteArray("AT+CGSN\r\nAT+NCSN?\r\n") << ":/qjpg/res/LBL03.jpg"
            << QString::fromLatin1(licence21);
        QTest::newRow("kind 1 ignores modelVariant 1")
            << 1 << 1
            << Script{{"AT+CGSN", okLine("990001101234567")},
                      {"AT+NCSN?", "AT+NCSN?\r\r\n+" + licence21 + "\r\n\r\nOK\r\n"}}
            << QByteArray("AT+CGSN\r\nAT+NCSN?\r\n") << ":/qjpg/res/LBL10.jpg"
            << QString::fromLatin1(licence21);
        QTest::newRow("kind 2, behind 2010,")
            << 2 << 0
            << Script{{"AT+EGMR=0", okLine("+EGMR: \"990001051234567\"")},
                      {"AT*MRD_SN=R", okLine("*MRD_SN:2010," + licence21)}}
            << QByteArray("AT+EGMR=0\r\nAT*MRD_SN=R\r\n") << ":/qjpg/res/LBL05.jpg"
            << QString::fromLatin1(licence21);
        QTest::newRow("kind 3, no IMEI, one byte skipped behind MRD_SN:")
            << 3 << 0 << Script{{"AT*MRD_SN=R", okLine("*MRD_SN: " + licence21)}}
            << QByteArray("AT*MRD_SN=R\r\n") << ":/qjpg/res/BKG00.png" << QString::fromLatin1(licence21);
        QTest::newRow("a shorter field carries the line ends")
            << 0 << 0
            << Script{{"AT*MRD_IMEI=R", imeiReply("990001021234567")},
                      {"AT*KESET=26", kesetReply("SHORT1234")}}
            << QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n") << ":/qjpg/res/LBL02.jpg"
            << QStringLiteral("SHORT1234\r\n\r\nOK\r\n");
        QTest::newRow("a zero byte ends the field")
            << 0 << 0
            << Script{{"AT*MRD_IMEI=R", imeiReply("990001041234567")},
                      {"AT*KESET=26", kesetReply(QByteArray("ABC\0DEFGHIJKLMNOPQRSTU", 22))}}
            << QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n") << ":/qjpg/res/LBL04.jpg"
            << QStringLiteral("ABC");
        QTest::newRow("UTF-8 in the field")
            << 0 << 0
            << Script{{"AT*MRD_IMEI=R", imeiReply("990001081234567")},
                      {"AT*KESET=26", kesetReply("入网许可ABCDEFGHI")}}
            << QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n") << ":/qjpg/res/LBL08.jpg"
            << QStringLiteral("入网许可ABCDEFGHI"); // 4 * 3 + 9 = 21 bytes
    }
    void dialogueByKind()
    {
        QFETCH(int, kind);
        QFETCH(int, modelVariantBefore);
        QFETCH(Script, script);
        QFETCH(QByteArray, wire);
        QFETCH(QString, picture);
        QFETCH(QString, text);

        SerialBench bench;
        FakeAtDevice &device = addScriptedPort(bench, kind, script);
        Dialogue dialogue;
        dialogue.window.modelVariant = modelVariantBefore;

        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.window.serialKind, kind);
        QCOMPARE(device.received(), wire);
        QCOMPARE(dialogue.text->text(), text);
        QVERIFY(dialogue.shows(picture));
        QVERIFY(dialogue.messages.isEmpty());
        QVERIFY(dialogue.window.serialPort->isOpen()); // closed by the next cycle
    }

    // Replies that come in parts: the continuation gathers them.
    void continuationGathersChunks()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R",
                      AtReply::text("\r\n*MRD_IMEI:99000").then("1061234567\r\n", 40).then("\r\nOK\r\n", 40));
        device.answer("AT*KESET=26", AtReply::text("\r\n+KESET: 26,ABCDEFG").then("HIJKLMNOPQRSTU\r\n\r\nOK\r\n", 40));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL06.jpg")));
        QCOMPARE(dialogue.text->text(), QString::fromLatin1(licence21));
    }

    // "ok" in the first part of a licence reply, in any case and inside any word, ends
    // the reading there: the text is cut from that part alone.
    void okInFirstLicenceReadEndsIt_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QString>("text");
        QTest::newRow("OK inside TOKEN") << QByteArray("\r\n+KESET: 26,TOKEN123") << "TOKEN123";
        QTest::newRow("lower case ok") << QByteArray("\r\n+KESET: 26,book") << "book";
        QTest::newRow("mixed case") << QByteArray("\r\n+KESET: 26,xOk") << "xOk";
    }
    void okInFirstLicenceReadEndsIt()
    {
        QFETCH(QByteArray, first);
        QFETCH(QString, text);
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text(imeiReply("990001011234567")));
        device.answer("AT*KESET=26", AtReply::text(first).then("MORE\r\n\r\nOK\r\n", 40));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.text->text(), text);
    }

    // The first row of the table wins, whatever order the TACs have in the reply; rows
    // 9 to 12 set modelVariant, the others leave it at 0.
    void modelTable_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<int>("modelVariant");
        const char *pictures[] = {"LBL01.jpg", "LBL02.jpg", "LBL03.jpg", "LBL04.jpg", "LBL05.jpg",
                                  "LBL06.jpg", "LBL07.jpg", "LBL08.jpg", "LBL09.png", "LBL10.jpg",
                                  "LBL11.png", "LBL12.png", "LBL14.png"};
        const int variants[] = {0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 2, 2, 0};
        for (int row = 1; row <= 13; ++row) {
            const QByteArray tac = "990001" + QByteArray::number(row).rightJustified(2, '0');
            QTest::addRow("row %d", row) << imeiReply(tac + "0900001") << QStringLiteral(":/qjpg/res/") + pictures[row - 1]
                                         << variants[row - 1];
        }
        QTest::newRow("two TACs: table order wins")
            << okLine("990001131234567,990001021234567") << ":/qjpg/res/LBL02.jpg" << 0;
        QTest::newRow("TAC inside a longer run") << okLine("SN 7799000111888") << ":/qjpg/res/LBL11.png" << 2;
        QTest::newRow("row 12 above 300315") << imeiReply("990001120300316") << ":/qjpg/res/LBL12.png" << 2;
        QTest::newRow("row 12 at 300315") << imeiReply("990001120300315") << ":/qjpg/res/LBL13.png" << 2;
        QTest::newRow("row 12 without a 15-digit run")
            << okLine("99000112 0300316") << ":/qjpg/res/LBL13.png" << 2;
        QTest::newRow("row 12: first 15-digit run decides")
            << okLine("1234567890123456 990001120999999 990001120000001") << ":/qjpg/res/LBL12.png" << 2;
    }
    void modelTable()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, picture);
        QFETCH(int, modelVariant);
        SerialBench bench;
        addScriptedPort(bench, 1, Script{{"AT+CGSN", reply}, {"AT+NCSN?", licenceReplyOfKind(1)}});
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QVERIFY2(dialogue.shows(picture), qPrintable(picture));
        QCOMPARE(dialogue.window.modelVariant, modelVariant);
    }

    // An unknown model, or a reply that only says ERROR: the message, both labels cleared,
    // and no licence command.
    void unsupportedModel_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("unknown TAC") << imeiReply("860001011234567");
        QTest::newRow("ERROR") << QByteArray("\r\nERROR\r\n");
        QTest::newRow("TAC cut in two by a line end") << okLine("9900\r\n0101");
    }
    void unsupportedModel()
    {
        QFETCH(QByteArray, reply);
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text(reply));
        Dialogue dialogue;
        dialogue.window.ShowLicenceLabel(QStringLiteral(":/qjpg/res/LBL01.jpg"), QStringLiteral("EARLIER"));
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.messageTexts(), QStringList{QStringLiteral("不支持此机型！")});
        QCOMPARE(dialogue.window.statusBar()->currentMessage(), QStringLiteral("不支持此机型！"));
        QVERIFY(dialogue.showsNothing());
        QCOMPARE(device.received(), QByteArray("AT*MRD_IMEI=R\r\n"));
    }

    // ERROR in the IMEI reply: no continuation, so a TAC that follows later is not seen.
    void errorSkipsTheImeiContinuation_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<bool>("supported");
        QTest::newRow("ERROR") << QByteArray("\r\nERROR\r\n") << false;
        QTest::newRow("error in a word") << QByteArray("\r\nno_error_yet:") << false;
        QTest::newRow("no error: the continuation reads on") << QByteArray("\r\n*MRD_IMEI:") << true;
    }
    void errorSkipsTheImeiContinuation()
    {
        QFETCH(QByteArray, first);
        QFETCH(bool, supported);
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text(first).then("990001071234567\r\n\r\nOK\r\n", 40));
        device.answer("AT*KESET=26", AtReply::text(kesetReply(licence21)));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.shows(QStringLiteral(":/qjpg/res/LBL07.jpg")), supported);
        QCOMPARE(dialogue.messageTexts().contains(QStringLiteral("不支持此机型！")), !supported);
    }

    // An empty licence field: nothing shown, nothing said.
    void emptyLicenceFieldShowsNothing()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text(imeiReply("990001011234567")));
        device.answer("AT*KESET=26", AtReply::text("\r\n+KESET: 26,\r\n\r\nOK\r\n"));
        Dialogue dialogue;
        dialogue.window.ShowLicenceLabel(QStringLiteral(":/qjpg/res/LBL05.jpg"), QStringLiteral("EARLIER"));
        QVERIFY(dialogue.run());
        QVERIFY(dialogue.messages.isEmpty());
        QCOMPARE(dialogue.text->text(), QStringLiteral("EARLIER"));
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL05.jpg")));
    }

    // The model variant of an earlier device does not choose the licence command
    // of the next one.
    void modelVariantDoesNotLeak()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text(imeiReply("990001101234567")));
        device.answer("AT+USERDATAR=1,21", AtReply::text(okLine("+USERDATAR:21,ROW10ROW10ROW10ROW10RO")));
        device.answer("AT*KESET=26", AtReply::text(kesetReply(licence21)));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.window.modelVariant, 1);
        QCOMPARE(dialogue.text->text(), QStringLiteral("ROW10ROW10ROW10ROW10R"));

        // The row 10 device goes, a row 1 device comes to the same port.
        device.answer("AT*MRD_IMEI=R", AtReply::text(imeiReply("990001011234567")));
        device.clearReceived();
        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n"));
        QCOMPARE(dialogue.window.modelVariant, 0);
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL01.jpg")));
        QCOMPARE(dialogue.text->text(), QString::fromLatin1(licence21));
    }

    // A licence reply without its marker shows nothing; kinds 0 to 2 report it as
    // a failed reply, kind 3 stays silent, as for no reply at all.
    void licenceWithoutMarker_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("reported");
        QTest::newRow("kind 0") << 0
                                << Script{{"AT*MRD_IMEI=R", imeiReply("990001011234567")},
                                          {"AT*KESET=26", okLine("+KESET: 25,ABCDEFGHIJKLMNOPQRSTUVW")}}
                                << true;
        QTest::newRow("kind 0, USERDATAR") << 0
                                << Script{{"AT*MRD_IMEI=R", imeiReply("990001101234567")},
                                          {"AT+USERDATAR=1,21", okLine("+KESET: 26,ABCDEFGHIJKLMNOPQRSTU")}}
                                << true;
        QTest::newRow("kind 1") << 1
                                << Script{{"AT+CGSN", okLine("990001031234567")},
                                          {"AT+NCSN?", okLine("+NCSN: ABCDEFGHIJKLMNOPQRSTUVWXYZ")}}
                                << true;
        QTest::newRow("kind 2") << 2
                                << Script{{"AT+EGMR=0", okLine("990001051234567")},
                                          {"AT*MRD_SN=R", QByteArray("\r\nERROR\r\n")}}
                                << true;
        QTest::newRow("kind 3") << 3 << Script{{"AT*MRD_SN=R", okLine("SN: ABCDEFGHIJKLMNOPQRSTUVWXYZ")}}
                                << false;
    }
    void licenceWithoutMarker()
    {
        QFETCH(int, kind);
        QFETCH(Script, script);
        QFETCH(bool, reported);
        SerialBench bench;
        addScriptedPort(bench, kind, script);
        Dialogue dialogue;
        dialogue.window.ShowLicenceLabel(QStringLiteral(":/qjpg/res/LBL09.png"), QStringLiteral("EARLIER"));
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.messageTexts(),
                 reported ? QStringList{QStringLiteral("指令接收失败！")} : QStringList());
        QCOMPARE(dialogue.text->text(), QStringLiteral("EARLIER"));
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL09.png")));
    }

    // Unplugged while the dialogue runs: the next wait fails and its step's message is
    // shown; the next cycle finds no port.
    void unpluggedAfterTheImeiReply()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 0);
        device.answer("AT*MRD_IMEI=R", AtReply::text(imeiReply("990001011234567")).thenUnplug(20));
        device.answer("AT*KESET=26", AtReply::text(kesetReply(licence21)));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.messageTexts(), QStringList{QStringLiteral("指令接收失败！")});
        QVERIFY(dialogue.showsNothing());
        QVERIFY(!device.isPlugged());
        QVERIFY2(dialogue.lastQueryMs < 9000, "a hung-up port fails the wait before its time-out");
        QVERIFY(!dialogue.window.OpenSerialPort());
    }

    void unpluggedInsteadOfTheImeiReply()
    {
        SerialBench bench;
        FakeAtDevice &device = addPortOfKind(bench, 2);
        device.answer("AT+EGMR=0", AtReply::unplug(10));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.messageTexts(), QStringList{QStringLiteral("指令接收失败10000！")});
        QVERIFY(dialogue.lastQueryMs < 5000);
    }
};

QUORVANE_SERIAL_TEST_MAIN(TestSerialDialogue)
#include "tst_serial_dialogue.moc"
