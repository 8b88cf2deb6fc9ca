#ifndef QUORVANE_TESTS_USB_USBTESTSUPPORT_H
#define QUORVANE_TESTS_USB_USBTESTSUPPORT_H

// Shared by the USB tests: the main() that puts the test under umockdev, and a capture
// of the log lines the code under test writes.

#include "sim/usb/usbbench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QtTest>

#include <mutex>

namespace usbtest {

// Collects every log line while it exists (one at a time).
class LogCapture
{
public:
    LogCapture()
    {
        current() = this;
        previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        current() = nullptr;
    }
    QStringList lines() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return captured;
    }
    int count(const QString &part) const { return lines().filter(part).size(); }
    void clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        captured.clear();
    }

private:
    static LogCapture *&current()
    {
        static LogCapture *capture = nullptr;
        return capture;
    }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        LogCapture *capture = current();
        if (!capture)
            return;
        {
            std::lock_guard<std::mutex> guard(capture->lock);
            capture->captured.append(message);
        }
        if (type == QtFatalMsg && capture->previous)
            capture->previous(type, context, message);
    }

    QtMessageHandler previous = nullptr;
    mutable std::mutex lock;
    QStringList captured;
};

// The bytes a device received, cut into the packets it received them in.
inline QList<QByteArray> packets(const QList<simusb::Transfer> &transfers)
{
    QList<QByteArray> result;
    for (const simusb::Transfer &transfer : transfers)
        result.append(transfer.bytes);
    return result;
}

} // namespace usbtest

// A QtTest main() that first re-executes the test under umockdev's preload library.
#define QUORVANE_USB_TEST_MAIN(TestClass)                          \
    int main(int argc, char *argv[])                               \
    {                                                              \
        simusb::UsbBench::runUnderUmockdev(argc, argv);            \
        QApplication app(argc, argv);                              \
        TestClass test;                                            \
        return QTest::qExec(&test, argc, argv);                    \
    }

#endif // QUORVANE_TESTS_USB_USBTESTSUPPORT_H
