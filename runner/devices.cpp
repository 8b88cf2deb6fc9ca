#include "runner/devices.h"
#include "serial/portrules.h"
#include "serial/serialreply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QElapsedTimer>
#include <QJsonObject>

#include <algorithm>
#include <iterator>

namespace runner {

using namespace quorvane::sim;

namespace {

struct FaultName
{
    const char *name;
    Fault fault;
};
constexpr FaultName faultNames[] = {
    {"none", Fault::None},       {"silence", Fault::Silence}, {"error", Fault::Error},
    {"endless", Fault::Endless}, {"unplug", Fault::Unplug},
};

// A stream that carries no IMEI and no licence marker.
constexpr char noise[] = "0123456789ABCDEF\r\n";

static_assert(std::size(serialPersonas) == serialKindCount);

// Whether the tool asks a kind-0 device with this IMEI for its licence with the user-data
// command: the model table's first TAC in the IMEI gives the model variant, and variant 1
// takes that command.
bool asksUserData(const QByteArray &imei)
{
    for (const serialreply::ModelRow &row : serialreply::modelTable) {
        if (imei.contains(row.tac))
            return row.modelVariant == 1;
    }
    return false;
}

} // namespace

bool parseFault(const QString &text, Fault *fault)
{
    for (const FaultName &entry : faultNames) {
        if (text == QLatin1String(entry.name)) {
            *fault = entry.fault;
            return true;
        }
    }
    return false;
}

Devices::~Devices()
{
    m_services.clear();
    m_serial.reset();
    m_usb.reset();
}

QString Devices::plugSerial(const SerialChoice &choice, QString *why)
{
    if (choice.kind < 0 || choice.kind >= serialKindCount) {
        *why = QStringLiteral("serial port kind %1 does not exist (0 to %2)")
                   .arg(choice.kind)
                   .arg(serialKindCount - 1);
        return {};
    }
    const SerialPersona &kind = serialPersonas[choice.kind];
    // A later serial device of the same run gets a port name of its own.
    QString name = choice.name;
    if (name.isEmpty() && m_serialCount > 0)
        name = QStringLiteral("COM%1").arg(20 + m_serialCount);
    const QByteArray imei = choice.imei.isEmpty() && kind.imei ? QByteArray(kind.imei) : choice.imei;
    ++m_serialCount;

    FakeAtDevice &device = addPersonaPort(*m_serial, choice.kind, name, choice.description);
    const Reply licenceReply = Reply::text(kind.licenceReply(choice.licence));
    const char *firstCommand = kind.imeiCommand ? kind.imeiCommand : kind.licenceCommand;
    if (choice.fault != Fault::Silence) {
        if (kind.imeiCommand) {
            device.on(kind.imeiCommand, Reply::text(kind.imeiReply(imei)));
            device.on(fallbackImeiCommand, Reply::text(serialPersonas[0].imeiReply(imei)));
        }
        device.on(kind.licenceCommand, licenceReply);
        if (!choice.laterLicence.isEmpty()) {
            device.once(kind.licenceCommand, licenceReply);
            device.on(kind.licenceCommand, Reply::text(kind.licenceReply(choice.laterLicence)));
        }
        if (choice.kind == 0)
            device.on(userDataCommand, Reply::text(okLine("+USERDATAR:21," + choice.licence)));
    }
    if (choice.fault == Fault::Error)
        device.on(kind.licenceCommand, Reply::text("\r\nERROR\r\n"));
    else if (choice.fault == Fault::Endless)
        device.on(firstCommand, Reply::stream(noise, 5, 5));
    else if (choice.fault == Fault::Unplug)
        device.on(firstCommand, Reply::text("\r\n").thenUnplug(20));

    // Between two dialogues: the licence command was the last one and its dialogue has had
    // time to end (the next cycle's first command is most of a second away).
    const QByteArray lastCommand = choice.kind == 0 && asksUserData(imei) ? QByteArray(userDataCommand)
                                                                          : QByteArray(kind.licenceCommand);
    Presented presented {device.portName(), QStringLiteral("serial"), &device};
    presented.serial = &device;
    presented.lastCommand = lastCommand;
    m_presented.push_back(presented);
    return device.portName();
}

QString Devices::plugUsb(const UsbChoice &choice, QString *why)
{
    if (choice.fault == Fault::Endless) {
        *why = QStringLiteral("a USB device has no endless stream (its reply is one packet)");
        return {};
    }
    simusb::DeviceSpec spec;
    // Bus 3: apart from the USB devices that carry the emulated serial ports (bus 1).
    // Positions are taken in turn from a few ports, as an operator uses the same sockets
    // again (libusb's port number is one byte).
    spec.sysName = QStringLiteral("3-%1").arg(2 + m_usbCount++ % 8);
    spec.vid = choice.vid;
    spec.pid = choice.pid;
    const quint8 status = choice.fault == Fault::Error ? 0x41 : quint8(choice.status);
    spec.script.on(simusb::licenceRequest(),
                   choice.fault == Fault::Silence ? Reply::silence()
                       : choice.fault == Fault::Unplug
                       ? Reply::unplug()
                       : Reply::text(simusb::licenceReply(status, choice.licence)));
    simusb::FakeUsbDevice *device = m_usb->plug(spec);
    const QString name = QStringLiteral("USB %1").arg(device->position());
    Presented presented {name, QStringLiteral("usb"), device};
    presented.usb = device;
    m_presented.push_back(presented);
    return name;
}

QString Devices::startNet(const NetChoice &choice, QString *why)
{
    const bool at = choice.address == QLatin1String(simnet::atServiceAddress);
    if (!at && choice.address != QLatin1String(simnet::shellAddress2)
        && choice.address != QLatin1String(simnet::shellAddress10)) {
        *why = QStringLiteral("no device lives at %1 (192.168.0.1, 192.168.2.1, 192.168.10.1)")
                   .arg(choice.address);
        return {};
    }
    const quint16 port = at ? simnet::atServicePort : simnet::shellPort;
    // Port 9527 misbehaves at its first command, the shell at the licence file's; both are
    // cut off at the licence question.
    const char *firstLine = at ? simnet::productionModeLine : simnet::vlanDefaultsLine;
    const char *lastLine = at ? simnet::serialRecordLine : simnet::vlanDefaultsLine;
    simnet::Script script = at ? simnet::atService(simnet::serialRecordReply(choice.licence))
                               : simnet::loginShell(simnet::vlanDefaults(choice.licence));
    switch (choice.fault) {
    case Fault::None:
        break;
    case Fault::Silence:
        script = simnet::Script();
        break;
    case Fault::Error:
        script.on(firstLine,
                  at ? Reply::text("\r\nERROR\r\n", 20)
                     : simnet::shellPrint("cat: can't open '/mnt/RT2860_default_vlan': "
                                          "No such file or directory\nERROR\n"));
        break;
    case Fault::Endless:
        script.on(firstLine, Reply::stream(noise, 1));
        break;
    case Fault::Unplug:
        script.on(lastLine, Reply::reset(20));
        break;
    }

    auto service = std::make_unique<simnet::FakeTcpService>(choice.address, port, script);
    if (!service->start(why))
        return {};
    simnet::FakeTcpService *running = service.get();
    m_services.push_back(std::move(service));
    const QString name = QStringLiteral("%1:%2").arg(choice.address).arg(port);
    Presented presented {name, QString::number(port), running};
    presented.service = running;
    presented.lastCommand = lastLine;
    m_presented.push_back(presented);
    return name;
}

QByteArray licenceOf(Transport transport, int n)
{
    switch (transport) {
    case Transport::Serial:
        return QStringLiteral("SR-2026-0415-%1CN").arg(100000 + n % 900000).toLatin1();
    case Transport::Usb:
        return QStringLiteral("CMIIT ID:2026AB%1QP").arg(1000 + n % 9000).toLatin1();
    case Transport::Net:
        break;
    }
    return QStringLiteral("700101-2024-CN-%1").arg(100000 + n % 900000).toLatin1();
}

QString Devices::present(const Place &place, const QByteArray &licence, QString *why, int serialKind)
{
    switch (place.transport) {
    case Transport::Serial: {
        SerialChoice choice;
        choice.kind = serialKind;
        choice.licence = licence;
        return plugSerial(choice, why);
    }
    case Transport::Usb:
        return plugUsb(UsbChoice {licence}, why);
    case Transport::Net:
        break;
    }
    return startNet(NetChoice {QLatin1String(place.address), licence}, why);
}

const Devices::Presented *Devices::latest(const QString &name) const
{
    for (auto device = m_presented.rbegin(); device != m_presented.rend(); ++device) {
        if (device->name == name)
            return &*device;
    }
    return nullptr;
}

void Devices::remove(const QString &name)
{
    if (const Presented *device = latest(name))
        device->device->unplug();
}

void Devices::leave(const QString &name)
{
    const Presented *device = latest(name);
    if (device && device->service)
        device->service->stopListening();
}

bool Devices::busy(const QString &name) const
{
    const Presented *device = latest(name);
    if (!device)
        return false;
    if (!device->serial)
        return device->device->inConversation();
    // A serial line has no connection: it is in a dialogue from the first command until
    // the last one has had time to be answered.
    const QList<QByteArray> commands = device->serial->commands();
    if (commands.size() != device->commandsSeen) {
        device->commandsSeen = commands.size();
        device->sinceCommand.start();
    }
    return !commands.isEmpty()
        && (commands.last() != device->lastCommand || device->sinceCommand.elapsed() < 300);
}

bool Devices::served(const QString &name) const
{
    const Presented *device = latest(name);
    if (!device)
        return false;
    if (device->serial)
        return device->serial->commands().contains(device->lastCommand);
    if (device->usb)
        return !device->usb->inTransfers().isEmpty();
    const QList<simnet::ConnectionRecord> connections = device->service->connections();
    return std::any_of(connections.begin(), connections.end(), [&](const simnet::ConnectionRecord &c) {
        return !c.isOpen() && std::any_of(c.lines.begin(), c.lines.end(), [&](const simnet::ReceivedLine &l) {
            return l.text == device->lastCommand;
        });
    });
}

QByteArray Devices::report() const
{
    QJsonArray devices;
    for (const Presented &device : m_presented) {
        devices.append(QJsonObject {
            {QStringLiteral("name"), device.name},
            {QStringLiteral("kind"), device.kind},
            {QStringLiteral("received"), QString::fromLatin1(device.device->received())},
            {QStringLiteral("receivedHex"), QString::fromLatin1(device.device->received().toHex())},
        });
    }
    return QJsonDocument(QJsonObject {{QStringLiteral("devices"), devices}}).toJson();
}

} // namespace runner
