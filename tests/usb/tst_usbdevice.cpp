// The USB device layer against emulated devices: the real libusb enumerates, opens,
// claims and transfers; the fake devices record what reaches them.
#include "sim/usb/usbbench.h"
#include "tests/usb/usbtestsupport.h"
#include "usb/bulkhiddevice.h"

#include <libusb.h>

#include <cerrno>
#include <memory>

using simusb::DeviceSpec;
using simusb::FakeUsbDevice;

class TestUsbDevice : public QObject
{
    Q_OBJECT

    std::unique_ptr<simusb::UsbBench> bench;

    static DeviceSpec deviceA()
    {
        DeviceSpec spec;
        spec.sysName = QStringLiteral("1-3");
        spec.vid = 0x3E0A;
        spec.pid = 0x0C01;
        return spec;
    }
    static DeviceSpec deviceB()
    {
        DeviceSpec spec;
        spec.sysName = QStringLiteral("1-5");
        spec.vid = 0x0483;
        spec.pid = 0x5750;
        return spec;
    }
    static std::string json(const QByteArray &text) { return text.toStdString(); }

    // "A" or "B": the one of the two that libusb lists first.
    static QString firstListed(FakeUsbDevice *a, FakeUsbDevice *b)
    {
        libusb_context *context = nullptr;
        libusb_init(&context);
        libusb_device **list = nullptr;
        const ssize_t n = libusb_get_device_list(context, &list);
        QString first;
        for (ssize_t i = 0; i < n && first.isEmpty(); ++i) {
            const int address = libusb_get_device_address(list[i]);
            if (address == a->devnum())
                first = QStringLiteral("A");
            else if (address == b->devnum())
                first = QStringLiteral("B");
        }
        libusb_free_device_list(list, 1);
        libusb_exit(context);
        return first;
    }

private slots:
    void init() { bench = std::make_unique<simusb::UsbBench>(); }
    void cleanup() { bench.reset(); }

    // Which device each method opens, when several of them could.
    void openChoosesByMethodInOrder_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("opened"); // "A", "B" or "" for none

        // A sits at bus 1 address 2, B at bus 1 address 3 (plugged in that order).
        QTest::newRow("bus and address win over IDs and VP")
            << QByteArray(R"({"bus":1,"addr":3,"vid":15882,"pid":3073,"VP":["VID_3E0A&PID_0C01"]})") << 0 << "B";
        QTest::newRow("address alone searches bus 0") << QByteArray(R"({"addr":2})") << -2 << "";
        QTest::newRow("bus alone searches address 0") << QByteArray(R"({"bus":1})") << -2 << "";
        QTest::newRow("IDs win over VP")
            << QByteArray(R"({"vid":15882,"pid":3073,"VP":["VID_0483&PID_5750"]})") << 0 << "A";
        QTest::newRow("pid alone still opens by IDs") << QByteArray(R"({"pid":22352})") << -2 << "";
        QTest::newRow("VP: first name that matches a device")
            << QByteArray(R"({"VP":["VID_1234&PID_5678","xxVID_0483&PID_5750yy"]})") << 0 << "B";
        QTest::newRow("VP: first device in libusb's order")
            << QByteArray(R"({"VP":["VID_0483&PID_5750","VID_3E0A&PID_0C01"]})") << 0 << "first";
        QTest::newRow("VP: lower-case VID_ does not match")
            << QByteArray(R"({"VP":["vid_0483&pid_5750"]})") << -2 << "";
        QTest::newRow("VP empty") << QByteArray(R"({"VP":[]})") << -1 << "";
        QTest::newRow("no criteria at all") << QByteArray("{}") << -1 << "";
        QTest::newRow("empty text") << QByteArray() << -1 << "";
        QTest::newRow("invalid JSON") << QByteArray(R"({"bus":1,)") << -1 << "";
        QTest::newRow("IDs as hex strings read as 0")
            << QByteArray(R"({"vid":"3E0A","pid":"0C01"})") << -1 << "";
    }
    void openChoosesByMethodInOrder()
    {
        QFETCH(QByteArray, params);
        QFETCH(int, result);
        QFETCH(QString, opened);
        FakeUsbDevice *a = bench->plug(deviceA());
        FakeUsbDevice *b = bench->plug(deviceB());
        QCOMPARE(a->devnum(), 2);
        QCOMPARE(b->devnum(), 3);

        if (opened == "first")
            opened = firstListed(a, b);

        BulkHidDevice device;
        QCOMPARE(device.open(json(params)), result);
        QCOMPARE(device.isOpen(), result == 0);
        QCOMPARE(a->claimed(), opened == "A");
        QCOMPARE(b->claimed(), opened == "B");
        QCOMPARE(device.lastParams(), json(params));
        device.close();
        QVERIFY(!a->claimed() && !b->claimed());
    }

    void openByBusPortNeedsAllFour_data()
    {
        QTest::addColumn<QByteArray>("params");
        QTest::addColumn<int>("result");
        QTest::newRow("all four match") << QByteArray(R"({"vid":1155,"pid":22352,"bus":1,"port":5})") << 0;
        QTest::newRow("other port") << QByteArray(R"({"vid":1155,"pid":22352,"bus":1,"port":3})") << -2;
        QTest::newRow("other bus") << QByteArray(R"({"vid":1155,"pid":22352,"bus":2,"port":5})") << -2;
        QTest::newRow("other vid") << QByteArray(R"({"vid":15882,"pid":22352,"bus":1,"port":5})") << -2;
        QTest::newRow("other pid") << QByteArray(R"({"vid":1155,"pid":3073,"bus":1,"port":5})") << -2;
        QTest::newRow("addr is not read") << QByteArray(R"({"vid":1155,"pid":22352,"bus":1,"addr":3})") << -2;
        QTest::newRow("empty text: bus 0 port 0") << QByteArray() << -2;
        QTest::newRow("invalid JSON") << QByteArray("[1,") << -1;
        QTest::newRow("a non-object reads as zeros") << QByteArray("[1,5]") << -2;
    }
    void openByBusPortNeedsAllFour()
    {
        QFETCH(QByteArray, params);
        QFETCH(int, result);
        bench->plug(deviceA());
        FakeUsbDevice *b = bench->plug(deviceB());
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(json(params)), result);
        QCOMPARE(b->claimed(), result == 0);
    }

    // A new open first closes what the object has open.
    void openClosesFirst()
    {
        FakeUsbDevice *a = bench->plug(deviceA());
        FakeUsbDevice *b = bench->plug(deviceB());
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        QVERIFY(a->claimed());
        usbtest::LogCapture log;
        QCOMPARE(device.openByBusPort(R"({"vid":1155,"pid":22352,"bus":1,"port":5})"), 0);
        QVERIFY(!a->claimed());
        QVERIFY(b->claimed());
        QCOMPARE(a->releases(), 1);
        QCOMPARE(log.count("BulkHidDevice::close end"), 1);
        // A failed open leaves the object closed.
        QCOMPARE(device.openByBusPort("{oops"), -1);
        QVERIFY(!device.isOpen());
        QVERIFY(!b->claimed());
    }

    // Endpoints: the first IN and the first OUT of interface 0, control endpoints skipped,
    // learned once for the object's life.
    void endpointsAreLearnedOncePerObject()
    {
        DeviceSpec first = deviceA();
        first.endpoints = {{0x83, 0x00, 8},   // control: not counted
                           {0x02, 0x02, 32},  // first OUT
                           {0x84, 0x03, 16},  // first IN (interrupt counts)
                           {0x81, 0x02, 64},
                           {0x01, 0x02, 64}};
        DeviceSpec second = deviceB();
        second.endpoints = {{0x85, 0x02, 512}, {0x06, 0x02, 512}};
        bench->plug(first);
        FakeUsbDevice *b = bench->plug(second);

        BulkHidDevice device;
        QCOMPARE(device.inEndpointAddress(), 0);
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        QCOMPARE(int(device.outEndpointAddress()), 0x02);
        QCOMPARE(device.outPacketSize(), 32);
        QCOMPARE(int(device.inEndpointAddress()), 0x84);
        QCOMPARE(device.inPacketSize(), 16);

        QCOMPARE(device.openByBusPort(R"({"vid":1155,"pid":22352,"bus":1,"port":5})"), 0);
        QCOMPARE(int(device.outEndpointAddress()), 0x02);
        QCOMPARE(device.outPacketSize(), 32);
        QCOMPARE(int(device.inEndpointAddress()), 0x84);
        QCOMPARE(device.inPacketSize(), 16);
        // The transfers go where the first device's layout says.
        QCOMPARE(device.write("x", 1, 200), 32);
        QCOMPARE(b->outTransfers().size(), 1);
        QCOMPARE(int(b->outTransfers().first().endpoint), 0x02);
        QCOMPARE(b->outTransfers().first().bytes.size(), 32);
    }

    void kernelDriverIsDetachedBeforeTheClaim()
    {
        DeviceSpec spec = deviceA();
        spec.kernelDriver = QStringLiteral("usbhid");
        FakeUsbDevice *a = bench->plug(spec);
        BulkHidDevice device;
        usbtest::LogCapture log;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        QCOMPARE(a->detaches(), 1);
        QVERIFY(a->kernelDriver().isEmpty());
        QVERIFY(a->claimed());
        QCOMPARE(log.count("libusb_kernel_driver_active 1"), 1);
        QCOMPARE(log.count("libusb_kernel_driver_active active 0"), 1);
    }

    void failedClaimClosesAndReturnsTheCode_data()
    {
        QTest::addColumn<int>("claimErrno");
        QTest::addColumn<int>("result");
        QTest::newRow("busy") << EBUSY << int(LIBUSB_ERROR_BUSY);
        QTest::newRow("not found") << ENOENT << int(LIBUSB_ERROR_NOT_FOUND);
    }
    void failedClaimClosesAndReturnsTheCode()
    {
        QFETCH(int, claimErrno);
        QFETCH(int, result);
        DeviceSpec spec = deviceA();
        spec.claimErrno = claimErrno;
        bench->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), result);
        QVERIFY(!device.isOpen());
    }

    void writePadsToWholePacketsAfterAPause_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("packets");
        QTest::newRow("1 byte") << 1 << 1;
        QTest::newRow("11 bytes") << 11 << 1;
        QTest::newRow("64 bytes") << 64 << 1;
        QTest::newRow("65 bytes") << 65 << 2;
        QTest::newRow("200 bytes") << 200 << 4;
    }
    void writePadsToWholePacketsAfterAPause()
    {
        QFETCH(int, length);
        QFETCH(int, packets);
        FakeUsbDevice *a = bench->plug(deviceA());
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        QByteArray data;
        for (int i = 0; i < length; ++i)
            data.append(char(i + 1));

        const qint64 start = simusb::clockMs();
        QCOMPARE(device.write(data.constData(), length, 1000), 64);
        const qint64 end = simusb::clockMs();

        const QList<simusb::Transfer> sent = a->outTransfers();
        QCOMPARE(sent.size(), packets);
        for (const simusb::Transfer &packet : sent) {
            QCOMPARE(packet.bytes.size(), 64);
            QCOMPARE(int(packet.endpoint), 0x01);
        }
        QCOMPARE(a->received(), data + QByteArray(packets * 64 - length, '\0'));
        // 10 ms before every packet, the first included.
        QVERIFY2(sent.first().atMs - start >= 9, qPrintable(QString::number(sent.first().atMs - start)));
        for (int i = 1; i < sent.size(); ++i)
            QVERIFY(sent.at(i).atMs - sent.at(i - 1).atMs >= 9);
        QVERIFY(end - start >= 10 * packets - 1);
        QVERIFY(end - start < 2000);
    }

    void writeFailureStopsAtThatPacket_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("result");
        QTest::newRow("stall") << int(simusb::OutMode::Stall) << int(LIBUSB_ERROR_PIPE);
        QTest::newRow("no answer") << int(simusb::OutMode::Hang) << int(LIBUSB_ERROR_TIMEOUT);
    }
    void writeFailureStopsAtThatPacket()
    {
        QFETCH(int, mode);
        QFETCH(int, result);
        DeviceSpec spec = deviceA();
        spec.out = simusb::OutMode(mode);
        FakeUsbDevice *a = bench->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        QCOMPARE(device.write(QByteArray(130, 'x').constData(), 130, 50), result);
        QCOMPARE(a->outTransfers().size(), 1); // the later packets are not sent
        QVERIFY(device.isOpen());
    }

    void readReturnsOneWholePacket()
    {
        DeviceSpec spec = deviceA();
        spec.script = {{QByteArray("ask"), {{QByteArray("0123456789"), 0}}}};
        FakeUsbDevice *a = bench->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        QCOMPARE(device.write("ask", 3, 200), 64);
        std::string out = "old";
        QCOMPARE(device.read(out, 100), 0);
        QCOMPARE(out.size(), size_t(64));
        QCOMPARE(out.substr(0, 10), std::string("0123456789"));
        QCOMPARE(out.substr(10), std::string(54, '\0'));
        QCOMPARE(a->inTransfers().size(), 1);
    }

    void readTimeoutGives2AndKeepsOut()
    {
        bench->plug(deviceA());
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        std::string out = "kept";
        const qint64 start = simusb::clockMs();
        QCOMPARE(device.read(out, 50), 2);
        QVERIFY(simusb::clockMs() - start >= 45);
        QCOMPARE(out, std::string("kept"));
        std::string empty;
        QCOMPARE(device.read(empty, 20), 2);
        QVERIFY(empty.empty());
        QVERIFY(device.isOpen());
    }

    void readFailureGives3AndKeepsOut()
    {
        DeviceSpec spec = deviceA();
        spec.inErrno = EPIPE;
        bench->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        std::string out = "kept";
        QCOMPARE(device.read(out, 100), 3);
        QCOMPARE(out, std::string("kept"));
        unsigned char buffer[64];
        QCOMPARE(device.readPacket(buffer, 64, 100), int(LIBUSB_ERROR_PIPE));
    }

    void readPacketTakesOnePacketOrNothing()
    {
        DeviceSpec spec = deviceA();
        spec.script = {{QByteArray("go"), {{QByteArray("abc"), 0}}}};
        FakeUsbDevice *a = bench->plug(spec);
        BulkHidDevice device;
        QCOMPARE(device.openByBusPort(R"({"vid":15882,"pid":3073,"bus":1,"port":3})"), 0);
        QCOMPARE(device.write("go", 2, 200), 64);
        unsigned char small[63];
        QCOMPARE(device.readPacket(small, 63, 100), 0);
        QVERIFY(a->inTransfers().isEmpty());
        unsigned char buffer[100];
        QCOMPARE(device.readPacket(buffer, 100, 100), 3);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 3), QByteArray("abc"));
    }

    void closeAlwaysSucceeds()
    {
        BulkHidDevice device;
        usbtest::LogCapture log;
        QCOMPARE(device.close(), 0);
        QCOMPARE(device.close(), 0);
        QCOMPARE(log.count("BulkHidDevice::close end"), 2);
    }

    // The start line of each open operation is logged on every 50th call only.
    void openStartLineOnEvery50thCall()
    {
        BulkHidDevice device;
        for (auto open : {&BulkHidDevice::open, &BulkHidDevice::openByBusPort}) {
            usbtest::LogCapture log;
            int calls = 0;
            while (log.count("BulkHidDevice::open start") == 0 && calls <= 50) {
                (device.*open)("{broken");
                ++calls;
            }
            QVERIFY(calls <= 50);
            log.clear();
            for (int i = 0; i < 49; ++i)
                (device.*open)("{broken");
            QCOMPARE(log.count("BulkHidDevice::open start"), 0);
            (device.*open)("{broken");
            QCOMPARE(log.count("BulkHidDevice::open start"), 1);
            QCOMPARE(log.count("BulkHidDevice::open start {broken"), 1);
        }
    }

    void deviceCountFollowsPlugging()
    {
        BulkHidDevice device;
        const int before = device.deviceCount();
        FakeUsbDevice *a = bench->plug(deviceA());
        QCOMPARE(device.deviceCount(), before + 1);
        bench->unplug(a);
        QCOMPARE(device.deviceCount(), before);
    }
};

QUORVANE_USB_TEST_MAIN(TestUsbDevice)
#include "tst_usbdevice.moc"
