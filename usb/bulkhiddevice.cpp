#include "usb/bulkhiddevice.h"
#include "usb/usbdevicelist.h"
#include "usb/usbframe.h"
#include "shared/eventwait.h"

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
constexpr int packetPauseMs = 10;
constexpr int readLogBytes = 25;
constexpr int writeLogBytes = 50;

constexpr int resultBadParams = -1;
constexpr int resultNoDevice = -2;
constexpr int readTimedOut = 2;
constexpr int readFailed = 3;

// Why a transfer in one direction cannot start: no device is open (resultNoDevice), or
// the open learned no endpoint of that direction (LIBUSB_ERROR_NOT_SUPPORTED). 0 when it can.
int transferRefusal(const libusb_device_handle *handle, std::uint8_t endpoint, int maxPacket)
{
    if (!handle)
        return resultNoDevice;
    if (endpoint == 0 || maxPacket <= 0)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    return 0;
}

// While a transfer runs, libusb's events are handled in slices this long, and the window
// is served between them.
constexpr int transferSliceUs = 5000;

void LIBUSB_CALL transferDone(libusb_transfer *transfer)
{
    *static_cast<int *>(transfer->user_data) = 1;
}

// One bulk transfer with the results of libusb_bulk_transfer: its time-out is libusb's,
// and the transfer runs to its end even when the tool is stopping (at most that time-out).
// Instead of blocking the thread for it, libusb's events are handled in short slices with
// the window served in between.
int bulkTransfer(libusb_context *context, libusb_device_handle *handle, unsigned char endpoint,
                 unsigned char *data, int length, int *transferred, unsigned int timeoutMs)
{
    libusb_transfer *transfer = libusb_alloc_transfer(0);
    if (!transfer)
        return LIBUSB_ERROR_NO_MEM;
    int completed = 0;
    libusb_fill_bulk_transfer(transfer, handle, endpoint, data, length, transferDone, &completed, timeoutMs);
    const int submitted = libusb_submit_transfer(transfer);
    if (submitted < 0) {
        libusb_free_transfer(transfer);
        return submitted;
    }
    while (!completed) {
        timeval slice {0, transferSliceUs};
        const int handled = libusb_handle_events_timeout_completed(context, &slice, &completed);
        if (handled < 0 && handled != LIBUSB_ERROR_INTERRUPTED) {
            // As libusb's own synchronous transfer does: cancel, and wait for the end.
            libusb_cancel_transfer(transfer);
            while (!completed && libusb_handle_events_completed(context, &completed) >= 0) { }
            break;
        }
        eventwait::serve();
    }
    *transferred = transfer->actual_length;
    int result = LIBUSB_ERROR_OTHER;
    switch (transfer->status) {
    case LIBUSB_TRANSFER_COMPLETED:
        result = 0;
        break;
    case LIBUSB_TRANSFER_TIMED_OUT:
        result = LIBUSB_ERROR_TIMEOUT;
        break;
    case LIBUSB_TRANSFER_STALL:
        result = LIBUSB_ERROR_PIPE;
        break;
    case LIBUSB_TRANSFER_OVERFLOW:
        result = LIBUSB_ERROR_OVERFLOW;
        break;
    case LIBUSB_TRANSFER_NO_DEVICE:
        result = LIBUSB_ERROR_NO_DEVICE;
        break;
    case LIBUSB_TRANSFER_ERROR:
    case LIBUSB_TRANSFER_CANCELLED:
        result = LIBUSB_ERROR_IO;
        break;
    }
    libusb_free_transfer(transfer);
    return result;
}

QString text(const std::string &s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

// What a walk over the device list came to: the first accepted device that opened (with
// its handle), or nothing, or a stop because a candidate asked for a fresh list; and the
// code of the last open that failed (0: none did).
struct Walk
{
    libusb_device_handle *handle = nullptr;
    libusb_device *device = nullptr;
    bool retry = false;
    int failure = 0;
};

// What the walk does after an accepted device did not open.
enum class AfterFailure { NextDevice, Retry };

// The one walk behind every way of opening: each device of the list, in libusb's order,
// that `accepts` takes is opened, and the first that opens ends the walk. A device that
// does not open hands its code and whatever handle libusb left to `failed`, which says
// whether the walk goes on or stops for a fresh list.
template<typename Accepts, typename Failed>
Walk openFirst(const UsbDeviceList &list, Accepts accepts, Failed failed)
{
    int failure = 0;
    for (int i = 0; i < list.count; ++i) {
        libusb_device *device = list.at(i);
        if (!accepts(device))
            continue;
        libusb_device_handle *handle = nullptr;
        const int result = libusb_open(device, &handle);
        if (result == 0)
            return {handle, device, false, 0};
        failure = result;
        if (failed(result, handle) == AfterFailure::Retry)
            return {nullptr, nullptr, true, failure};
    }
    return {nullptr, nullptr, false, failure};
}

// The failure of an open by position: said, and the walk goes on.
AfterFailure nextDevice(int result, libusb_device_handle *)
{
    qWarning() << "Unable to obtain device handle1 " << result;
    return AfterFailure::NextDevice;
}

// The failure of an open by IDs: the walk goes on, without a line.
AfterFailure nextDeviceQuietly(int, libusb_device_handle *)
{
    return AfterFailure::NextDevice;
}

// The descriptor of the configuration a device is in now, freed with the scope; null when
// it cannot be read (an unconfigured device, for one).
class ActiveConfig
{
public:
    explicit ActiveConfig(libusb_device *device)
    {
        result = libusb_get_active_config_descriptor(device, &config);
        if (result != 0)
            config = nullptr;
    }
    ~ActiveConfig()
    {
        if (config)
            libusb_free_config_descriptor(config);
    }
    ActiveConfig(const ActiveConfig &) = delete;
    ActiveConfig &operator=(const ActiveConfig &) = delete;

    const libusb_config_descriptor *get() const { return config; }
    // The first alternate setting of interface 0, or null.
    const libusb_interface_descriptor *interfaceZero() const
    {
        return config && config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0
            ? &config->interface[0].altsetting[0]
            : nullptr;
    }
    int result = 0;

private:
    libusb_config_descriptor *config = nullptr;
};

// The first IN and the first OUT endpoint of interface 0, over its alternate settings in
// order, with their packet sizes; control endpoints do not count.
struct Endpoints
{
    std::uint8_t in = 0;
    std::int32_t inMaxPacket = 0;
    std::uint8_t out = 0;
    std::int32_t outMaxPacket = 0;
};

Endpoints endpointsOf(const libusb_config_descriptor &config)
{
    Endpoints found;
    if (config.bNumInterfaces == 0)
        return found;
    const libusb_interface &interface = config.interface[0];
    for (int a = 0; a < interface.num_altsetting; ++a) {
        const libusb_interface_descriptor &setting = interface.altsetting[a];
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
            if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_CONTROL)
                continue;
            if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
                if (found.in == 0) {
                    found.in = endpoint.bEndpointAddress;
                    found.inMaxPacket = endpoint.wMaxPacketSize;
                }
            } else if (found.out == 0) {
                found.out = endpoint.bEndpointAddress;
                found.outMaxPacket = endpoint.wMaxPacketSize;
            }
        }
    }
    return found;
}

// Whether one of the "VP" names gives the descriptor's IDs.
bool named(const QJsonArray &names, const libusb_device_descriptor &descriptor)
{
    for (const QJsonValue &name : names) {
        quint16 nameVid = 0;
        quint16 namePid = 0;
        if (usbframe::parseVpName(name.toString(), &nameVid, &namePid) && nameVid == descriptor.idVendor
            && namePid == descriptor.idProduct)
            return true;
    }
    return false;
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

// The steps both open operations begin with: the throttled start line, closing what is
// open, and the parameters read from the text; nothing when the text is not valid JSON.
std::optional<usbframe::OpenParams> BulkHidDevice::beginOpen(const std::string &text, std::uint16_t &calls)
{
    ++calls;
    if (calls % startLineEvery == 0)
        qDebug().noquote() << "BulkHidDevice::open start" << ::text(text);
    if (handle)
        close();
    params = text;

    usbframe::OpenParams parsed = usbframe::parseOpenParams(text);
    if (!parsed.valid) {
        qWarning().noquote() << "BulkHidDevice::open parse " << ::text(text) << " error "
                             << parsed.parseError;
        return std::nullopt;
    }
    vid = parsed.vid;
    pid = parsed.pid;
    bus = parsed.bus;
    return parsed;
}

int BulkHidDevice::open(const std::string &text)
{
    const std::optional<usbframe::OpenParams> parsed = beginOpen(text, openCalls);
    if (!parsed)
        return resultBadParams;
    address = parsed->address;

    int failure = 0;
    if (bus != 0 || address != 0) {
        handle = openByBusAddress(&failure);
    } else if (vid != 0 || pid != 0) {
        handle = openByVidPid(&failure);
    } else if (parsed->vp.isEmpty()) {
        qWarning() << "BulkHidDevice::open param error";
        return resultBadParams;
    } else {
        handle = openByVpList(parsed->vp, &failure);
    }
    return finishOpen(failure);
}

// What the reach allows with a device: its IDs decide, and for the "any" reach the kind of
// interface 0 in the configuration the device is in now. Read from what the system lists,
// without opening the device.
usbids::Access BulkHidDevice::accessTo(libusb_device *device) const
{
    libusb_device_descriptor descriptor;
    if (libusb_get_device_descriptor(device, &descriptor) != 0)
        return usbids::Access::None;
    int interfaceClass = -1;
    int interfaceSubClass = -1;
    if (reach.any) {
        const ActiveConfig config(device);
        if (const libusb_interface_descriptor *setting = config.interfaceZero()) {
            interfaceClass = setting->bInterfaceClass;
            interfaceSubClass = setting->bInterfaceSubClass;
        }
    }
    return usbids::access(reach, descriptor.idVendor, descriptor.idProduct, interfaceClass,
                          interfaceSubClass);
}

libusb_device_handle *BulkHidDevice::openByBusAddress(int *failure) const
{
    if (!context)
        return nullptr;
    const UsbDeviceList list(context);
    qDebug("BulkHidDevice::open by bus %d addr %d, device count %d ", bus, address, list.count);
    const auto atAddress = [this](libusb_device *device) {
        const int deviceBus = libusb_get_bus_number(device);
        const int deviceAddress = libusb_get_device_address(device);
        qDebug() << "device_address:" << deviceBus << deviceAddress;
        return deviceBus == bus && deviceAddress == address && accessTo(device) != usbids::Access::None;
    };
    const Walk walk = openFirst(list, atAddress, nextDevice);
    *failure = walk.failure;
    return walk.handle;
}

// The first device with the IDs that opens, as libusb_open_device_with_vid_pid finds it,
// among the devices the reach admits.
libusb_device_handle *BulkHidDevice::openByVidPid(int *failure) const
{
    qDebug() << "BulkHidDevice::open libusb_open_device_with_vid_pid" << uint(vid) << uint(pid);
    if (!context)
        return nullptr;
    const UsbDeviceList list(context);
    const auto withIds = [this](libusb_device *device) {
        libusb_device_descriptor descriptor;
        return libusb_get_device_descriptor(device, &descriptor) == 0 && descriptor.idVendor == vid
            && descriptor.idProduct == pid && accessTo(device) != usbids::Access::None;
    };
    const Walk walk = openFirst(list, withIds, nextDeviceQuietly);
    *failure = walk.failure;
    return walk.handle;
}

// The first device in libusb's order whose IDs one of the "VP" names gives. A candidate
// that does not open is tried again with a fresh list after a pause, at most three times:
// a device that has just arrived may not be ready to open yet.
libusb_device_handle *BulkHidDevice::openByVpList(const QJsonArray &names, int *failure) const
{
    if (!context)
        return nullptr; // the epilogue reports that no device opened
    for (int retries = 0;; ++retries) {
        UsbDeviceList list(context);
        if (list.count != lastVpDeviceCount) {
            lastVpDeviceCount = list.count;
            qDebug("BulkHidDevice::open by VP  device count %d ", list.count);
        }
        const auto candidate = [this, &names, retries](libusb_device *device) {
            libusb_device_descriptor descriptor;
            if (!readDescriptor(device, &descriptor))
                return false;
            qDebug() << "device_address:" << libusb_get_bus_number(device)
                     << libusb_get_device_address(device);
            qWarning() << retries << "vid-pid:" << uint(descriptor.idVendor) << uint(descriptor.idProduct)
                       << static_cast<void *>(device);
            return named(names, descriptor) && accessTo(device) != usbids::Access::None;
        };
        const auto failed = [retries](int result, libusb_device_handle *left) {
            if (retries < vpRetries)
                return AfterFailure::Retry;
            if (left) {
                qWarning() << "Unable to obtain device handle2 " << result << static_cast<void *>(left);
            }
            return AfterFailure::NextDevice;
        };
        const Walk walk = openFirst(list, candidate, failed);
        *failure = walk.failure;
        if (walk.handle) {
            qDebug() << "device_address:" << libusb_get_bus_number(walk.device)
                     << libusb_get_device_address(walk.device);
        }
        if (!walk.retry)
            return walk.handle;
        list.release();
        QThread::msleep(vpRetryWaitMs);
    }
}

int BulkHidDevice::openByBusPort(const std::string &text)
{
    const std::optional<usbframe::OpenParams> parsed = beginOpen(text, openByBusPortCalls);
    if (!parsed)
        return resultBadParams;
    port = parsed->port;

    int failure = 0;
    if (context) {
        const UsbDeviceList list(context);
        qDebug("BulkHidDevice::open by bus %d addr %d, device count %d ", bus, address, list.count);
        const auto atPort = [this](libusb_device *device) {
            libusb_device_descriptor descriptor;
            if (libusb_get_device_descriptor(device, &descriptor) != 0)
                return false;
            if (descriptor.bDeviceClass == usbframe::hubClass)
                return false; // never opened, see usbframe::hubClass
            const int deviceBus = libusb_get_bus_number(device);
            const int devicePort = libusb_get_port_number(device);
            if (deviceBus != bus || devicePort != port || descriptor.idVendor != vid
                || descriptor.idProduct != pid)
                return false;
            if (accessTo(device) == usbids::Access::None) {
                qDebug().noquote() << "BulkHidDevice::open"
                                   << usbids::idText({descriptor.idVendor, descriptor.idProduct})
                                   << "is not a listed licence device: not opened";
                return false;
            }
            qDebug() << "aaaa" << deviceBus << devicePort;
            return true;
        };
        const Walk walk = openFirst(list, atPort, nextDevice);
        handle = walk.handle;
        failure = walk.failure;
    }
    return finishOpen(failure);
}

// The steps every open ends with: check whose interface 0 is, learn the endpoints and
// claim it, all from the configuration the device is in now. A kernel driver is taken from
// interface 0 only where the device is listed and the interface is of a kind the licence
// devices present (vendor specific, HID without boot protocol); libusb then binds the
// driver again when the interface is released. Any other device held by its driver (a
// keyboard, a disk, a hub, an unlisted device of the "any" reach) is closed again
// untouched: nothing is claimed or sent. Only a successful claim teaches the object the
// device's endpoints.
int BulkHidDevice::finishOpen(int openFailure)
{
    if (!handle) {
        qCritical() << "BulkHidDevice::open open hid device error";
        return openFailure == LIBUSB_ERROR_ACCESS ? LIBUSB_ERROR_ACCESS : resultNoDevice;
    }
    libusb_device *device = libusb_get_device(handle);
    const usbids::Access access = accessTo(device);
    if (access == usbids::Access::None) { // every walk passes such a device over
        libusb_close(handle);
        handle = nullptr;
        return resultNoDevice;
    }
    const ActiveConfig config(device);
    if (!config.get())
        qWarning() << "BulkHidDevice::open libusb_get_active_config_descriptor error " << config.result;
    const libusb_interface_descriptor *setting = config.interfaceZero();

    qDebug("BulkHidDevice::open Claiming interface %d...", interfaceNumber);
    const int active = libusb_kernel_driver_active(handle, interfaceNumber);
    qDebug("libusb_kernel_driver_active %d", active);
    if (active == 1) {
        // Without a readable descriptor the kind is unknown, and unknown is not taken.
        const bool take = access == usbids::Access::Listed && setting
            && usbframe::mayTakeFromDriver(setting->bInterfaceClass, setting->bInterfaceSubClass);
        if (!take) {
            qDebug("BulkHidDevice::open interface %d (class %d subclass %d) belongs to its "
                   "kernel driver: left alone",
                   interfaceNumber, setting ? setting->bInterfaceClass : -1,
                   setting ? setting->bInterfaceSubClass : -1);
            libusb_close(handle);
            handle = nullptr;
            return LIBUSB_ERROR_BUSY;
        }
        const int detached = libusb_set_auto_detach_kernel_driver(handle, 1);
        qWarning("libusb_kernel_driver_active active %d", detached);
    }

    interfaceCount = 1;
    // Without a readable configuration nothing is learned and the open goes on to the
    // claim: the transfers then report that they have no endpoint.
    const Endpoints learned = config.get() ? endpointsOf(*config.get()) : Endpoints {};
    const int claimed = libusb_claim_interface(handle, interfaceNumber);
    if (claimed != 0) {
        qCritical("BulkHidDevice::open Failed to claim interface %d,error code %d", interfaceNumber, claimed);
        // Where the driver went but the claim did not succeed, there is no release to bind
        // it again: ask for that here (it fails harmlessly when the driver is still bound).
        if (active == 1)
            libusb_attach_kernel_driver(handle, interfaceNumber);
        close();
        return claimed;
    }
    inEndpoint = learned.in;
    inMaxPacket = learned.inMaxPacket;
    outEndpoint = learned.out;
    outMaxPacket = learned.outMaxPacket;
    qDebug() << "BulkHidDevice::open success";
    return 0;
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
    // The next open learns its own device's endpoints.
    inEndpoint = 0;
    outEndpoint = 0;
    inMaxPacket = 0;
    outMaxPacket = 0;
    qDebug() << "BulkHidDevice::close end";
    return 0;
}

int BulkHidDevice::write(const char *data, int length, int timeoutMs)
{
    if (const int refused = transferRefusal(handle, outEndpoint, outMaxPacket))
        return refused;

    const QByteArray bytes = length > 0 ? QByteArray(data, length) : QByteArray();
    qDebug() << "BulkHidDevice::write 11" << bytes.left(writeLogBytes).toHex().constData()
             << " len: " << length << " timeout: " << timeoutMs;
    QByteArray packets = usbframe::padToPackets(bytes, outMaxPacket);

    int transferred = 0;
    for (int offset = 0; offset < packets.size(); offset += outMaxPacket) {
        if (!eventwait::pause(packetPauseMs))
            return LIBUSB_ERROR_INTERRUPTED; // the tool is stopping: no packet more
        transferred = 0;
        const int result = bulkTransfer(context, handle, outEndpoint,
                                        reinterpret_cast<unsigned char *>(packets.data()) + offset,
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
    if (transferRefusal(handle, inEndpoint, inMaxPacket) != 0)
        return readFailed;
    std::string packet(size_t(inMaxPacket), '\0');
    int transferred = 0;
    const int result =
        bulkTransfer(context, handle, inEndpoint, reinterpret_cast<unsigned char *>(&packet[0]), inMaxPacket,
                     &transferred, static_cast<unsigned int>(timeoutMs));
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
    if (const int refused = transferRefusal(handle, inEndpoint, inMaxPacket))
        return refused;
    if (bufferSize < inMaxPacket)
        return 0;
    int transferred = 0;
    const int result = bulkTransfer(context, handle, inEndpoint, buffer, inMaxPacket, &transferred,
                                    static_cast<unsigned int>(timeoutMs));
    return result != 0 ? result : transferred;
}

int BulkHidDevice::deviceCount()
{
    if (!context)
        return LIBUSB_ERROR_OTHER;
    UsbDeviceList list(context);
    return list.error != 0 ? list.error : list.count;
}
