#include "usb/usbframe.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegExp>
#include <QStringList>

#include <algorithm>

namespace usbframe {

namespace {

// The licence request before its check byte; the check byte covers offsets 5 to 9.
constexpr quint8 requestBody[] = {
    0xAA, 0xAA, 0xAA, 0x96, 0x69, // lead-in
    0x00, 0x04,                   // count of the bytes after it, big-endian
    0x09, 0x43, 0x02,             // licence read
};
constexpr int checkedFrom = 5;

struct ReplyStatus
{
    quint8 status;
    ReplyVerdict verdict;
};
constexpr ReplyStatus replyStatuses[] = {
    {statusSuccess, ReplyVerdict::Success},
    {statusCheckFailed, ReplyVerdict::CheckFailed},
};

// Interfaces that may be taken from a kernel driver; subclass -1 stands for any.
struct DriverTakeover
{
    quint8 interfaceClass;
    int interfaceSubClass;
};
constexpr DriverTakeover driverTakeovers[] = {
    {0xFF, -1}, // vendor specific
    {0x03, 0},  // HID without a boot protocol
};

quint16 low16(const QJsonValue &value)
{
    return quint16(value.toInt(0));
}
quint8 low8(const QJsonValue &value)
{
    return quint8(value.toInt(0));
}

} // namespace

OpenParams parseOpenParams(const std::string &text)
{
    OpenParams params;
    const QByteArray json = text.empty() ? QByteArray("{}") : QByteArray(text.data(), int(text.size()));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        params.parseError = error.errorString();
        return params;
    }
    params.valid = true;
    const QJsonObject object = document.object(); // empty unless the top level is an object
    params.vid = low16(object.value(QStringLiteral("vid")));
    params.pid = low16(object.value(QStringLiteral("pid")));
    params.bus = low8(object.value(QStringLiteral("bus")));
    params.port = low8(object.value(QStringLiteral("port")));
    params.address = low8(object.value(QStringLiteral("addr")));
    params.vp = object.value(QStringLiteral("VP")).toArray();
    return params;
}

QByteArray openParamsJson(quint16 vid, quint16 pid, int bus, int port)
{
    QJsonObject object;
    object.insert(QStringLiteral("vid"), int(vid));
    object.insert(QStringLiteral("pid"), int(pid));
    object.insert(QStringLiteral("bus"), bus);
    object.insert(QStringLiteral("port"), port);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

BusPort splitPosition(const QString &position)
{
    const QStringList parts = position.split(QLatin1Char(','), Qt::KeepEmptyParts);
    BusPort result;
    if (parts.size() >= 2) {
        result.bus = parts.at(0).toInt(nullptr, 10); // 0 when not a decimal number
        result.port = parts.at(1).toInt(nullptr, 10);
    }
    return result;
}

QString positionText(int bus, int port)
{
    return QString::number(bus) + QLatin1Char(',') + QString::number(port);
}

bool parseVpName(const QString &name, quint16 *vid, quint16 *pid)
{
    QRegExp pattern(QStringLiteral("^.*VID_([A-Fa-f0-9]{4})&PID_([A-Fa-f0-9]{4}).*$"), Qt::CaseSensitive,
                    QRegExp::RegExp);
    if (!pattern.exactMatch(name))
        return false;
    *vid = quint16(pattern.cap(1).toInt(nullptr, 16));
    *pid = quint16(pattern.cap(2).toInt(nullptr, 16));
    return true;
}

bool mayTakeFromDriver(quint8 interfaceClass, quint8 interfaceSubClass)
{
    for (const DriverTakeover &allowed : driverTakeovers) {
        if (allowed.interfaceClass == interfaceClass
            && (allowed.interfaceSubClass < 0 || allowed.interfaceSubClass == interfaceSubClass))
            return true;
    }
    return false;
}

QByteArray padToPackets(const QByteArray &data, int packetSize)
{
    if (packetSize < 1)
        return data;
    QByteArray padded = data;
    const int remainder = padded.size() % packetSize;
    if (remainder != 0)
        padded.append(packetSize - remainder, '\0');
    return padded;
}

quint8 checkByte(const QByteArray &frame, int from, int to)
{
    quint8 check = 0;
    for (int i = std::max(from, 0); i < std::min(to, int(frame.size())); ++i)
        check ^= quint8(frame.at(i));
    return check;
}

QByteArray licenceRequest()
{
    QByteArray frame(reinterpret_cast<const char *>(requestBody), int(sizeof requestBody));
    frame.append(char(checkByte(frame, checkedFrom, frame.size())));
    return frame;
}

LicenceReply readLicenceReply(const std::string &packet)
{
    LicenceReply reply;
    reply.received = int(packet.size());
    const size_t copied = std::min(packet.size(), size_t(replyBufferLength));
    std::copy_n(reinterpret_cast<const quint8 *>(packet.data()), copied, reply.buffer.begin());

    const char *tail = reinterpret_cast<const char *>(reply.buffer.data()) + replyStatusOffset + 1;
    const int tailLength = replyBufferLength - replyStatusOffset - 1;
    reply.tail = QString::fromLatin1(tail, tailLength);
    reply.licence = reply.tail.mid(licenceOffset - replyStatusOffset - 1, licencetext::licenceLength);
    reply.tailHex = QByteArray(tail, tailLength).toHex().toUpper();
    reply.status = reply.buffer[replyStatusOffset];

    if (reply.received < replyMinimumLength) {
        reply.verdict = ReplyVerdict::TooShort;
        return reply;
    }
    reply.verdict = ReplyVerdict::ReadFailed;
    for (const ReplyStatus &known : replyStatuses) {
        if (known.status == reply.status)
            reply.verdict = known.verdict;
    }
    return reply;
}

UsbChange compareSnapshots(const UsbSnapshot &recorded, const UsbSnapshot &current)
{
    UsbChange change;
    if (!current.listed) {
        change.record = false;
        return change;
    }
    if (!recorded.listed)
        return change;
    if (current.positions.size() > recorded.positions.size()) {
        change.grew = true;
        for (int i = 0; i < current.positions.size(); ++i) {
            if (!recorded.positions.contains(current.positions.at(i))) {
                // The IDs are those of the device at the new position itself, so that a
                // second device of a maker already attached is opened with its own IDs.
                change.position = current.positions.at(i);
                change.idsKnown = i < current.vids.size() && i < current.pids.size();
                if (change.idsKnown) {
                    change.vid = current.vids.at(i);
                    change.pid = current.pids.at(i);
                }
                break;
            }
        }
        return change;
    }
    for (const QString &position : recorded.positions) {
        if (!current.positions.contains(position)) {
            change.position = position;
            break;
        }
    }
    return change;
}

} // namespace usbframe
