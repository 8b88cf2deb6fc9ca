// The AT dialogue with devices that answer at once or within a continuation: commands on
// the wire byte for byte, markers and offsets, the model variant of one device against
// the next, replies that show nothing, and devices pulled out.
#include "tests/serial/serialtest.h"

using namespace testsupport;

namespace {

QByteArray kesetReply(const QByteArray &field)
{
    return "\r\n+KESET: 26," + field + "\r\n\r\nOK\r\n";
}

// The kind's own two commands: its IMEI command (none for kind 3) answered as that kind
// answers with `imei`, then its licence command answered with `licence`.
Script chat(int kind, const QByteArray &imei, const Reply &licence)
{
    const SerialPersona &persona = serialPersonas[kind];
    Script script;
    if (persona.imeiCommand)
        script.on(persona.imeiCommand, Reply::text(persona.imeiReply(imei)));
    return script.on(persona.licenceCommand, licence);
}
Script chat(int kind, const QByteArray &imei, const QByteArray &licence)
{
    return chat(kind, imei, Reply::text(licence));
}

// Puts the script on a port of the kind, strict: any other command stops the test there.
// Returns the device and the bytes the dialogue should send it: the script's commands in
// the order they were written.
std::pair<FakeAtDevice &, QByteArray> addScriptedPort(FakeSerialPorts &ports, int kind, Script script)
{
    QByteArray wire;
    for (const QByteArray &command : script.requests())
        wire += command + "\r\n";
    FakeAtDevice &device = addPersonaPort(ports, kind);
    device.setScript(script.strict());
    return {device, wire};
}

} // namespace

class TestSerialDialogue : public QObject
{
    Q_OBJECT

private slots:

    // One whole dialogue per row: what goes on the wire, and what is shown.
    void dialogueShowsTheLicence_data()
    {
        addColumns<int, Script, QString, QString>("kind", "script", "picture", "text");
        const QString licence = QString::fromLatin1(licence21);

        QTest::newRow("kind 0, KESET")
            << 0 << chat(0, "990001011234567", kesetReply(licence21 + "XYZ")) << "LBL01.jpg" << licence;
        QTest::newRow("kind 0, row 10 asks USERDATAR")
            << 0
            << Script()
                   .on("AT*MRD_IMEI=R", Reply::text(imeiReply("990001101234567")))
                   .on("AT+USERDATAR=1,21", Reply::text(okLine("+USERDATAR:21," + licence21)))
            << "LBL10.jpg" << licence;
        QTest::newRow("kind 1, 4 bytes skipped behind AT+NCSN?")
            << 1 << chat(1, "990001031234567", licenceReplyOfKind(1)) << "LBL03.jpg" << licence;
        QTest::newRow("kind 1, row 10 still asks NCSN")
            << 1 << chat(1, "990001101234567", licenceReplyOfKind(1)) << "LBL10.jpg" << licence;
        QTest::newRow("kind 2, behind 2010,")
            << 2 << chat(2, "990001051234567", licenceReplyOfKind(2)) << "LBL05.jpg" << licence;
        QTest::newRow("kind 3, no IMEI, one byte skipped behind MRD_SN:")
            << 3 << chat(3, QByteArray(), licenceReplyOfKind(3)) << "BKG00.png" << licence;
        QTest::newRow("a shorter field carries the line ends")
            << 0 << chat(0, "990001021234567", kesetReply("SHORT1234")) << "LBL02.jpg"
            << "SHORT1234\r\n\r\nOK\r\n";
        QTest::newRow("a zero byte ends the field")
            << 0 << chat(0, "990001041234567", kesetReply(QByteArray("ABC\0DEFGHIJKLMNOPQRSTU", 22)))
            << "LBL04.jpg"
            << "ABC";
        QTest::newRow("UTF-8 in the field") // 4 * 3 + 9 = 21 bytes
            << 0 << chat(0, "990001081234567", kesetReply("入网许可ABCDEFGHI")) << "LBL08.jpg"
            << QStringLiteral("入网许可ABCDEFGHI");
        // Replies that come in parts: the continuation gathers them.
        QTest::newRow("replies in chunks")
            << 0
            << Script()
                   .on("AT*MRD_IMEI=R",
                       Reply::text("\r\n*MRD_IMEI:99000").then("1061234567\r\n", 40).then("\r\nOK\r\n", 40))
                   .on("AT*KESET=26",
                       Reply::text("\r\n+KESET: 26,ABCDEFG").then("HIJKLMNOPQRSTU\r\n\r\nOK\r\n", 40))
            << "LBL06.jpg" << licence;
        // "ok" in the first part of a licence reply, in any case and inside any word, ends
        // the reading there: the text is cut from that part alone.
        const auto cutAtOk = [](const QByteArray &first) {
            return chat(0, "990001011234567",
                        Reply::text("\r\n+KESET: 26," + first).then("MORE\r\n\r\nOK\r\n", 40));
        };
        QTest::newRow("OK inside TOKEN") << 0 << cutAtOk("TOKEN123") << "LBL01.jpg"
                                         << "TOKEN123";
        QTest::newRow("lower case ok") << 0 << cutAtOk("book") << "LBL01.jpg"
                                       << "book";
        QTest::newRow("mixed case ok") << 0 << cutAtOk("xOk") << "LBL01.jpg"
                                       << "xOk";
    }
    void dialogueShowsTheLicence()
    {
        QFETCH(int, kind);
        QFETCH(Script, script);
        QFETCH(QString, picture);
        QFETCH(QString, text);
        FakeSerialPorts ports;
        const auto [device, wire] = addScriptedPort(ports, kind, script);
        Dialogue dialogue;

        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), wire);
        QCOMPARE(dialogue.text->text(), text);
        QVERIFY(dialogue.showsPicture(QStringLiteral(":/qjpg/res/") + picture));
        QVERIFY(dialogue.said.isEmpty());
        QVERIFY(dialogue.window.serialPort->isOpen()); // closed by the next cycle
    }

    // Replies that show no licence. An unknown model says so and clears both labels,
    // without a licence command; a licence reply without its marker is reported as
    // a failed reply by kinds 0 to 2 and passed over in silence by kind 3, as for no
    // reply at all; an empty field shows nothing. Only the unknown model clears the screen.
    void dialogueShowsNoLicence_data()
    {
        // message: empty for none
        addColumns<int, Script, QString, bool>("kind", "script", "message", "cleared");
        const QString unsupported = QStringLiteral("不支持此机型！");
        const QString failed = QStringLiteral("指令接收失败！");

        QTest::newRow("unknown TAC") << 0
                                     << Script().on("AT*MRD_IMEI=R",
                                                    Reply::text(imeiReply("860001011234567")))
                                     << unsupported << true;
        QTest::newRow("TAC cut in two by a line end")
            << 0 << Script().on("AT*MRD_IMEI=R", Reply::text(okLine("9900\r\n0101"))) << unsupported << true;
        // ERROR in the IMEI reply: no continuation, so a TAC that follows later is not seen.
        QTest::newRow("ERROR skips the IMEI continuation")
            << 0
            << Script().on("AT*MRD_IMEI=R",
                           Reply::text("\r\nERROR\r\n").then("990001071234567\r\n\r\nOK\r\n", 40))
            << unsupported << true;
        QTest::newRow("error in a word skips it too")
            << 0
            << Script().on("AT*MRD_IMEI=R",
                           Reply::text("\r\nno_error_yet:").then("990001071234567\r\n\r\nOK\r\n", 40))
            << unsupported << true;
        QTest::newRow("kind 0, no marker")
            << 0 << chat(0, "990001011234567", okLine("+KESET: 25,ABCDEFGHIJKLMNOPQRSTUVW")) << failed
            << false;
        QTest::newRow("kind 0, USERDATAR, no marker")
            << 0
            << Script()
                   .on("AT*MRD_IMEI=R", Reply::text(imeiReply("990001101234567")))
                   .on("AT+USERDATAR=1,21", Reply::text(okLine("+KESET: 26,ABCDEFGHIJKLMNOPQRSTU")))
            << failed << false;
        QTest::newRow("kind 1, no marker")
            << 1 << chat(1, "990001031234567", okLine("+NCSN: ABCDEFGHIJKLMNOPQRSTUVWXYZ")) << failed
            << false;
        QTest::newRow("kind 2, ERROR") << 2
                                       << Script()
                                              .on("AT+EGMR=0", Reply::text(okLine("990001051234567")))
                                              .on("AT*MRD_SN=R", Reply::text("\r\nERROR\r\n"))
                                       << failed << false;
        QTest::newRow("kind 3, no marker")
            << 3 << chat(3, QByteArray(), okLine("SN: ABCDEFGHIJKLMNOPQRSTUVWXYZ")) << QString() << false;
        QTest::newRow("empty field") << 0 << chat(0, "990001011234567", kesetReply(QByteArray())) << QString()
                                     << false;
    }
    void dialogueShowsNoLicence()
    {
        QFETCH(int, kind);
        QFETCH(Script, script);
        QFETCH(QString, message);
        QFETCH(bool, cleared);
        FakeSerialPorts ports;
        const auto [device, wire] = addScriptedPort(ports, kind, script);
        Dialogue dialogue;
        dialogue.showEarlier();

        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), wire);
        QCOMPARE(dialogue.messages(), message.isEmpty() ? QStringList() : QStringList {message});
        if (!message.isEmpty())
            QCOMPARE(dialogue.statusBar(), message);
        QVERIFY(cleared ? dialogue.cleared() : dialogue.showsEarlier());
    }

    // The model variant of an earlier device does not choose the licence command
    // of the next one.
    void modelVariantDoesNotLeak()
    {
        FakeSerialPorts ports;
        FakeAtDevice &device = addPersonaPort(ports, 0);
        device.on("AT*MRD_IMEI=R", Reply::text(imeiReply("990001101234567")));
        device.on("AT+USERDATAR=1,21", Reply::text(okLine("+USERDATAR:21,ROW10ROW10ROW10ROW10RO")));
        device.on("AT*KESET=26", Reply::text(kesetReply(licence21)));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), QByteArray("AT*MRD_IMEI=R\r\nAT+USERDATAR=1,21\r\n"));
        QCOMPARE(dialogue.text->text(), QStringLiteral("ROW10ROW10ROW10ROW10R"));

        // The row 10 device goes, a row 1 device comes to the same port.
        device.on("AT*MRD_IMEI=R", Reply::text(imeiReply("990001011234567")));
        device.clearReceived();
        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), QByteArray("AT*MRD_IMEI=R\r\nAT*KESET=26\r\n"));
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL01.jpg"), QString::fromLatin1(licence21)));
    }

    // Unplugged while the dialogue runs: the next wait fails before its time-out (10000 ms
    // for the licence, twice 3000 ms for the IMEI; the slack is less than either) and its
    // step's message is shown; the next cycle finds no port.
    void unplugged_data()
    {
        addColumns<int, Reply, QString>("kind", "imeiReply", "message");
        QTest::newRow("after the IMEI reply")
            << 0 << Reply::text(imeiReply("990001011234567")).thenUnplug(20) << "指令接收失败！";
        QTest::newRow("instead of the IMEI reply") << 2 << Reply::unplug(10) << "指令接收失败10000！";
    }
    void unplugged()
    {
        QFETCH(int, kind);
        QFETCH(Reply, imeiReply);
        QFETCH(QString, message);
        FakeSerialPorts ports;
        FakeAtDevice &device =
            addAnsweringPort(ports, kind, imeiReply, Reply::text(licenceReplyOfKind(kind)));
        Dialogue dialogue;
        QVERIFY(dialogue.run());
        QCOMPARE(dialogue.messages(), QStringList {message});
        QVERIFY(dialogue.cleared());
        QVERIFY(!device.isPlugged());
        QUORVANE_VERIFY_WAITS(dialogue.lastQueryMs, 0);
        QVERIFY(!dialogue.window.OpenSerialPort());
    }
};

QUORVANE_TEST_MAIN(TestSerialDialogue, Serial)
#include "tst_serial_dialogue.moc"
