// The three faults of the USB transport that this code mends: a second device of one
// maker is opened with its own IDs; transfers without an open device or without an
// endpoint fail at once; a position without a comma opens nothing.
#include "tests/usb/usbtestsupport.h"
#include "usb/bulkhiddevice.h"

using namespace testsupport;

class TestUsbMended : public UsbBusTest
{
    Q_OBJECT

private slots:
    // Fault 1: the IDs of a new device are those of the device at the reported position,
    // even when a device with the same vendor or product ID is already attached.
    void secondDeviceOfOneMakerIsOpened_data()
    {
        addColumns<int, int>("vid", "pid");
        QTest::newRow("same vendor and product") << 0x3E0A << 0x0C01;
        QTest::newRow("same vendor, other product") << 0x3E0A << 0x0C02;
        QTest::newRow("other vendor, same product") << 0x3E0B << 0x0C01;
    }
    void secondDeviceOfOneMakerIsOpened()
    {
        QFETCH(int, vid);
        QFETCH(int, pid);
        bus->plug(licensed());
        MainWindow window;
        window.usbReach.added = {{quint16(vid), quint16(pid)}}; // --usb-id, where not built in
        // A device of another maker came and was queried: its IDs are the last ones taken.
        FakeUsbDevice *other = bus->plug(licensed(deviceB()));
        runCycle(window);
        QCOMPARE(other->received().left(11), simusb::licenceRequest());
        window.ClearLicenceLabel();

        // Opened by position and IDs together: only the second device's own IDs open it.
        FakeUsbDevice *second = bus->plug(licensed(DeviceSpec {"1-7", quint16(vid), quint16(pid)}));
        runCycle(window);
        QCOMPARE(second->opens(), 1);
        QCOMPARE(second->received().left(11), simusb::licenceRequest());
        QCOMPARE(WindowProbe(window).text->text(), QString::fromLatin1(licence));
        QVERIFY(!second->claimed());
    }

    // Fault 2: no transfer, no loop, no division by zero without a device or an endpoint.
    void transfersOnAClosedDeviceFailAtOnce()
    {
        FakeUsbDevice *fake = bus->plug(licensed());
        BulkHidDevice device;
        auto allFail = [&device] {
            char data[11] = {};
            unsigned char buffer[64];
            std::string out = "kept";
            QCOMPARE(device.write(data, 11, 100), -2);
            QCOMPARE(device.read(out, 100), 3);
            QCOMPARE(device.readPacket(buffer, 64, 100), -2);
            QCOMPARE(out, std::string("kept"));
        };
        allFail(); // never opened: nothing learned either
        QCOMPARE(device.openByBusPort(openA), 0);
        device.close();
        allFail(); // opened, endpoints learned, closed again
        QVERIFY(fake->outTransfers().isEmpty());
        QVERIFY(fake->inTransfers().isEmpty());
    }

    void transfersWithoutAnEndpointFailAtOnce()
    {
        // Interface 0 with the endpoint `ep` alone.
        const auto only = [](quint8 ep) { return [ep](DeviceSpec &s) { s.endpoints = {{ep}}; }; };
        FakeUsbDevice *a = bus->plug(with(licensed(), only(0x81)));
        FakeUsbDevice *b = bus->plug(with(licensed(deviceB()), only(0x01)));
        char data[11] = {};
        unsigned char buffer[64];
        {
            BulkHidDevice device;
            QCOMPARE(device.openByBusPort(openA), 0);
            QCOMPARE(device.outPacketSize(), 0);
            QCOMPARE(device.write(data, 11, 100), int(LIBUSB_ERROR_NOT_SUPPORTED));
            QVERIFY(a->outTransfers().isEmpty());
        }
        {
            BulkHidDevice device;
            QCOMPARE(device.openByBusPort(openB), 0);
            QCOMPARE(device.inPacketSize(), 0);
            std::string out = "kept";
            QCOMPARE(device.read(out, 100), 3);
            QCOMPARE(device.readPacket(buffer, 64, 100), int(LIBUSB_ERROR_NOT_SUPPORTED));
            QCOMPARE(device.readPacket(buffer, 0, 100), int(LIBUSB_ERROR_NOT_SUPPORTED));
            QCOMPARE(out, std::string("kept"));
            QCOMPARE(device.write(data, 0, 100), 0); // nothing to send
            QVERIFY(b->outTransfers().isEmpty());
        }
    }

    // The dialogue with a device that has no OUT endpoint ends silently, closed.
    void dialogueWithoutAnOutEndpointEndsSilently()
    {
        MainWindow window;
        DeviceSpec inOnly = licensed();
        inOnly.endpoints = {{0x81, 0x02, 64}};
        FakeUsbDevice *fake = bus->plug(inOnly);
        QCOMPARE(window.CheckUsbList(), QStringLiteral("1,3"));
        QElapsedTimer clock;
        clock.start();
        window.QueryUsb();
        QCOMPARE(fake->inRequests(), 0); // ended before the read of the reply
        QUORVANE_VERIFY_WAITS(clock.elapsed(), 0);
        QCOMPARE(fake->opens(), 1);
        QVERIFY(!window.usbDevice->isOpen());
        QVERIFY(!fake->claimed());
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
    }

    // Fault 3: a position without a comma gives bus 0 and port 0: nothing opens and the
    // dialogue ends without a message.
    void positionWithoutACommaOpensNothing_data()
    {
        QTest::addColumn<QString>("position");
        QTest::newRow("empty") << "";
        QTest::newRow("a number") << "13";
        QTest::newRow("text") << "1;3";
    }
    void positionWithoutACommaOpensNothing()
    {
        QFETCH(QString, position);
        FakeUsbDevice *fake = bus->plug(licensed());
        MainWindow window;
        window.hidVid = 0x3E0A;
        window.hidPid = 0x0C01;
        window.extraElement = position;
        LogCapture log;
        QElapsedTimer clock;
        clock.start();
        window.QueryUsb();
        QUORVANE_VERIFY_WAITS(clock.elapsed(), 0);
        QCOMPARE(log.count("BulkHidDevice::open by bus 0 addr"), 1);
        QCOMPARE(fake->opens(), 0);
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
        QVERIFY(!window.usbDevice->isOpen());
    }

    // The way an empty position really arises: one more device, but on a position that is
    // already recorded (behind another hub of the same bus). The report is the empty text,
    // the IDs keep their values, and the cycle's dialogue ends silently.
    void growthWithoutANewPositionEndsSilently()
    {
        FakeUsbDevice *first = bus->plug(licensed());
        MainWindow window;
        window.hidVid = 0x0BAD;
        window.hidPid = 0x0BAD;
        FakeUsbDevice *behindHub = bus->plug(licensed(DeviceSpec {"1-4.3", 0x0483, 0x5750}));
        LogCapture log;
        runCycle(window);
        QCOMPARE(log.count("11111"), 1);
        QCOMPARE(window.usbPositions.count("1,3"), 2);
        QVERIFY(window.extraElement.isEmpty());
        QCOMPARE(window.hidVid, quint16(0x0BAD));
        QCOMPARE(window.hidPid, quint16(0x0BAD));
        QCOMPARE(log.count("BulkHidDevice::open by bus 0 addr"), 1);
        QCOMPARE(first->opens() + behindHub->opens(), 0);
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
    }
};

QUORVANE_TEST_MAIN(TestUsbMended, Usb)
#include "tst_usbmended.moc"
