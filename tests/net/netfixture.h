#ifndef QUORVANE_TESTS_NET_NETFIXTURE_H
#define QUORVANE_TESTS_NET_NETFIXTURE_H

#include "app/mainwindow.h"
#include "sim/net/faketcpservice.h"
#include "sim/net/netdevices.h"

#include <QElapsedTimer>
#include <QString>

#include <memory>

// Small tools shared by the network tests.
namespace nettest {

// A window whose poll timer is stopped, so that the test alone decides when a connection,
// a dialogue or a cycle runs.
std::unique_ptr<MainWindow> quietWindow();

// Connects the window's socket straight to a service, as ConnectTCP leaves it but without
// its pauses, for tests of what comes after the connection.
bool connectStraight(MainWindow &window, const char *address, quint16 port);

// Starts a fake service; on failure `why` tells what went wrong.
std::unique_ptr<simnet::FakeTcpService> startService(const char *address, quint16 port,
                                                     const simnet::Script &script, QString *why);

// A fake port-9527 service playing `script`, and a quiet window whose socket is connected
// straight to it; stops the test binary when either cannot be had.
std::unique_ptr<simnet::FakeTcpService> serveConnected(const simnet::Script &script,
                                                       std::unique_ptr<MainWindow> *window);

// What the window shows.
QString shownText(MainWindow &window);
bool showsPicture(MainWindow &window, const QString &resourcePath);
bool labelsCleared(MainWindow &window);
QString statusMessage(MainWindow &window);

// Puts an earlier result on screen, so that a test can tell cleared, replaced and kept apart.
void showEarlierResult(MainWindow &window);
extern const char earlierText[];

} // namespace nettest

// A fake service or the test ends here.
#define NETTEST_START(var, address, port, script)                                        \
    QString var##Why;                                                                    \
    const auto var = nettest::startService(address, port, script, &var##Why);            \
    QVERIFY2(var, qPrintable(var##Why))

#endif // QUORVANE_TESTS_NET_NETFIXTURE_H
