// Hostile devices against the real program. Each row presents a device that misbehaves
// (a huge reply, an endless stream, garbage, zero bytes in the licence field, a device
// that vanishes, resets, line errors, libusb errors) to the real quorvane binary, run
// under the fakes of sim/ with the screen log preloaded (runner/screenlogmodule.cpp).
// Then a good device takes its place. Each row checks what the operator sees: the
// expected messages and labels in order, nothing else, each within the bounded waits
// and a slack, the good device served by the next polls, and the program still running.
#include "sim/emulation/testbed.h"
#include "sim/net/faketcpservice.h"
#include "sim/net/netdevices.h"
#include "sim/script/waits.h"
#include "sim/serial/serialdevices.h"
#include "sim/usb/fakeusbbus.h"
#include "tests/e2e/run.h"
#include "tests/support/testmain.h"
#include "tests/support/timing.h"

#include <QtTest>

#include <cerrno>
#include <algorithm>
#include <functional>
#include <memory>

using namespace quorvane::sim;
using namespace simnet;

namespace {

QString label(const char *picture, const QString &text)
{
    return QStringLiteral("label :/qjpg/res/%1 %2").arg(QLatin1String(picture), text);
}
QString message(const char *text)
{
    return QStringLiteral("message ") + QString::fromUtf8(text);
}
const QString cleared = QStringLiteral("cleared");

// Every row's part after the fault: a good device, with a licence no fault row shows.
const QByteArray goodLicence = "GOOD-DEVICE-000000001";
const QByteArray goodNetLicence = "700102-GOOD-DEVICE-01"; // 700102: a supported model
const QByteArray licence21 = "ABCDEFGHIJKLMNOPQRSTU";
const QByteArray mebibyte(1 << 20, 'x');
// Bytes that are no UTF-8: a lone continuation byte, bytes never used, a cut sequence.
const QByteArray notUtf8 = "\x80\xff\xfe\xc3\x28";

QByteArray withZeroAt(QByteArray bytes, int position)
{
    bytes[position] = '\0';
    return bytes;
}

// A transport's rows of this CTest entry's group (QUORVANE_HOSTILE_GROUP): each entry
// runs the rows of its group, so that CTest runs them side by side.
template<typename Row> void addRows(const QList<Row> &rows)
{
    QTest::addColumn<Row>("row");
    for (const Row &row : rows) {
        if (row.group == qEnvironmentVariableIntValue("QUORVANE_HOSTILE_GROUP"))
            QTest::newRow(row.name) << row;
    }
}

// ---- serial ---------------------------------------------------------------------------

// Every row's port: of the kind "USB Serial Device", asked AT*MRD_IMEI=R and AT*KESET=26;
// its IMEI shows LBL01.
const SerialPersona &port = serialPersonas[0];
const QByteArray imeiReply = port.imeiReply(port.imei);

struct SerialRow
{
    int group;
    const char *name;
    Reply imei;               // the answer to AT*MRD_IMEI=R
    Reply licence;            // the standing answer to AT*KESET=26
    QList<Reply> licenceOnce; // answers to AT*KESET=26 before the standing one
    QStringList expected;     // what the window shows, each once, in order
    int waitsMs;              // the dialogue's waits before the first of them
    int boundMs;              // the longest all of them may take to show
    // The device's write (in its write log) that starts a reply the tool reads until the
    // line is silent for 100 ms or its 2000 ms cap: a stream, or a drip just under the gap.
    // The lower bound of that read, and for a drip what it gets, follow from the write
    // log: a starved device thread is silent too. -1: none.
    int readsUntilSilentFrom = -1;
};

// The continuation read of a serial reply: on while each 100 ms wait brings text, for
// 2000 ms at most.
constexpr int continuationGapMs = 100;
constexpr int continuationCapMs = 2000;

// A slow drip: `head` at once, then each byte of `slow` 90 ms after the one before (just
// under the serial continuation's 100 ms gap), then `tail`.
Reply drip(const QByteArray &head, const QByteArray &slow, const QByteArray &tail)
{
    Reply reply;
    if (!head.isEmpty())
        reply.then(head);
    for (const char byte : slow)
        reply.then(QByteArray(1, byte), 90);
    if (!tail.isEmpty())
        reply.then(tail, 90);
    return reply;
}

QList<SerialRow> serialRows()
{
    const QString text21 = QString::fromLatin1(licence21);
    QList<Reply> zeros;
    QStringList zeroLabels;
    for (int position = 0; position < 21; ++position) {
        zeros << Reply::text(port.licenceReply(withZeroAt(licence21, position)));
        zeroLabels << label("LBL01.jpg", text21.left(position));
    }
    const QByteArray garbageLicence = "AB" + notUtf8 + "CDEFGHIJKLMNOP";
    return {
        // Read up to the 64 KiB cap; no model in it.
        {0,
         "IMEI reply of 1 MiB",
         Reply::text(mebibyte),
         Reply::text(port.licenceReply(licence21)),
         {},
         {message("不支持此机型！"), cleared},
         0,
         1000 + 2000},
        // The licence is cut from the first 64 KiB.
        {0,
         "licence reply of 1 MiB",
         Reply::text(imeiReply),
         Reply::text("\r\n+KESET: 26," + licence21 + mebibyte),
         {},
         {label("LBL01.jpg", text21)},
         100,
         1000 + 2000},
        // The continuation read ends at its 2000 ms cap; no model in the stream.
        {1,
         "endless stream for the IMEI",
         Reply::stream("0123456789ABCDEF\r\n", 5),
         Reply::text(port.licenceReply(licence21)),
         {},
         {message("不支持此机型！"), cleared},
         2000,
         1000 + 2000,
         0},
        // Garbage around the IMEI; bytes that are no UTF-8 in the licence field.
        {1,
         "garbage and invalid UTF-8",
         Reply::text("\xff\xfe\x01garbage" + notUtf8 + imeiReply),
         Reply::text("\x01\xff" + port.licenceReply(garbageLicence)),
         {},
         {label("LBL01.jpg", QString::fromUtf8(garbageLicence))},
         100,
         1000},
        // The text ends at the zero byte: a cycle for each position.
        {2, "zero byte at every position of the licence field", Reply::text(imeiReply),
         Reply::text(port.licenceReply(licence21)), zeros, zeroLabels, 100, 21 * 2500},
        // The continuation read and the licence wait fail at once.
        {3,
         "vanishes mid-dialogue",
         Reply::text(imeiReply).thenUnplug(20),
         Reply(),
         {},
         {message("指令接收失败！")},
         0,
         1000},
        // The line drops at the first command (the port stays listed): both IMEI waits fail
        // at once; later opens fail.
        {3,
         "port opens, then errors",
         Reply::reset(5),
         Reply(),
         {},
         {message("指令接收失败10000！")},
         0,
         1000},
        // Never answers: both IMEI waits (3000 ms each) pass.
        {4,
         "never answers the IMEI question",
         Reply::silence(),
         Reply::text(port.licenceReply(licence21)),
         {},
         {message("指令接收失败10000！")},
         2 * 3000,
         1000 + 2 * 3000 + 1000},
        // The licence wait (10000 ms) passes; the screen keeps what it had.
        {5,
         "never answers the licence question",
         Reply::text(imeiReply),
         Reply::silence(),
         {},
         {message("指令接收失败！")},
         100 + 10000,
         1000 + 100 + 10000 + 1000},
        // No OK: the continuation read ends at its cap; the licence came before the stream.
        {4,
         "endless stream on the licence question",
         Reply::text(imeiReply),
         Reply::text("\r\n+KESET: 26," + licence21).thenStream("\r\n+CSQ: 31,99", 25, 25),
         {},
         {label("LBL01.jpg", text21)},
         100,
         1000 + 100 + 2000 + 1000,
         1},
        // One byte every 90 ms, just under the continuation's 100 ms gap: read to the end.
        {5,
         "slow drip of the licence reply",
         Reply::text(imeiReply),
         drip("\r\n+KESET: 26,ABCDEFGHI", "JKLMNOPQRSTU", "\r\n\r\nOK\r\n"),
         {},
         {label("LBL01.jpg", text21)},
         100 + 12 * 90,
         1000 + 3000,
         1},
        // The line drops after part of the licence: the text up to there; later opens fail.
        {3,
         "line drops after some licence bytes",
         Reply::text(imeiReply),
         Reply::text("\r\n+KESET: 26,ABCDEFGH").thenReset(20),
         {},
         {label("LBL01.jpg", QStringLiteral("ABCDEFGH"))},
         100,
         1000},
    };
}

// ---- USB ------------------------------------------------------------------------------

struct UsbRow
{
    int group;
    const char *name;
    std::function<void(simusb::DeviceSpec &)> fault;
    QStringList expected;
    bool answers; // the dialogue gets as far as reading the reply
};

// A device at `sysName` that answers the licence request with `licence`.
simusb::DeviceSpec usbDevice(const QString &sysName, const QByteArray &licence)
{
    simusb::DeviceSpec spec;
    spec.sysName = sysName;
    spec.script.on(simusb::licenceRequest(), Reply::text(simusb::licenceReply(0x90, licence)));
    return spec;
}

QList<UsbRow> usbRows()
{
    using simusb::DeviceSpec;
    QByteArray garbage = quorvane::sim::garbage(64); // no lead-in byte
    garbage[9] = 0x5A;                               // neither success nor a check failure
    const QByteArray highBytes = "\xff\xfe\x80\xc3\x28"
                                 "ABCDEFGHIJKLMNOP";
    const QByteArray someZeros = withZeroAt(withZeroAt(withZeroAt(licence21, 0), 10), 20);
    const QByteArray allZeros(21, '\0');
    const auto answer = [](const Reply &reply) {
        return [reply](DeviceSpec &spec) { spec.script = Script().on(simusb::licenceRequest(), reply); };
    };
    const auto licence = [](const QByteArray &text) { return simusb::licenceReply(0x90, text); };
    const QString shown21 = label("LBL17.png", QString::fromLatin1(licence21));
    return {
        // One packet is read; the rest is never asked for.
        {0, "reply of 1 MiB", answer(Reply::text(licence(licence21) + mebibyte)), {shown21}, true},
        // Packets for as long as the host reads: one is read.
        {0, "endless stream", answer(Reply::stream(licence(licence21))), {shown21}, true},
        {0, "garbage", answer(Reply::text(garbage)), {message("读取失败")}, true},
        // Each byte is a Latin-1 character, UTF-8 or not.
        {0,
         "bytes that are no UTF-8 in the licence field",
         answer(Reply::text(licence(highBytes))),
         {label("LBL17.png", QString::fromLatin1(highBytes))},
         true},
        // Zero bytes stay in the text as U+0000.
        {1,
         "zero bytes at the first, a middle and the last position",
         answer(Reply::text(licence(someZeros))),
         {label("LBL17.png", QString::fromLatin1(someZeros.constData(), 21))},
         true},
        {1,
         "zero bytes at every position",
         answer(Reply::text(licence(allZeros))),
         {label("LBL17.png", QString(21, QChar(0)))},
         true},
        {1, "vanishes mid-dialogue", answer(Reply::unplug()), {message("读取失败,长度小于9")}, true},
        {2, "libusb error at open", [](DeviceSpec &spec) { spec.openFails = true; }, {}, false},
        {2, "libusb error at claim", [](DeviceSpec &spec) { spec.claimErrno = EBUSY; }, {}, false},
        {2, "libusb error at write", [](DeviceSpec &spec) { spec.out = simusb::OutMode::Stall; }, {}, false},
        {2, "write times out", [](DeviceSpec &spec) { spec.out = simusb::OutMode::Hang; }, {}, false},
        {2,
         "libusb error at read",
         [](DeviceSpec &spec) { spec.inErrno = EPIPE; },
         {message("读取失败,长度小于9")},
         true},
        // The frame alone, 33 bytes: the rest of the reply buffer reads as zeros.
        {3,
         "reply shorter than a packet",
         answer(Reply::text(simusb::licenceReply(0x90, licence21, 33))),
         {shown21},
         true},
        {3,
         "reply of exactly one packet",
         answer(Reply::text(simusb::licenceReply(0x90, licence21, 64))),
         {shown21},
         true},
        // Cut before the status byte: the packet still reads as 64 bytes, the rest zeros,
        // so the status byte is 00.
        {3,
         "reply of 8 bytes",
         answer(Reply::text(simusb::licenceReply(0x90, licence21, 8))),
         {message("读取失败")},
         true},
        // The read times out after 100 ms with nothing.
        {3,
         "never answers: the read never completes",
         answer(Reply::silence()),
         {message("读取失败,长度小于9")},
         true},
    };
}

// ---- network --------------------------------------------------------------------------

struct NetRow
{
    int group;
    const char *name;
    const char *address;
    QList<Script> scripts; // one per connection, in order
    QStringList expected;
    int waitsMs; // the waits before the first of them: pauses, greeting wait, drain
    int boundMs; // the longest all of them may take to show
};

QList<NetRow> netRows()
{
    const QByteArray licence = sampleLicence; // 700101: LBL16 on port 9527
    const QString text = QString::fromLatin1(licence);
    const Script good = atService(serialRecordReply(licence));
    // The licence value with a zero byte at each position: a key needs its six characters.
    QList<NetRow> zeroRows;
    for (int first = 0; first < 21; first += 7) {
        NetRow row {3 + first / 7, nullptr, atServiceAddress, {}, {}, 2000 + 100, 7 * 6000};
        for (int position = first; position < first + 7; ++position) {
            row.scripts << atService(serialRecordReply(withZeroAt(licence, position)));
            const QString shown =
                position < 6 ? message("(tcp)不支持此机型！") : label("LBL16.png", text.left(position));
            if (!row.expected.contains(shown))
                row.expected << shown;
            if (position < 6 && !row.expected.contains(cleared))
                row.expected << cleared;
        }
        zeroRows << row;
    }
    zeroRows[0].name = "zero byte at positions 0 to 6 of the licence value";
    zeroRows[1].name = "zero byte at positions 7 to 13 of the licence value";
    zeroRows[2].name = "zero byte at positions 14 to 20 of the licence value";

    const QByteArray invalid = "700101" + notUtf8 + "-2024-CN-0147";
    const Script shell = loginShell(vlanDefaults(licence));
    QList<NetRow> rows = {
        // The reply is gathered up to 64 KiB; the licence comes first.
        {0,
         "reply of 1 MiB",
         atServiceAddress,
         {atService("\r\n*MRD_SN:1,SN1," + licence + "\r\n" + mebibyte)},
         {label("LBL16.png", text)},
         2000 + 100,
         8000},
        // The reply is gathered up to 64 KiB; no OK in it.
        {0,
         "endless stream",
         atServiceAddress,
         {Script(good).on(productionModeLine, Reply::stream("0123456789abcdef\r\n", 1))},
         {message("返回值错误!"), cleared},
         2000 + 100,
         16000},
        {0,
         "garbage instead of OK",
         atServiceAddress,
         {Script(good).on(productionModeLine, Reply::text("\xff\xfe\x01" + notUtf8 + "\r\n", 10))},
         {message("返回值错误!"), cleared},
         2000 + 100 + 1000,
         8000},
        {1,
         "invalid UTF-8 in the licence value",
         atServiceAddress,
         {atService("\r\n*MRD_SN:\xff\xfe," + notUtf8 + "," + invalid + "\r\nOK\r\n")},
         {label("LBL16.png", QString::fromUtf8(invalid + "\r\nOK").left(21))},
         2000 + 100 + 1000,
         8000},
        // The service closes the connection cleanly once its reply is out: the reply stands.
        {1,
         "closes after its reply",
         atServiceAddress,
         {Script(good).on(serialRecordLine, Reply::text(serialRecordReply(licence), 20).thenClose(10))},
         {label("LBL16.png", text)},
         2000 + 100 + 1000,
         8000},
        // The connection drops at the record command: an empty reply.
        {1,
         "vanishes mid-dialogue",
         atServiceAddress,
         {Script(good).on(serialRecordLine, Reply::reset(20))},
         {message("(tcp)不支持此机型！"), cleared},
         2000 + 100 + 1000,
         8000},
        // A login that breaks off fails without a word; once the password had its first
        // answer the login counts, and the dialogue finds an empty reply.
        {2,
         "reset in every step of the login",
         shellAddress10,
         {Script(shell).greet(Reply::reset(0)), Script(shell).on(shellUser, Reply::reset(10)),
          Script(shell).on(shellUser, Reply::text(QByteArray(shellUser) + "\r\n", 10).thenReset(60)),
          Script(shell).on(shellPassword, Reply::reset(10)),
          Script(shell).on(shellPassword, Reply::text("\r\n", 10).thenReset(60)),
          Script(shell).on(vlanDefaultsLine, Reply::reset(20))},
         {message("(tcp)不支持此机型！"), cleared},
         1000,
         6 * 6000},
    };
    // Port 9527: never answers, a slow drip, a drop after part of the reply.
    const QByteArray record = serialRecordReply(licence);
    rows += QList<NetRow> {
        // The first reply wait (6000 ms) passes: no OK.
        {6,
         "never answers",
         atServiceAddress,
         {Script(good).on(productionModeLine, Reply::silence())},
         {message("返回值错误!"), cleared},
         2000 + 100 + 6000,
         14000},
        // One byte every 90 ms, far under the 1000 ms gap that ends a reply: read whole.
        {6,
         "slow drip of the record",
         atServiceAddress,
         {Script(good).on(serialRecordLine, drip(QByteArray(), record, QByteArray()))},
         {label("LBL16.png", text)},
         2000 + 100 + 1000 + 100 + (record.size() - 1) * 90 + 1000,
         20000},
        // The record up to the middle of the licence value, then a reset: what came is the reply.
        {7,
         "drop after some record bytes",
         atServiceAddress,
         {Script(good).on(serialRecordLine,
                          Reply::text(record.left(record.indexOf(licence) + 9), 20).thenReset(50))},
         {label("LBL16.png", text.left(9))},
         2000 + 100 + 1000,
         10000},
    };
    // Port 3762 after the login, at both addresses (each shows its own picture of model
    // 700101): the file's reply replaced by a fault.
    struct ShellAt
    {
        const char *address;
        const char *picture;
        int group;
    };
    for (const ShellAt at :
         {ShellAt {shellAddress2, "LBL15.png", 8}, ShellAt {shellAddress10, "LBL16.png", 10}}) {
        const QStringList unsupported {message("(tcp)不支持此机型！"), cleared};
        const QByteArray file = vlanDefaults(licence);
        // The login's own waits before the file's reply: two pauses and the drain.
        constexpr int loginMs = 500 + 500 + 100;
        rows += QList<NetRow> {
            {at.group,
             "garbage instead of the file",
             at.address,
             {Script(shell).on(vlanDefaultsLine, Reply::text(garbage(300), 20))},
             unsupported,
             loginMs,
             14000},
            // Gathered up to 64 KiB; no net_cert entry in it.
            {at.group,
             "endless stream instead of the file",
             at.address,
             {Script(shell).on(vlanDefaultsLine, Reply::stream("0123456789abcdef\r\n", 1, 20))},
             unsupported,
             loginMs,
             24000},
            // The value ends at the zero byte: the key is whole, the text 10 characters.
            {at.group,
             "zero byte in the licence value",
             at.address,
             {loginShell(vlanDefaults(withZeroAt(licence, 10)))},
             {label(at.picture, text.left(10))},
             loginMs,
             14000},
            {at.group + 1,
             "reset in the middle of the file",
             at.address,
             {Script(shell).on(vlanDefaultsLine,
                               Reply::text(file.left(file.indexOf("net_cert=") + 9 + 12), 20).thenReset(50))},
             {label(at.picture, text.left(12))},
             loginMs,
             14000},
            // The first reply wait (6000 ms) passes.
            {at.group + 1,
             "never answers after the login",
             at.address,
             {Script(shell).on(vlanDefaultsLine, Reply::silence())},
             unsupported,
             loginMs + 6000,
             20000},
        };
    }
    return rows + zeroRows;
}

} // namespace

Q_DECLARE_METATYPE(SerialRow)
Q_DECLARE_METATYPE(UsbRow)
Q_DECLARE_METATYPE(NetRow)

class TestHostileDevices : public QObject
{
    Q_OBJECT

    // Once the window has shown as many things as `expected` lists (and `ready` holds),
    // within `limitMs` and the slack, they are those, in order; the first of them showed
    // `atLeastMs` to `atMostMs` (and the slack) after `sinceMs`, or after the program's
    // start for none.
    static void expectShown(testsupport::Run &program, const QStringList &expected, int limitMs,
                            int atLeastMs, int atMostMs, qint64 sinceMs = -1,
                            const std::function<bool()> &ready = {}, const std::function<void()> &tick = {})
    {
        const bool shown = testsupport::waitFor(
            [&] { return (!ready || ready()) && program.distinctEvents().size() >= expected.size(); },
            limitMs + testsupport::slackMs(), tick);
        QVERIFY2(shown, qPrintable(program.story()));
        // Anything after them is caught by expectServedAfter, which checks the whole list.
        QVERIFY2(program.distinctEvents().mid(0, expected.size()) == expected,
                 qPrintable(
                     QStringLiteral("expected:\n%1\nshown:\n%2").arg(expected.join('\n'), program.story())));
        if (expected.isEmpty())
            return;
        const bool fromStart = sinceMs < 0;
        if (fromStart)
            sinceMs = program.startedAtMs();
        const qint64 firstMs = program.firstAtMs(expected.first()) - sinceMs;
        qInfo("%s: first shown %lld ms after the %s", QTest::currentDataTag(), firstMs,
              fromStart ? "start" : "plug");
        QUORVANE_VERIFY_DURATION(firstMs, atLeastMs, atMostMs);
    }

    // The good device's label (`picture` with `licence`) must follow within a cycle or two,
    // and be the last thing shown; the whole list is what the window showed, each once, in
    // order.
    // `cutShort`, when given, names further changes the list may hold before the good one
    // (the cut replies of a device that fell silent).
    static void expectServedAfter(testsupport::Run &program, const QStringList &expected, const char *picture,
                                  const QByteArray &licence, int cycleMs,
                                  const std::function<void()> &tick = {},
                                  const std::function<bool(const QString &)> &cutShort = {})
    {
        const QString good = label(picture, QString::fromLatin1(licence));
        const qint64 sinceMs = clockMs();
        const bool served = testsupport::waitFor([&] { return program.distinctEvents().contains(good); },
                                                 cycleMs + testsupport::slackMs(), tick);
        QVERIFY2(served, qPrintable(program.story()));
        qInfo("%s: %s; the good device served %lld ms later", QTest::currentDataTag(),
              qPrintable(expected.isEmpty() ? QStringLiteral("nothing shown")
                                            : expected.join(QStringLiteral(", "))),
              program.firstAtMs(good) - sinceMs);
        QStringList shown = program.distinctEvents();
        if (cutShort)
            shown.erase(std::remove_if(
                            shown.begin(), shown.end(),
                            [&](const QString &what) { return !expected.contains(what) && cutShort(what); }),
                        shown.end());
        QCOMPARE(shown, expected + QStringList {good});
        QCOMPARE(program.events().last().what, good);
        QCOMPARE(program.process.state(), QProcess::Running);
        program.stop();
        QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process.exitCode(), 0);
    }

    // A reply read until the line is silent for 100 ms (or 2000 ms have passed), judged by
    // the device's write log from the row's write on: the read lasted at least until the
    // first such silence or the cap; a drip read before the silence ended gets at least
    // the licence bytes written before it (`row.expected` when there was none).
    // `expected` becomes what the row showed first; `cutShort` what later cycles may show
    // besides: a drip cut short.
    static void expectReadUntilSilent(testsupport::Run &program, const FakeAtDevice &device,
                                      const SerialRow &row, QStringList &expected,
                                      std::function<bool(const QString &)> &cutShort)
    {
        const QList<FakeAtDevice::Write> writes = device.writes();
        QVERIFY(writes.size() > row.readsUntilSilentFrom);
        const qint64 readFromMs = writes.at(row.readsUntilSilentFrom).atMs;
        const qint64 silentFromMs = testsupport::lastWriteBeforeSilence(writes, row.readsUntilSilentFrom,
                                                                        continuationGapMs, clockMs());
        const qint64 readsAtLeastMs =
            silentFromMs < 0 ? continuationCapMs : qMin<qint64>(continuationCapMs, silentFromMs - readFromMs);
        const QString shown = program.distinctEvents().first();
        if (shown != row.expected.first() && silentFromMs >= 0) {
            // The device fell silent before the end of a drip (its thread was starved): the
            // tool may end the reply there, with at least the bytes written before.
            int written = 0;
            for (int i = row.readsUntilSilentFrom; i < writes.size() && writes.at(i).atMs <= silentFromMs;
                 ++i)
                written += writes.at(i).bytes;
            const int markerBytes = int(qstrlen("\r\n+KESET: 26,"));
            const int atLeast = qBound(0, written - markerBytes, int(licence21.size()));
            const QString prefix = label("LBL01.jpg", QString::fromLatin1(licence21.left(atLeast)));
            qInfo("%s: the device fell silent %lld ms into the reply, after %d bytes",
                  QTest::currentDataTag(), silentFromMs - readFromMs, written);
            QVERIFY2(shown.startsWith(prefix) && row.expected.first().startsWith(shown),
                     qPrintable(program.story()));
            expected = QStringList {shown};
        }
        // Later cycles, before the good device takes over, are judged by no write log: a
        // drip cut short there is no fault either.
        const QString whole = row.expected.first();
        cutShort = [whole](const QString &what) {
            return what.startsWith(QLatin1String("label :/qjpg/res/LBL01.jpg ")) && whole.startsWith(what);
        };
        expectShown(program, expected, row.boundMs, 950, 1000 + row.waitsMs + row.boundMs);
        if (QTest::currentTestFailed())
            return;
        const qint64 readMs = program.firstAtMs(expected.first()) - readFromMs;
        qInfo("%s: shown %lld ms after the reply began; the write log allows no less than %lld ms",
              QTest::currentDataTag(), readMs, readsAtLeastMs);
        QVERIFY2(readMs >= readsAtLeastMs, qPrintable(program.story()));
    }

private slots:
    void serial_data() { addRows(serialRows()); }
    void serial()
    {
        QFETCH(SerialRow, row);
        FakeSerialPorts ports;
        // The program first: the port's other end must not be inherited by it, or pulling
        // the device would not hang the port up.
        testsupport::Run program(ports.processEnvironment());
        FakeAtDevice *device = &addPersonaPort(ports, 0);
        device->on(port.imeiCommand, row.imei);
        device->on(port.licenceCommand, row.licence);
        for (const Reply &once : row.licenceOnce)
            device->once(port.licenceCommand, once);

        // The first poll comes a second after the start (a coarse timer: 5 % early).
        QStringList expected = row.expected;
        std::function<bool(const QString &)> cutShort;
        if (row.readsUntilSilentFrom < 0) {
            expectShown(program, expected, row.boundMs, 950 + row.waitsMs, 1000 + row.waitsMs + row.boundMs);
        } else {
            QVERIFY2(testsupport::waitFor([&] { return !program.distinctEvents().isEmpty(); },
                                          row.boundMs + testsupport::slackMs()),
                     qPrintable(program.story()));
            expectReadUntilSilent(program, *device, row, expected, cutShort);
        }
        if (QTest::currentTestFailed())
            return;

        if (!device->isPlugged()) { // gone, or its line is down: a good port instead
            device->unplug();
            device = &addPersonaPort(ports, 0, QStringLiteral("COM6"));
        } else {
            device->setScript(Script());
        }
        device->on(port.imeiCommand, Reply::text(imeiReply));
        device->on(port.licenceCommand, Reply::text(port.licenceReply(goodLicence)));
        // A cycle without a serial port costs the network targets' pauses.
        expectServedAfter(program, expected, "LBL01.jpg", goodLicence, 1000 + 1500 + 500, {}, cutShort);
    }

    void usb_data() { addRows(usbRows()); }
    void usb()
    {
        QFETCH(UsbRow, row);
        // The rest of a poll period, a cycle's three network pauses, the dialogue: the
        // write (up to its time-out), the wait and the read.
        constexpr int plugToAnswerMs = waits::usbStalledPlugToAnswerMs;
        // The dialogue's own waits: the pause before the request and the wait for the reply.
        constexpr int dialogueWaitsMs = waits::totalMs(*waits::findDialogue("usb"));
        auto testbed = std::make_shared<Testbed>();
        simusb::FakeUsbBus bus(testbed);
        bus.plugRootHub(1);
        testsupport::Run program(testbed->processEnvironment());
        // Plugged once the window has taken its first list of devices.
        const auto listed = [&] { return program.read("err").contains("11111"); };
        QVERIFY(testsupport::waitFor(listed, 1000 + testsupport::slackMs()));
        simusb::DeviceSpec spec = usbDevice(QStringLiteral("1-3"), licence21);
        row.fault(spec);
        const qint64 pluggedAtMs = simusb::clockMs();
        simusb::FakeUsbDevice *device = bus.plug(spec);

        // The reply is read only after the request and the 500 ms wait.
        expectShown(program, row.expected, plugToAnswerMs, dialogueWaitsMs, plugToAnswerMs, pluggedAtMs,
                    [&] { return program.read("err").contains("extraElement \"1,3\""); });
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(device->inRequests() > 0, row.answers);

        // Beside it, at another port: a good device.
        bus.plug(usbDevice(QStringLiteral("1-4"), goodLicence));
        expectServedAfter(program, row.expected, "LBL17.png", goodLicence, plugToAnswerMs);
        QVERIFY(!device->claimed()); // the failed dialogue let go of it
    }

    void net_data() { addRows(netRows()); }
    void net()
    {
        QFETCH(NetRow, row);
        const bool isAtService = QLatin1String(row.address) == QLatin1String(atServiceAddress);
        FakeTcpService device(QLatin1String(row.address), isAtService ? atServicePort : shellPort,
                              row.scripts.first());
        QString why;
        QVERIFY2(device.start(&why), qPrintable(why));
        const Script good = isAtService ? atService(serialRecordReply(goodNetLicence))
                                        : loginShell(vlanDefaults(goodNetLicence));
        // Each connection gets its script: the device answers every line by the script of
        // the moment, so the next one is set once a connection has closed (the program
        // closes it half a second before it connects again). A row of one script keeps it
        // until a connection got past the login: on a busy machine the program may read the
        // shell's two chunks as one and give up the login, and the fault was never asked for.
        const auto counts = [&](const ConnectionRecord &c) {
            if (c.isOpen())
                return false;
            if (row.scripts.size() > 1)
                return true;
            return std::any_of(c.lines.begin(), c.lines.end(), [](const ReceivedLine &line) {
                return line.text != shellUser && line.text != shellPassword;
            });
        };
        int scripted = 1;
        const auto tick = [&] {
            const QList<ConnectionRecord> connections = device.connections();
            const int closed = int(std::count_if(connections.begin(), connections.end(), counts));
            while (scripted <= closed) {
                device.setScript(scripted < row.scripts.size() ? row.scripts.at(scripted) : good);
                ++scripted;
            }
        };
        tick();
        // An empty testbed: the program's serial and USB steps see no device at all.
        Testbed testbed;
        testsupport::Run program(testbed.processEnvironment());

        expectShown(
            program, row.expected, row.boundMs, 950 + row.waitsMs, row.boundMs, -1,
            [&] { return device.connections().size() >= row.scripts.size(); }, tick);
        if (QTest::currentTestFailed())
            return;
        // The good device: a cycle of the three targets, and its dialogue.
        expectServedAfter(program, row.expected, "LBL15.png", goodNetLicence, 14000, tick);
    }
};

// Serial: the fake ports need umockdev and a /run/lock of this test's own.
QUORVANE_TEST_MAIN(TestHostileDevices, Serial)
#include "tst_hostile.moc"
