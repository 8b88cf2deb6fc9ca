#ifndef QUORVANE_TESTS_ISOLATION_H
#define QUORVANE_TESTS_ISOLATION_H

#include <QString>
#include <QtTest>

namespace testsupport {

// True when this process runs where scripts/isolated puts it: a network namespace
// without any route, with the three device addresses on loopback. Otherwise false, and
// `why` says what is wrong.
bool insidePrivateNetwork(QString *why);

} // namespace testsupport

// For every test that builds the window or opens a connection: stop at once, loudly,
// when not inside the private network namespace. The window's poll timer connects to the
// device addresses, which must never be reached on a real network.
#define QUORVANE_REQUIRE_PRIVATE_NETWORK()                                              \
    do {                                                                                \
        QString why_;                                                                   \
        if (!testsupport::insidePrivateNetwork(&why_))                                  \
            qFatal("not in the private network namespace (%s): run the tests through "  \
                   "scripts/isolated", qPrintable(why_));                               \
    } while (false)

#endif // QUORVANE_TESTS_ISOLATION_H
