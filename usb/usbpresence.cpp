// Presence of USB devices: a snapshot of the attached devices (position, product and
// vendor ID of each) taken at start-up and renewed at every poll, and the report of a
// device that has appeared since the previous snapshot. A walk whose enumeration fails
// leaves the snapshot as it was, and until one walk has succeeded a walk only records:
// otherwise every device already attached, root hubs first, would look newly plugged in.
#include "app/mainwindow.h"
#include "usb/usbdevicelist.h"
#include "usb/usbframe.h"
#include "usb/usbpresence.h"

#include <QDebug>

#include <libusb.h>

UsbDefaultContext::~UsbDefaultContext()
{
    if (held)
        libusb_exit(nullptr);
}

bool UsbDefaultContext::ready()
{
    if (!tried) {
        tried = true;
        const int result = libusb_init(nullptr);
        held = result == 0;
        if (!held)
            qCritical() << "libusb_init default context error" << result;
    }
    return held;
}

namespace {

// Appends every device of the list whose descriptor can be read to the snapshot, in
// the list's order. The list is released by its owner.
void walkDevices(const UsbDeviceList &list, usbframe::UsbSnapshot *snapshot, bool logEachDevice)
{
    for (int i = 0; i < list.count; ++i) {
        libusb_device *device = list.at(i);
        libusb_device_descriptor descriptor;
        if (!readDescriptor(device, &descriptor))
            continue;
        const QString position =
            usbframe::positionText(libusb_get_bus_number(device), libusb_get_port_number(device));
        snapshot->positions.append(position);
        snapshot->pids.append(descriptor.idProduct);
        snapshot->vids.append(descriptor.idVendor);
        if (logEachDevice) {
            qDebug() << "POSI:" << position;
            qDebug() << "PID:" << snapshot->pids;
            qDebug() << "VID:" << snapshot->vids;
        }
    }
}

} // namespace

void MainWindow::InitUsbList()
{
    qDebug() << "1";
    qDebug() << "2";
    usbframe::UsbSnapshot snapshot {usbPositions, usbPids, usbVids, false};
    // Without a usable default context, or when the enumeration fails, nothing is known:
    // the snapshot stays empty and unlisted, and the next walk that succeeds only records.
    if (usbDefaultContext.ready()) {
        UsbDeviceList list(nullptr);
        qDebug() << "3";
        if (list.count != 0)
            qDebug("BulkHidDevice::open by VP  device count %d ", list.count);
        snapshot.listed = list.error == 0;
        walkDevices(list, &snapshot, true);
    } else {
        qDebug() << "3";
    }
    usbPositions = snapshot.positions;
    usbPids = snapshot.pids;
    usbVids = snapshot.vids;
    usbListed = snapshot.listed;
}

QString MainWindow::CheckUsbList()
{
    qDebug() << "11111";
    usbframe::UsbSnapshot current;
    current.listed = false;
    if (usbDefaultContext.ready()) {
        UsbDeviceList list(nullptr);
        current.listed = list.error == 0;
        if (!current.listed)
            qWarning() << "libusb_get_device_list error" << list.error;
        walkDevices(list, &current, false);
    }
    qDebug() << "现在的长度:" << current.positions.size() << "原usb组:" << usbPositions.size();
    qDebug() << "现在的" << current.positions << "原来的" << usbPositions;

    const usbframe::UsbSnapshot recorded {usbPositions, usbPids, usbVids, usbListed};
    const usbframe::UsbChange change = usbframe::compareSnapshots(recorded, current);

    if (change.record) {
        usbPositions = current.positions;
        usbVids = current.vids;
        usbPids = current.pids;
        usbListed = true;
    }
    qDebug() << "extraElement" << change.position;
    extraElement = change.position;
    if (!change.grew)
        return QStringLiteral("NULL");
    if (change.idsKnown) {
        hidVid = change.vid;
        hidPid = change.pid;
    }
    return change.position;
}
