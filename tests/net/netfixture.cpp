#include "tests/net/netfixture.h"

#include <QHostAddress>

namespace testsupport {

bool connectTarget(MainWindow &window, const char *address)
{
    if (qstrcmp(address, simnet::atServiceAddress) == 0)
        return window.ConnectTCP(QLatin1String(address), QStringLiteral("9527"), QString(), QString());
    return window.ConnectTCP(QLatin1String(address), QStringLiteral("3762"), QLatin1String(simnet::shellUser),
                             QLatin1String(simnet::shellPassword));
}

bool connectStraight(QTcpSocket &socket, const char *address, quint16 port)
{
    socket.abort();
    socket.connectToHost(QHostAddress(QLatin1String(address)), port);
    return socket.waitForConnected(1000);
}

std::unique_ptr<simnet::FakeTcpService> startService(const char *address, quint16 port,
                                                     const simnet::Script &script, QString *why)
{
    auto service = std::make_unique<simnet::FakeTcpService>(QLatin1String(address), port, script);
    if (!service->start(why))
        return nullptr;
    return service;
}

Connected serveConnected(const simnet::Script &script, const char *address, quint16 port)
{
    QString why;
    Connected connected {startService(address, port, script, &why), std::make_unique<QuietWindow>()};
    if (!connected.service)
        qFatal("%s", qPrintable(why));
    if (!connectStraight(*connected.screen->window.tcpSocket, address, port))
        qFatal("cannot connect to the fake service");
    return connected;
}

QString outcomeMismatch(const QuietWindow &screen, const QString &message, const QString &picture,
                        const QString &text)
{
    QStringList said;
    for (const QList<QVariant> &signal : screen.said)
        said << QStringLiteral("%1 for %2 ms").arg(signal.at(0).toString()).arg(signal.at(1).toInt());
    const QString expected = message.isEmpty() ? QString() : message + QStringLiteral(" for 0 ms");
    if (said.join(u'|') != expected)
        return QStringLiteral("said [%1], expected [%2]").arg(said.join(u'|'), expected);
    if (!message.isEmpty() && screen.statusBar() != message)
        return QStringLiteral("the status bar shows [%1]").arg(screen.statusBar());
    if (picture.isEmpty())
        return screen.cleared() ? QString() : QStringLiteral("labels not cleared");
    if (!screen.shows(picture, text))
        return QStringLiteral("shows [%1], expected %2 with [%3]").arg(screen.text->text(), picture, text);
    return QString();
}

} // namespace testsupport
