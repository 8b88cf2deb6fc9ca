#include "tests/net/netfixture.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace nettest {

std::unique_ptr<MainWindow> quietWindow()
{
    auto window = std::make_unique<MainWindow>();
    testsupport::stopPolling(*window);
    return window;
}

bool connectStraight(MainWindow &window, const char *address, quint16 port)
{
    window.tcpSocket->abort();
    window.tcpSocket->connectToHost(QHostAddress(QLatin1String(address)), port);
    return window.tcpSocket->waitForConnected(1000);
}

std::unique_ptr<simnet::FakeTcpService> startService(const char *address, quint16 port,
                                                     const simnet::Script &script, QString *why)
{
    auto service = std::make_unique<simnet::FakeTcpService>(QLatin1String(address), port, script);
    if (!service->start(why))
        return nullptr;
    return service;
}

Connected serveConnected(const simnet::Script &script)
{
    QString why;
    Connected connected;
    connected.service = startService(simnet::atServiceAddress, simnet::atServicePort, script, &why);
    if (!connected.service)
        qFatal("%s", qPrintable(why));
    connected.window = quietWindow();
    if (!connectStraight(*connected.window, simnet::atServiceAddress, simnet::atServicePort))
        qFatal("cannot connect to the fake service");
    return connected;
}

QString outcomeMismatch(MainWindow &window, const QSignalSpy &messages, const QString &message,
                        const QString &picture, const QString &text)
{
    QStringList said;
    for (const QList<QVariant> &signal : messages)
        said << QStringLiteral("%1 for %2 ms").arg(signal.at(0).toString()).arg(signal.at(1).toInt());
    const QString expected = message.isEmpty() ? QString() : message + QStringLiteral(" for 0 ms");
    if (said.join(u'|') != expected)
        return QStringLiteral("said [%1], expected [%2]").arg(said.join(u'|'), expected);
    const testsupport::WindowProbe probe(window);
    if (!message.isEmpty() && probe.statusBar() != message)
        return QStringLiteral("the status bar shows [%1]").arg(probe.statusBar());
    if (picture.isEmpty())
        return probe.cleared() ? QString() : QStringLiteral("labels not cleared");
    if (!probe.shows(picture, text))
        return QStringLiteral("shows [%1], expected %2 with [%3]").arg(probe.text->text(), picture, text);
    return QString();
}

} // namespace nettest
