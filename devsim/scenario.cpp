#include "devsim/scenario.h"
#include "sim/net/netdevices.h"
#include "serial/portrules.h"
#include "sim/serial/serialdevices.h"

namespace devsim {

using runner::Fault;
using runner::netLicence;
using runner::serialLicence;
using runner::Transport;
using runner::usbLicence;

namespace {

// One stage of the demo: a serial port kind, a USB reply status or a network address.
struct DemoStage
{
    const char *name;
    int seconds;
    Transport transport;
    int serialKind;      // Serial
    int usbStatus;       // Usb
    const char *address; // Net
    Fault fault;
};

constexpr DemoStage demoStages[] = {
    {"1-serial", 4, Transport::Serial, 0, 0, nullptr, Fault::None},
    {"2-usb", 4, Transport::Usb, 0, 0x90, nullptr, Fault::None},
    {"3-port-9527", 8, Transport::Net, 0, 0, simnet::atServiceAddress, Fault::None},
    {"4-port-3762-at-192.168.2.1", 6, Transport::Net, 0, 0, simnet::shellAddress2, Fault::None},
    {"5-port-3762-at-192.168.10.1", 6, Transport::Net, 0, 0, simnet::shellAddress10, Fault::None},
    // The 9527 failure comes first: it clears the label, so the failures after it show an
    // empty picture place with their message.
    {"6-port-9527-fault-error", 5, Transport::Net, 0, 0, simnet::atServiceAddress, Fault::Error},
    {"7-serial-fault-error", 4, Transport::Serial, 2, 0, nullptr, Fault::Error},
    {"8-usb-fault-status-41", 4, Transport::Usb, 0, 0x41, nullptr, Fault::None},
    {"9-port-3762-fault-error", 6, Transport::Net, 0, 0, simnet::shellAddress2, Fault::Error},
};

} // namespace

QList<Stage> demoScenario()
{
    QList<Stage> stages;
    for (const DemoStage &row : demoStages) {
        Stage stage {QLatin1String(row.name), row.seconds * 1000};
        switch (row.transport) {
        case Transport::Serial:
            stage.serial = runner::SerialChoice {row.serialKind, {}, {}, {}, serialLicence, row.fault};
            break;
        case Transport::Usb:
            stage.usb = runner::UsbChoice {usbLicence, row.usbStatus, row.fault};
            break;
        case Transport::Net:
            stage.net = {{QString::fromLatin1(row.address), netLicence, row.fault}};
            break;
        }
        stages << stage;
    }
    return stages;
}

QList<Stage> soakScenario(int rounds)
{
    constexpr int patienceMs = 40000;
    const auto expect = [](const char *picture, const QByteArray &text) {
        return QString::fromLatin1(picture) + QLatin1Char(' ') + QString::fromUtf8(text.left(21));
    };
    QList<Stage> stages;
    for (int round = 1; round <= rounds; ++round) {
        const int kind = (round - 1) % serialKindCount;
        Stage serial {QStringLiteral("%1-serial-kind%2").arg(round).arg(kind), patienceMs};
        serial.serial = runner::SerialChoice {kind, {}, {}, {}, serialLicence, Fault::None};
        serial.expect = expect(quorvane::sim::serialPersonas[kind].picture, serialLicence);
        Stage usb {QStringLiteral("%1-usb").arg(round), patienceMs};
        usb.usb = runner::UsbChoice {usbLicence, 0x90, Fault::None};
        usb.expect = expect(runner::usbPlace.picture, usbLicence);
        const runner::Place &place = runner::netPlaces[(round - 1) % runner::netPlaceCount];
        Stage net {QStringLiteral("%1-net-%2").arg(round).arg(QLatin1String(place.address)), patienceMs};
        net.net = {{QString::fromLatin1(place.address), netLicence, Fault::None}};
        net.expect = expect(place.picture, netLicence);
        // The serial stage lies between the USB stage and the network stage: a USB
        // device is noticed by comparing the device list with the one of the previous
        // cycle without a serial port, and the network stage's cycles take that list
        // after the USB device was pulled, so the next USB device counts as new.
        for (Stage *stage : {&usb, &serial, &net}) {
            stage->untilServed = true;
            stages << *stage;
        }
    }
    return stages;
}

} // namespace devsim
