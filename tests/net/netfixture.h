#ifndef QUORVANE_TESTS_NET_NETFIXTURE_H
#define QUORVANE_TESTS_NET_NETFIXTURE_H

#include "sim/net/faketcpservice.h"
#include "sim/net/netdevices.h"
#include "tests/support/tablerows.h"
#include "tests/support/testmain.h"
#include "tests/support/timing.h"
#include "tests/support/window.h"

#include <QTcpSocket>

#include <memory>

// Small tools shared by the network tests.
namespace testsupport {

inline const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
inline const QString lbl16 = QStringLiteral(":/qjpg/res/LBL16.png");
inline const QString wrongReply = QStringLiteral("返回值错误!");
inline const QString unsupported = QStringLiteral("(tcp)不支持此机型！");
// What the shell receives from a login with the right user name and password.
inline const QByteArray login = QByteArray(simnet::shellUser) + '\r' + simnet::shellPassword + '\r';

// A window whose poll timer is stopped, with its probe (tests/support/window.h), so that the
// test alone decides when a connection, a dialogue or a cycle runs.
using testsupport::QuietWindow;
using testsupport::runCycle;

// ConnectTCP as a cycle calls it for the target at `address`: port 9527 without a login,
// port 3762 with the shell's.
bool connectTarget(MainWindow &window, const char *address);

// Connects a socket (the window's, as ConnectTCP leaves it but without its pauses, for tests
// of what comes after the connection) straight to a service.
bool connectStraight(QTcpSocket &socket, const char *address = simnet::atServiceAddress,
                     quint16 port = simnet::atServicePort);

// Starts a fake service; on failure `why` tells what went wrong.
std::unique_ptr<simnet::FakeTcpService> startService(const char *address, quint16 port,
                                                     const simnet::Script &script, QString *why);

// A fake service playing `script`, and a quiet window whose socket is connected straight to
// it; stops the test binary when either cannot be had.
struct Connected
{
    std::unique_ptr<simnet::FakeTcpService> service;
    std::unique_ptr<QuietWindow> screen;
};
Connected serveConnected(const simnet::Script &script, const char *address = simnet::atServiceAddress,
                         quint16 port = simnet::atServicePort);

// Checks the end of a dialogue: `picture` with `text` on screen and no message, or, with an
// empty `picture`, both labels cleared and `message` as the one status message (no message
// when `message` is empty too). Returns what differs; empty when all is as expected.
QString outcomeMismatch(const QuietWindow &screen, const QString &message, const QString &picture,
                        const QString &text);

} // namespace testsupport

// A fake service or the test ends here.
#define NETTEST_START(var, address, port, script) \
    QString var##Why; \
    const auto var = testsupport::startService(address, port, script, &var##Why); \
    QVERIFY2(var, qPrintable(var##Why))

#define NETTEST_OUTCOME(screen, message, picture, text) \
    do { \
        const QString mismatch_ = testsupport::outcomeMismatch(screen, message, picture, text); \
        QVERIFY2(mismatch_.isEmpty(), qPrintable(mismatch_)); \
    } while (false)

#endif // QUORVANE_TESTS_NET_NETFIXTURE_H
