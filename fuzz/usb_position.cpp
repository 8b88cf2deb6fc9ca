// A USB device's position, "bus,port": split into its two numbers. A text without a
// comma names no device (0,0), a number comes from its own part of the text, and the
// text the tool writes for a position splits back into the same numbers.
#include "fuzz/property.h"
#include "usb/usbframe.h"

#include <QStringList>

using namespace usbframe;

namespace {

// A number read from a part: 0 (not a number), or its digits stand in the part.
bool readFrom(int number, const QString &part)
{
    return number == 0 || part.contains(QString::number(qAbs(qint64(number))));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString position = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const BusPort where = splitPosition(position);
    const BusPort again = splitPosition(position);
    PROPERTY(where.bus == again.bus && where.port == again.port);

    const QStringList parts = position.split(QLatin1Char(','));
    if (parts.size() < 2) {
        PROPERTY(where.bus == 0 && where.port == 0);
    } else {
        PROPERTY(readFrom(where.bus, parts.at(0)));
        PROPERTY(readFrom(where.port, parts.at(1)));
    }

    const BusPort back = splitPosition(positionText(where.bus, where.port));
    PROPERTY(back.bus == where.bus && back.port == where.port);
    return 0;
}
