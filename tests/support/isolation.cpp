#include "tests/support/isolation.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>

namespace testsupport {

bool insidePrivateNetwork(QString *why)
{
    QFile routes(QStringLiteral("/proc/net/route"));
    if (!routes.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read /proc/net/route");
        return false;
    }
    const QList<QByteArray> lines = routes.readAll().trimmed().split('\n');
    if (lines.size() > 1) {
        *why = QStringLiteral("the namespace has %1 route(s)").arg(lines.size() - 1);
        return false;
    }
    const QList<QHostAddress> local = QNetworkInterface::allAddresses();
    for (const char *device : {"192.168.0.1", "192.168.2.1", "192.168.10.1"}) {
        if (!local.contains(QHostAddress(QString::fromLatin1(device)))) {
            *why = QStringLiteral("%1 is not on loopback").arg(QLatin1String(device));
            return false;
        }
    }
    return true;
}

} // namespace testsupport
