// umockdev first: GLib headers use names that Qt defines as macros.
#include <umockdev.h>

#include "sim/usb/fakeusbbus.h"

#include <QDir>
#include <QFile>

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>

namespace quorvane::sim::usb {

namespace {

// A descriptor's bytes, one for each value.
QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (const int value : values)
        bytes.append(char(value));
    return bytes;
}

// Device descriptor, then configuration 1 with interface 0 and its endpoints.
QByteArray descriptors(const DeviceSpec &spec, bool rootHub)
{
    const bool hub = rootHub || spec.deviceClass == 9;
    const QByteArray device = bytesOf({18, 1, 0x00, 0x02, // bLength, DEVICE, USB 2.0
                                       hub ? 9 : spec.deviceClass, 0, hub ? 1 : 0, 64, // bMaxPacketSize0
                                       spec.vid & 0xFF, spec.vid >> 8, spec.pid & 0xFF, spec.pid >> 8, 0x00,
                                       0x01, 1, 2, 3, 1}); // bcdDevice, strings, configurations

    QByteArray interface = bytesOf({9, 4, 0, 0, int(spec.endpoints.size()), rootHub ? 9 : spec.interfaceClass,
                                    spec.interfaceSubClass, spec.interfaceProtocol, 0});
    for (const Endpoint &endpoint : spec.endpoints) {
        interface += bytesOf({7, 5, endpoint.address, endpoint.attributes, endpoint.maxPacket & 0xFF,
                              endpoint.maxPacket >> 8, endpoint.attributes == 3 ? 8 : 0}); // bInterval
    }

    const int total = 9 + interface.size();
    return device + bytesOf({9, 2, total & 0xFF, total >> 8, 1, 1, 0, 0x80, 50}) + interface;
}

// The port libusb reports: the number after the last '-' or '.' of the sysfs name; a
// root hub ("usb1") has none.
int portOf(const QString &sysName)
{
    if (sysName.startsWith(QLatin1String("usb")))
        return 0;
    const int cut = std::max(sysName.lastIndexOf(QLatin1Char('-')), sysName.lastIndexOf(QLatin1Char('.')));
    return sysName.mid(cut + 1).toInt();
}

int busOf(const QString &sysName)
{
    if (sysName.startsWith(QLatin1String("usb")))
        return sysName.mid(3).toInt();
    return sysName.left(sysName.indexOf(QLatin1Char('-'))).toInt();
}

// /devices/usb1/1-4/1-4.2 for "1-4.2": every hub on the way is a folder.
QString syspathOf(const QString &sysName)
{
    QString path = QStringLiteral("/devices/usb%1").arg(busOf(sysName));
    if (sysName.startsWith(QLatin1String("usb")))
        return path;
    const QLatin1Char dot('.');
    for (int at = sysName.indexOf(dot); at >= 0; at = sysName.indexOf(dot, at + 1))
        path += QLatin1Char('/') + sysName.left(at);
    return path + QLatin1Char('/') + sysName;
}

} // namespace

// --- The device's side of the conversation ---------------------------------------------

struct FakeUsbDevice::State
{
    DeviceSpec spec;
    int bus = 0;
    int devnum = 0;
    QString syspath;
    QString devnode;
    UMockdevIoctlBase *handler = nullptr;
    gulong handlerId = 0;
    std::function<void()> removeFromSystem; // the bus's unplug of this device

    mutable std::mutex lock;
    bool present = true; // in sysfs
    bool pulled = false; // gone from the host's view: every transfer fails
    qint64 pullAt = -1;  // when the script pulls it (-1: never)
    QByteArray pending;  // received since the last script match
    struct Packet
    {
        QByteArray bytes;
        qint64 readyAt;
    };
    QList<Packet> replies;
    QByteArray streamPiece; // queued again and again while the host reads
    int streamIntervalMs = 0;
    qint64 streamFrom = -1;               // when the next piece is ready (-1: no stream)
    QList<UMockdevIoctlData *> flying;    // submitted, not reaped
    QList<UMockdevIoctlData *> discarded; // cancelled by the host, to be reaped
    QByteArray received;
    QList<Transfer> outTransfers;
    QList<Transfer> inTransfers;
    QString driver;
    bool claimed = false;
    int claims = 0;
    int releases = 0;
    int detaches = 0;
    int reattaches = 0;
    int opens = 0;
    int inRequests = 0;

    gboolean handle(UMockdevIoctlClient *client);
    void matchScript(qint64 now);
    void pullWhenDue(qint64 now);
    bool completeUrb(UMockdevIoctlData *urbData, qint64 now);
};

namespace {

gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer state)
{
    return static_cast<FakeUsbDevice::State *>(state)->handle(client);
}

struct usbdevfs_urb *urbOf(UMockdevIoctlData *data)
{
    return reinterpret_cast<struct usbdevfs_urb *>(data->data);
}

} // namespace

void FakeUsbDevice::State::matchScript(qint64 now)
{
    const std::optional<Reply> reply = spec.script.takeWithin(pending, received);
    if (!reply)
        return;
    pending.clear();
    streamFrom = -1; // a new request silences a stream
    qint64 at = now;
    for (const Chunk &chunk : reply->chunks) {
        at += chunk.delayMs;
        replies.append({chunk.bytes, at});
    }
    at += reply->endDelayMs;
    switch (reply->end) {
    case Reply::End::Stay:
        break;
    case Reply::End::Stream:
        if (!reply->streamPiece.isEmpty()) {
            streamPiece = reply->streamPiece;
            streamIntervalMs = reply->streamIntervalMs;
            streamFrom = at;
        }
        break;
    case Reply::End::Close:
    case Reply::End::Reset:
    case Reply::End::Unplug: // a USB device has no connection to end: it leaves the bus
        pullAt = at;
        break;
    }
}

void FakeUsbDevice::State::pullWhenDue(qint64 now)
{
    if (pullAt >= 0 && now >= pullAt && replies.isEmpty())
        pulled = true;
}

// Completes one flying URB if the device has something to say about it. True when the
// URB is done (its status and length set).
bool FakeUsbDevice::State::completeUrb(UMockdevIoctlData *urbData, qint64 now)
{
    struct usbdevfs_urb *urb = urbOf(urbData);
    const auto done = [urb](int status, int length = 0) {
        urb->status = status;
        urb->actual_length = length;
        return true;
    };
    if (urb->endpoint & 0x80)
        pullWhenDue(now);
    if (pulled)
        return done(-ENODEV);
    if (!(urb->endpoint & 0x80)) {
        switch (spec.out) {
        case OutMode::Accept:
            pullWhenDue(now); // the request went through; then the cable is pulled
            return done(0, urb->buffer_length);
        case OutMode::Stall:
            return done(-EPIPE);
        case OutMode::Hang:
            return false;
        }
        return false;
    }
    if (spec.inErrno != 0)
        return done(-spec.inErrno);
    if (replies.isEmpty() && streamFrom >= 0 && streamFrom <= now) {
        replies.append({streamPiece, streamFrom});
        streamFrom = now + streamIntervalMs;
    }
    if (replies.isEmpty() || replies.first().readyAt > now)
        return false;
    Packet &reply = replies.first();
    const int length = std::min(int(reply.bytes.size()), urb->buffer_length);
    UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(urbData, offsetof(struct usbdevfs_urb, buffer),
                                                            size_t(urb->buffer_length), nullptr);
    if (buffer && length > 0)
        memcpy(buffer->data, reply.bytes.constData(), size_t(length));
    inTransfers.append({urb->endpoint, reply.bytes.left(length), now});
    reply.bytes.remove(0, length);
    if (reply.bytes.isEmpty())
        replies.removeFirst();
    return done(0, length);
}

gboolean FakeUsbDevice::State::handle(UMockdevIoctlClient *client)
{
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard<std::mutex> guard(lock);
    const qint64 now = clockMs();
    // The ioctl's result as the caller sees it (-1 with errno `error`); handled either way.
    const auto answer = [client](int result, int error = 0) {
        umockdev_ioctl_client_complete(client, result, error);
        return TRUE;
    };
    // Interface 0 is the host's, once the checks of the request passed.
    const auto claim = [&] {
        claimed = true;
        ++claims;
        return answer(0);
    };

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
        *reinterpret_cast<guint32 *>(caps->data) = USBDEVFS_CAP_BULK_SCATTER_GATHER
            | USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM
            | USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        ++opens; // libusb asks once per open
        return answer(0);
    }
    case USBDEVFS_GETDRIVER: {
        UMockdevIoctlData *data =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_getdriver), nullptr);
        auto *getdriver = reinterpret_cast<struct usbdevfs_getdriver *>(data->data);
        if (pulled)
            return answer(-1, ENODEV);
        if (driver.isEmpty() || getdriver->interface != 0)
            return answer(-1, ENODATA);
        qstrncpy(getdriver->driver, driver.toLatin1().constData(), sizeof getdriver->driver);
        return answer(0);
    }
    case USBDEVFS_IOCTL: {
        UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_ioctl), nullptr);
        auto *command = reinterpret_cast<struct usbdevfs_ioctl *>(data->data);
        if (command->ioctl_code == int(USBDEVFS_DISCONNECT)) {
            if (driver.isEmpty())
                return answer(-1, ENODATA);
            driver.clear();
            ++detaches;
            return answer(0);
        }
        if (command->ioctl_code == int(USBDEVFS_CONNECT)) {
            // As the kernel does: busy while claimed or bound; otherwise the driver probes
            // again (1: bound, 0: no driver wants it).
            if (pulled)
                return answer(-1, ENODEV);
            if (claimed || !driver.isEmpty())
                return answer(-1, EBUSY);
            if (spec.kernelDriver.isEmpty())
                return answer(0);
            driver = spec.kernelDriver;
            ++reattaches;
            return answer(1);
        }
        return answer(0);
    }
    case USBDEVFS_CLAIMINTERFACE: {
        UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
        const unsigned int interface = *reinterpret_cast<unsigned int *>(data->data);
        if (pulled)
            return answer(-1, ENODEV);
        if (interface != 0)
            return answer(-1, ENOENT);
        if (spec.claimErrno != 0)
            return answer(-1, spec.claimErrno);
        if (!driver.isEmpty())
            return answer(-1, EBUSY);
        return claim();
    }
    case USBDEVFS_DISCONNECT_CLAIM: {
        // Unbind the driver (unless it is the one named as the exception) and claim, in one.
        UMockdevIoctlData *data =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_disconnect_claim), nullptr);
        auto *request = reinterpret_cast<struct usbdevfs_disconnect_claim *>(data->data);
        const bool except = request->flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER;
        const bool only = request->flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER;
        const bool named = driver == QLatin1String(request->driver);
        if (pulled)
            return answer(-1, ENODEV);
        if (request->interface != 0)
            return answer(-1, ENOENT);
        if (!driver.isEmpty() && ((except && named) || (only && !named)))
            return answer(-1, EBUSY);
        if (spec.claimErrno != 0)
            return answer(-1, spec.claimErrno);
        if (!driver.isEmpty()) {
            driver.clear();
            ++detaches;
        }
        return claim();
    }
    case USBDEVFS_RELEASEINTERFACE:
        claimed = false;
        ++releases;
        return answer(0);
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
        return answer(0);

    case USBDEVFS_SUBMITURB: {
        UMockdevIoctlData *urbData =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(struct usbdevfs_urb), nullptr);
        struct usbdevfs_urb *urb = urbOf(urbData);
        // As the kernel does, a transfer to an endpoint the device does not have is refused
        // before anything moves (libusb: LIBUSB_ERROR_IO).
        const bool known =
            std::any_of(spec.endpoints.begin(), spec.endpoints.end(), [urb](const Endpoint &e) {
                return e.address == urb->endpoint && (e.attributes & 0x03) != 0;
            });
        if (!pulled && !known)
            return answer(-1, ENOENT);
        if (urb->endpoint & 0x80)
            ++inRequests;
        if (pulled)
            return answer(-1, ENODEV);
        if (urb->type != USBDEVFS_URB_TYPE_BULK && urb->type != USBDEVFS_URB_TYPE_INTERRUPT)
            return answer(-1, EINVAL);
        UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(
            urbData, offsetof(struct usbdevfs_urb, buffer), size_t(urb->buffer_length), nullptr);
        if (!(urb->endpoint & 0x80)) {
            const QByteArray bytes = buffer
                ? QByteArray(reinterpret_cast<const char *>(buffer->data), urb->buffer_length)
                : QByteArray();
            received += bytes;
            pending += bytes;
            outTransfers.append({urb->endpoint, bytes, now});
            matchScript(now);
        }
        flying.append(umockdev_ioctl_data_ref(urbData));
        return answer(0);
    }

    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
        UMockdevIoctlData *done = nullptr;
        if (!discarded.isEmpty()) {
            done = discarded.takeFirst();
            urbOf(done)->status = -ENOENT;
            urbOf(done)->actual_length = 0;
        } else {
            for (int i = 0; i < flying.size(); ++i) {
                if (completeUrb(flying.at(i), now)) {
                    done = flying.takeAt(i);
                    break;
                }
            }
        }
        if (!done)
            return answer(-1, EAGAIN);
        UMockdevIoctlData *pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
        umockdev_ioctl_data_set_ptr(pointer, 0, done);
        answer(0);
        umockdev_ioctl_data_unref(done);
        return TRUE;
    }

    case USBDEVFS_DISCARDURB: {
        const gulong address = *reinterpret_cast<gulong *>(arg->data);
        for (int i = 0; i < flying.size(); ++i) {
            if (flying.at(i)->client_addr == address) {
                discarded.append(flying.takeAt(i));
                return answer(0);
            }
        }
        return answer(-1, EINVAL);
    }

    default:
        return FALSE;
    }
}

// --- FakeUsbDevice ----------------------------------------------------------------------

FakeUsbDevice::FakeUsbDevice()
    : d(new State)
{
}

FakeUsbDevice::~FakeUsbDevice()
{
    if (d->handler) {
        g_signal_handler_disconnect(d->handler, d->handlerId);
        g_object_unref(d->handler);
    }
    for (UMockdevIoctlData *urb : d->flying + d->discarded)
        umockdev_ioctl_data_unref(urb);
}

int FakeUsbDevice::devnum() const
{
    return d->devnum;
}
QString FakeUsbDevice::position() const
{
    return QStringLiteral("%1,%2").arg(d->bus).arg(portOf(d->spec.sysName));
}
QString FakeUsbDevice::devnode() const
{
    return d->devnode;
}
const DeviceSpec &FakeUsbDevice::spec() const
{
    return d->spec;
}

QByteArray FakeUsbDevice::received() const
{
    return underLock(d->lock, [&] { return d->received; });
}
QList<Transfer> FakeUsbDevice::outTransfers() const
{
    return underLock(d->lock, [&] { return d->outTransfers; });
}
QList<Transfer> FakeUsbDevice::inTransfers() const
{
    return underLock(d->lock, [&] { return d->inTransfers; });
}
bool FakeUsbDevice::claimed() const
{
    return underLock(d->lock, [&] { return d->claimed; });
}
int FakeUsbDevice::claims() const
{
    return underLock(d->lock, [&] { return d->claims; });
}
int FakeUsbDevice::releases() const
{
    return underLock(d->lock, [&] { return d->releases; });
}
int FakeUsbDevice::detaches() const
{
    return underLock(d->lock, [&] { return d->detaches; });
}
int FakeUsbDevice::reattaches() const
{
    return underLock(d->lock, [&] { return d->reattaches; });
}
QString FakeUsbDevice::kernelDriver() const
{
    return underLock(d->lock, [&] { return d->driver; });
}
int FakeUsbDevice::opens() const
{
    return underLock(d->lock, [&] { return d->opens; });
}
int FakeUsbDevice::inRequests() const
{
    return underLock(d->lock, [&] { return d->inRequests; });
}
bool FakeUsbDevice::inConversation() const
{
    return underLock(d->lock, [&] { return d->claimed && !d->pulled; });
}
void FakeUsbDevice::unplug()
{
    d->removeFromSystem();
}
void FakeUsbDevice::setScript(const Script &script)
{
    std::lock_guard<std::mutex> guard(d->lock);
    d->spec.script = script;
    d->pending.clear();
    d->replies.clear();
    d->streamFrom = -1;
}

// --- FakeUsbBus ---------------------------------------------------------------------------

struct FakeUsbBus::Private
{
    std::shared_ptr<Testbed> shared;
    UMockdevTestbed *testbed = nullptr;
    std::map<int, int> nextDevnum; // per bus; 1 is the root hub's
    QList<FakeUsbDevice *> plugged;
    QList<FakeUsbDevice *> all; // the bus owns them until it goes

    FakeUsbDevice *add(const DeviceSpec &spec, bool rootHub);
    void remove(FakeUsbDevice *device);
};

FakeUsbDevice *FakeUsbBus::Private::add(const DeviceSpec &spec, bool rootHub)
{
    auto *device = new FakeUsbDevice;
    FakeUsbDevice::State &s = *device->d;
    s.spec = spec;
    s.driver = spec.kernelDriver;
    s.removeFromSystem = [this, device] { remove(device); };
    s.bus = busOf(spec.sysName);
    if (rootHub) {
        s.devnum = 1;
    } else {
        // As a host controller gives addresses: the next free one after the last given,
        // from 2 to 127, then from 2 again, so that a long run of plugs never runs out.
        int &next = nextDevnum[s.bus];
        const auto inUse = [&](int devnum) {
            return std::any_of(plugged.begin(), plugged.end(), [&](FakeUsbDevice *other) {
                return other->d->bus == s.bus && other->d->devnum == devnum;
            });
        };
        for (int tries = 0; tries < 126 && s.devnum == 0; ++tries) {
            if (next < 2 || next > 127)
                next = 2;
            const int candidate = next++;
            if (!inUse(candidate))
                s.devnum = candidate;
        }
    }
    s.syspath = syspathOf(spec.sysName);
    const QString node = QStringLiteral("bus/usb/%1/%2")
                             .arg(s.bus, 3, 10, QLatin1Char('0'))
                             .arg(s.devnum, 3, 10, QLatin1Char('0'));
    s.devnode = QStringLiteral("/dev/") + node;

    std::lock_guard<std::mutex> testbedLock(shared->mutex());
    // The handler must listen before the device appears, so that an open at its arrival
    // reaches it.
    s.handler = umockdev_ioctl_base_new();
    s.handlerId = g_signal_connect(s.handler, "handle-ioctl", G_CALLBACK(onIoctl), &s);
    umockdev_testbed_attach_ioctl(testbed, s.devnode.toUtf8().constData(), s.handler, nullptr);

    const QString record = QStringLiteral("P: %1\n"
                                          "N: %2\n"
                                          "E: SUBSYSTEM=usb\n"
                                          "E: DEVTYPE=usb_device\n"
                                          "E: DRIVER=usb\n"
                                          "E: BUSNUM=%3\n"
                                          "E: DEVNUM=%4\n"
                                          "E: DEVNAME=%5\n"
                                          "A: busnum=%6\\n\n"
                                          "A: devnum=%7\\n\n"
                                          "A: bConfigurationValue=1\\n\n"
                                          "A: speed=%11\\n\n"
                                          "A: idVendor=%8\\n\n"
                                          "A: idProduct=%9\\n\n"
                                          "H: descriptors=%10\n")
                               .arg(s.syspath, node)
                               .arg(s.bus, 3, 10, QLatin1Char('0'))
                               .arg(s.devnum, 3, 10, QLatin1Char('0'))
                               .arg(s.devnode)
                               .arg(s.bus)
                               .arg(s.devnum)
                               .arg(QStringLiteral("%1").arg(spec.vid, 4, 16, QLatin1Char('0')),
                                    QStringLiteral("%1").arg(spec.pid, 4, 16, QLatin1Char('0')),
                                    QString::fromLatin1(descriptors(spec, rootHub).toHex().toUpper()))
                               .arg(spec.speed);
    umockdev_testbed_add_from_string(testbed, record.toUtf8().constData(), nullptr);

    if (spec.openFails) {
        // A folder where the node should be: opening it fails with an I/O error, while
        // the device stays listed (a missing node would make libusb drop the device).
        const QString node = shared->rootDir() + s.devnode;
        QFile::remove(node);
        QDir().mkpath(node);
    }
    if (spec.nodeLocked)
        QFile::setPermissions(shared->rootDir() + s.devnode, QFileDevice::Permissions());
    plugged.append(device);
    all.append(device);
    return device;
}

void FakeUsbBus::Private::remove(FakeUsbDevice *device)
{
    FakeUsbDevice::State &s = *device->d;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.present)
            return;
        s.present = false;
        s.pulled = true;
    }
    std::lock_guard<std::mutex> testbedLock(shared->mutex());
    // umockdev does not announce a removal by itself; without the event libusb would keep
    // listing the device.
    const QByteArray syspath = QByteArray("/sys") + s.syspath.toUtf8();
    umockdev_testbed_uevent(testbed, syspath.constData(), "remove");
    umockdev_testbed_remove_device(testbed, syspath.constData());
    umockdev_testbed_detach_ioctl(testbed, s.devnode.toUtf8().constData(), nullptr);
    plugged.removeAll(device);
}

FakeUsbBus::FakeUsbBus(std::shared_ptr<Testbed> testbed)
    : p(new Private)
{
    p->shared = testbed ? std::move(testbed) : std::make_shared<Testbed>();
    p->testbed = p->shared->handle();
}

FakeUsbBus::~FakeUsbBus()
{
    {
        // A shared testbed outlives the bus: its devices leave it first.
        std::lock_guard<std::mutex> testbedLock(p->shared->mutex());
        for (FakeUsbDevice *device : p->plugged) {
            device->d->present = false;
            umockdev_testbed_detach_ioctl(p->testbed, device->d->devnode.toUtf8().constData(), nullptr);
        }
    }
    qDeleteAll(p->all);
}

FakeUsbDevice *FakeUsbBus::plug(const DeviceSpec &spec)
{
    return p->add(spec, false);
}

FakeUsbDevice *FakeUsbBus::plugRootHub(int bus)
{
    return p->add({QStringLiteral("usb%1").arg(bus), 0x1D6B, 0x0002, {{0x81, 0x03, 4}}}, true);
}

void FakeUsbBus::unplug(FakeUsbDevice *device)
{
    p->remove(device);
}

void FakeUsbBus::collect()
{
    const QList<FakeUsbDevice *> plugged = p->plugged;
    for (FakeUsbDevice *device : plugged) {
        if (underLock(device->d->lock, [&] { return device->d->pulled; }))
            p->remove(device);
    }
}

QString FakeUsbBus::rootDir() const
{
    return p->shared->rootDir();
}

UMockdevTestbed *FakeUsbBus::testbed() const
{
    return p->testbed;
}

// --- Devices of other kinds -------------------------------------------------------------

// In DeviceSpec's order: IDs, endpoints, device class, interface class, subclass and
// protocol, the driver that holds the device.
DeviceSpec keyboard(const QString &sysName)
{
    return {sysName, 0x046D, 0xC31C, {{0x81, 0x03, 8}}, 0, 0x03, 1, 1, QStringLiteral("usbhid")};
}

DeviceSpec disk(const QString &sysName)
{
    return {sysName, 0x0781, 0x5567, {{0x81, 0x02, 512}, {0x02, 0x02, 512}}, 0,
            0x08,    6,      0x50,   QStringLiteral("usb-storage")};
}

DeviceSpec hub(const QString &sysName)
{
    return {sysName, 0x05E3, 0x0610, {{0x81, 0x03, 1}}, 9, 0x09, 0, 0, QStringLiteral("hub")};
}

DeviceSpec serialAdapter(const QString &sysName, const QString &driver)
{
    DeviceSpec spec {sysName, 0x0403, 0x6001, {{0x81, 0x02, 64}, {0x02, 0x02, 64}}, 0, 0xFF,
                     0xFF,    0xFF,   driver};
    spec.speed = 12;
    return spec;
}

DeviceSpec camera(const QString &sysName)
{
    return {sysName, 0x04A9, 0x32D1, {{0x81, 0x02, 512}, {0x02, 0x02, 512}, {0x83, 0x03, 8}}, 0, 0x06, 1, 1};
}

// --- Frames -----------------------------------------------------------------------------

QByteArray licenceRequest()
{
    return QByteArray::fromHex("aaaaaa966900040943024c");
}

QByteArray licenceReply(quint8 status, const QByteArray &licence, int length)
{
    QByteArray reply = QByteArray::fromHex("aaaaaa9669");
    QByteArray body = QByteArray::fromHex("0943");
    body.append(char(status)).append('\0');
    body.append(licence.left(21).leftJustified(21, '\0'));
    reply.append(char((body.size() + 1) >> 8)).append(char((body.size() + 1) & 0xFF));
    reply.append(body);
    quint8 check = 0;
    for (int i = 5; i < reply.size(); ++i)
        check ^= quint8(reply.at(i));
    reply.append(char(check));
    if (reply.size() < length)
        reply.append(length - reply.size(), '\0');
    else
        reply.truncate(length);
    return reply;
}

} // namespace quorvane::sim::usb
