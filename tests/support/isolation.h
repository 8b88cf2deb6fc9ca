#ifndef QUORVANE_TESTS_ISOLATION_H
#define QUORVANE_TESTS_ISOLATION_H

#include "sim/net/privatenetwork.h"

#include <QString>
#include <QtTest>

// For every test that builds the window or opens a connection: stop at once, loudly,
// when not inside the private network namespace of scripts/isolated. The window's poll
// timer connects to the device addresses, which must never be reached on a real network.
#define QUORVANE_REQUIRE_PRIVATE_NETWORK()                                              \
    do {                                                                                \
        QString why_;                                                                   \
        if (!quorvane::sim::net::insidePrivateNetwork(&why_))                           \
            qFatal("not in the private network namespace (%s): run the tests through "  \
                   "scripts/isolated", qPrintable(why_));                               \
    } while (false)

#endif // QUORVANE_TESTS_ISOLATION_H
