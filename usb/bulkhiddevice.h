#ifndef QUORVANE_USB_BULKHIDDEVICE_H
#define QUORVANE_USB_BULKHIDDEVICE_H

#include "usb/usbframe.h"
#include "usb/usbids.h"
#include "usb/zorbdevice.h"

#include <cstdint>
#include <optional>
#include <string>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

// A USB device reached through libusb with bulk transfers on interface 0, each waited for
// as a synchronous one (same time-outs, same results) while the window is served.
// The object owns its own libusb context for its whole life. It opens only the devices
// its reach admits (usb/usbids.h): a device of any other ID is never opened, whichever
// way of opening is asked for. An open finds the device from a JSON parameter text,
// learns the first IN and the first OUT endpoint of interface 0 of the device's active
// configuration and claims interface 0; the endpoints and packet sizes are that device's
// own, from the successful claim until close, which forgets them. A kernel driver bound to
// interface 0 is taken away only from a listed device whose interface is vendor specific
// or non-boot HID, and given back when the interface is released; any other device held
// by its driver is left alone (LIBUSB_ERROR_BUSY) and teaches the object nothing. Hubs are
// never opened by openByBusPort.
//
// Results: 0 success; libusb's negative codes passed through; -1 bad parameters; -2 no
// device opened; LIBUSB_ERROR_ACCESS when the only device that would do could not be
// opened for lack of permission. Specific to this class:
//  - write, readPacket on a closed object: -2 (no device opened), without a transfer;
//  - write, readPacket with no learned endpoint of that direction (packet size 0):
//    LIBUSB_ERROR_NOT_SUPPORTED (-12), without a transfer;
//  - write of 0 bytes on an open object with an OUT endpoint: 0, nothing sent;
//  - read on a closed object or with no IN endpoint: 3 (failure), `out` untouched;
//  - after a failed libusb_init every open returns -2 and deviceCount LIBUSB_ERROR_OTHER.
class BulkHidDevice : public ZorbDevice
{
public:
    BulkHidDevice();
    ~BulkHidDevice();
    BulkHidDevice(const BulkHidDevice &) = delete;
    BulkHidDevice &operator=(const BulkHidDevice &) = delete;

    // Chooses the device, in this order: by "bus"/"addr" when either is non-zero; else by
    // "vid"/"pid" when either is non-zero; else by the "VP" list of device names, retrying
    // a candidate that will not open up to three times after a 1000 ms wait each.
    // 0, -1, -2, or the claim error code.
    int open(const std::string &params) override;
    // Releases the claimed interface and closes the device. Always 0.
    int close() override;
    // Sends data padded with zero bytes to whole OUT packets, each packet after a 10 ms
    // pause. The count libusb reported for the last packet, or the failing transfer's code;
    // LIBUSB_ERROR_INTERRUPTED when the tool is stopping before a packet.
    int write(const char *data, int length, int timeoutMs) override;
    // One IN packet into buffer: 0 without a transfer when bufferSize is below the
    // packet size; else the byte count received or the transfer's negative code.
    int readPacket(unsigned char *buffer, int bufferSize, int timeoutMs) override;
    bool isOpen() override;

    // Opens the device at "bus" and "port" whose IDs are "vid" and "pid" (all four must
    // match). 0, -1 (not valid JSON), -2 (none opened) or the claim error code.
    int openByBusPort(const std::string &params);
    // One whole IN packet (its full size, zero-padded beyond what arrived) into out: 0;
    // 2 on time-out, 3 on any other failure, out untouched.
    int read(std::string &out, int timeoutMs);
    // How many devices the object's context lists (a negative libusb code on failure).
    int deviceCount();

    // Which devices the opens may reach from now on; the built-in IDs alone until set.
    void setReach(const usbids::UsbReach &reach) { this->reach = reach; }

    // Inspection, for the dialogue's log lines and for tests.
    std::uint8_t inEndpointAddress() const { return inEndpoint; }
    std::uint8_t outEndpointAddress() const { return outEndpoint; }
    int inPacketSize() const { return inMaxPacket; }
    int outPacketSize() const { return outMaxPacket; }
    const std::string &lastParams() const { return params; }

private:
    std::optional<usbframe::OpenParams> beginOpen(const std::string &text, std::uint16_t &calls);
    libusb_device_handle *openByBusAddress(int *failure) const;
    libusb_device_handle *openByVidPid(int *failure) const;
    libusb_device_handle *openByVpList(const QJsonArray &names, int *failure) const;
    usbids::Access accessTo(libusb_device *device) const;
    int finishOpen(int openFailure);

    libusb_device_handle *handle = nullptr;
    libusb_context *context = nullptr;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::uint8_t bus = 0;
    std::uint8_t port = 0;
    std::uint8_t address = 0;
    std::int32_t interfaceCount = 0;
    std::uint8_t inEndpoint = 0;
    std::uint8_t outEndpoint = 0;
    std::int32_t outMaxPacket = 0;
    std::int32_t inMaxPacket = 0;
    std::string params;
    usbids::UsbReach reach;
};

#endif // QUORVANE_USB_BULKHIDDEVICE_H
