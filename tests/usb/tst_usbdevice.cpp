// The USB device layer against emulated devices: the real libusb enumerates, opens,
// claims and transfers; the fake devices record what reaches them. Last, the guard that
// keeps every test off the machine's own devices.
#include <umockdev.h> // before Qt: GLib uses the word "signals"

#include "sim/emulation/testbed.h"
#include "tests/usb/usbtestsupport.h"
#include "usb/bulkhiddevice.h"

#include <cerrno>

using namespace testsupport;

class TestUsbDevice : public UsbBusTest
{
    Q_OBJECT

private slots:
    // Which device each method opens, when several of them could. `open` chooses by bus
    // and address, then IDs, then "VP" names; `openByBusPort` needs all four of vid, pid,
    // bus and port to match.
    void openChoosesByMethodInOrder_data()
    {
        // opened: "A", "B" or "" for none
        addColumns<bool, QByteArray, int, QString>("byPort", "params", "result", "opened");

        // A sits at bus 1 address 2, B at bus 1 address 3 (plugged in that order).
        QTest::newRow("open: bus and address win over IDs and VP")
            << false << QByteArray(R"({"bus":1,"addr":3,"vid":15882,"pid":3073,"VP":["VID_3E0A&PID_0C01"]})")
            << 0 << "B";
        QTest::newRow("open: address alone searches bus 0")
            << false << QByteArray(R"({"addr":2})") << -2 << "";
        QTest::newRow("open: bus alone searches address 0")
            << false << QByteArray(R"({"bus":1})") << -2 << "";
        QTest::newRow("open: IDs win over VP")
            << false << QByteArray(R"({"vid":15882,"pid":3073,"VP":["VID_0483&PID_5750"]})") << 0 << "A";
        QTest::newRow("open: pid alone still opens by IDs")
            << false << QByteArray(R"({"pid":22352})") << -2 << "";
        QTest::newRow("open: VP: first name that matches a device")
            << false << QByteArray(R"({"VP":["VID_1234&PID_5678","xxVID_0483&PID_5750yy"]})") << 0 << "B";
        QTest::newRow("open: VP: first device in libusb's order")
            << false << QByteArray(R"({"VP":["VID_0483&PID_5750","VID_3E0A&PID_0C01"]})") << 0 << "first";
        QTest::newRow("open: VP: lower-case VID_ does not match")
            << false << QByteArray(R"({"VP":["vid_0483&pid_5750"]})") << -2 << "";
        QTest::newRow("open: VP empty") << false << QByteArray(R"({"VP":[]})") << -1 << "";
        QTest::newRow("open: no criteria at all") << false << QByteArray("{}") << -1 << "";
        QTest::newRow("open: empty text") << false << QByteArray() << -1 << "";
        QTest::newRow("open: invalid JSON") << false << QByteArray(R"({"bus":1,)") << -1 << "";
        QTest::newRow("open: IDs as hex strings read as 0")
            << false << QByteArray(R"({"vid":"3E0A","pid":"0C01"})") << -1 << "";

        QTest::newRow("by port: all four match") << true << QByteArray(openB) << 0 << "B";
        QTest::newRow("by port: other port")
            << true << QByteArray(R"({"vid":1155,"pid":22352,"bus":1,"port":3})") << -2 << "";
        QTest::newRow("by port: other bus")
            << true << QByteArray(R"({"vid":1155,"pid":22352,"bus":2,"port":5})") << -2 << "";
        QTest::newRow("by port: other vid")
            << true << QByteArray(R"({"vid":15882,"pid":22352,"bus":1,"port":5})") << -2 << "";
        QTest::newRow("by port: other pid")
            << true << QByteArray(R"({"vid":1155,"pid":3073,"bus":1,"port":5})") << -2 << "";
        QTest::newRow("by port: addr is not read")
            << true << QByteArray(R"({"vid":1155,"pid":22352,"bus":1,"addr":3})") << -2 << "";
        QTest::newRow("by port: empty text is bus 0 port 0") << true << QByteArray() << -2 << "";
        QTest::newRow("by port: invalid JSON") << true << QByteArray("[1,") << -1 << "";
        QTest::newRow("by port: a non-object reads as zeros") << true << QByteArray("[1,5]") << -2 << "";
    }
    void openChoosesByMethodInOrder()
    {
        QFETCH(bool, byPort);
        QFETCH(QByteArray, params);
        QFETCH(int, result);
        QFETCH(QString, opened);
        FakeUsbDevice *a = bus->plug(deviceA());
        FakeUsbDevice *b = bus->plug(deviceB());
        QCOMPARE(a->devnum(), 2);
        QCOMPARE(b->devnum(), 3);

        if (opened == "first") {
            const QStringList order = libusbOrder();
            opened = order.indexOf("1,2") < order.indexOf("1,3") ? "A" : "B";
        }

        const std::string text = params.toStdString();
        BulkHidDevice device;
        QCOMPARE(byPort ? device.openByBusPort(text) : device.open(text), result);
        QCOMPARE(device.isOpen(), result == 0);
        QCOMPARE(a->claimed(), opened == "A");
        QCOMPARE(b->claimed(), opened == "B");
        if (!byPort)
            QCOMPARE(device.lastParams(), text);
        device.close();
        QVERIFY(!a->claimed() && !b->claimed());
    }

    // A new open first closes what the object has open.
    void openClosesFirst()
    {
        FakeUsbDevice *a = bus->plug(deviceA());
        FakeUsbDevice *b = bus->plug(deviceB());
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(openA), 0);
        QVERIFY(a->claimed());
        LogCapture log;
        QCOMPARE(device.openByBusPort(openB), 0);
        QVERIFY(!a->claimed());
        QVERIFY(b->claimed());
        QCOMPARE(a->releases(), 1);
        QCOMPARE(log.count("BulkHidDevice::close end"), 1);
        // A failed open leaves the object closed; closing a closed object succeeds.
        QCOMPARE(device.openByBusPort("{oops"), -1);
        QVERIFY(!device.isOpen());
        QVERIFY(!b->claimed());
        log.clear();
        QCOMPARE(device.close(), 0);
        QCOMPARE(device.close(), 0);
        QCOMPARE(log.count("BulkHidDevice::close end"), 2);
    }

    // Endpoints: the first IN and the first OUT of interface 0, control endpoints skipped,
    // learned by every open from its own device and forgotten by close.
    void endpointsAreLearnedByEveryOpen()
    {
        DeviceSpec first = deviceA();
        first.endpoints = {{0x83, 0x00, 8},  // control: not counted
                           {0x02, 0x02, 32}, // first OUT
                           {0x84, 0x03, 16}, // first IN (interrupt counts)
                           {0x81, 0x02, 64},
                           {0x01, 0x02, 64}};
        DeviceSpec second = deviceB();
        second.endpoints = {{0x85, 0x02, 512}, {0x06, 0x02, 512}};
        bus->plug(first);
        FakeUsbDevice *b = bus->plug(second);

        BulkHidDevice device;
        // "OUT address/packet size, IN address/packet size"
        auto learned = [&device] {
            return QStringLiteral("%1/%2, %3/%4")
                .arg(int(device.outEndpointAddress()), 0, 16)
                .arg(device.outPacketSize())
                .arg(int(device.inEndpointAddress()), 0, 16)
                .arg(device.inPacketSize());
        };
        QCOMPARE(learned(), QStringLiteral("0/0, 0/0"));
        QCOMPARE(device.openByBusPort(openA), 0);
        QCOMPARE(learned(), QStringLiteral("2/32, 84/16"));
        QCOMPARE(device.openByBusPort(openB), 0);
        QCOMPARE(learned(), QStringLiteral("6/512, 85/512"));
        // The transfers go where the open device's own layout says.
        QCOMPARE(device.write("x", 1, 200), 512);
        QCOMPARE(b->outTransfers().size(), 1);
        QCOMPARE(int(b->outTransfers().first().endpoint), 0x06);
        QCOMPARE(b->outTransfers().first().bytes.size(), 512);
        device.close();
        QCOMPARE(learned(), QStringLiteral("0/0, 0/0"));
    }

    // The claim of interface 0. A kernel driver is taken only from a listed device with a
    // vendor-specific or non-boot HID interface, and bound again when the device is closed;
    // a device of another kind held by its driver is left alone and teaches the object
    // nothing, and so does a failed claim, which closes the device again and returns
    // libusb's code. An unlisted device is never opened, unless the reach is "any" and its
    // interface is of a licence device's kind: then it is claimed only where no driver holds it.
    void claim_data()
    {
        // usbIds: --usb-id values, separated by spaces
        addColumns<DeviceSpec, QString, int, bool>("spec", "usbIds", "result", "detached");
        const auto asA = [](DeviceSpec &s) {
            s.vid = 0x3E0A;
            s.pid = 0x0C01;
        };
        const auto usbhid = [](DeviceSpec &s) { s.kernelDriver = QStringLiteral("usbhid"); };
        const auto errnoOf = [](int e) { return [e](DeviceSpec &s) { s.claimErrno = e; }; };
        const int busy = LIBUSB_ERROR_BUSY;
        const int none = -2;
        const DeviceSpec ftdi = simusb::serialAdapter("1-3", QStringLiteral("ftdi_sio"));
        const DeviceSpec unbound = simusb::serialAdapter("1-3", QString());

        QTest::newRow("vendor specific, usbhid: detached") << with(deviceA(), usbhid) << "" << 0 << true;
        QTest::newRow("HID without boot protocol, usbhid: detached") << with(deviceA(), [](DeviceSpec &s) {
            s.interfaceClass = 3;
            s.kernelDriver = QStringLiteral("usbhid");
        }) << "" << 0 << true;
        QTest::newRow("keyboard, usbhid: left alone")
            << with(simusb::keyboard("1-3"), asA) << "" << busy << false;
        QTest::newRow("disk, usb-storage: left alone")
            << with(simusb::disk("1-3"), asA) << "" << busy << false;
        QTest::newRow("vendor specific, usbhid, claim refused: the driver stays")
            << with(with(deviceA(), usbhid), errnoOf(EBUSY)) << "" << busy << false;
        QTest::newRow("busy") << with(deviceA(), errnoOf(EBUSY)) << "" << busy << false;
        QTest::newRow("not found") << with(deviceA(), errnoOf(ENOENT)) << "" << int(LIBUSB_ERROR_NOT_FOUND)
                                   << false;
        QTest::newRow("unlisted, ftdi_sio: not opened") << ftdi << "" << none << false;
        QTest::newRow("unlisted, no driver: not opened") << unbound << "" << none << false;
        QTest::newRow("given ID, ftdi_sio: detached") << ftdi << "3e0a:0c02 403:6001" << 0 << true;
        QTest::newRow("any, no driver: claimed") << unbound << "any" << 0 << false;
        QTest::newRow("any, ftdi_sio: left alone") << ftdi << "any" << busy << false;
        QTest::newRow("any, still image: not opened") << simusb::camera("1-3") << "any" << none << false;
        QTest::newRow("any, keyboard: not opened") << simusb::keyboard("1-3") << "any" << none << false;
    }
    void claim()
    {
        QFETCH(DeviceSpec, spec);
        QFETCH(QString, usbIds);
        QFETCH(int, result);
        QFETCH(bool, detached);
        usbids::UsbReach reach;
        for (const QString &id : usbIds.split(' ', Qt::SkipEmptyParts)) {
            reach.any = reach.any || id == "any";
            if (id != "any")
                reach.added.append(*usbids::parseUsbId(id));
        }
        FakeUsbDevice *a = bus->plug(spec);
        BulkHidDevice device;
        device.setReach(reach);
        LogCapture log;
        QCOMPARE(device.openByBusPort(usbframe::openParamsJson(spec.vid, spec.pid, 1, 3).toStdString()),
                 result);
        QCOMPARE(device.isOpen(), result == 0);
        QCOMPARE(a->opens(), result == -2 ? 0 : 1);
        QCOMPARE(a->claimed(), result == 0);
        QCOMPARE(a->detaches(), detached ? 1 : 0);
        QCOMPARE(a->kernelDriver(), detached ? QString() : spec.kernelDriver);
        QCOMPARE(log.count("libusb_kernel_driver_active 1"),
                 spec.kernelDriver.isEmpty() || result == -2 ? 0 : 1);
        const bool leftAlone = result == LIBUSB_ERROR_BUSY && spec.claimErrno == 0;
        QCOMPARE(log.count("belongs to its kernel driver: left alone"), leftAlone ? 1 : 0);
        // Left alone or not claimed: no endpoint learned from it, nothing sent.
        QCOMPARE(device.inEndpointAddress() != 0, result == 0);
        QVERIFY(a->outTransfers().isEmpty());

        device.close();
        QCOMPARE(a->kernelDriver(), spec.kernelDriver); // bound again where it was taken
        QCOMPARE(a->reattaches(), detached ? 1 : 0);
    }

    // write pads to whole packets, 10 ms before each, and returns the packet size; a packet
    // that fails ends the write with libusb's code, the later ones unsent.
    void write_data()
    {
        addColumns<int, int, int, int>("mode", "length", "packets", "result");
        const int accept = int(simusb::OutMode::Accept);
        QTest::newRow("11 bytes") << accept << 11 << 1 << 64;
        QTest::newRow("64 bytes") << accept << 64 << 1 << 64;
        QTest::newRow("65 bytes") << accept << 65 << 2 << 64;
        QTest::newRow("200 bytes") << accept << 200 << 4 << 64;
        QTest::newRow("stall") << int(simusb::OutMode::Stall) << 130 << 1 << int(LIBUSB_ERROR_PIPE);
        QTest::newRow("no answer") << int(simusb::OutMode::Hang) << 130 << 1 << int(LIBUSB_ERROR_TIMEOUT);
    }
    void write()
    {
        QFETCH(int, mode);
        QFETCH(int, length);
        QFETCH(int, packets);
        QFETCH(int, result);
        DeviceSpec spec = deviceA();
        spec.out = simusb::OutMode(mode);
        FakeUsbDevice *a = bus->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(openA), 0);
        QByteArray data;
        for (int i = 0; i < length; ++i)
            data.append(char(i + 1));

        const qint64 start = simusb::clockMs();
        QCOMPARE(device.write(data.constData(), length, result == 64 ? 1000 : 50), result);
        const qint64 end = simusb::clockMs();
        QVERIFY(device.isOpen());

        QCOMPARE(a->outTransfers().size(), packets);
        if (result != 64)
            return;
        QCOMPARE(a->received(), data + QByteArray(packets * 64 - length, '\0'));
        qint64 previous = start;
        for (const simusb::Transfer &packet : a->outTransfers()) {
            QCOMPARE(packet.bytes.size(), 64);
            QCOMPARE(int(packet.endpoint), 0x01);
            // 10 ms before every packet, the first included.
            QVERIFY2(packet.atMs - previous >= 9, qPrintable(QString::number(packet.atMs - previous)));
            previous = packet.atMs;
        }
        QUORVANE_VERIFY_DURATION(end - start, 10 * packets - 1, 10 * packets);
    }

    // read: one whole packet and 0; 2 on time-out, 3 on failure, `out` kept on both.
    void readGivesAWholePacketOrACode_data()
    {
        addColumns<int, int, QByteArray>("inErrno", "result", "out");
        QTest::newRow("whole packet") << 0 << 0 << QByteArray("0123456789") + QByteArray(54, '\0');
        QTest::newRow("time-out") << -1 << 2 << QByteArray("kept");
        QTest::newRow("failure") << EPIPE << 3 << QByteArray("kept");
    }
    void readGivesAWholePacketOrACode()
    {
        QFETCH(int, inErrno);
        QFETCH(int, result);
        QFETCH(QByteArray, out);
        DeviceSpec spec = deviceA();
        if (inErrno >= 0)
            spec.script.on("ask", simusb::Reply::text("0123456789"));
        spec.inErrno = qMax(0, inErrno);
        FakeUsbDevice *a = bus->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(openA), 0);
        QCOMPARE(device.write("ask", 3, 200), 64);
        std::string bytes = "kept";
        const qint64 start = simusb::clockMs();
        QCOMPARE(device.read(bytes, 50), result);
        QCOMPARE(QByteArray::fromStdString(bytes), out);
        QVERIFY(device.isOpen());
        if (result == 0)
            QCOMPARE(a->inTransfers().size(), 1);
        if (result == 2)
            QVERIFY(simusb::clockMs() - start >= 45);
        unsigned char buffer[64];
        if (result == 3)
            QCOMPARE(device.readPacket(buffer, 64, 100), int(LIBUSB_ERROR_PIPE));
    }

    void readPacketTakesOnePacketOrNothing()
    {
        DeviceSpec spec = deviceA();
        spec.script.on("go", simusb::Reply::text("abc"));
        FakeUsbDevice *a = bus->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(openA), 0);
        QCOMPARE(device.write("go", 2, 200), 64);
        unsigned char small[63];
        QCOMPARE(device.readPacket(small, 63, 100), 0);
        QVERIFY(a->inTransfers().isEmpty());
        unsigned char buffer[100];
        QCOMPARE(device.readPacket(buffer, 100, 100), 3);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 3), QByteArray("abc"));
    }

    // The start line of each open operation is logged on every 50th call only.
    void openStartLineOnEvery50thCall()
    {
        BulkHidDevice device;
        for (auto open : {&BulkHidDevice::open, &BulkHidDevice::openByBusPort}) {
            LogCapture log;
            for (int calls = 0; log.count("BulkHidDevice::open start") == 0; ++calls) {
                QVERIFY(calls < 50);
                (device.*open)("{broken");
            }
            log.clear();
            for (int i = 0; i < 49; ++i)
                (device.*open)("{broken");
            QCOMPARE(log.count("BulkHidDevice::open start"), 0);
            (device.*open)("{broken");
            QCOMPARE(log.count("BulkHidDevice::open start"), 1);
            QCOMPARE(log.count("BulkHidDevice::open start {broken"), 1);
        }
    }

    // What the guard calls real: a port or USB device that the testbed lists but has no node
    // for (its /dev path would reach the machine's own), no testbed at all, or a preload
    // that LD_PRELOAD names but the loader could not load (this test run again that way,
    // which must stop when its first bus is made).
    void guardSeesOnlyTheTestbed_data()
    {
        // reported: part of the guard's sentence, empty for none
        addColumns<QString, QString>("hole", "reported");
        QTest::newRow("only fakes") << ""
                                    << "";
        QTest::newRow("USB device without its node") << "usb"
                                                     << "USB device /dev/bus/usb/001/002";
        QTest::newRow("serial port without its node") << "serial"
                                                      << "serial port /dev/ttyACM7";
        QTest::newRow("no testbed in the environment") << "environment"
                                                       << "no emulated testbed";
        QTest::newRow("preload named but not loaded") << "preload"
                                                      << "preload library is not loaded";
    }
    void guardSeesOnlyTheTestbed()
    {
        QFETCH(QString, hole);
        FakeUsbDevice *a = bus->plug(deviceA());
        const QByteArray root = qgetenv("UMOCKDEV_DIR");
        if (hole == QLatin1String("usb"))
            QVERIFY(QFile::remove(bus->rootDir() + a->devnode()));
        if (hole == QLatin1String("serial")) {
            umockdev_testbed_add_from_string(
                bus->testbed(),
                "P: /devices/usb1/1-9\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n\n"
                "P: /devices/usb1/1-9/1-9:1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: "
                "DRIVER=cdc_acm\n\n"
                "P: /devices/usb1/1-9/1-9:1.0/tty/ttyACM7\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyACM7\n"
                "E: MAJOR=166\nE: MINOR=7\nA: dev=166:7\nE: ID_MODEL=Modem\n",
                nullptr);
        }
        if (hole == QLatin1String("environment"))
            qputenv("UMOCKDEV_DIR", root + "-elsewhere");
        QString seen = quorvane::sim::hostDevicesInSight();
        qputenv("UMOCKDEV_DIR", root);
        if (hole == QLatin1String("preload")) {
            QProcess again;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("LD_PRELOAD", "/nonexistent/libumockdev-preload.so.0");
            again.setProcessEnvironment(environment);
            again.setProcessChannelMode(QProcess::MergedChannels); // QtTest logs a fatal message on stdout
            again.start(QCoreApplication::applicationFilePath(), {"deviceCountFollowsPlugging"});
            QVERIFY(again.waitForFinished(30000));
            QVERIFY(again.exitStatus() == QProcess::CrashExit || again.exitCode() != 0);
            seen = QString::fromLocal8Bit(again.readAll());
        }
        QFETCH(QString, reported);
        QVERIFY2(reported.isEmpty() ? seen.isEmpty() : seen.contains(reported), qPrintable(seen));
    }

    void deviceCountFollowsPlugging()
    {
        BulkHidDevice device;
        const int before = device.deviceCount();
        FakeUsbDevice *a = bus->plug(deviceA());
        QCOMPARE(device.deviceCount(), before + 1);
        a->unplug();
        QCOMPARE(device.deviceCount(), before);
    }
};

QUORVANE_TEST_MAIN(TestUsbDevice, Usb)
#include "tst_usbdevice.moc"
