#ifndef QUORVANE_TESTS_ISOLATION_H
#define QUORVANE_TESTS_ISOLATION_H

#include "sim/emulation/testbed.h"
#include "sim/net/privatenetwork.h"

#include <QApplication>
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

// QTEST_MAIN for the tests that build the window without fake serial or USB devices of their
// own: the window's serial and USB steps (its constructor, its poll timer, OpenSerialPort,
// CheckUsbList) must not reach the machine's ports and USB devices, so the whole run happens
// under an empty emulated testbed, whose creation stops the test if anything real is in sight.
#define QUORVANE_WINDOW_TEST_MAIN(TestClass)                                            \
    int main(int argc, char **argv)                                                     \
    {                                                                                   \
        quorvane::sim::Testbed::runUnderEmulation(argc, argv);                          \
        QApplication app(argc, argv);                                                   \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                        \
        quorvane::sim::Testbed noDevices;                                               \
        TestClass test;                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                      \
        return QTest::qExec(&test, argc, argv);                                         \
    }

#endif // QUORVANE_TESTS_ISOLATION_H
