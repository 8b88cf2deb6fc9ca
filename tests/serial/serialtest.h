#ifndef QUORVANE_TESTS_SERIALTEST_H
#define QUORVANE_TESTS_SERIALTEST_H

// Shared by the serial tests: the ports and replies of the supported devices, and a window
// set up for one dialogue at a time.

#include "sim/serial/serialdevices.h"
#include "tests/support/tablerows.h"
#include "tests/support/testmain.h"
#include "tests/support/timing.h"
#include "tests/support/window.h" // the window, its labels, status bar and timer

#include <QtTest>

namespace testsupport {

// The serial tests speak the fakes' own words (sim/script, sim/serial): ports, personas,
// replies and scripts.
using namespace quorvane::sim;

inline const QByteArray licence21 = "ABCDEFGHIJKLMNOPQRSTU";

// Replies as real devices give them (sim/serial/serialdevices.h).
inline QByteArray imeiReply(const QByteArray &imei)
{
    return serialPersonas[0].imeiReply(imei);
}
// A licence reply of each kind that carries licence21.
inline QByteArray licenceReplyOfKind(int kind)
{
    return serialPersonas[kind].licenceReply(licence21);
}

// A port of the kind whose device answers the kind's IMEI command with `imei` and its
// licence command with `licence`.
inline FakeAtDevice &addAnsweringPort(FakeSerialPorts &ports, int kind, const Reply &imei,
                                      const Reply &licence)
{
    FakeAtDevice &device = addPersonaPort(ports, kind);
    device.on(serialPersonas[kind].imeiCommand, imei);
    device.on(serialPersonas[kind].licenceCommand, licence);
    return device;
}

// A window whose poll timer stands still: the test drives the dialogue by hand.
struct Dialogue : QuietWindow
{
    qint64 lastQueryMs = -1;

    // One cycle's serial step: open, and when that works, query. Returns the open's result.
    bool run()
    {
        if (!window.OpenSerialPort())
            return false;
        QElapsedTimer clock;
        clock.start();
        window.QuerySerial();
        lastQueryMs = clock.elapsed();
        return true;
    }
};

} // namespace testsupport

#endif // QUORVANE_TESTS_SERIALTEST_H
