#include "usb/bulkhiddevice.h"
#include "usb/usbdevicelist.h"
#include "usb/usbframe.h"

#include <QByteArray>
#include <QDebug>
#include <QJsonArray>
#include <QThread>

#include <libusb.h>

namespace {

// Calls of each open operation, counted over the whole process: the start line of an
// open is logged on every 50th call only, since the detection cycle opens once a second.
std::uint16_t openCalls = 0;
std::uint16_t openByBusPortCalls = 0;
constexpr int startLineEvery = 50;

// Device count of the previous "VP" scan, process-wide: logged only when it changes.
int lastVpDeviceCount = 0;

constexpr int interfaceNumber = 0;
constexpr int vpRetries = 3;
constexpr unsigned long vpRetryWaitMs = 1000;
constexpr unsigned long packetPauseMs = 10;
constexpr int readLogBytes = 25;
constexpr int writeLogBytes = 50;

constexpr int resultBadParams = -1;
constexpr int resultNoDevice = -2;
constexpr int readTimedOut = 2;
constexpr int readFailed = 3;

QString text(const std::string &s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

} // namespace

BulkHidDevice::BulkHidDevice()
{
    const int result = libusb_init(&context);
    if (result < 0) {
        qCritical() << "BulkHidDevice::BulkHidDevice init error" << result;
        context = nullptr;
    }
}

BulkHidDevice::~BulkHidDevice()
{
    qDebug() << "BulkHidDevice::~BulkHidDevice start";
    close();
    if (context)
        libusb_exit(context);
    context = nullptr;
    qDebug() << "BulkHidDevice::~BulkHidDevice end";
}

bool BulkHidDevice::isOpen()
{
    return handle != nullptr;
}

// The steps both open operations begin with. False when the text is not valid JSON
// (*result then holds -1); otherwise the fields of the operation's keys are set.
bool BulkHidDevice::beginOpen(const std::string &text, std::uint16_t *counter,
                              bool byBusPort, int *result)
{
    ++*counter;
    if (*counter % startLineEvery == 0)
        qDebug().noquote() << "BulkHidDevice::open start" << ::text(text);
    if (handle)
        close();
    params = text;

    const usbframe::OpenParams parsed = usbframe::parseOpenParams(text);
    if (!parsed.valid) {
        qWarning().noquote() << "BulkHidDevice::open parse " << ::text(text) << " error "
                             << parsed.parseError;
        *result = resultBadParams;
        return false;
    }
    vid = parsed.vid;
    pid = parsed.pid;
    bus = parsed.bus;
    if (byBusPort)
        port = parsed.port;
    else
        address = parsed.address;
    return true;
}

int BulkHidDevice::open(const std::string &text)
{
    int result = 0;
    if (!beginOpen(text, &openCalls, false, &result))
        return result;

    if (bus != 0 || address != 0) {
        openByBusAddress();
    } else if (vid != 0 || pid != 0) {
        openByVidPid();
    } else {
        result = openByVpList(text);
        if (result != 0)
            return result;
    }
    return finishOpen();
}

void BulkHidDevice::openByBusAddress()
{
    if (!context)
        return;
    UsbDeviceList list(context);
    qDebug("BulkHidDevice::open by bus %d addr %d, device count %d ", bus, address, list.count);
    for (int i = 0; i < list.count; ++i) {
        libusb_device *device = list.at(i);
        const int deviceBus = libusb_get_bus_number(device);
        const int deviceAddress = libusb_get_device_address(device);
        qDebug() << "device_address:" << deviceBus << deviceAddress;
        if (deviceBus != bus || deviceAddress != address)
            continue;
        const int result = libusb_open(device, &handle);
        if (result == 0)
            break;
        handle = nullptr;
        qWarning() << "Unable to obtain device handle1 " << result;
    }
}

void BulkHidDevice::openByVidPid()
{
    qDebug() << "BulkHidDevice::open libusb_open_device_with_vid_pid" << uint(vid) << uint(pid);
    if (context)
        handle = libusb_open_device_with_vid_pid(context, vid, pid);
}

// The first device in libusb's order whose IDs one of the "VP" names gives. A candidate
// that does not open is tried again with a fresh list after a pause, at most three times:
// a device that has just arrived may not be ready to open yet.
int BulkHidDevice::openByVpList(const std::string &text)
{
    const QJsonArray names = usbframe::parseOpenParams(text).vp;
    if (names.isEmpty()) {
        qWarning() << "BulkHidDevice::open param error";
        return resultBadParams;
    }
    if (!context)
        return 0; // the epilogue reports that no device opened

    int retries = 0;
    bool rescan = true;
    while (rescan) {
        rescan = false;
        UsbDeviceList list(context);
        if (list.count != lastVpDeviceCount) {
            lastVpDeviceCount = list.count;
            qDebug("BulkHidDevice::open by VP  device count %d ", list.count);
        }
        libusb_device *opened = nullptr;
        for (int i = 0; i < list.count && !opened && !rescan; ++i) {
            libusb_device *device = list.at(i);
            libusb_device_descriptor descriptor;
            if (!readDescriptor(device, &descriptor))
                continue;
            qDebug() << "device_address:" << libusb_get_bus_number(device)
                     << libusb_get_device_address(device);
            qWarning() << retries << "vid-pid:" << uint(descriptor.idVendor)
                       << uint(descriptor.idProduct) << static_cast<void *>(device);

            for (const QJsonValue &name : names) {
                quint16 nameVid = 0;
                quint16 namePid = 0;
                if (!usbframe::parseVpName(name.toString(), &nameVid, &namePid))
                    continue;
                if (nameVid != descriptor.idVendor || namePid != descriptor.idProduct)
                    continue;
                const int result = libusb_open(device, &handle);
                if (result == 0) {
                    opened = device;
                } else if (retries < vpRetries) {
                    handle = nullptr;
                    rescan = true;
                } else {
                    if (handle) {
                        qWarning() << "Unable to obtain device handle2 " << result
                                   << static_cast<void *>(handle);
                    }
                    handle = nullptr;
                }
                break; // the remaining names are not tried for this device
            }
        }
        if (opened) {
            qDebug() << "device_address:" << libusb_get_bus_number(opened)
                     << libusb_get_device_address(opened);
        }
        list.release();
        if (rescan) {
            QThread::msleep(vpRetryWaitMs);
            ++retries;
        }
    }
    return 0;
}

int BulkHidDevice::openByBusPort(const std::string &text)
{
    int result = 0;
    if (!beginOpen(text, &openByBusPortCalls, true, &result))
        return result;

    if (context) {
        UsbDeviceList list(context);
        qDebug("BulkHidDevice::open by bus %d addr %d, device count %d ", bus, address, list.count);
        for (int i = 0; i < list.count; ++i) {
            libusb_device *device = list.at(i);
            libusb_device_descriptor descriptor;
            if (libusb_get_device_descriptor(device, &descriptor) != 0)
                continue;
            if (descriptor.bDeviceClass == usbframe::hubClass)
                continue; // never opened, see usbframe::hubClass
            const int deviceBus = libusb_get_bus_number(device);
            const int devicePort = libusb_get_port_number(device);
            if (deviceBus != bus || devicePort != port || descriptor.idVendor != vid
                || descriptor.idProduct != pid)
                continue;
            qDebug() << "aaaa" << deviceBus << devicePort;
            const int opened = libusb_open(device, &handle);
            if (opened == 0)
                break;
            handle = nullptr;
            qWarning() << "Unable to obtain device handle1 " << opened;
        }
    }
    return finishOpen();
}

// The steps every open ends with: check whose interface 0 is, learn the endpoints and
// claim it. A kernel driver is taken from interface 0 only where the interface is of a kind
// the licence devices present (vendor specific, HID without boot protocol); libusb then
// binds the driver again when the interface is released. Any other device held by its
// driver (a keyboard, a disk, a hub) is closed again untouched: nothing is claimed or sent,
// and nothing is learned from it.
int BulkHidDevice::finishOpen()
{
    if (!handle) {
        qCritical() << "BulkHidDevice::open open hid device error";
        return resultNoDevice;
    }
    libusb_config_descriptor *config = nullptr;
    const int described = libusb_get_config_descriptor(libusb_get_device(handle), 0, &config);
    if (described != 0 || !config) {
        qWarning() << "BulkHidDevice::open libusb_get_config_descriptor error " << described;
        config = nullptr;
    }
    const libusb_interface_descriptor *setting =
        config && config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0
            ? &config->interface[0].altsetting[0]
            : nullptr;

    qDebug("BulkHidDevice::open Claiming interface %d...", interfaceNumber);
    const int active = libusb_kernel_driver_active(handle, interfaceNumber);
    qDebug("libusb_kernel_driver_active %d", active);
    if (active == 1) {
        // Without a readable descriptor the kind is unknown, and unknown is not taken.
        if (!setting || !usbframe::mayTakeFromDriver(setting->bInterfaceClass,
                                                     setting->bInterfaceSubClass)) {
            qDebug("BulkHidDevice::open interface %d (class %d subclass %d) belongs to its "
                   "kernel driver: left alone",
                   interfaceNumber, setting ? setting->bInterfaceClass : -1,
                   setting ? setting->bInterfaceSubClass : -1);
            if (config)
                libusb_free_config_descriptor(config);
            libusb_close(handle);
            handle = nullptr;
            return LIBUSB_ERROR_BUSY;
        }
        const int detached = libusb_set_auto_detach_kernel_driver(handle, 1);
        qWarning("libusb_kernel_driver_active active %d", detached);
    }

    interfaceCount = 1;
    if (config) {
        learnEndpoints(*config);
        libusb_free_config_descriptor(config);
    }
    const int claimed = libusb_claim_interface(handle, interfaceNumber);
    if (claimed != 0) {
        qCritical("BulkHidDevice::open Failed to claim interface %d,error code %d",
                  interfaceNumber, claimed);
        // Where the driver went but the claim did not succeed, there is no release to bind
        // it again: ask for that here (it fails harmlessly when the driver is still bound).
        if (active == 1)
            libusb_attach_kernel_driver(handle, interfaceNumber);
        close();
        return claimed;
    }
    qDebug() << "BulkHidDevice::open success";
    return 0;
}

// The first IN and the first OUT endpoint of interface 0, over its alternate settings in
// order; control endpoints do not count. Fields already learned are kept. Without a
// readable configuration nothing is learned and the open goes on to the claim: the
// transfers then report that they have no endpoint.
void BulkHidDevice::learnEndpoints(const libusb_config_descriptor &config)
{
    if (config.bNumInterfaces == 0)
        return;
    const libusb_interface &interface = config.interface[0];
    for (int a = 0; a < interface.num_altsetting; ++a) {
        const libusb_interface_descriptor &setting = interface.altsetting[a];
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
            if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_CONTROL)
                continue;
            if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
                if (inEndpoint == 0) {
                    inEndpoint = endpoint.bEndpointAddress;
                    inMaxPacket = endpoint.wMaxPacketSize;
                }
            } else if (outEndpoint == 0) {
                outEndpoint = endpoint.bEndpointAddress;
                outMaxPacket = endpoint.wMaxPacketSize;
            }
        }
    }
}

int BulkHidDevice::close()
{
    if (handle) {
        for (int i = 0; i < interfaceCount; ++i)
            libusb_release_interface(handle, i);
        libusb_close(handle);
        handle = nullptr;
    }
    interfaceCount = 0;
    qDebug() << "BulkHidDevice::close end";
    return 0;
}

int BulkHidDevice::write(const char *data, int length, int timeoutMs)
{
    if (!handle)
        return resultNoDevice;
    if (outEndpoint == 0 || outMaxPacket <= 0)
        return LIBUSB_ERROR_NOT_SUPPORTED;

    const QByteArray bytes = length > 0 ? QByteArray(data, length) : QByteArray();
    qDebug() << "BulkHidDevice::write 11" << bytes.left(writeLogBytes).toHex().constData()
             << " len: " << length << " timeout: " << timeoutMs;
    QByteArray packets = usbframe::padToPackets(bytes, outMaxPacket);

    int transferred = 0;
    for (int offset = 0; offset < packets.size(); offset += outMaxPacket) {
        QThread::msleep(packetPauseMs);
        transferred = 0;
        const int result = libusb_bulk_transfer(
            handle, outEndpoint, reinterpret_cast<unsigned char *>(packets.data()) + offset,
            outMaxPacket, &transferred, static_cast<unsigned int>(timeoutMs));
        if (result != 0) {
            qWarning() << "BulkHidDevice::write write fails " << result;
            return result;
        }
    }
    return transferred;
}

int BulkHidDevice::read(std::string &out, int timeoutMs)
{
    if (!handle || inEndpoint == 0 || inMaxPacket <= 0)
        return readFailed;
    std::string packet(size_t(inMaxPacket), '\0');
    int transferred = 0;
    const int result = libusb_bulk_transfer(handle, inEndpoint,
                                            reinterpret_cast<unsigned char *>(&packet[0]),
                                            inMaxPacket, &transferred,
                                            static_cast<unsigned int>(timeoutMs));
    if (result == LIBUSB_ERROR_TIMEOUT)
        return readTimedOut;
    if (result != 0)
        return readFailed;
    qDebug() << "BulkHidDevice::read 10"
             << QByteArray::fromStdString(packet).left(readLogBytes).toHex().constData() << " timeout "
             << timeoutMs;
    out = packet;
    return 0;
}

int BulkHidDevice::readPacket(unsigned char *buffer, int bufferSize, int timeoutMs)
{
    if (!handle)
        return resultNoDevice;
    if (inEndpoint == 0 || inMaxPacket <= 0)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    if (bufferSize < inMaxPacket)
        return 0;
    int transferred = 0;
    const int result = libusb_bulk_transfer(handle, inEndpoint, buffer, inMaxPacket,
                                            &transferred, static_cast<unsigned int>(timeoutMs));
    return result != 0 ? result : transferred;
}

int BulkHidDevice::deviceCount()
{
    if (!context)
        return LIBUSB_ERROR_OTHER;
    UsbDeviceList list(context);
    return list.error != 0 ? list.error : list.count;
}
