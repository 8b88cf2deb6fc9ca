#ifndef QUORVANE_DEVSIM_SCENARIO_H
#define QUORVANE_DEVSIM_SCENARIO_H

// What a run of the simulator presents: stages, each with its devices, and the demo as a
// table of stages.

#include "runner/devices.h"

#include <QList>
#include <QString>

#include <optional>

namespace devsim {

// One stretch of a run: devices come at its start (a USB device possibly later) and go at
// its end, when a screenshot may be taken.
struct Stage
{
    QString name;
    int lengthMs = -1; // -1: until the program ends or the run is stopped
    std::optional<runner::SerialChoice> serial;
    std::optional<runner::UsbChoice> usb;
    int usbAfterMs = 0;
    QList<runner::NetChoice> net;
    int unplugAfterMs = -1;
    int replugAfterMs = -1; // after the unplug: the same devices again
    // Ends as soon as every device of the stage has been served, `lengthMs` at the latest.
    bool untilServed = false;
    // What the window should show for the stage's device: picture path, blank, text.
    QString expect;
};

// The demo: every kind of device, one after another, then one failure per transport.
QList<Stage> demoScenario();

// A soak: `rounds` times a USB device, a serial device (the port kinds in turn) and a
// network device (port 9527, then 3762 at each address, in turn), each plugged in, served
// once and pulled out. Every stage says what the window should show for it.
QList<Stage> soakScenario(int rounds);

} // namespace devsim

#endif // QUORVANE_DEVSIM_SCENARIO_H
