#include "usb/usbids.h"
#include "usb/usbframe.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace usbids {

bool listed(const UsbReach &reach, quint16 vid, quint16 pid)
{
    const auto same = [vid, pid](const UsbId &id) { return id.vid == vid && id.pid == pid; };
    return std::any_of(std::begin(builtInIds), std::end(builtInIds), same)
        || std::any_of(reach.added.begin(), reach.added.end(), same);
}

Access access(const UsbReach &reach, quint16 vid, quint16 pid, int interfaceClass, int interfaceSubClass)
{
    if (listed(reach, vid, pid))
        return Access::Listed;
    const bool licenceKind = interfaceClass >= 0 && interfaceSubClass >= 0
        && usbframe::mayTakeFromDriver(quint8(interfaceClass), quint8(interfaceSubClass));
    return reach.any && licenceKind ? Access::Candidate : Access::None;
}

std::optional<UsbId> parseUsbId(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return UsbId {quint16(match.captured(1).toUInt(nullptr, 16)),
                  quint16(match.captured(2).toUInt(nullptr, 16))};
}

QString idText(UsbId id)
{
    return QStringLiteral("%1:%2").arg(id.vid, 4, 16, QLatin1Char('0')).arg(id.pid, 4, 16, QLatin1Char('0'));
}

QString builtInList()
{
    QStringList ids;
    for (const UsbId &id : builtInIds)
        ids << idText(id);
    return ids.join(QStringLiteral(", "));
}

} // namespace usbids
