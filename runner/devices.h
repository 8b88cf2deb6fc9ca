#ifndef QUORVANE_RUNNER_DEVICES_H
#define QUORVANE_RUNNER_DEVICES_H

// The devices presented to the real tool (by the simulator and the benchmark): built from
// the personas beside the fakes of sim/, with the faults a run asks for, and treated alike
// through the FakeDevice surface.

#include "sim/emulation/testbed.h"
#include "sim/net/faketcpservice.h"
#include "sim/net/netdevices.h"
#include "sim/serial/fakeserialports.h"
#include "sim/serial/serialdevices.h"
#include "sim/usb/fakeusbbus.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <iterator>
#include <memory>
#include <vector>

namespace runner {

// How a device misbehaves.
enum class Fault {
    None,
    Silence, // never answers
    Error,   // answers the licence question (serial, 3762) or the first command (9527) with ERROR
    Endless, // answers its first command with a stream that does not stop
    Unplug,  // is pulled out in the middle of its dialogue
};
bool parseFault(const QString &text, Fault *fault);

struct SerialChoice
{
    int kind = 0;        // one of quorvane::sim::serialPersonas
    QString name;        // empty: the kind's own
    QString description; // empty: the kind's own
    QByteArray imei;     // empty: the kind's own
    QByteArray licence;
    Fault fault = Fault::None;
    QByteArray laterLicence; // non-empty: the answer from the second licence question on
};

struct UsbChoice
{
    QByteArray licence;
    int status = 0x90; // the reply's status byte; anything else is a failed check
    Fault fault = Fault::None;
    quint16 vid = 0x3E0A; // the device's IDs
    quint16 pid = 0x0C01;
};

struct NetChoice
{
    QString address; // 192.168.0.1 (port 9527), 192.168.2.1 or 192.168.10.1 (port 3762)
    QByteArray licence;
    Fault fault = Fault::None;
};

// The licence each transport's device gives unless a run names one.
inline const QByteArray serialLicence = "SR-2026-0415-118735CN";
inline const QByteArray usbLicence = "CMIIT ID:2026AB1234QP";
inline const QByteArray netLicence = simnet::sampleLicence;

// Where a device appears: one place per transport and network address, with the label
// the tool shows for the device present() puts there (a serial device of kind 0).
enum class Transport { Serial, Usb, Net };
struct Place
{
    const char *id;
    Transport transport;
    const char *address; // Net
    const char *picture;
};
constexpr Place places[] = {
    {"serial", Transport::Serial, nullptr, ":/qjpg/res/LBL01.jpg"},
    {"usb", Transport::Usb, nullptr, ":/qjpg/res/LBL17.png"},
    {"9527", Transport::Net, simnet::atServiceAddress, ":/qjpg/res/LBL16.png"},
    {"3762-2", Transport::Net, simnet::shellAddress2, ":/qjpg/res/LBL15.png"},
    {"3762-10", Transport::Net, simnet::shellAddress10, ":/qjpg/res/LBL16.png"},
};
inline constexpr const Place &usbPlace = places[1];
inline constexpr const Place *netPlaces = places + 2; // 9527, then 3762 at each address
constexpr int netPlaceCount = int(std::size(places)) - 2;

// The licence of a device's n-th appearance in a run: each differs from the one before,
// so that a new appearance changes the label on the screen.
QByteArray licenceOf(Transport transport, int n);

// Every device presented in a run, with what it received; the testbed shared by the
// serial and USB fakes, so that one program sees both kinds at once.
class Devices
{
public:
    ~Devices();

    QProcessEnvironment processEnvironment() const { return m_testbed->processEnvironment(); }

    // Each returns a short name for the log, empty when the device could not be presented
    // (`why` says why). The device stays until removed by remove(name) or the end.
    QString plugSerial(const SerialChoice &choice, QString *why);
    QString plugUsb(const UsbChoice &choice, QString *why);
    QString startNet(const NetChoice &choice, QString *why);
    // A well-behaved device at `place` (serial: of port kind `serialKind`) giving `licence`.
    QString present(const Place &place, const QByteArray &licence, QString *why, int serialKind = 0);
    void remove(const QString &name);
    // The first step of pulling a device out: a network device takes no new connections,
    // so that the program is not cut off in the middle of a dialogue it starts later.
    void leave(const QString &name);
    // True while the device is in the middle of a conversation it should not be pulled
    // out of: a network device with a connection the program has not closed yet, a USB
    // device whose interface the program holds, a serial device between a dialogue's
    // first command and its end.
    bool busy(const QString &name) const;
    // True once the program has held the whole dialogue with the device: a serial device
    // got its licence command, a USB device's reply was read, a network device's
    // connection that carried the licence command was closed by the program.
    bool served(const QString &name) const;

    // Every device presented so far, with the bytes it received, as JSON.
    QByteArray report() const;

private:
    // A device as presented: the fake itself, and by its transport the one typed pointer
    // that busy(), served() and leave() read.
    struct Presented
    {
        QString name;
        QString kind;
        quorvane::sim::FakeDevice *device;
        quorvane::sim::FakeAtDevice *serial = nullptr;
        simusb::FakeUsbDevice *usb = nullptr;
        simnet::FakeTcpService *service = nullptr;
        // Serial: the command that ends its dialogue, and how many commands it had when
        // the last one came in. Network: the line that carries the licence question.
        QByteArray lastCommand;
        mutable int commandsSeen = 0;
        mutable QElapsedTimer sinceCommand;
    };
    // A name comes back when a later device takes the same place (a network address, a
    // USB port): the latest device of that name is the one meant.
    const Presented *latest(const QString &name) const;

    std::shared_ptr<quorvane::sim::Testbed> m_testbed = std::make_shared<quorvane::sim::Testbed>();
    std::unique_ptr<quorvane::sim::FakeSerialPorts> m_serial =
        std::make_unique<quorvane::sim::FakeSerialPorts>(m_testbed);
    std::unique_ptr<simusb::FakeUsbBus> m_usb = std::make_unique<simusb::FakeUsbBus>(m_testbed);
    std::vector<std::unique_ptr<simnet::FakeTcpService>> m_services;
    std::vector<Presented> m_presented;
    int m_serialCount = 0;
    int m_usbCount = 0;
};

} // namespace runner

#endif // QUORVANE_RUNNER_DEVICES_H
