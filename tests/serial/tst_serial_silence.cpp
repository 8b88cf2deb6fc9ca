// Devices that fall silent. Silent on its own IMEI command for 3000 ms, a device is asked
// once more with "AT*MRD_IMEI=R"; silent on that too, it gets "指令接收失败10000！" and no
// licence command. Silent on the licence command for 10000 ms, kinds 0 to 2 say
// "指令接收失败！" and kind 3 says nothing. Without a licence the screen keeps what it showed.
// Each binary runs one group of cases (QUORVANE_TEST_GROUP), so CTest waits them out side by side.
#include "tests/serial/serialtest.h"

using namespace testsupport;

namespace {

struct SilentCase
{
    int group;
    const char *name;
    int kind;
    int silentImeiCommands; // 0: answers its own; 1: answers the second command; 2: neither
    bool licenceAnswered;
    const char *wire;
    const char *message; // empty: none
    int waitsMs;         // the waits QuerySerial spends
};

constexpr SilentCase silentCases[] = {
    {0, "fallback, kind 0 repeats its own command", 0, 1, true,
     "AT*MRD_IMEI=R\r\nAT*MRD_IMEI=R\r\nAT*KESET=26\r\n", "", 3000},
    {0, "fallback, kind 1", 1, 1, true, "AT+CGSN\r\nAT*MRD_IMEI=R\r\nAT+NCSN?\r\n", "", 3000},
    {1, "fallback, kind 2", 2, 1, true, "AT+EGMR=0\r\nAT*MRD_IMEI=R\r\nAT*MRD_SN=R\r\n", "", 3000},
    {1, "no IMEI reply", 1, 2, true, "AT+CGSN\r\nAT*MRD_IMEI=R\r\n", "指令接收失败10000！", 6000},
    {2, "no licence reply, kind 0", 0, 0, false, "AT*MRD_IMEI=R\r\nAT*KESET=26\r\n", "指令接收失败！", 10000},
    {3, "no licence reply, kind 3", 3, 0, false, "AT*MRD_SN=R\r\n", "", 10000},
};

} // namespace

class TestSerialSilence : public QObject
{
    Q_OBJECT

private slots:

    void silentDevice_data()
    {
        QTest::addColumn<int>("index");
        for (int index = 0; index < int(std::size(silentCases)); ++index)
            if (silentCases[index].group == QUORVANE_TEST_GROUP)
                QTest::newRow(silentCases[index].name) << index;
    }
    void silentDevice()
    {
        QFETCH(int, index);
        const SilentCase &silent = silentCases[index];
        const SerialPersona &port = serialPersonas[silent.kind];
        FakeSerialPorts ports;
        FakeAtDevice &device = addPersonaPort(ports, silent.kind);
        const Reply imei = Reply::text(imeiReply("990001131234567"));
        if (silent.silentImeiCommands == 0 && port.imeiCommand)
            device.on(port.imeiCommand, imei);
        if (silent.silentImeiCommands == 1) {
            device.once(port.imeiCommand, Reply::silence());
            device.on("AT*MRD_IMEI=R", imei);
        }
        if (silent.licenceAnswered)
            device.on(port.licenceCommand, Reply::text(licenceReplyOfKind(silent.kind)));
        Dialogue dialogue;
        dialogue.showEarlier();

        QVERIFY(dialogue.run());
        QCOMPARE(device.received(), QByteArray(silent.wire));
        const QString message = QString::fromUtf8(silent.message);
        QCOMPARE(dialogue.messages(), message.isEmpty() ? QStringList() : QStringList {message});
        if (!message.isEmpty())
            QCOMPARE(dialogue.statusBar(), message);
        if (silent.licenceAnswered && message.isEmpty()) {
            QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL14.png"), QString::fromLatin1(licence21)));
        } else {
            QVERIFY(dialogue.showsEarlier());
        }
        QUORVANE_VERIFY_WAITS(dialogue.lastQueryMs, silent.waitsMs);
    }
};

QUORVANE_TEST_MAIN(TestSerialSilence, Serial)
#include "tst_serial_silence.moc"
