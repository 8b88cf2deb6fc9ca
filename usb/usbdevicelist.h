#ifndef QUORVANE_USB_USBDEVICELIST_H
#define QUORVANE_USB_USBDEVICELIST_H

#include <QDebug>

#include <libusb.h>

// libusb's list of attached devices, released whichever way the scope is left (or
// earlier by release()). A failed enumeration reads as an empty list; `error` keeps
// libusb's code.
class UsbDeviceList
{
public:
    explicit UsbDeviceList(libusb_context *context)
    {
        const ssize_t n = libusb_get_device_list(context, &devices);
        count = n < 0 ? 0 : int(n);
        error = n < 0 ? int(n) : 0;
        if (n < 0)
            devices = nullptr;
    }
    ~UsbDeviceList() { release(); }
    UsbDeviceList(const UsbDeviceList &) = delete;
    UsbDeviceList &operator=(const UsbDeviceList &) = delete;

    void release()
    {
        if (devices)
            libusb_free_device_list(devices, 1);
        devices = nullptr;
        count = 0;
    }
    libusb_device *at(int i) const { return devices[i]; }

    libusb_device **devices = nullptr;
    int count = 0;
    int error = 0;
};

// Reads a listed device's descriptor. A device whose descriptor cannot be read is left out
// by every walk; the warning says so.
inline bool readDescriptor(libusb_device *device, libusb_device_descriptor *descriptor)
{
    const int described = libusb_get_device_descriptor(device, descriptor);
    if (described != 0)
        qWarning() << "BulkHidDevice::open libusb_get_device_descriptor error " << described;
    return described == 0;
}

#endif // QUORVANE_USB_USBDEVICELIST_H
