#ifndef QUORVANE_USB_USBFRAME_H
#define QUORVANE_USB_USBFRAME_H

// The byte work of the USB transport, kept free of libusb and of the window so that it
// can be tested on its own: the open parameters, the "VP" device names, packet padding,
// the licence request and the reading of its reply, and the comparison of two snapshots
// of the attached devices.

#include "shared/licencetext.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <string>

namespace usbframe {

// --- Open parameters -----------------------------------------------------------------

// What a JSON parameter text says. A missing key or a value that is not a whole number
// reads as 0; numbers keep their low 16 (IDs) or 8 (bus, port, address) bits.
struct OpenParams
{
    bool valid = false; // false: the text is not valid JSON
    QString parseError; // the parser's message when !valid
    quint16 vid = 0;
    quint16 pid = 0;
    quint8 bus = 0;
    quint8 port = 0;
    quint8 address = 0; // key "addr"
    QJsonArray vp;      // key "VP"; empty when missing or not an array
};

// An empty text reads as "{}"; a top-level value that is not an object gives all zeros.
OpenParams parseOpenParams(const std::string &text);

// The compact JSON text that opens the device at a position ("bus,port") with given IDs.
QByteArray openParamsJson(quint16 vid, quint16 pid, int bus, int port);

// A position "1,4" split into its bus and port numbers. A part that is not a decimal
// number reads as 0, and so does a missing one: a text without a comma gives bus and
// port 0, which no attached device has.
struct BusPort
{
    int bus = 0;
    int port = 0;
};
BusPort splitPosition(const QString &position);

// The text of a position: decimal bus, comma, decimal port ("1,4").
QString positionText(int bus, int port);

// One "VP" string, "VID_" + 4 hex digits + "&PID_" + 4 hex digits with any text around:
// true and the two IDs when it matches. "VID_" and "PID_" are upper case only.
bool parseVpName(const QString &name, quint16 *vid, quint16 *pid);

// --- Packets -------------------------------------------------------------------------

// --- Kernel drivers ------------------------------------------------------------------

// Whether interface 0 may be taken from the kernel driver that holds it. Only the kinds of
// interface the licence devices present are: vendor specific (class FF hex), and HID
// without a boot protocol (class 3, subclass 0). Keyboards and mice (HID boot interfaces),
// storage, hubs and every other standard class keep their driver: the tool leaves them alone.
bool mayTakeFromDriver(quint8 interfaceClass, quint8 interfaceSubClass);

// A hub (device class 9) is never opened: taking it would cut off every device behind it.
constexpr quint8 hubClass = 0x09;

// The data followed by zero bytes up to a whole number of packets. An empty input stays
// empty; a packet size below 1 returns the data unchanged.
QByteArray padToPackets(const QByteArray &data, int packetSize);

// --- The licence dialogue ------------------------------------------------------------

constexpr int requestLength = 11;
constexpr int replyBufferLength = 130;
constexpr int replyMinimumLength = 9;
constexpr int replyStatusOffset = 9;
constexpr int licenceOffset = 11;

constexpr quint8 statusSuccess = 0x90;
constexpr quint8 statusCheckFailed = 0x41;

// Exclusive-or of the bytes [from, to) of a frame.
quint8 checkByte(const QByteArray &frame, int from, int to);

// The 11-byte licence request: lead-in AA AA AA 96 69, the count 00 04 of the bytes that
// follow it, the command 09 43 02 and the check byte over offsets 5 to 9.
QByteArray licenceRequest();

enum class ReplyVerdict {
    TooShort,    // fewer than 9 bytes received
    Success,     // status 90 hex: the licence text is valid
    CheckFailed, // status 41 hex
    ReadFailed,  // any other status
};

// One reply, copied into the 130-byte work buffer (zero-filled, longer replies cut).
struct LicenceReply
{
    int received = 0; // bytes the device delivered
    std::array<quint8, replyBufferLength> buffer {};
    quint8 status = 0; // buffer[9]
    ReplyVerdict verdict = ReplyVerdict::TooShort;
    QString tail;       // offsets 10..129 as 120 Latin-1 characters (zero bytes kept)
    QString licence;    // offsets 11..31 as 21 Latin-1 characters
    QByteArray tailHex; // offsets 10..129 as 240 upper-case hex digits
};

LicenceReply readLicenceReply(const std::string &packet);

// --- Presence ------------------------------------------------------------------------

// The attached devices in enumeration order; entry i of each list is one device.
struct UsbSnapshot
{
    QList<QString> positions;
    QList<quint16> pids;
    QList<quint16> vids;
    bool listed = true; // false: no enumeration succeeded, so nothing is known
};

// What changed between the recorded snapshot and the current one.
struct UsbChange
{
    bool grew = false;     // more devices now than recorded
    QString position;      // grew: the first current position not recorded (may be
                           // empty); otherwise the first recorded position now gone
    bool idsKnown = false; // grew and the position is non-empty: vid/pid are its IDs
    quint16 vid = 0;
    quint16 pid = 0;
    bool record = true; // false: the current walk failed; the recorded snapshot stays
};

// Nothing is reported new against a recorded snapshot that was never listed (a walk then
// only records), and a current walk that failed changes nothing: a device that was there
// all along is never taken for a new one.
UsbChange compareSnapshots(const UsbSnapshot &recorded, const UsbSnapshot &current);

} // namespace usbframe

#endif // QUORVANE_USB_USBFRAME_H
