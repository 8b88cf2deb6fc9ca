#include "devsim/devices.h"
#include "sim/net/netdevices.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QElapsedTimer>
#include <QJsonObject>

#include <algorithm>

using quorvane::sim::Reply;
using quorvane::sim::FakeAtDevice;
using quorvane::sim::SerialPersona;
using quorvane::sim::serialPersonas;
using quorvane::sim::fallbackImeiCommand;
using quorvane::sim::okLine;
using quorvane::sim::userDataCommand;

namespace devsim {

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

Devices::Devices()
    : m_testbed(std::make_shared<quorvane::sim::Testbed>())
    , m_serial(std::make_unique<quorvane::sim::SerialBench>(m_testbed))
    , m_usb(std::make_unique<simusb::UsbBench>(m_testbed))
{
}

Devices::~Devices()
{
    m_services.clear();
    m_serial.reset();
    m_usb.reset();
}

QString Devices::plugSerial(const SerialChoice &choice, QString *why)
{
    if (choice.kind < 0 || choice.kind > 3) {
        *why = QStringLiteral("serial port kind %1 does not exist (0 to 3)").arg(choice.kind);
        return {};
    }
    const SerialPersona &kind = serialPersonas[choice.kind];
    QString name = choice.name;
    if (name.isEmpty()) // a later device of the same run gets a port name of its own
        name = m_serialCount == 0 ? QString::fromLatin1(kind.name) : QStringLiteral("COM%1").arg(20 + m_serialCount);
    const QString description = choice.description.isEmpty() ? QString::fromLatin1(kind.description)
                                                             : choice.description;
    const QByteArray imei = choice.imei.isEmpty() && kind.imei ? QByteArray(kind.imei) : choice.imei;
    ++m_serialCount;

    FakeAtDevice &device = m_serial->addPort(name, description);
    const Reply imeiReply = Reply::text(serialPersonas[0].imeiReply(imei));
    const Reply licenceReply = Reply::text(kind.licenceReply(choice.licence));
    const char *firstCommand = kind.imeiCommand ? kind.imeiCommand : kind.licenceCommand;
    switch (choice.fault) {
    case Fault::Silence:
        break;
    case Fault::None:
    case Fault::Error:
    case Fault::Endless:
    case Fault::Unplug:
        if (kind.imeiCommand) {
            device.on(kind.imeiCommand, Reply::text(kind.imeiReply(imei)));
            device.on(fallbackImeiCommand, imeiReply);
        }
        device.on(kind.licenceCommand, licenceReply);
        if (!choice.laterLicence.isEmpty()) {
            device.once(kind.licenceCommand, licenceReply);
            device.on(kind.licenceCommand, Reply::text(kind.licenceReply(choice.laterLicence)));
        }
        if (choice.kind == 0)
            device.on(userDataCommand, Reply::text(okLine("+USERDATAR:21," + choice.licence)));
        if (choice.fault == Fault::Error)
            device.on(kind.licenceCommand, Reply::text("\r\nERROR\r\n"));
        else if (choice.fault == Fault::Endless)
            device.on(firstCommand, Reply::stream(noise, 5, 5));
        else if (choice.fault == Fault::Unplug)
            device.on(firstCommand, Reply::text("\r\n").thenUnplug(20));
        break;
    }
    // Between two dialogues: the licence command was the last one and its dialogue has had
    // time to end (the next cycle's first command is most of a second away).
    struct Quiet
    {
        int commands = 0;
        QElapsedTimer since;
    };
    auto quiet = std::make_shared<Quiet>();
    quiet->since.start();
    const QByteArray lastCommand = choice.kind == 0 && imei.startsWith("99000110") ? QByteArray(userDataCommand)
                                                                                   : QByteArray(kind.licenceCommand);
    auto busy = [&device, quiet, lastCommand] {
        const QList<QByteArray> commands = device.commands();
        if (commands.size() != quiet->commands) {
            quiet->commands = commands.size();
            quiet->since.restart();
        }
        return !commands.isEmpty() && (commands.last() != lastCommand || quiet->since.elapsed() < 300);
    };
    auto served = [&device, lastCommand] { return device.commands().contains(lastCommand); };
    m_presented.push_back({name, QStringLiteral("serial"), &device, busy, served, {}});
    return name;
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
    const quint8 status = choice.fault == Fault::Error ? 0x41 : quint8(choice.status);
    switch (choice.fault) {
    case Fault::Silence:
        spec.script.on(simusb::licenceRequest(), simusb::Reply::silence());
        break;
    case Fault::Unplug:
        spec.script.on(simusb::licenceRequest(), simusb::Reply::unplug());
        break;
    default:
        spec.script.on(simusb::licenceRequest(), simusb::Reply::text(simusb::licenceReply(status, choice.licence)));
        break;
    }
    simusb::FakeUsbDevice *device = m_usb->plug(spec);
    const QString name = QStringLiteral("USB %1").arg(device->position());
    m_presented.push_back({name, QStringLiteral("usb"), device, {},
                           [device] { return !device->inTransfers().isEmpty(); }, {}});
    return name;
}

QString Devices::startNet(const NetChoice &choice, QString *why)
{
    simnet::Script script;
    quint16 port;
    if (choice.address == QLatin1String(simnet::atServiceAddress)) {
        port = simnet::atServicePort;
        script = simnet::atService(simnet::serialRecordReply(choice.licence));
        if (choice.fault == Fault::Error)
            script.on(simnet::productionModeLine, simnet::Reply::text("\r\nERROR\r\n", 20));
        else if (choice.fault == Fault::Endless)
            script.on(simnet::productionModeLine, simnet::Reply::stream(noise, 1));
        else if (choice.fault == Fault::Unplug)
            script.on(simnet::serialRecordLine, simnet::Reply::reset(20));
    } else if (choice.address == QLatin1String(simnet::shellAddress2)
               || choice.address == QLatin1String(simnet::shellAddress10)) {
        port = simnet::shellPort;
        script = simnet::loginShell(simnet::vlanDefaults(choice.licence));
        if (choice.fault == Fault::Error)
            script.on(simnet::vlanDefaultsLine,
                      simnet::shellPrint("cat: can't open '/mnt/RT2860_default_vlan': No such file or directory\nERROR\n"));
        else if (choice.fault == Fault::Endless)
            script.on(simnet::vlanDefaultsLine, simnet::Reply::stream(noise, 1));
        else if (choice.fault == Fault::Unplug)
            script.on(simnet::vlanDefaultsLine, simnet::Reply::reset(20));
    } else {
        *why = QStringLiteral("no device lives at %1 (192.168.0.1, 192.168.2.1, 192.168.10.1)").arg(choice.address);
        return {};
    }
    if (choice.fault == Fault::Silence)
        script = simnet::Script();

    auto service = std::make_unique<simnet::FakeTcpService>(choice.address, port, script);
    if (!service->start(why))
        return {};
    simnet::FakeTcpService *running = service.get();
    m_services.push_back(std::move(service));
    const QString name = QStringLiteral("%1:%2").arg(choice.address).arg(port);
    const QByteArray lastLine = port == simnet::atServicePort ? QByteArray(simnet::serialRecordLine)
                                                              : QByteArray(simnet::vlanDefaultsLine);
    auto served = [running, lastLine] {
        const QList<simnet::ConnectionRecord> connections = running->connections();
        return std::any_of(connections.begin(), connections.end(), [&](const simnet::ConnectionRecord &c) {
            return !c.isOpen() && std::any_of(c.lines.begin(), c.lines.end(),
                                              [&](const simnet::ReceivedLine &l) { return l.text == lastLine; });
        });
    };
    m_presented.push_back({name, port == simnet::atServicePort ? QStringLiteral("9527") : QStringLiteral("3762"),
                           running, {}, served, [running] { running->stopListening(); }});
    return name;
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
    if (device && device->leave)
        device->leave();
}

bool Devices::busy(const QString &name) const
{
    const Presented *device = latest(name);
    return device && (device->busy ? device->busy() : device->device->inConversation());
}

bool Devices::served(const QString &name) const
{
    const Presented *device = latest(name);
    return device && device->served();
}

QByteArray Devices::report() const
{
    QJsonArray devices;
    for (const Presented &device : m_presented) {
        devices.append(QJsonObject{
            {QStringLiteral("name"), device.name},
            {QStringLiteral("kind"), device.kind},
            {QStringLiteral("received"), QString::fromLatin1(device.device->received())},
            {QStringLiteral("receivedHex"), QString::fromLatin1(device.device->received().toHex())},
        });
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("devices"), devices}}).toJson();
}

} // namespace devsim
