#ifndef QUORVANE_SIM_SCRIPT_FAKEDEVICE_H
#define QUORVANE_SIM_SCRIPT_FAKEDEVICE_H

#include <QByteArray>

namespace quorvane::sim {

// The surface every fake device shares, whatever its transport, so that a test or the
// device simulator treats them alike: what the program sent it, pulling it out, and
// whether a program is talking to it now (serial: the port is open; network: a connection
// is open; USB: its interface is claimed).
class FakeDevice {
public:
    virtual ~FakeDevice() = default;
    virtual QByteArray received() const = 0;
    virtual void unplug() = 0;
    virtual bool inConversation() const = 0;
};

} // namespace quorvane::sim

#endif // QUORVANE_SIM_SCRIPT_FAKEDEVICE_H
