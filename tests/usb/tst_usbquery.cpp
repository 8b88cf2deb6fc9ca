// The licence dialogue in the real window, against emulated devices that answer from a
// script: the request on the wire, the wait, every status and its message, the device
// closed on every path.
#include "tests/usb/usbtestsupport.h"

#include <cerrno>

using namespace testsupport;

class TestUsbQuery : public UsbBusTest
{
    Q_OBJECT

private slots:
    void dialogue_data()
    {
        // message: the status bar's text, empty for none
        // shown: the licence text on the label, empty for none
        addColumns<DeviceSpec, QString, QString, int>("spec", "message", "shown", "requestPackets");

        const QByteArray ok = simusb::licenceReply(0x90, licence);
        const QString text = QString::fromLatin1(licence);
        const QString tooShort = QStringLiteral("读取失败,长度小于9");
        auto packets = [](quint16 size) {
            return [size](DeviceSpec &s) { s.endpoints = {{0x81, 0x02, size}, {0x01, 0x02, size}}; };
        };

        QTest::newRow("success") << answering(ok) << "" << text << 1;
        QTest::newRow("success after 300 ms") << answering(ok, 300) << "" << text << 1;
        QTest::newRow("check failure (41 hex)")
            << answering(simusb::licenceReply(0x41, licence)) << "校验失败"
            << "" << 1;
        QTest::newRow("other status") << answering(simusb::licenceReply(0x6A, licence)) << "读取失败"
                                      << "" << 1;
        // A reply shorter than its status byte still comes as a whole zero-padded packet:
        // the status then reads 0.
        QTest::newRow("8-byte reply: status reads 0")
            << answering(simusb::licenceReply(0x90, licence, 8)) << "读取失败"
            << "" << 1;
        QTest::newRow("zero-length packet") << answering(QByteArray()) << "读取失败"
                                            << "" << 1;
        QTest::newRow("reply too late") << answering(ok, 900) << tooShort << "" << 1;
        QTest::newRow("silent device") << answering(simusb::Reply::silence()) << tooShort << "" << 1;
        // A device that never stops talking: one bounded read, and the dialogue ends.
        QTest::newRow("endless stream") << answering(simusb::Reply::stream(ok)) << "" << text << 1;
        QTest::newRow("8-byte packets: fewer than 9 bytes")
            << with(answering(ok), packets(8)) << tooShort << "" << 2;
        QTest::newRow("long reply in 512-byte packets")
            << with(answering(simusb::licenceReply(0x90, licence, 200)), packets(512)) << "" << text << 1;
        QTest::newRow("kernel driver bound: taken, then bound again")
            << with(answering(ok), [](DeviceSpec &s) { s.kernelDriver = QStringLiteral("usbhid"); }) << ""
            << text << 1;
        // Devices of other kinds, held by their drivers: not claimed, not written, nothing said.
        QTest::newRow("keyboard: left alone") << simusb::keyboard(QStringLiteral("1-3")) << ""
                                              << "" << 0;
        QTest::newRow("disk: left alone") << simusb::disk(QStringLiteral("1-3")) << ""
                                          << "" << 0;
        QTest::newRow("extra endpoints: the first of each direction") << with(
            answering(ok), [](DeviceSpec &s) {
                s.endpoints = {{0x82, 0x03, 64}, {0x03, 0x02, 64}, {0x81, 0x02, 16}, {0x01, 0x02, 8}};
            }) << "" << text << 1;
        QTest::newRow("write fails: nothing said")
            << with(answering(ok), [](DeviceSpec &s) { s.out = simusb::OutMode::Stall; }) << ""
            << "" << 1;
        QTest::newRow("unplugged in the middle") << answering(simusb::Reply::unplug()) << tooShort << "" << 1;
    }
    void dialogue()
    {
        QFETCH(DeviceSpec, spec);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QFETCH(int, requestPackets);

        MainWindow window;
        const WindowProbe probe(window);
        FakeUsbDevice *device = bus->plug(spec);
        QCOMPARE(window.CheckUsbList(), device->position());

        QElapsedTimer clock;
        clock.start();
        window.QueryUsb();
        const qint64 elapsed = clock.elapsed();

        // The request: 11 bytes with their check byte, zero-padded to whole OUT packets.
        const int outPacket = spec.endpoints.value(1).maxPacket; // the first OUT of every row that has one
        const QByteArray expected = simusb::licenceRequest() + QByteArray(requestPackets * outPacket - 11, 0);
        const QList<simusb::Transfer> sent = device->outTransfers();
        QCOMPARE(device->claims(), requestPackets > 0 ? 1 : 0);
        // A driver is taken only from the device served, and it is back after the dialogue.
        const int taken = requestPackets > 0 && !spec.kernelDriver.isEmpty() ? 1 : 0;
        QCOMPARE(device->detaches(), taken);
        QCOMPARE(device->reattaches(), taken);
        QCOMPARE(device->kernelDriver(), spec.kernelDriver);
        QCOMPARE(sent.size(), requestPackets);
        if (requestPackets == 0 || spec.out == simusb::OutMode::Stall) {
            QCOMPARE(device->inRequests(), 0); // no wait and no read after a failed write
            QUORVANE_VERIFY_WAITS(elapsed, 0);
        } else {
            QCOMPARE(device->received().left(expected.size()), expected);
            QCOMPARE(device->inRequests(), 1); // one read, of 100 ms at most
            QUORVANE_VERIFY_DURATION(elapsed, 500, 500 + 100);
        }
        if (!sent.isEmpty())
            QCOMPARE(int(sent.first().endpoint), spec.endpoints.size() == 4 ? 0x03 : 0x01);
        QVERIFY(device->inTransfers().size() <= 1); // one read, however long the device talks
        for (const simusb::Transfer &in : device->inTransfers()) {
            QCOMPARE(int(in.endpoint), spec.endpoints.size() == 4 ? 0x82 : 0x81);
            // The reply is read 500 ms after the request went out, not earlier.
            QUORVANE_VERIFY_DURATION(in.atMs - sent.last().atMs, 495, 500);
        }

        QCOMPARE(probe.statusBar(), message);
        QCOMPARE(probe.text->text(), shown);
        QCOMPARE(probe.picture->pixmap(Qt::ReturnByValue).isNull(), shown.isEmpty());

        // Closed again on every path that opened it.
        QVERIFY(!window.usbDevice->isOpen());
        QVERIFY(!device->claimed());
    }

    // Which devices the dialogue serves: a licence device of each built-in ID and of an ID
    // given with --usb-id; never an unlisted one, whatever its kind and driver, unless the
    // reach is "any" and no driver holds it. A listed device the operator may not open is
    // said once.
    void reach_data()
    {
        // usbIds: --usb-id values, separated by spaces
        addColumns<DeviceSpec, QString, bool, bool, QString>("spec", "usbIds", "opened", "served", "message");

        for (const usbids::UsbId &id : usbids::builtInIds) {
            const QByteArray name = "built in " + usbids::idText(id).toLatin1();
            QTest::newRow(name.constData())
                << licensed(DeviceSpec {"1-3", id.vid, id.pid}) << "" << true << true << "";
        }
        const DeviceSpec ftdi = licensed(simusb::serialAdapter("1-3", QStringLiteral("ftdi_sio")));
        const DeviceSpec unbound = licensed(simusb::serialAdapter("1-3", QString()));
        const DeviceSpec camera = licensed(simusb::camera("1-3"));
        QTest::newRow("given, no driver") << unbound << "0403:6001" << true << true << "";
        QTest::newRow("given, ftdi_sio: taken and bound again") << ftdi << "0403:6001" << true << true << "";
        QTest::newRow("unlisted, ftdi_sio") << ftdi << "" << false << false << "";
        QTest::newRow("unlisted, no driver") << unbound << "" << false << false << "";
        QTest::newRow("still image, no driver") << camera << "" << false << false << "";
        QTest::newRow("any: unlisted, no driver") << unbound << "any" << true << true << "";
        QTest::newRow("any: unlisted, ftdi_sio keeps it") << ftdi << "any" << true << false << "";
        QTest::newRow("any: still image") << camera << "any" << false << false << "";
        QTest::newRow("listed, no permission") << with(licensed(), [](DeviceSpec &s) { s.nodeLocked = true; })
                                               << "" << false << false << "USB设备无访问权限";
    }
    void reach()
    {
        QFETCH(DeviceSpec, spec);
        QFETCH(QString, usbIds);
        QFETCH(bool, opened);
        QFETCH(bool, served);
        QFETCH(QString, message);
        MainWindow window;
        for (const QString &id : usbIds.split(' ', Qt::SkipEmptyParts)) {
            window.usbReach.any = window.usbReach.any || id == "any";
            if (id != "any")
                window.usbReach.added.append(*usbids::parseUsbId(id));
        }
        const WindowProbe probe(window);
        FakeUsbDevice *device = bus->plug(spec);
        QCOMPARE(window.CheckUsbList(), device->position());
        {
            const std::unique_ptr<AsOperator> operatorRights(spec.nodeLocked ? new AsOperator : nullptr);
            window.QueryUsb();
        }

        QCOMPARE(device->opens(), opened ? 1 : 0);
        QCOMPARE(device->claims(), served ? 1 : 0);
        QCOMPARE(device->received().left(11), served ? simusb::licenceRequest() : QByteArray());
        QCOMPARE(probe.text->text(), served ? QString::fromLatin1(licence) : QString());
        QCOMPARE(probe.statusBar(), message);
        // A driver is taken from a served device only, and it is back afterwards.
        const int taken = served && !spec.kernelDriver.isEmpty() ? 1 : 0;
        QCOMPARE(device->detaches(), taken);
        QCOMPARE(device->reattaches(), taken);
        QCOMPARE(device->kernelDriver(), spec.kernelDriver);
        QVERIFY(!window.usbDevice->isOpen());
    }

    // Two revisions of the licence device, one after the other through the same device
    // object: each request goes out as one packet of that device's own size, to its own
    // endpoint, and both are served.
    void eachDeviceThroughItsOwnEndpoints()
    {
        const QByteArray fullSpeedLicence("CMIIT ID:2026FS0064AB");
        DeviceSpec highSpeed = licensed(DeviceSpec {"1-3", 0x3E0A, 0x0C01});
        highSpeed.endpoints = {{0x81, 0x02, 512}, {0x01, 0x02, 512}};
        DeviceSpec fullSpeed = licensed(DeviceSpec {"1-4", 0x3E0B, 0x0C02}, fullSpeedLicence);
        fullSpeed.endpoints = {{0x82, 0x02, 64}, {0x02, 0x02, 64}};
        fullSpeed.speed = 12;
        MainWindow window;
        const WindowProbe probe(window);
        for (const DeviceSpec &spec : {highSpeed, fullSpeed}) {
            FakeUsbDevice *device = bus->plug(spec);
            QCOMPARE(window.CheckUsbList(), device->position());
            window.QueryUsb();
            const QList<simusb::Transfer> sent = device->outTransfers();
            QCOMPARE(sent.size(), 1);
            QCOMPARE(sent.first().endpoint, spec.endpoints.at(1).address);
            QCOMPARE(sent.first().bytes.size(), int(spec.endpoints.at(1).maxPacket));
            QCOMPARE(probe.text->text(), QString::fromLatin1(spec.speed == 12 ? fullSpeedLicence : licence));
        }
    }

    // A long reply is cut at 130 bytes: the logged hex covers offsets 10 to 129 only.
    void failedLongReplyLogsOffsets10To129()
    {
        QByteArray reply(200, '\0');
        for (int i = 0; i < reply.size(); ++i)
            reply[i] = char(i);
        reply[9] = char(0x6A);
        DeviceSpec spec = answering(reply);
        spec.endpoints = {{0x81, 0x02, 512}, {0x01, 0x02, 512}};
        MainWindow window;
        FakeUsbDevice *device = bus->plug(spec);
        QCOMPARE(window.CheckUsbList(), device->position());
        LogCapture log;
        window.QueryUsb();
        QCOMPARE(WindowProbe(window).statusBar(), QStringLiteral("读取失败"));
        const QString hex = QString::fromLatin1(reply.mid(10, 120).toHex().toUpper());
        QCOMPARE(log.count(hex), 1);
        QCOMPARE(hex.size(), 240);
    }

    // An open ending in "not found" replaces the device object: the new one has its own
    // context. Other failures keep the object.
    void deviceObjectIsRecreatedAfterNotFound_data()
    {
        addColumns<int, bool>("claimErrno", "recreated");
        QTest::newRow("not found (-5)") << ENOENT << true;
        QTest::newRow("busy (-6)") << EBUSY << false;
    }
    void deviceObjectIsRecreatedAfterNotFound()
    {
        QFETCH(int, claimErrno);
        QFETCH(bool, recreated);
        DeviceSpec spec = licensed();
        spec.claimErrno = claimErrno;
        MainWindow window;
        FakeUsbDevice *device = bus->plug(spec);
        QCOMPARE(window.CheckUsbList(), device->position());
        QVERIFY(window.OpenPort(window.extraElement));
        // A failed claim teaches nothing; a new object has not been asked to open anything.
        QCOMPARE(window.usbDevice->inEndpointAddress(), 0);
        QCOMPARE(window.usbDevice->lastParams().empty(), recreated);
        QVERIFY(!window.usbDevice->isOpen());
        QVERIFY(device->outTransfers().isEmpty());
        QCOMPARE(WindowProbe(window).statusBar(), QString());
        // The replacement works like the first object.
        QCOMPARE(window.usbDevice->deviceCount(), 1);
    }

    // OpenPort reports a failure as true; readUSB gives 17 when nothing arrives, 0 and the
    // whole packet when a reply does.
    void openPortAndReadUsb()
    {
        MainWindow window;
        FakeUsbDevice *device = bus->plug(answering(QByteArray("pong")));
        QCOMPARE(window.CheckUsbList(), device->position());
        LogCapture log;
        QCOMPARE(window.OpenPort(device->position()), false);
        QVERIFY(window.usbDevice->isOpen());
        QCOMPARE(log.count("USB连接 1"), 1);
        std::string bytes = "unchanged";
        QCOMPARE(window.readUSB(bytes), 17);
        QCOMPARE(bytes, std::string("unchanged"));
        device->setScript(simusb::Script().otherwise(simusb::Reply::text("pong")));
        QVERIFY(window.usbDevice->write("x", 1, 100) > 0);
        QCOMPARE(window.readUSB(bytes), 0);
        QCOMPARE(bytes.size(), size_t(64));
        QCOMPARE(bytes.substr(0, 4), std::string("pong"));
        window.usbDevice->close();
        QCOMPARE(window.OpenPort(QStringLiteral("1,9")), true);
        QVERIFY(!window.usbDevice->isOpen());
    }
};

QUORVANE_TEST_MAIN(TestUsbQuery, Usb)
#include "tst_usbquery.moc"
