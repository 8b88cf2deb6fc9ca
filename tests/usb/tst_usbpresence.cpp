// Presence detection in the real window: the snapshot taken at start-up and the report of
// a device plugged in later, over the real libusb and emulated devices.
#include "tests/usb/usbtestsupport.h"

#include <dlfcn.h>

using namespace testsupport;

namespace {
int failingEnumerations = 0; // calls of libusb_get_device_list still to fail
} // namespace

// libusb's device list as the code under test sees it: the real one, or a failed
// enumeration (LIBUSB_ERROR_IO) while failingEnumerations lasts.
extern "C" ssize_t libusb_get_device_list(libusb_context *context, libusb_device ***list)
{
    using Real = ssize_t (*)(libusb_context *, libusb_device ***);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "libusb_get_device_list"));
    if (failingEnumerations > 0) {
        --failingEnumerations;
        *list = nullptr;
        return LIBUSB_ERROR_IO;
    }
    return real(context, list);
}

class TestUsbPresence : public UsbBusTest
{
    Q_OBJECT

private slots:
    void devicesPresentAtStartAreNeverReported()
    {
        bus->plugRootHub(1);
        FakeUsbDevice *a = bus->plug(deviceA());
        MainWindow window;
        QCOMPARE(window.usbPositions.size(), 2);
        QVERIFY(window.usbPositions.contains("1,0"));
        QVERIFY(window.usbPositions.contains("1,3"));
        const int at3 = window.usbPositions.indexOf("1,3");
        QCOMPARE(window.usbVids.at(at3), quint16(0x3E0A));
        QCOMPARE(window.usbPids.at(at3), quint16(0x0C01));
        QCOMPARE(window.hidVid, quint16(0));
        for (int poll = 0; poll < 3; ++poll)
            QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QVERIFY(window.extraElement.isEmpty());
        QCOMPARE(a->opens(), 0);
    }

    // An arrival is reported once, with its IDs; a removal is not reported and leaves the
    // IDs alone; the device plugged in again is a new arrival.
    void arrivalRemovalAndReplugging()
    {
        bus->plugRootHub(1);
        FakeUsbDevice *a = bus->plug(deviceA());
        MainWindow window;
        FakeUsbDevice *b = bus->plug(deviceB());
        QCOMPARE(window.CheckUsbList(), QStringLiteral("1,5"));
        QCOMPARE(window.extraElement, QStringLiteral("1,5"));
        QCOMPARE(window.hidVid, quint16(0x0483));
        QCOMPARE(window.hidPid, quint16(0x5750));
        QCOMPARE(window.usbPositions.size(), 3);
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QCOMPARE(window.extraElement, QString());
        QCOMPARE(b->opens(), 0); // presence only lists; it never opens

        a->unplug();
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QCOMPARE(window.extraElement, QStringLiteral("1,3"));
        QCOMPARE(window.usbPositions.size(), 2);
        QVERIFY(!window.usbPositions.contains("1,3"));
        QCOMPARE(window.hidVid, quint16(0x0483));

        bus->plug(deviceA());
        QCOMPARE(window.CheckUsbList(), QStringLiteral("1,3"));
        QCOMPARE(window.hidVid, quint16(0x3E0A));
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));

        // A workstation that runs all day: more plugs than a device number has values (a
        // byte; a bus gives addresses up to 127), each seen as it comes and goes.
        for (int plug = 0; plug < 260; ++plug) {
            FakeUsbDevice *again = bus->plug(DeviceSpec {"1-7", 0x3E0A, 0x0C01});
            QCOMPARE(window.CheckUsbList(), QStringLiteral("1,7"));
            again->unplug();
            QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        }
    }

    // A failed enumeration changes nothing, and after a failed start-up walk the first walk
    // that succeeds only records: the devices already there, the root hub first, are never
    // taken for new ones.
    void failedEnumerationsReportNothing()
    {
        bus->plugRootHub(1);
        FakeUsbDevice *a = bus->plug(deviceA());
        failingEnumerations = 1;
        MainWindow window;
        QVERIFY(!window.usbListed);
        QVERIFY(window.usbPositions.isEmpty());
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QVERIFY(window.extraElement.isEmpty());
        QCOMPARE(window.usbPositions.size(), 2);

        failingEnumerations = 2;
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QCOMPARE(window.usbPositions.size(), 2); // kept, not emptied
        QVERIFY(window.extraElement.isEmpty());  // nothing reported gone either
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));

        bus->plug(deviceB());
        QCOMPARE(window.CheckUsbList(), QStringLiteral("1,5"));
        QCOMPARE(window.hidVid, quint16(0x0483));
        QCOMPARE(a->opens(), 0);
    }

    void twoArrivalsBetweenPollsReportTheFirstListedOnly()
    {
        bus->plugRootHub(1);
        MainWindow window;
        bus->plug(DeviceSpec {"1-2", 0x1111, 0x2222});
        bus->plug(DeviceSpec {"1-4", 0x3333, 0x4444});
        const QString reported = window.CheckUsbList();
        // The first of the two in libusb's order, with that device's own IDs.
        QStringList newOnes = window.usbPositions;
        newOnes.removeAll("1,0");
        QCOMPARE(reported, newOnes.first());
        QCOMPARE(window.hidVid, quint16(reported == "1,2" ? 0x1111 : 0x3333));
        QCOMPARE(window.hidPid, quint16(reported == "1,2" ? 0x2222 : 0x4444));
        // The other one is recorded and never reported.
        for (int poll = 0; poll < 3; ++poll)
            QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
    }

    void swapWithTheSameCountIsNotReported()
    {
        bus->plugRootHub(1);
        FakeUsbDevice *a = bus->plug(deviceA());
        MainWindow window;
        a->unplug();
        bus->plug(DeviceSpec {"1-6", 0x0483, 0x5750});
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QCOMPARE(window.extraElement, QStringLiteral("1,3"));
        QVERIFY(window.usbPositions.contains("1,6"));
        QCOMPARE(window.CheckUsbList(), QStringLiteral("NULL"));
        QCOMPARE(window.hidVid, quint16(0));
    }

    // In the running window, with no serial port: every cycle asks for a new USB device
    // (a cycle lasts about 1.5 s here, the three network targets' pauses); one plugged in
    // meanwhile is found by the next cycle, and its dialogue runs once.
    void everyCycleChecksForANewDevice()
    {
        QElapsedTimer clock;
        clock.start();
        MainWindow window;
        LogCapture log;
        QTRY_VERIFY_WITH_TIMEOUT(log.count("11111") >= 3, 3 * 1500 + slackMs());
        // Not more often than the poll timer's ticks (a coarse timer: up to 5 % early).
        const int polls = log.count("11111");
        QVERIFY2(clock.elapsed() >= polls * 950,
                 qPrintable(QStringLiteral("%1 polls in %2 ms").arg(polls).arg(clock.elapsed())));
        FakeUsbDevice *b = bus->plug(deviceB());
        QTRY_COMPARE_WITH_TIMEOUT(window.extraElement, QStringLiteral("1,5"), plugLimitMs());
        QTRY_VERIFY_WITH_TIMEOUT(b->opens() == 1, plugLimitMs()); // the dialogue ran once
        QTest::qWait(3500);
        QCOMPARE(b->opens(), 1);
    }
};

QUORVANE_TEST_MAIN(TestUsbPresence, Usb)
#include "tst_usbpresence.moc"
