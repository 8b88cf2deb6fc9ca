#include "devsim/scenario.h"
#include "sim/net/netdevices.h"

namespace devsim {

const QByteArray serialLicence = "SR-2026-0415-118735CN";
const QByteArray usbLicence = "CMIIT ID:2026AB1234QP";
const QByteArray netLicence = simnet::sampleLicence;

namespace {

// One stage of the demo: a serial port kind, a USB reply status or a network address.
struct DemoStage
{
    enum Transport { Serial, Usb, Net };
    const char *name;
    int seconds;
    Transport transport;
    int serialKind;      // Serial
    int usbStatus;       // Usb
    const char *address; // Net
    Fault fault;
};

constexpr DemoStage demoStages[] = {
    {"1-serial", 4, DemoStage::Serial, 0, 0, nullptr, Fault::None},
    {"2-usb", 4, DemoStage::Usb, 0, 0x90, nullptr, Fault::None},
    {"3-port-9527", 8, DemoStage::Net, 0, 0, simnet::atServiceAddress, Fault::None},
    {"4-port-3762-at-192.168.2.1", 6, DemoStage::Net, 0, 0, simnet::shellAddress2, Fault::None},
    {"5-port-3762-at-192.168.10.1", 6, DemoStage::Net, 0, 0, simnet::shellAddress10, Fault::None},
    // The 9527 failure comes first: it clears the label, so the failures after it show an
    // empty picture place with their message.
    {"6-port-9527-fault-error", 5, DemoStage::Net, 0, 0, simnet::atServiceAddress, Fault::Error},
    {"7-serial-fault-error", 4, DemoStage::Serial, 2, 0, nullptr, Fault::Error},
    {"8-usb-fault-status-41", 4, DemoStage::Usb, 0, 0x41, nullptr, Fault::None},
    {"9-port-3762-fault-error", 6, DemoStage::Net, 0, 0, simnet::shellAddress2, Fault::Error},
};

} // namespace

QList<Stage> demoScenario()
{
    QList<Stage> stages;
    for (const DemoStage &row : demoStages) {
        Stage stage{QLatin1String(row.name), row.seconds};
        switch (row.transport) {
        case DemoStage::Serial:
            stage.serial = SerialChoice{row.serialKind, {}, {}, {}, serialLicence, row.fault};
            break;
        case DemoStage::Usb:
            stage.usb = UsbChoice{usbLicence, row.usbStatus, row.fault};
            break;
        case DemoStage::Net:
            stage.net = {{QString::fromLatin1(row.address), netLicence, row.fault}};
            break;
        }
        stages << stage;
    }
    return stages;
}

} // namespace devsim
