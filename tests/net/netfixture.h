#ifndef QUORVANE_TESTS_NET_NETFIXTURE_H
#define QUORVANE_TESTS_NET_NETFIXTURE_H

#include "sim/net/faketcpservice.h"
#include "sim/net/netdevices.h"
#include "tests/support/testmain.h"
#include "tests/support/window.h"
#include "tests/support/timing.h"

#include <QtTest>

#include <memory>

// Small tools shared by the network tests.
namespace nettest {

inline const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
inline const QString lbl16 = QStringLiteral(":/qjpg/res/LBL16.png");
inline const QString wrongReply = QStringLiteral("返回值错误!");
inline const QString unsupported = QStringLiteral("(tcp)不支持此机型！");

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
struct Connected {
    std::unique_ptr<simnet::FakeTcpService> service;
    std::unique_ptr<MainWindow> window;
};
Connected serveConnected(const simnet::Script &script);

using testsupport::runCycle;

// What the window shows and said: testsupport::WindowProbe (tests/support/window.h).
using testsupport::earlierPicture;
using testsupport::earlierText;

// Checks the end of a dialogue: `picture` with `text` on screen and no message, or, with an
// empty `picture`, both labels cleared and `message` as the one status message (no message
// when `message` is empty too). Returns what differs; empty when all is as expected.
QString outcomeMismatch(MainWindow &window, const QSignalSpy &messages, const QString &message,
                        const QString &picture, const QString &text);

} // namespace nettest

// A fake service or the test ends here.
#define NETTEST_START(var, address, port, script)                                        \
    QString var##Why;                                                                    \
    const auto var = nettest::startService(address, port, script, &var##Why);            \
    QVERIFY2(var, qPrintable(var##Why))

#define NETTEST_OUTCOME(window, messages, message, picture, text)                         \
    do {                                                                                  \
        const QString mismatch_ = nettest::outcomeMismatch(window, messages, message,     \
                                                           picture, text);                \
        QVERIFY2(mismatch_.isEmpty(), qPrintable(mismatch_));                             \
    } while (false)

#endif // QUORVANE_TESTS_NET_NETFIXTURE_H
