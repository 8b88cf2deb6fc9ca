#ifndef QUORVANE_SIM_USB_FAKEUSBBUS_H
#define QUORVANE_SIM_USB_FAKEUSBBUS_H

// Emulated USB bulk devices for the tests and the device simulator.
//
// A FakeUsbBus sits on an umockdev testbed (its own, or one shared with the fake serial ports,
// see quorvane::sim::Testbed): the devices plugged into it appear in sysfs and
// /dev/bus/usb of this process and of every child process started with its environment
// (LD_PRELOAD of umockdev's preload library, UMOCKDEV_DIR), so the real libusb finds,
// opens, claims and transfers to them. An in-process ioctl handler plays each device: it
// records every byte it receives and answers from a script (sim/script/script.h).
//
//     simusb::FakeUsbBus bus;                           // before the first libusb_init
//     simusb::DeviceSpec spec;                        // 3e0a:0c01 at 1-3, bulk 0x81/0x01
//     spec.script.on(simusb::licenceRequest(), Reply::text(simusb::licenceReply(0x90, "CMIIT
//     ID:2026AB1234"))); simusb::FakeUsbDevice *device = bus.plug(spec);
//     ... the code under test talks to it ...
//     device->received();                             // all bytes written to it
//     device->unplug();
//
// Every libusb context must be ended (libusb_exit) before the bus is destroyed. The
// process must run under umockdev's preload library: Testbed::runUnderEmulation() at the
// top of main() re-executes the program with it when needed.

#include "sim/emulation/testbed.h"
#include "sim/script/fakedevice.h"
#include "sim/script/script.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace quorvane::sim::usb {

// The shared script words, under the USB fakes' short name as well.
using quorvane::sim::clockMs;
using quorvane::sim::Reply;
using quorvane::sim::Script;

// One endpoint of interface 0, in descriptor order. Attributes: 2 bulk, 3 interrupt,
// 1 isochronous, 0 control.
struct Endpoint
{
    quint8 address = 0x81;
    quint8 attributes = 0x02;
    quint16 maxPacket = 64;
};

// The script: when the bytes received since the previous match contain a rule's request,
// the device queues the reply's chunks for its IN endpoint, one IN packet each (a chunk
// longer than the host's IN buffer goes over several). A stream queues its piece again
// and again while the host reads. A reply ending in Unplug (or Close, or Reset) pulls the
// device once its time has come, but never before the request's OUT transfer completed:
// every later transfer fails as on a vanished device, and the owner's next
// FakeUsbBus::collect() (or unplug()) removes it from sysfs. Rules stay in force: the first
// rule that matches fires, every time it matches.

// How the device treats OUT transfers.
enum class OutMode {
    Accept, // takes every packet
    Stall,  // ends every OUT transfer with a stall (libusb: LIBUSB_ERROR_PIPE)
    Hang,   // never completes one: the host's write times out
};

struct DeviceSpec
{
    QString sysName = QStringLiteral("1-3"); // sysfs name: bus 1, port 3 ("1-4.2": port 2)
    quint16 vid = 0x3E0A;
    quint16 pid = 0x0C01;
    QList<Endpoint> endpoints = {{0x81, 0x02, 64}, {0x01, 0x02, 64}};
    quint8 deviceClass = 0;       // 9: a hub
    quint8 interfaceClass = 0xFF; // interface 0: FF vendor specific, 3 HID, 8 storage, 9 hub
    quint8 interfaceSubClass = 0;
    quint8 interfaceProtocol = 0;
    QString kernelDriver;    // a driver bound to interface 0 ("usbhid"); empty: none.
                             // Unbound by a host, it binds again when asked to (CONNECT)
    int claimErrno = 0;      // claiming interface 0 fails with this errno (ENOENT: not found)
    bool openFails = false;  // libusb_open fails (LIBUSB_ERROR_IO), the device stays listed
    bool nodeLocked = false; // its node has no permissions at all (mode 0000), as for a
                             // user udev gave no access: only root's override opens it
    OutMode out = OutMode::Accept;
    int inErrno = 0; // IN transfers end with this errno (EPIPE: stall)
    Script script;
    int speed = 480; // Mbit/s, as sysfs says: 480 high speed, 12 full speed
};

// A transfer as the device saw it.
struct Transfer
{
    quint8 endpoint = 0;
    QByteArray bytes; // OUT: the whole packet received; IN: the bytes sent
    qint64 atMs = 0;  // clockMs() when it was submitted (OUT) or delivered (IN)
};

class FakeUsbDevice : public FakeDevice
{
public:
    ~FakeUsbDevice();

    int devnum() const;
    QString position() const; // "bus,port", the port as libusb_get_port_number reports it
    QString devnode() const;  // /dev/bus/usb/BBB/DDD
    const DeviceSpec &spec() const;

    // What the device received and sent, in order.
    QByteArray received() const override; // every OUT byte, concatenated
    QList<Transfer> outTransfers() const;
    QList<Transfer> inTransfers() const;

    // Interface 0 and its driver.
    bool claimed() const;
    int claims() const; // successful claims so far
    int releases() const;
    int detaches() const;         // kernel driver unbinds
    int reattaches() const;       // kernel driver bound again at a host's request
    QString kernelDriver() const; // bound now
    int opens() const;            // times a host opened the device node
    int inRequests() const;       // IN transfers the host submitted, answered or not

    bool inConversation() const override; // a host holds interface 0 claimed
    // Pulls the device out: gone from the next enumeration; open handles fail.
    void unplug() override;

    // Replaces the script; bytes received so far and queued replies are dropped.
    void setScript(const Script &script);

    struct State; // the device's side of the conversation (internal)

private:
    friend class FakeUsbBus;
    FakeUsbDevice();
    std::unique_ptr<State> d;
};

class FakeUsbBus
{
public:
    // A testbed of the bus's own, or the one given (shared with fake serial ports).
    explicit FakeUsbBus(std::shared_ptr<Testbed> testbed = nullptr);
    ~FakeUsbBus();
    FakeUsbBus(const FakeUsbBus &) = delete;
    FakeUsbBus &operator=(const FakeUsbBus &) = delete;

    // Plugs a device in: it appears at the next enumeration, with the next free device
    // number of its bus. The bus owns it.
    FakeUsbDevice *plug(const DeviceSpec &spec);
    // The bus's root hub (1d6b:0002, sysfs name "usbN", port 0), as on a real machine.
    FakeUsbDevice *plugRootHub(int bus);
    // Pulls a device out (as FakeUsbDevice::unplug). The object stays readable until the
    // bus goes.
    void unplug(FakeUsbDevice *device);
    // Removes from sysfs the devices that their scripts have pulled.
    void collect();

    QString rootDir() const;
    UMockdevTestbed *testbed() const;

private:
    struct Private;
    std::unique_ptr<Private> p;
};

// Devices of other kinds that a workstation has, each held by its kernel driver, as they
// come when plugged in at `sysName`: a keyboard (HID boot interface, usbhid), a disk (mass
// storage, usb-storage) and a hub (hub).
DeviceSpec keyboard(const QString &sysName);
DeviceSpec disk(const QString &sysName);
DeviceSpec hub(const QString &sysName);
// Devices whose interface 0 looks like a licence device's or that no driver holds: a USB
// serial adapter (FTDI 0403:6001, vendor specific), held by `driver` ("ftdi_sio") or, when
// it is empty, by none yet; and a camera's still-image interface (PTP), which no kernel
// driver binds.
DeviceSpec serialAdapter(const QString &sysName, const QString &driver);
DeviceSpec camera(const QString &sysName);

// The licence request a host sends, and a reply as such a device gives it: lead-in
// AA AA AA 96 69, big-endian count, 09 43, status at offset 9, 00, the licence text from
// offset 11 (21 bytes, zero-padded), a check byte; zero bytes up to `length` (or cut).
QByteArray licenceRequest();
QByteArray licenceReply(quint8 status, const QByteArray &licence, int length = 64);

} // namespace quorvane::sim::usb

// The fake USB devices' short name, as the tests use it.
namespace simusb = quorvane::sim::usb;

#endif // QUORVANE_SIM_USB_FAKEUSBBUS_H
