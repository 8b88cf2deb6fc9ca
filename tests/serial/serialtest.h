#ifndef QUORVANE_TESTS_SERIALTEST_H
#define QUORVANE_TESTS_SERIALTEST_H

// Shared by the serial tests: the ports and replies of the supported devices, and a window
// set up for one dialogue at a time.

#include "sim/serial/serialbench.h"

#include "app/mainwindow.h"
#include "tests/support/testmain.h"
#include "tests/support/window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

namespace serialtest {

using quorvane::sim::Reply;
using quorvane::sim::Testbed;
using quorvane::sim::FakeAtDevice;
using quorvane::sim::SerialBench;

struct PortOfKind
{
    const char *name;
    const char *description;
    const char *imeiCommand; // without line end; null for kind 3
    const char *licenceCommand;
};

inline const PortOfKind portsOfKind[] = {
    {"COM5", "USB Serial Device", "AT*MRD_IMEI=R", "AT*KESET=26"},
    {"COM12", "Unisoc Usb Serial Port 0", "AT+CGSN", "AT+NCSN?"},
    {"COM7", "Quectel USB REPL Port", "AT+EGMR=0", "AT*MRD_SN=R"},
    {"COM8", "USB-SERIAL CH340", nullptr, "AT*MRD_SN=R"},
};

inline const QByteArray licence21 = "ABCDEFGHIJKLMNOPQRSTU";

// Replies as real devices give them.
inline QByteArray okLine(const QByteArray &line)
{
    return "\r\n" + line + "\r\n\r\nOK\r\n";
}
inline QByteArray imeiReply(const QByteArray &imei)
{
    return okLine("*MRD_IMEI:" + imei);
}
// A licence reply of each kind that carries licence21.
inline QByteArray licenceReplyOfKind(int kind)
{
    switch (kind) {
    case 0: return okLine("+KESET: 26," + licence21);
    case 1: return "AT+NCSN?\r\r\n+" + licence21 + "\r\n\r\nOK\r\n";
    case 2: return okLine("*MRD_SN:2010," + licence21);
    default: return okLine("*MRD_SN: " + licence21);
    }
}

inline FakeAtDevice &addPortOfKind(SerialBench &bench, int kind)
{
    return bench.addPort(QString::fromLatin1(portsOfKind[kind].name),
                         QString::fromLatin1(portsOfKind[kind].description));
}

// A window whose poll timer stands still: the test drives the dialogue by hand.
struct Dialogue : testsupport::QuietWindow
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

} // namespace serialtest

// A duration in ms within [low, high).
#define QUORVANE_VERIFY_MS(ms, low, high) \
    QVERIFY2((ms) >= (low) && (ms) < (high), qPrintable(QStringLiteral("%1 ms").arg(ms)))

#endif // QUORVANE_TESTS_SERIALTEST_H
