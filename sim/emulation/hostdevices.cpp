#include "sim/emulation/hostdevices.h"
#include "sim/emulation/testbed.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <QtGlobal>

#include <libusb.h>

namespace quorvane::sim {

// Under umockdev every path below /sys is the testbed's, but a path below /dev that the
// testbed lacks falls through to the machine's own /dev: a port or USB node that is not in
// the testbed would be a real one.
QString hostDevicesInSight()
{
    if (!Testbed::isUnderEmulation())
        return QStringLiteral("umockdev's preload library is not loaded: the real /sys and /dev are in sight");
    const QString root = QString::fromLocal8Bit(qgetenv("UMOCKDEV_DIR"));
    if (root.isEmpty() || !QFileInfo(root + QStringLiteral("/sys")).isDir())
        return QStringLiteral("no emulated testbed (UMOCKDEV_DIR '%1'): the real /sys is in sight").arg(root);
    if (!QFileInfo(root + QStringLiteral("/dev")).isDir())
        return QStringLiteral("the testbed has no /dev: the serial port list would scan the real /dev");

    QStringList real;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        if (!QFileInfo::exists(root + port.systemLocation()))
            real << QStringLiteral("serial port %1").arg(port.systemLocation());
    }
    libusb_context *context = nullptr;
    if (libusb_init(&context) == 0) {
        libusb_device **list = nullptr;
        const ssize_t n = libusb_get_device_list(context, &list);
        for (ssize_t i = 0; i < n; ++i) {
            const QString node = QStringLiteral("/dev/bus/usb/%1/%2")
                                     .arg(libusb_get_bus_number(list[i]), 3, 10, QLatin1Char('0'))
                                     .arg(libusb_get_device_address(list[i]), 3, 10, QLatin1Char('0'));
            if (!QFileInfo::exists(root + node))
                real << QStringLiteral("USB device %1").arg(node);
        }
        if (n >= 0)
            libusb_free_device_list(list, 1);
        libusb_exit(context);
    }
    if (!real.isEmpty())
        return QStringLiteral("not in the testbed, so the machine's own: %1").arg(real.join(QStringLiteral(", ")));
    return QString();
}

} // namespace quorvane::sim
