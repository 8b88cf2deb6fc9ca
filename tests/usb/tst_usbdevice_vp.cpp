// The "VP" open's retry: a candidate that will not open is tried again three times, after
// a 1000 ms wait each, before the scan moves past it. Slow by nature, so on its own.
#include "tests/usb/usbtestsupport.h"
#include "usb/bulkhiddevice.h"

using namespace testsupport;

namespace {

DeviceSpec unopenable(const char *sysName)
{
    return with(DeviceSpec {sysName, 0x0483, 0x5751}, [](DeviceSpec &s) { s.openFails = true; });
}

} // namespace

class TestUsbDeviceVp : public UsbBusTest
{
    Q_OBJECT

private slots:
    void candidateThatWillNotOpenIsRetriedThreeTimes()
    {
        FakeUsbDevice *broken = bus->plug(unopenable("1-3"));
        BulkHidDevice device;
        LogCapture log;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(device.open(R"({"VP":["VID_0483&PID_5750","VID_0483&PID_5751"]})"), -2);
        const qint64 elapsed = clock.elapsed();
        QUORVANE_VERIFY_DURATION(elapsed, 2950, 3000);
        QVERIFY(!device.isOpen());
        QCOMPARE(broken->opens(), 0);
        // One scan per try: retry counts 0, 1, 2 and 3 in the per-device lines.
        for (int retry = 0; retry <= 3; ++retry)
            QCOMPARE(log.lines()
                         .filter(QRegularExpression(QStringLiteral("^%1 vid-pid: 1155 22353 ").arg(retry)))
                         .size(),
                     1);
        QCOMPARE(log.count("BulkHidDevice::open open hid device error"), 1);
    }

    void afterTheRetriesTheScanMovesOn()
    {
        FakeUsbDevice *working = bus->plug(DeviceSpec {"1-2", 0x3E0B, 0x0C02});
        FakeUsbDevice *broken = bus->plug(unopenable("1-6"));
        // libusb lists the device plugged last first: the broken one is tried first.
        const QStringList order = libusbOrder();
        QVERIFY(order.indexOf(QStringLiteral("1,%1").arg(broken->devnum()))
                < order.indexOf(QStringLiteral("1,%1").arg(working->devnum())));

        BulkHidDevice device;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(device.open(R"({"VP":["VID_0483&PID_5751","VID_3E0B&PID_0C02"]})"), 0);
        const qint64 elapsed = clock.elapsed();
        QUORVANE_VERIFY_DURATION(elapsed, 2950, 3000);
        QVERIFY(working->claimed());
    }
};

QUORVANE_TEST_MAIN(TestUsbDeviceVp, Usb)
#include "tst_usbdevice_vp.moc"
