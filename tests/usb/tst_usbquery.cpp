// The licence dialogue in the real window, against emulated devices that answer from a
// script: the request on the wire, the wait, every status and its message, the device
// closed on every path.
#include "tests/usb/usbtestsupport.h"

#include <cerrno>

using namespace usbtest;

class TestUsbQuery : public usbtest::BenchTest
{
    Q_OBJECT

private slots:
    void dialogue_data()
    {
        QTest::addColumn<DeviceSpec>("spec");
        QTest::addColumn<QString>("message"); // status bar text; empty: none
        QTest::addColumn<QString>("shown");   // licence text on the label; empty: none
        QTest::addColumn<int>("requestPackets");

        const QByteArray ok = simusb::licenceReply(0x90, licence);
        const QString text = QString::fromLatin1(licence);
        const QString tooShort = QStringLiteral("读取失败,长度小于9");
        auto packets = [](quint16 size) {
            return [size](DeviceSpec &s) { s.endpoints = {{0x81, 0x02, size}, {0x01, 0x02, size}}; };
        };

        QTest::newRow("success") << answering(ok) << "" << text << 1;
        QTest::newRow("success after 300 ms") << answering(ok, 300) << "" << text << 1;
        QTest::newRow("check failure (41 hex)") << answering(simusb::licenceReply(0x41, licence)) << "校验失败" << "" << 1;
        QTest::newRow("other status") << answering(simusb::licenceReply(0x6A, licence)) << "读取失败" << "" << 1;
        // A reply shorter than its status byte still comes as a whole zero-padded packet:
        // the status then reads 0.
        QTest::newRow("8-byte reply: status reads 0") << answering(simusb::licenceReply(0x90, licence, 8)) << "读取失败" << "" << 1;
        QTest::newRow("zero-length packet") << answering(QByteArray()) << "读取失败" << "" << 1;
        QTest::newRow("reply too late") << answering(ok, 900) << tooShort << "" << 1;
        QTest::newRow("silent device") << answering(simusb::Reply::silence()) << tooShort << "" << 1;
        // A device that never stops talking: one bounded read, and the dialogue ends.
        QTest::newRow("endless stream") << answering(simusb::Reply::stream(ok)) << "" << text << 1;
        QTest::newRow("8-byte packets: fewer than 9 bytes") << with(answering(ok), packets(8)) << tooShort << "" << 2;
        QTest::newRow("long reply in 512-byte packets")
            << with(answering(simusb::licenceReply(0x90, licence, 200)), packets(512)) << "" << text << 1;
        QTest::newRow("kernel driver bound: taken, then bound again")
            << with(answering(ok), [](DeviceSpec &s) { s.kernelDriver = QStringLiteral("usbhid"); }) << "" << text << 1;
        // Devices of other kinds, held by their drivers: not claimed, not written, nothing said.
        QTest::newRow("keyboard: left alone") << simusb::keyboard(QStringLiteral("1-3")) << "" << "" << 0;
        QTest::newRow("disk: left alone") << simusb::disk(QStringLiteral("1-3")) << "" << "" << 0;
        QTest::newRow("extra endpoints: the first of each direction") << with(answering(ok), [](DeviceSpec &s) {
            s.endpoints = {{0x82, 0x03, 64}, {0x03, 0x02, 64}, {0x81, 0x02, 16}, {0x01, 0x02, 8}};
        }) << "" << text << 1;
        QTest::newRow("write fails: nothing said")
            << with(answering(ok), [](DeviceSpec &s) { s.out = simusb::OutMode::Stall; }) << "" << "" << 1;
        QTest::newRow("unplugged in the middle") << answering(simusb::Reply::unplug()) << tooShort << "" << 1;
    }
    void dialogue()
    {
        QFETCH(DeviceSpec, spec);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QFETCH(int, requestPackets);

        MainWindow window;
        const testsupport::WindowProbe probe(window);
        FakeUsbDevice *device = bench->plug(spec);
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
        FakeUsbDevice *device = bench->plug(spec);
        QCOMPARE(window.CheckUsbList(), device->position());
        LogCapture log;
        window.QueryUsb();
        QCOMPARE(testsupport::WindowProbe(window).statusBar(), QStringLiteral("读取失败"));
        const QString hex = QString::fromLatin1(reply.mid(10, 120).toHex().toUpper());
        QCOMPARE(log.count(hex), 1);
        QCOMPARE(hex.size(), 240);
    }

    // An open ending in "not found" replaces the device object: the new one has its own
    // context and has learned nothing yet. Other failures keep the object.
    void deviceObjectIsRecreatedAfterNotFound_data()
    {
        QTest::addColumn<int>("claimErrno");
        QTest::addColumn<bool>("recreated");
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
        FakeUsbDevice *device = bench->plug(spec);
        QCOMPARE(window.CheckUsbList(), device->position());
        QVERIFY(window.OpenPort(window.extraElement));
        // The failed open learned the endpoints before its claim failed.
        QCOMPARE(window.usbDevice->inEndpointAddress() == 0, recreated);
        QVERIFY(!window.usbDevice->isOpen());
        QVERIFY(device->outTransfers().isEmpty());
        QCOMPARE(testsupport::WindowProbe(window).statusBar(), QString());
        // The replacement works like the first object.
        QCOMPARE(window.usbDevice->deviceCount(), 1);
    }

    // OpenPort reports a failure as true; readUSB gives 17 when nothing arrives, 0 and the
    // whole packet when a reply does.
    void openPortAndReadUsb()
    {
        MainWindow window;
        FakeUsbDevice *device = bench->plug(answering(QByteArray("pong")));
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
