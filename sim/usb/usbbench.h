#ifndef QUORVANE_SIM_USB_USBBENCH_H
#define QUORVANE_SIM_USB_USBBENCH_H

// Emulated USB bulk devices for the tests and the device simulator.
//
// A UsbBench sits on an umockdev testbed (its own, or one shared with the serial bench,
// see quorvane::sim::Testbed): the devices plugged into it appear in sysfs and
// /dev/bus/usb of this process and of every child process started with its environment
// (LD_PRELOAD of umockdev's preload library, UMOCKDEV_DIR), so the real libusb finds,
// opens, claims and transfers to them. An in-process ioctl handler plays each device: it
// records every byte it receives and answers from a script.
//
//     simusb::UsbBench bench;                         // before the first libusb_init
//     simusb::DeviceSpec spec;                        // 3e0a:0c01 at 1-3, bulk 0x81/0x01
//     spec.script = {{simusb::licenceRequest(), {{simusb::licenceReply(0x90, "CMIIT ID:2026AB1234"), 0}}}};
//     simusb::FakeUsbDevice *device = bench.plug(spec);
//     ... the code under test talks to it ...
//     device->received();                             // all bytes written to it
//     bench.unplug(device);
//
// Every libusb context must be ended (libusb_exit) before the bench is destroyed. The
// process must run under umockdev's preload library: UsbBench::runUnderUmockdev() at the
// top of main() re-executes the program with it when needed.

#include "sim/emulation/testbed.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace quorvane::sim::usb {

// Milliseconds of a monotonic clock; the time stamps of recorded transfers use it.
qint64 clockMs();

// One endpoint of interface 0, in descriptor order. Attributes: 2 bulk, 3 interrupt,
// 1 isochronous, 0 control.
struct Endpoint
{
    quint8 address = 0x81;
    quint8 attributes = 0x02;
    quint16 maxPacket = 64;
};

// One IN packet the device sends, ready `delayMs` after the request it answers arrived.
// Bytes longer than the host's IN buffer are delivered over several packets.
struct Chunk
{
    QByteArray bytes;
    int delayMs = 0;
};

// One line of the script. When the bytes received since the previous match contain
// `request`, the device queues `chunks` for its IN endpoint (none: it stays silent);
// with `unplug` it is pulled as soon as the request's transfer has completed: every later
// transfer fails as on a vanished device, and the owner's next UsbBench::collect() (or an
// explicit unplug) removes it from sysfs. An empty request matches any bytes. Rules stay
// in force: the first rule that matches fires, every time it matches.
struct Rule
{
    QByteArray request;
    QList<Chunk> chunks;
    bool unplug = false;
};

// How the device treats OUT transfers.
enum class OutMode {
    Accept,  // takes every packet
    Stall,   // ends every OUT transfer with a stall (libusb: LIBUSB_ERROR_PIPE)
    Hang,    // never completes one: the host's write times out
};

struct DeviceSpec
{
    QString sysName = QStringLiteral("1-3"); // sysfs name: bus 1, port 3 ("1-4.2": port 2)
    quint16 vid = 0x3E0A;
    quint16 pid = 0x0C01;
    QList<Endpoint> endpoints = {{0x81, 0x02, 64}, {0x01, 0x02, 64}};
    quint8 deviceClass = 0;     // 9: a hub
    quint8 interfaceClass = 0xFF; // interface 0: FF vendor specific, 3 HID, 8 storage, 9 hub
    quint8 interfaceSubClass = 0;
    quint8 interfaceProtocol = 0;
    QString kernelDriver;       // a driver bound to interface 0 ("usbhid"); empty: none.
                                // Unbound by a host, it binds again when asked to (CONNECT)
    int claimErrno = 0;         // claiming interface 0 fails with this errno (ENOENT: not found)
    bool openFails = false;     // libusb_open fails (LIBUSB_ERROR_IO), the device stays listed
    OutMode out = OutMode::Accept;
    int inErrno = 0;            // IN transfers end with this errno (EPIPE: stall)
    QList<Rule> script;
};

// A transfer as the device saw it.
struct Transfer
{
    quint8 endpoint = 0;
    QByteArray bytes;  // OUT: the whole packet received; IN: the bytes sent
    qint64 atMs = 0;   // clockMs() when it was submitted (OUT) or delivered (IN)
};

class FakeUsbDevice
{
public:
    ~FakeUsbDevice();

    int bus() const;
    int devnum() const;
    int port() const;             // what libusb_get_port_number reports
    QString position() const;     // "bus,port"
    QString syspath() const;
    QString devnode() const;      // /dev/bus/usb/BBB/DDD
    const DeviceSpec &spec() const;

    // What the device received and sent, in order.
    QByteArray received() const;  // every OUT byte, concatenated
    QList<Transfer> outTransfers() const;
    QList<Transfer> inTransfers() const;

    // Interface 0 and its driver.
    bool claimed() const;
    int claims() const;           // successful claims so far
    int releases() const;
    int detaches() const;         // kernel driver unbinds
    int reattaches() const;       // kernel driver bound again at a host's request
    QString kernelDriver() const; // bound now
    int opens() const;            // times a host opened the device node

    bool present() const;         // plugged and not pulled by its script

    // Replaces the script; bytes received so far and queued replies are dropped.
    void setScript(const QList<Rule> &script);

    struct State; // the device's side of the conversation (internal)

private:
    friend class UsbBench;
    FakeUsbDevice();
    std::unique_ptr<State> d;
};

class UsbBench
{
public:
    UsbBench();
    explicit UsbBench(std::shared_ptr<Testbed> testbed);
    ~UsbBench();
    UsbBench(const UsbBench &) = delete;
    UsbBench &operator=(const UsbBench &) = delete;

    // Plugs a device in: it appears at the next enumeration, with the next free device
    // number of its bus. The bench owns it.
    FakeUsbDevice *plug(const DeviceSpec &spec);
    // The bus's root hub (1d6b:0002, sysfs name "usbN", port 0), as on a real machine.
    FakeUsbDevice *plugRootHub(int bus);
    // Pulls a device out: gone from the next enumeration; open handles fail. The object
    // stays readable until the bench goes.
    void unplug(FakeUsbDevice *device);
    // Removes from sysfs the devices that their scripts have pulled.
    void collect();

    QList<FakeUsbDevice *> devices() const; // plugged ones, in plugging order
    QString rootDir() const;
    UMockdevTestbed *testbed() const;

    // True when this process runs under umockdev's preload library.
    static bool underUmockdev();
    // Call first in main(): re-executes the program under umockdev's preload library
    // unless it already runs there. Returns only when it does.
    static void runUnderUmockdev(int argc, char **argv);

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

// The licence request a host sends, and a reply as such a device gives it: lead-in
// AA AA AA 96 69, big-endian count, 09 43, status at offset 9, 00, the licence text from
// offset 11 (21 bytes, zero-padded), a check byte; zero bytes up to `length` (or cut).
QByteArray licenceRequest();
QByteArray licenceReply(quint8 status, const QByteArray &licence, int length = 64);

} // namespace quorvane::sim::usb

// The fake USB devices' short name, as the tests use it.
namespace simusb = quorvane::sim::usb;

#endif // QUORVANE_SIM_USB_USBBENCH_H
