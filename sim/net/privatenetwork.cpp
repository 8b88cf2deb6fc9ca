#include "sim/net/privatenetwork.h"
#include "sim/net/netdevices.h"

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>

namespace quorvane::sim::net {

bool insidePrivateNetwork(QString *why)
{
    QFile routes(QStringLiteral("/proc/net/route"));
    if (!routes.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read /proc/net/route");
        return false;
    }
    const QList<QByteArray> lines = routes.readAll().trimmed().split('\n');
    if (lines.size() > 1) {
        *why = QStringLiteral("this network namespace has %1 route(s)").arg(lines.size() - 1);
        return false;
    }
    const QList<QHostAddress> local = QNetworkInterface::allAddresses();
    for (const char *address : {atServiceAddress, shellAddress2, shellAddress10}) {
        if (!local.contains(QHostAddress(QString::fromLatin1(address)))) {
            *why = QStringLiteral("%1 is not on loopback").arg(QLatin1String(address));
            return false;
        }
    }
    return true;
}

} // namespace quorvane::sim::net
