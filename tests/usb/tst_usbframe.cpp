// The byte work of the USB transport on its own: parameters, positions, "VP" names,
// padding, the licence request and its reply, snapshot comparison; then a seeded
// randomized run over padding and snapshots. The parsers of device bytes are fuzzed in
// fuzz/ (usb_*).
#include "tests/support/tablerows.h"
#include "usb/usbframe.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

using namespace testsupport;
using namespace usbframe;

namespace {

// Snapshots written as "position=n ...", one number per device: vid 0x1000+n, pid 0x2000+n;
// "!" is a walk whose enumeration failed.
constexpr struct
{
    const char *tag;
    const char *recorded;
    const char *current;
    bool grew;
    const char *position;
    int ids; // -1 when not known
    bool record;
} snapshotCases[] = {
    // More devices than recorded: the first listed at a position not recorded, with its own
    // IDs; none when there is no such position.
    {"arrival", "1,0=1 1,3=2", "1,0=1 1,3=2 1,5=3", true, "1,5", 3, true},
    {"arrival in the middle", "1,0=1 1,3=2", "1,0=1 1,7=4 1,3=2", true, "1,7", 4, true},
    {"two arrivals: the first listed", "1,0=1", "1,0=1 1,4=6 1,2=7", true, "1,4", 6, true},
    {"second device of one maker: its own IDs", "1,0=1 1,3=2", "1,0=1 1,3=2 2,3=2", true, "2,3", 2, true},
    {"grew on a recorded position: empty", "1,0=1 1,3=2", "1,0=1 1,3=2 1,3=9", true, "", -1, true},
    {"listed empty at start: the first device is new", "", "1,3=2", true, "1,3", 2, true},
    // No more devices: the first recorded position that is gone, if any, without IDs.
    {"removal", "1,0=1 1,3=2 1,5=3", "1,0=1 1,5=3", false, "1,3", -1, true},
    {"swap, same count", "1,0=1 1,3=2", "1,0=1 1,4=5", false, "1,3", -1, true},
    {"nothing changed", "1,0=1 1,3=2", "1,0=1 1,3=2", false, "", -1, true},
    // A failed walk shows no change, and only a walk that listed replaces the record.
    {"start-up walk failed: the next only records", "!", "1,0=1 1,3=2", false, "", -1, true},
    {"failed walk: the record stays, nothing gone", "1,0=1 1,3=2", "!", false, "", -1, false},
    {"both failed", "!", "!", false, "", -1, false},
};

} // namespace

class TestUsbFrame : public QObject
{
    Q_OBJECT

private slots:
    void openParams_data()
    {
        // fields: vid, pid, bus, port, addr, number of VP names
        addColumns<QByteArray, bool, QList<int>>("text", "valid", "fields");
        const QList<int> zeros {0, 0, 0, 0, 0, 0};

        QTest::newRow("all keys") << QByteArray(
            R"({"vid":1155,"pid":22352,"bus":1,"port":4,"addr":9,"VP":["a","b"]})")
                                  << true << QList<int> {1155, 22352, 1, 4, 9, 2};
        QTest::newRow("empty text reads as {}") << QByteArray() << true << zeros;
        QTest::newRow("empty object") << QByteArray("{}") << true << zeros;
        QTest::newRow("missing keys")
            << QByteArray(R"({"pid":3073})") << true << QList<int> {0, 3073, 0, 0, 0, 0};
        QTest::newRow("hex strings are not numbers")
            << QByteArray(R"({"vid":"0483","pid":"5750","bus":"1","port":"4"})") << true << zeros;
        QTest::newRow("other non-numbers")
            << QByteArray(R"({"vid":true,"pid":null,"bus":[1],"port":{"n":4}})") << true << zeros;
        QTest::newRow("fractions read as 0")
            << QByteArray(R"({"vid":3.5,"bus":1.0})") << true << QList<int> {0, 0, 1, 0, 0, 0};
        QTest::newRow("low 16 bits of IDs")
            << QByteArray(R"({"vid":70000,"pid":-1})") << true << QList<int> {4464, 65535, 0, 0, 0, 0};
        QTest::newRow("low 8 bits of bus, port, addr")
            << QByteArray(R"({"bus":257,"port":-1,"addr":511})") << true << QList<int> {0, 0, 1, 255, 255, 0};
        QTest::newRow("a non-object: all zeros") << QByteArray("[1,2,3]") << true << zeros;
        QTest::newRow("VP not an array") << QByteArray(R"({"VP":"VID_0483&PID_5750"})") << true << zeros;
        // The later of two equal keys counts. Qt 5.15's parser loses the array it replaces
        // (found by fuzzing): the sanitizer suite suppresses that leak under
        // QJsonDocument::fromJson (cmake/lsan.supp), and this row keeps it in sight.
        QTest::newRow("repeated key: the later one counts")
            << QByteArray(R"({"VP":["a"],"VP":["b","c"],"bus":1,"bus":2})") << true
            << QList<int> {0, 0, 2, 0, 0, 2};
        QTest::newRow("invalid: unterminated") << QByteArray(R"({"vid":1)") << false << zeros;
        QTest::newRow("invalid: single quotes") << QByteArray("{'vid':1}") << false << zeros;
        QTest::newRow("invalid: plain text") << QByteArray("1,4") << false << zeros;
    }
    void openParams()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        const OpenParams params = parseOpenParams(text.toStdString());
        QCOMPARE(params.valid, valid);
        QCOMPARE(params.parseError.isEmpty(), valid);
        const QList<int> fields {int(params.vid),  int(params.pid),     int(params.bus),
                                 int(params.port), int(params.address), int(params.vp.size())};
        QTEST(fields, "fields");
    }

    void openParamsJsonIsCompact()
    {
        const QByteArray json = openParamsJson(0x3E0A, 0x0C01, 3, 14);
        QVERIFY(!json.contains(' ') && !json.contains('\n'));
        const QJsonObject expected {{"vid", 0x3E0A}, {"pid", 0x0C01}, {"bus", 3}, {"port", 14}};
        QCOMPARE(QJsonDocument::fromJson(json).object(), expected);
    }

    void positions_data()
    {
        addColumns<QString, int, int>("position", "bus", "port");
        QTest::newRow("bus and port") << "1,4" << 1 << 4;
        QTest::newRow("many digits") << "12,103" << 12 << 103;
        QTest::newRow("root hub") << "2,0" << 2 << 0;
        QTest::newRow("no port text") << "1," << 1 << 0;
        QTest::newRow("no bus text") << ",4" << 0 << 4;
        QTest::newRow("more parts") << "1,4,7" << 1 << 4;
        QTest::newRow("not numbers") << "a,b" << 0 << 0;
        QTest::newRow("hex is not decimal") << "0x1,4" << 0 << 4;
        QTest::newRow("no comma") << "14" << 0 << 0;
        QTest::newRow("empty") << "" << 0 << 0;
    }
    void positions()
    {
        QFETCH(QString, position);
        const BusPort where = splitPosition(position);
        QTEST(where.bus, "bus");
        QTEST(where.port, "port");
    }

    void vpNames_data()
    {
        addColumns<QString, bool, int, int>("name", "matches", "vid", "pid");
        QTest::newRow("plain") << "VID_0483&PID_5750" << true << 0x0483 << 0x5750;
        QTest::newRow("text around") << R"(USB\VID_3E0A&PID_0C01\6&2a)" << true << 0x3E0A << 0x0C01;
        QTest::newRow("lower-case hex digits") << "VID_3e0b&PID_0c02" << true << 0x3E0B << 0x0C02;
        QTest::newRow("fifth digit ignored") << "VID_0483&PID_57501" << true << 0x0483 << 0x5750;
        QTest::newRow("two names in one: the first")
            << "VID_1111&PID_2222 VID_3333&PID_4444" << true << 0x1111 << 0x2222;
        QTest::newRow("lower-case vid_") << "vid_0483&PID_5750" << false << 0 << 0;
        QTest::newRow("lower-case pid_") << "VID_0483&pid_5750" << false << 0 << 0;
        QTest::newRow("three digits") << "VID_483&PID_5750" << false << 0 << 0;
        QTest::newRow("not hex") << "VID_04G3&PID_5750" << false << 0 << 0;
        QTest::newRow("no ampersand") << "VID_0483 PID_5750" << false << 0 << 0;
        QTest::newRow("empty") << "" << false << 0 << 0;
    }
    void vpNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, matches);
        quint16 vid = 0;
        quint16 pid = 0;
        QCOMPARE(parseVpName(name, &vid, &pid), matches);
        QTEST(int(vid), "vid"); // left alone when the name does not match
        QTEST(int(pid), "pid");
    }

    void padding_data()
    {
        addColumns<int, int, int>("length", "packet", "padded");
        QTest::newRow("11 of 64") << 11 << 64 << 64;
        QTest::newRow("64 of 64") << 64 << 64 << 64;
        QTest::newRow("65 of 64") << 65 << 64 << 128;
        QTest::newRow("11 of 512") << 11 << 512 << 512;
        QTest::newRow("11 of 8") << 11 << 8 << 16;
        QTest::newRow("empty stays empty") << 0 << 64 << 0;
        QTest::newRow("no packet size") << 11 << 0 << 11;
    }
    void padding()
    {
        QFETCH(int, length);
        QFETCH(int, packet);
        QFETCH(int, padded);
        const QByteArray data(length, '\x5A');
        const QByteArray result = padToPackets(data, packet);
        QCOMPARE(result.size(), padded);
        QVERIFY(result.startsWith(data));
        QCOMPARE(result.mid(length), QByteArray(padded - length, '\0'));
    }

    void licenceRequestFrame()
    {
        const QByteArray frame = licenceRequest();
        QCOMPARE(frame.size(), requestLength);
        QCOMPARE(frame, QByteArray::fromHex("aaaaaa966900040943024c"));
        // The check byte is computed over offsets 5 to 9, not written down.
        QCOMPARE(int(checkByte(frame, 5, 10)), 0x4C);
        QCOMPARE(int(checkByte(QByteArray::fromHex("0102ff"), 0, 3)), 0xFC);
        QCOMPARE(int(checkByte(QByteArray::fromHex("0102"), 1, 99)), 0x02);
    }

    void replies_data()
    {
        addColumns<QByteArray, int, int, QString>("packet", "verdict", "status", "licence");

        auto reply = [](quint8 status, const QByteArray &licence, int length) {
            QByteArray r = QByteArray::fromHex("aaaaaa966900190943");
            r.append(char(status)).append('\0').append(licence);
            r.append(qMax(0, length - r.size()), '\0');
            return r.left(length);
        };
        // The licence field as read: 21 bytes, zero where the packet has none.
        auto field = [](const QByteArray &text) {
            return QString::fromLatin1(text.leftJustified(21, '\0').constData(), 21);
        };
        const QByteArray text("CMIIT ID:2026AB1234XY");
        const QByteArray zeroInside = QByteArray("AB\0CD", 5) + QByteArray(16, 'z');
        const int success = int(ReplyVerdict::Success);
        const int checkFailed = int(ReplyVerdict::CheckFailed);
        const int failed = int(ReplyVerdict::ReadFailed);
        const int tooShort = int(ReplyVerdict::TooShort);
        QTest::newRow("success, 64 bytes") << reply(0x90, text, 64) << success << 0x90 << field(text);
        QTest::newRow("check failure") << reply(0x41, text, 64) << checkFailed << 0x41 << field(text);
        QTest::newRow("other status") << reply(0x6A, text, 64) << failed << 0x6A << field(text);
        QTest::newRow("status 0") << reply(0x00, text, 64) << failed << 0 << field(text);
        QTest::newRow("nothing") << QByteArray() << tooShort << 0 << field({});
        QTest::newRow("8 bytes") << reply(0x90, text, 8) << tooShort << 0 << field({});
        QTest::newRow("exactly 9 bytes: status reads 0") << reply(0x90, text, 9) << failed << 0 << field({});
        QTest::newRow("10 bytes: status, no text") << reply(0x90, text, 10) << success << 0x90 << field({});
        QTest::newRow("short text: the rest is zero")
            << reply(0x90, text.left(5), 64) << success << 0x90 << field(text.left(5));
        QTest::newRow("zero bytes inside the text stay")
            << reply(0x90, zeroInside, 64) << success << 0x90 << field(zeroInside);
        QTest::newRow("Latin-1 bytes") << reply(0x90, "\xe9\xff", 64) << success << 0x90 << field("\xe9\xff");
    }
    void replies()
    {
        QFETCH(QByteArray, packet);
        QFETCH(int, verdict);
        const LicenceReply reply = readLicenceReply(packet.toStdString());
        QCOMPARE(reply.received, packet.size());
        QCOMPARE(int(reply.verdict), verdict);
        QTEST(int(reply.status), "status");
        QTEST(reply.licence, "licence");
        QCOMPARE(reply.tail.size(), 120);
        QCOMPARE(reply.tailHex.size(), 240);
        QCOMPARE(reply.tailHex, reply.tailHex.toUpper());
    }

    // A reply longer than the work buffer is cut at 130 bytes.
    void longReplyIsCut()
    {
        QByteArray packet(200, '\0');
        for (int i = 0; i < packet.size(); ++i)
            packet[i] = char(i);
        packet[9] = char(0x90);
        const LicenceReply reply = readLicenceReply(packet.toStdString());
        QCOMPARE(reply.received, 200);
        QCOMPARE(int(reply.buffer[129]), 129);
        QCOMPARE(reply.tail.at(119), QChar(129));
        QCOMPARE(reply.tailHex.right(2), QByteArray("81"));
        QCOMPARE(reply.licence, QString::fromLatin1(packet.mid(11, 21)));
    }

    void snapshots_data() { addRows(snapshotCases); }
    void snapshots()
    {
        const auto &row = fetchRow(snapshotCases);
        auto snapshot = [](const QString &text) {
            UsbSnapshot s;
            s.listed = text != QLatin1String("!");
            for (const QString &device : s.listed ? text.split(' ', Qt::SkipEmptyParts) : QStringList()) {
                const int n = device.section('=', 1).toInt();
                s.positions.append(device.section('=', 0, 0));
                s.vids.append(quint16(0x1000 + n));
                s.pids.append(quint16(0x2000 + n));
            }
            return s;
        };
        const UsbChange change =
            compareSnapshots(snapshot(QLatin1String(row.recorded)), snapshot(QLatin1String(row.current)));
        QCOMPARE(change.grew, row.grew);
        QCOMPARE(change.position, QLatin1String(row.position));
        QCOMPARE(change.record, row.record);
        QCOMPARE(change.idsKnown, row.ids >= 0);
        if (row.ids >= 0) {
            QCOMPARE(int(change.vid), 0x1000 + row.ids);
            QCOMPARE(int(change.pid), 0x2000 + row.ids);
        }
    }

    // Which interfaces may be taken from their kernel driver: the licence devices' kinds only.
    void driverTakeover_data()
    {
        addColumns<int, int, bool>("interfaceClass", "subClass", "taken");
        QTest::newRow("vendor specific") << 0xFF << 0 << true;
        QTest::newRow("vendor specific, any subclass") << 0xFF << 0x42 << true;
        QTest::newRow("HID without boot protocol") << 0x03 << 0 << true;
        QTest::newRow("HID boot interface (keyboard, mouse)") << 0x03 << 1 << false;
        QTest::newRow("mass storage") << 0x08 << 6 << false;
        QTest::newRow("hub") << 0x09 << 0 << false;
        QTest::newRow("communication (modem, serial)") << 0x02 << 2 << false;
        QTest::newRow("audio") << 0x01 << 1 << false;
        QTest::newRow("wireless controller") << 0xE0 << 1 << false;
        QTest::newRow("per-interface class 0") << 0x00 << 0 << false;
    }
    void driverTakeover()
    {
        QFETCH(int, interfaceClass);
        QFETCH(int, subClass);
        QTEST(mayTakeFromDriver(quint8(interfaceClass), quint8(subClass)), "taken");
    }

    // Random packet sizes and snapshots, which come from the tool and libusb rather than
    // from a device's bytes (those are fuzzed in fuzz/): padding fills whole packets, and
    // a change names a position of the right snapshot with that device's own IDs.
    void randomizedInputsKeepTheInvariants()
    {
        QRandomGenerator random(20261207);
        for (int round = 0; round < 2000; ++round) {
            const QByteArray data(int(random.bounded(300)), '\x5A');
            const int packetSize = int(random.bounded(600));
            const QByteArray padded = padToPackets(data, packetSize);
            QVERIFY(padded.startsWith(data));
            if (packetSize > 0)
                QCOMPARE(padded.size() % packetSize, 0);
        }

        for (int round = 0; round < 20000; ++round) {
            auto randomSnapshot = [&] {
                UsbSnapshot s;
                const int n = int(random.bounded(6));
                for (int i = 0; i < n; ++i) {
                    s.positions.append(positionText(1 + int(random.bounded(2)), int(random.bounded(5))));
                    s.vids.append(quint16(random.bounded(3)));
                    s.pids.append(quint16(random.bounded(3)));
                }
                return s;
            };
            const UsbSnapshot recorded = randomSnapshot();
            const UsbSnapshot current = randomSnapshot();
            const UsbChange change = compareSnapshots(recorded, current);
            QCOMPARE(change.grew, current.positions.size() > recorded.positions.size());
            if (change.grew && !change.position.isEmpty()) {
                QVERIFY(!recorded.positions.contains(change.position));
                const int at = current.positions.indexOf(change.position);
                QVERIFY(change.idsKnown);
                QCOMPARE(change.vid, current.vids.at(at));
                QCOMPARE(change.pid, current.pids.at(at));
            } else if (!change.grew && !change.position.isEmpty()) {
                QVERIFY(recorded.positions.contains(change.position));
                QVERIFY(!current.positions.contains(change.position));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestUsbFrame)
#include "tst_usbframe.moc"
