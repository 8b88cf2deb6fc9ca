#ifndef QUORVANE_USB_USBPRESENCE_H
#define QUORVANE_USB_USBPRESENCE_H

// libusb's default context, which the presence walks enumerate through (the device
// object keeps a context of its own). The window initialises it once, at its first walk,
// and ends it when the window goes.
class UsbDefaultContext
{
public:
    UsbDefaultContext() = default;
    ~UsbDefaultContext();
    UsbDefaultContext(const UsbDefaultContext &) = delete;
    UsbDefaultContext &operator=(const UsbDefaultContext &) = delete;

    // True when the default context is usable; initialises it on the first call.
    bool ready();

private:
    bool tried = false;
    bool held = false;
};

#endif // QUORVANE_USB_USBPRESENCE_H
