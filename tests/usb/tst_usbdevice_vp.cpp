// The "VP" open's retry: a candidate that will not open is tried again three times, after
// a 1000 ms wait each, before the scan moves past it. Slow by nature, so on its own.
#include "sim/usb/usbbench.h"
#include "tests/usb/usbtestsupport.h"
#include "usb/bulkhiddevice.h"

#include <libusb.h>

#include <memory>

class TestUsbDeviceVp : public QObject
{
    Q_OBJECT

    std::unique_ptr<simusb::UsbBench> bench;

    // libusb's list, as "bus,address" texts, in its order.
    static QStringList listed()
    {
        libusb_context *context = nullptr;
        libusb_init(&context);
        libusb_device **list = nullptr;
        const ssize_t n = libusb_get_device_list(context, &list);
        QStringList result;
        for (ssize_t i = 0; i < n; ++i)
            result << QStringLiteral("%1,%2").arg(libusb_get_bus_number(list[i])).arg(libusb_get_device_address(list[i]));
        libusb_free_device_list(list, 1);
        libusb_exit(context);
        return result;
    }

private slots:
    void init() { bench = std::make_unique<simusb::UsbBench>(); }
    void cleanup() { bench.reset(); }

    void candidateThatWillNotOpenIsRetriedThreeTimes()
    {
        simusb::DeviceSpec spec;
        spec.vid = 0x0483;
        spec.pid = 0x5751;
        spec.openFails = true;
        simusb::FakeUsbDevice *broken = bench->plug(spec);

        BulkHidDevice device;
        usbtest::LogCapture log;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(device.open(R"({"VP":["VID_0483&PID_5750","VID_0483&PID_5751"]})"), -2);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 2950 && elapsed < 8000,
                 qPrintable(QString::number(elapsed) + '\n' + log.lines().join('\n')));
        QVERIFY(!device.isOpen());
        QCOMPARE(broken->opens(), 0);
        // One scan per try: retry counts 0, 1, 2 and 3 in the per-device lines.
        for (int retry = 0; retry <= 3; ++retry)
            QCOMPARE(log.lines().filter(QRegularExpression(QStringLiteral("^%1 vid-pid: 1155 22353 ").arg(retry))).size(), 1);
        QCOMPARE(log.count("BulkHidDevice::open open hid device error"), 1);
    }

    void afterTheRetriesTheScanMovesOn()
    {
        simusb::DeviceSpec good;
        good.sysName = QStringLiteral("1-2");
        good.vid = 0x3E0B;
        good.pid = 0x0C02;
        simusb::FakeUsbDevice *working = bench->plug(good);
        simusb::DeviceSpec spec;
        spec.sysName = QStringLiteral("1-6");
        spec.vid = 0x0483;
        spec.pid = 0x5751;
        spec.openFails = true;
        simusb::FakeUsbDevice *broken = bench->plug(spec);
        // libusb lists the device plugged last first: the broken one is tried first.
        const QStringList order = listed();
        QVERIFY(order.indexOf(broken->position().section(',', 0, 0) + ',' + QString::number(broken->devnum()))
                < order.indexOf(working->position().section(',', 0, 0) + ',' + QString::number(working->devnum())));

        BulkHidDevice device;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(device.open(R"({"VP":["VID_0483&PID_5751","VID_3E0B&PID_0C02"]})"), 0);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 2950 && elapsed < 8000, qPrintable(QString::number(elapsed)));
        QVERIFY(working->claimed());
    }
};

QUORVANE_USB_TEST_MAIN(TestUsbDeviceVp)
#include "tst_usbdevice_vp.moc"
