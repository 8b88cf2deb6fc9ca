#include "tests/net/netfixture.h"

#include <QHostAddress>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QStatusBar>
#include <QTcpSocket>
#include <QTimer>

namespace nettest {

const char earlierText[] = "earlier-result-text";

std::unique_ptr<MainWindow> quietWindow()
{
    auto window = std::make_unique<MainWindow>();
    for (QTimer *timer : window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        timer->stop();
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

static QLabel *label(MainWindow &window, const char *name)
{
    return window.findChild<QLabel *>(QLatin1String(name));
}

QString shownText(MainWindow &window)
{
    return label(window, "label")->text();
}

bool showsPicture(MainWindow &window, const QString &resourcePath)
{
    const QPixmap shown = label(window, "label_show")->pixmap(Qt::ReturnByValue);
    const QImage expected(resourcePath);
    return !shown.isNull() && !expected.isNull()
           && shown.toImage() == QPixmap::fromImage(expected).toImage();
}

bool labelsCleared(MainWindow &window)
{
    return label(window, "label_show")->pixmap(Qt::ReturnByValue).isNull()
           && label(window, "label")->text().isEmpty();
}

QString statusMessage(MainWindow &window)
{
    return window.statusBar()->currentMessage();
}

void showEarlierResult(MainWindow &window)
{
    window.ShowLicenceLabel(QStringLiteral(":/qjpg/res/LBL17.png"), QLatin1String(earlierText));
}

std::unique_ptr<simnet::FakeTcpService> serveConnected(const simnet::Script &script,
                                                       std::unique_ptr<MainWindow> *window)
{
    QString why;
    auto service = startService(simnet::atServiceAddress, simnet::atServicePort, script, &why);
    if (!service)
        qFatal("%s", qPrintable(why));
    *window = quietWindow();
    if (!connectStraight(**window, simnet::atServiceAddress, simnet::atServicePort))
        qFatal("cannot connect to the fake service");
    return service;
}

} // namespace nettest
