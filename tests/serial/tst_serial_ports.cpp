// Port choice: the real QSerialPortInfo lists emulated USB serial ports, and the rule
// texts pick one by its description and name.
#include "tests/support/tablerows.h"
#include "tests/serial/serialtest.h"

#include "serial/portrules.h"

#include <QSerialPort>

using namespace testsupport;

namespace {

// Rule texts on match keys (description and name run together); kind -1: no rule.
constexpr struct
{
    const char *tag;
    const char *key;
    int kind;
    int baud;
} matchKeys[] = {
    {"rule 4 Chinese", "USB 串行设备COM3", 3, 1000000},
    {"case matters", "USB Serial deviceCOM5", -1, 0},
    {"Device not before COM", "DeviceX COM5", -1, 0},
    {"port 1 of Unisoc", "Unisoc Usb Serial Port 1COM12", -1, 0},
    {"earlier rule wins", "Quectel USB REPL Port DeviceCOM9", 0, 115200},
    {"empty", "", -1, 0},
    // The descriptions the udev rules' templates give, on Linux port names.
    {"udev Unisoc on ttyUSB2", "Unisoc Usb Serial Port 0COMttyUSB2", 1, 115200},
    {"udev Quectel on ttyUSB3", "Quectel USB REPL PortttyUSB3", 2, 115200},
};

// The ports on the ports in order, and the one opened (none: "").
constexpr struct
{
    const char *tag;
    const char *ports[3][2]; // name, description
    const char *chosen;
    int kind;
    int baud;
} portChoices[] = {
    {"rule 1: Device + COM", {{"COM5", "USB Serial Device"}}, "COM5", 0, 115200},
    {"rule 2: spans into the name", {{"COM12", "Unisoc Usb Serial Port 0"}}, "COM12", 1, 115200},
    {"rule 3", {{"COM7", "Quectel USB REPL Port"}}, "COM7", 2, 115200},
    {"rule 4: CH340 at 1000000 baud", {{"COM8", "USB-SERIAL CH340"}}, "COM8", 3, 1000000},
    // Linux port names, with the description (udev's ID_MODEL) that the udev rules set.
    {"udev rule 1 on ttyACM0", {{"ttyACM0", "USB Serial DeviceCOM"}}, "ttyACM0", 0, 115200},
    {"udev CH340 on ttyUSB0", {{"ttyUSB0", "USB-SERIAL CH340"}}, "ttyUSB0", 3, 1000000},
    {"any Device on a COM name", {{"COM1", "Some Other Device"}}, "COM1", 0, 115200},
    {"unsupported ports are passed over",
     {{"ttyACM0", "USB Serial Device"}, {"COM2", "Modem"}, {"COM9", "Quectel USB REPL Port"}},
     "COM9",
     2,
     115200},
    {"first matching port wins",
     {{"COM7", "Quectel USB REPL Port"}, {"COM8", "USB-SERIAL CH340"}},
     "COM7",
     2,
     115200},
    // Nothing to open: serialKind keeps its value.
    {"no port at all", {}, "", 99, 0},
    {"no supported port", {{"ttyUSB0", "USB Serial Device"}, {"COM3", "Bluetooth Link"}}, "", 99, 0},
};

} // namespace

class TestSerialPorts : public QObject
{
    Q_OBJECT

private slots:

    // The rules by themselves, on match keys. The Chinese text of rule 4 is tested here
    // only: on Linux, Qt reads a port's udev model text as Latin-1, so no emulated port
    // can carry it in its description.
    void rulesMatchKeys_data() { addRows(matchKeys); }
    void rulesMatchKeys()
    {
        const auto &row = fetchRow(matchKeys);
        const PortRule *rule = findPortRule(QString::fromUtf8(row.key));
        QCOMPARE(rule ? rule->serialKind : -1, row.kind);
        if (rule)
            QCOMPARE(int(rule->baudRate), row.baud);
    }

    void choosesPortByRule_data() { addRows(portChoices); }
    void choosesPortByRule()
    {
        const auto &row = fetchRow(portChoices);
        const QString chosen = QLatin1String(row.chosen);
        FakeSerialPorts ports;
        for (const auto &[name, description] : row.ports) {
            if (name)
                ports.addPort(QLatin1String(name), QLatin1String(description));
        }
        Dialogue dialogue;
        dialogue.window.serialKind = 99;

        QCOMPARE(dialogue.window.OpenSerialPort(), !chosen.isEmpty());
        QCOMPARE(dialogue.window.serialPort->isOpen(), !chosen.isEmpty());
        QCOMPARE(dialogue.window.serialKind, row.kind);
        QVERIFY(dialogue.said.isEmpty());
        if (chosen.isEmpty())
            return;
        QCOMPARE(dialogue.window.serialPort->portName(), chosen);
        QCOMPARE(dialogue.window.serialPort->baudRate(), row.baud);
        QCOMPARE(dialogue.window.serialPort->dataBits(), QSerialPort::Data8);
        QCOMPARE(dialogue.window.serialPort->parity(), QSerialPort::NoParity);
        QCOMPARE(dialogue.window.serialPort->stopBits(), QSerialPort::OneStop);
        QCOMPARE(dialogue.window.serialPort->flowControl(), QSerialPort::NoFlowControl);
        // The device end sees the line speed too.
        QCOMPARE(ports.device(chosen)->baudRate(), row.baud);
    }

    // A matching port held by another program is not bypassed: the free second one is
    // never tried, in this cycle or the next, and nothing is shown.
    void busyPortIsNotBypassed()
    {
        FakeSerialPorts ports;
        FakeAtDevice &first = ports.addPort(QStringLiteral("COM7"), QStringLiteral("Quectel USB REPL Port"));
        FakeAtDevice &second = ports.addPort(QStringLiteral("COM8"), QStringLiteral("USB-SERIAL CH340"));
        second.otherwise(Reply::text(okLine("MRD_SN: 9ABCDEFGHIJKLMNOPQRSTU")));
        QVERIFY(ports.holdBusy(QStringLiteral("COM7")));

        Dialogue dialogue;
        for (int cycle = 0; cycle < 2; ++cycle) {
            runCycle(dialogue.window);
            QVERIFY(!dialogue.window.serialPort->isOpen());
        }
        QCOMPARE(dialogue.window.serialKind, 2); // the busy port's rule was recorded
        QVERIFY(dialogue.said.isEmpty());
        QVERIFY(dialogue.cleared());
        QVERIFY(first.received().isEmpty());
        QVERIFY(second.received().isEmpty());

        // Once the other program lets go, the port is ours.
        ports.release(QStringLiteral("COM7"));
        QVERIFY(dialogue.window.OpenSerialPort());
        QCOMPARE(dialogue.window.serialPort->portName(), QStringLiteral("COM7"));
    }
};

QUORVANE_TEST_MAIN(TestSerialPorts, Serial)
#include "tst_serial_ports.moc"
