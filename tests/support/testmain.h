#ifndef QUORVANE_TESTS_SUPPORT_TESTMAIN_H
#define QUORVANE_TESTS_SUPPORT_TESTMAIN_H

// The one entry of every test that builds the window or meets a fake device:
//
//   QUORVANE_TEST_MAIN(TestSerialCycle, Serial)
//
// checks that it runs inside the private network namespace of scripts/isolated (the
// window's poll timer connects to the device addresses, which must never be reached on a
// real network), runs the test under umockdev's preload library so that no real serial
// port or USB device is in sight, and runs the QtTest class. `Devices` says which fakes
// the test brings: None (an empty testbed covers the machine's own), Serial (fake ports,
// with a private /run/lock so that binaries run side by side can use the same port names)
// or Usb (a fake USB bus per case, see tests/usb/usbtestsupport.h).

#include "sim/emulation/testbed.h"
#include "sim/net/privatenetwork.h"

#include <QApplication>
#include <QtTest>

#include <memory>

namespace testsupport {

enum class Devices { None, Serial, Usb };

inline void requirePrivateNetwork()
{
    QString why;
    if (!quorvane::sim::net::insidePrivateNetwork(&why))
        qFatal("not in the private network namespace (%s): run the tests through scripts/isolated",
               qPrintable(why));
}

inline void prepareProcess(int argc, char **argv, Devices devices)
{
    if (devices == Devices::Serial && !quorvane::sim::Testbed::isUnderEmulation()) {
        QString why;
        if (!quorvane::sim::Testbed::usePrivateLockDirectory(&why))
            qFatal("serial tests need a private /run/lock (%s): run them through scripts/isolated",
                   qPrintable(why));
    }
    quorvane::sim::Testbed::runUnderEmulation(argc, argv);
    requirePrivateNetwork();
}

// The testbed of a test without fakes of its own: the window's serial and USB steps see
// nothing, and its creation stops the test if anything real is in sight.
inline std::unique_ptr<quorvane::sim::Testbed> emptyTestbed(Devices devices)
{
    return devices == Devices::None ? std::make_unique<quorvane::sim::Testbed>() : nullptr;
}

} // namespace testsupport

#define QUORVANE_TEST_MAIN(TestClass, devices) \
    int main(int argc, char **argv) \
    { \
        testsupport::prepareProcess(argc, argv, testsupport::Devices::devices); \
        QApplication app(argc, argv); \
        app.setAttribute(Qt::AA_Use96Dpi, true); \
        const auto testbed = testsupport::emptyTestbed(testsupport::Devices::devices); \
        TestClass test; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return QTest::qExec(&test, argc, argv); \
    }

#endif // QUORVANE_TESTS_SUPPORT_TESTMAIN_H
