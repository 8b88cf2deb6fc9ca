#ifndef QUORVANE_SIM_EMULATION_HOSTDEVICES_H
#define QUORVANE_SIM_EMULATION_HOSTDEVICES_H

#include <QString>

namespace quorvane::sim {

// The tests, the demo and the device simulator must never reach the machine's own serial
// ports or USB devices: they see the devices of the emulated testbed, and nothing else.
// This looks at what the serial port list and libusb show this process, and at whether
// umockdev redirects the device paths at all. Empty when only emulated devices are in
// sight; otherwise what would be reached, in a sentence.
QString hostDevicesInSight();

} // namespace quorvane::sim

#endif // QUORVANE_SIM_EMULATION_HOSTDEVICES_H
