#ifndef QUORVANE_USB_USBIDS_H
#define QUORVANE_USB_USBIDS_H

// Which USB devices the tool talks to. A workstation has many devices whose interface 0
// looks like a licence device's (USB serial adapters, network adapters, modems, security
// keys are vendor specific too), and a frame sent to one of them goes out on its serial
// line or into its firmware. So the tool opens only the licence devices it knows by their
// IDs, the built-in ones and those the operator names for a run (--usb-id VID:PID), and
// leaves every other device unopened. `--usb-id any` widens the reach to every device of a
// licence device's kind, but even then a kernel driver is taken only from a listed ID.

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace usbids {

struct UsbId
{
    quint16 vid;
    quint16 pid;
};

// The licence devices the tool knows without being told.
constexpr UsbId builtInIds[] = {
    {0x0483, 0x5750},
    {0x0483, 0x5751},
    {0x3E0A, 0x0C01},
    {0x3E0B, 0x0C02},
};

// What the operator added for this run: a plain setting, from the command line to the
// device layer.
struct UsbReach
{
    QList<UsbId> added; // --usb-id VID:PID, in the order given
    bool any = false;   // --usb-id any
};

// How the tool may treat one device.
enum class Access {
    None,      // never opened: nothing claimed, sent or learned
    Listed,    // a listed ID: interface 0 is claimed; a kernel driver holding it is taken
               // for the dialogue when the interface is of a licence device's kind
    Candidate, // not listed, but of a licence device's kind and the reach is "any":
               // interface 0 is claimed only when no kernel driver holds it
};

bool listed(const UsbReach &reach, quint16 vid, quint16 pid);

// The access to a device with these IDs whose interface 0 (of its active configuration)
// has this class and subclass; -1 for both when the configuration cannot be read, which
// makes an unlisted device no candidate.
Access access(const UsbReach &reach, quint16 vid, quint16 pid, int interfaceClass, int interfaceSubClass);

// "VID:PID" as lsusb shows it: one to four hexadecimal digits each, either case.
std::optional<UsbId> parseUsbId(const QString &text);
// "3e0a:0c01".
QString idText(UsbId id);
// The built-in IDs as the help text lists them: "0483:5750, 0483:5751, ...".
QString builtInList();

} // namespace usbids

#endif // QUORVANE_USB_USBIDS_H
