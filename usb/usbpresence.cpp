// Presence of USB devices: a snapshot of the attached devices (position, product and
// vendor ID of each) taken at start-up and renewed at every poll, and the report of a
// device that has appeared since the previous snapshot.
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
void walkDevices(const UsbDeviceList &list, usbframe::UsbSnapshot *snapshot,
                 bool logEachDevice)
{
    for (int i = 0; i < list.count; ++i) {
        libusb_device *device = list.at(i);
        libusb_device_descriptor descriptor;
        if (!readDescriptor(device, &descriptor))
            continue;
        const QString position = usbframe::positionText(libusb_get_bus_number(device),
                                                        libusb_get_port_number(device));
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
    usbframe::UsbSnapshot snapshot{usbPositions, usbPids, usbVids};
    // Without a usable default context there is nothing to list: the snapshot stays empty.
    if (usbDefaultContext.ready()) {
        UsbDeviceList list(nullptr);
        qDebug() << "3";
        if (list.count != 0)
            qDebug("BulkHidDevice::open by VP  device count %d ", list.count);
        walkDevices(list, &snapshot, true);
    } else {
        qDebug() << "3";
    }
    usbPositions = snapshot.positions;
    usbPids = snapshot.pids;
    usbVids = snapshot.vids;
}

QString MainWindow::CheckUsbList()
{
    qDebug() << "11111";
    usbframe::UsbSnapshot current;
    if (usbDefaultContext.ready()) {
        UsbDeviceList list(nullptr);
        walkDevices(list, &current, false);
    }
    qDebug() << "现在的长度:" << current.positions.size() << "原usb组:" << usbPositions.size();
    qDebug() << "现在的" << current.positions << "原来的" << usbPositions;

    const usbframe::UsbSnapshot recorded{usbPositions, usbPids, usbVids};
    const usbframe::UsbChange change = usbframe::compareSnapshots(recorded, current);

    usbPositions = current.positions;
    usbVids = current.vids;
    usbPids = current.pids;
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
