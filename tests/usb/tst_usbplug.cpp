// The running window with devices plugged and pulled while it runs: every arrival is
// queried once, and the time from plugging to the label on screen is measured.
#include "tests/usb/usbtestsupport.h"

#include <algorithm>
#include <numeric>

using namespace testsupport;

namespace {

// Milliseconds until the label shows `text`, the event loop running meanwhile; -1 after
// `limitMs`.
qint64 waitForLabel(QLabel *label, const QString &text, qint64 limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (label->text() == text)
            return clock.elapsed();
        QThread::msleep(1);
    }
    return -1;
}

} // namespace

class TestUsbPlug : public UsbBusTest
{
    Q_OBJECT

private slots:
    // Plug, label, pull, again: each plug is reported and shown, within one poll period
    // plus the dialogue (10 ms pause, 500 ms wait, the read).
    void plugToLabelTime()
    {
        bus->plugRootHub(1);
        MainWindow window;
        window.show();
        QLabel *label = WindowProbe(window).text;
        QList<qint64> times;
        for (int round = 0; round < 5; ++round) {
            const QByteArray licence = QByteArray("CMIIT ID:2026AB12340") + char('0' + round);
            QTest::qWait(137 * round); // plug at different phases of the poll timer
            FakeUsbDevice *device = bus->plug(licensed(deviceA(), licence));
            const qint64 ms = waitForLabel(label, QString::fromLatin1(licence), plugLimitMs());
            QVERIFY2(ms >= 0, "the label never showed the licence");
            times << ms;
            // At least the dialogue's 500 ms wait; at most a whole cycle (about 1.5 s with
            // the network targets' pauses) before the next one finds the device.
            QUORVANE_VERIFY_DURATION(ms, 500, plugToAnswerMs);
            QCOMPARE(device->opens(), 1);
            QVERIFY(!device->claimed());
            const QString position = device->position();
            device->unplug();
            // The removal is seen by the next cycle.
            QTRY_VERIFY_WITH_TIMEOUT(!window.usbPositions.contains(position), plugLimitMs());
        }
        std::sort(times.begin(), times.end());
        const qint64 sum = std::accumulate(times.begin(), times.end(), qint64(0));
        qInfo("plug to label (ms): min %lld, median %lld, mean %lld, max %lld, over %d plugs", times.first(),
              times.at(times.size() / 2), sum / times.size(), times.last(), int(times.size()));
    }

    // A device pulled in the middle of its dialogue: the failure is reported, the device
    // object stays usable, and the device plugged in again is queried again.
    void pulledMidDialogueThenPluggedAgain()
    {
        MainWindow window;
        QLabel *label = WindowProbe(window).text;
        FakeUsbDevice *first = bus->plug(answering(simusb::Reply::unplug()));
        const QString tooShort = QStringLiteral("读取失败,长度小于9");
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), tooShort, plugLimitMs());
        QCOMPARE(first->opens(), 1);
        QVERIFY(!window.usbDevice->isOpen());
        bus->collect(); // the cable is out: the device leaves sysfs too
        QTRY_VERIFY_WITH_TIMEOUT(!window.usbPositions.contains(first->position()), plugLimitMs());

        const QByteArray licence("CMIIT ID:2026EF9012QP");
        FakeUsbDevice *again = bus->plug(licensed(deviceA(), licence));
        QVERIFY(waitForLabel(label, QString::fromLatin1(licence), plugLimitMs()) >= 0);
        QCOMPARE(again->opens(), 1);
    }

    // The workstation's own devices plugged in while the tool runs (a keyboard, a disk, a
    // hub, a USB serial adapter, a camera): each is found, none is opened, and nothing
    // shows. A licence device plugged in afterwards is served as if they were not there.
    void otherDevicesAreLeftAlone()
    {
        bus->plugRootHub(1);
        MainWindow window;
        QLabel *label = WindowProbe(window).text;
        QList<FakeUsbDevice *> others;
        for (const DeviceSpec &spec : {simusb::keyboard("1-2"), simusb::disk("1-4"), simusb::hub("1-6"),
                                       simusb::serialAdapter("1-7", "ftdi_sio"), simusb::camera("1-8")}) {
            others << bus->plug(spec);
            QTRY_COMPARE_WITH_TIMEOUT(window.extraElement, others.last()->position(), plugLimitMs());
        }
        QTest::qWait(1600); // the last one's dialogue has ended
        for (FakeUsbDevice *other : others) {
            QCOMPARE(other->opens(), 0);
            QCOMPARE(other->kernelDriver(), other->spec().kernelDriver);
        }
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
        QVERIFY(label->text().isEmpty());

        const QByteArray licence("CMIIT ID:2026CD5678ZZ");
        FakeUsbDevice *device = bus->plug(licensed(deviceA(), licence));
        QVERIFY(waitForLabel(label, QString::fromLatin1(licence), plugLimitMs()) >= 0);
        QCOMPARE(device->claims(), 1);
    }

    // A failed dialogue is not repeated while the device stays: the operator re-plugs it.
    void failedDialogueIsNotRetried()
    {
        MainWindow window;
        FakeUsbDevice *device = bus->plug(answering(simusb::licenceReply(0x41, "x")));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), QStringLiteral("校验失败"),
                                  plugLimitMs());
        QTest::qWait(3500);
        QCOMPARE(device->opens(), 1);
        QCOMPARE(device->outTransfers().size(), 1);
    }
};

QUORVANE_TEST_MAIN(TestUsbPlug, Usb)
#include "tst_usbplug.moc"
