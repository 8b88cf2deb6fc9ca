#ifndef QUORVANE_NET_TCPREPLY_H
#define QUORVANE_NET_TCPREPLY_H

#include "shared/licencetext.h"

#include <QByteArray>
#include <QString>

// What the network dialogues read out of a device's reply. Pure functions of the reply,
// so that every rule can be checked without a device.
namespace tcpreply {

// How much of a licence value names the model.
constexpr int modelKeyLength = 6;

// Port 9527: the reply acknowledges a command when it holds "OK" anywhere (upper case only).
bool acknowledges(const QString &reply);

// Port 9527: everything behind the reply's last comma, up to the end of the reply; the
// whole reply when it holds no comma.
QString lastCommaField(const QString &reply);

// Port 3762: the text that starts one character behind the first "net_cert" and runs to the
// end of the reply. Without a marker it starts at position 8. Empty when it would start at or
// behind the end of the reply.
QString netCertValue(const QString &reply);

// The model key the dialogues read: the first six characters of a licence value (fewer
// when it is shorter).
QString modelKey(const QString &value);

// The first licencetext::licenceLength characters of a licence value (all of it when shorter).
QString shownText(const QString &value);

// The label picture for a port-9527 licence value, or an empty text when no model key starts
// the value.
QString picture9527(const QString &value);

// The label picture for a port-3762 licence value, by the address that answered (tcpVariant 0
// for 192.168.2.1, anything else for 192.168.10.1), or an empty text when no key starts it.
QString picture3762(const QString &value, int tcpVariant);

} // namespace tcpreply

#endif // QUORVANE_NET_TCPREPLY_H
