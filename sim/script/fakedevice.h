#ifndef QUORVANE_SIM_SCRIPT_FAKEDEVICE_H
#define QUORVANE_SIM_SCRIPT_FAKEDEVICE_H

#include <QByteArray>

#include <mutex>

namespace quorvane::sim {

// The surface every fake device shares, whatever its transport, so that a test or the
// device simulator treats them alike: what the program sent it, pulling it out, and
// whether a program is talking to it now (serial: the port is open; network: a connection
// is open; USB: its interface is claimed).
class FakeDevice
{
public:
    virtual ~FakeDevice() = default;
    virtual QByteArray received() const = 0;
    virtual void unplug() = 0;
    virtual bool inConversation() const = 0;
};

// What `action` returns, run while holding `mutex`: a fake's state is written on its own
// thread (or umockdev's) and read on the caller's.
template<typename Mutex, typename Action> auto underLock(Mutex &mutex, Action action)
{
    std::lock_guard<Mutex> guard(mutex);
    return action();
}

} // namespace quorvane::sim

#endif // QUORVANE_SIM_SCRIPT_FAKEDEVICE_H
