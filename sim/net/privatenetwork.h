#ifndef QUORVANE_SIM_NET_PRIVATENETWORK_H
#define QUORVANE_SIM_NET_PRIVATENETWORK_H

#include <QString>

namespace quorvane::sim::net {

// True when this process runs where scripts/isolated puts it: a network namespace without
// any route, with the three device addresses on loopback. Only there may the fake devices
// listen, or the tool connect: anywhere else they could meet real devices. Otherwise
// false, and `why` says what is wrong.
bool insidePrivateNetwork(QString *why);

} // namespace quorvane::sim::net

#endif // QUORVANE_SIM_NET_PRIVATENETWORK_H
