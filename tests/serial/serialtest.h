#ifndef QUORVANE_TESTS_SERIALTEST_H
#define QUORVANE_TESTS_SERIALTEST_H

// Shared by the serial tests: the ports and replies of the supported devices, a window set
// up for one dialogue at a time, and a main that runs the test under umockdev.

#include "sim/serial/serialbench.h"

#include "app/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

namespace serialtest {

using quorvane::sim::Reply;
using quorvane::sim::Testbed;
using quorvane::sim::FakeAtDevice;
using quorvane::sim::SerialBench;

struct PortOfKind
{
    const char *name;
    const char *description;
    const char *imeiCommand; // without line end; null for kind 3
    const char *licenceCommand;
};

inline const PortOfKind portsOfKind[] = {
    {"COM5", "USB Serial Device", "AT*MRD_IMEI=R", "AT*KESET=26"},
    {"COM12", "Unisoc Usb Serial Port 0", "AT+CGSN", "AT+NCSN?"},
    {"COM7", "Quectel USB REPL Port", "AT+EGMR=0", "AT*MRD_SN=R"},
    {"COM8", "USB-SERIAL CH340", nullptr, "AT*MRD_SN=R"},
};

inline const QByteArray licence21 = "ABCDEFGHIJKLMNOPQRSTU";

// Replies as real devices give them.
inline QByteArray okLine(const QByteArray &line)
{
    return "\r\n" + line + "\r\n\r\nOK\r\n";
}
inline QByteArray imeiReply(const QByteArray &imei)
{
    return okLine("*MRD_IMEI:" + imei);
}
// A licence reply of each kind that carries licence21.
inline QByteArray licenceReplyOfKind(int kind)
{
    switch (kind) {
    case 0: return okLine("+KESET: 26," + licence21);
    case 1: return "AT+NCSN?\r\r\n+" + licence21 + "\r\n\r\nOK\r\n";
    case 2: return okLine("*MRD_SN:2010," + licence21);
    default: return okLine("*MRD_SN: " + licence21);
    }
}

inline FakeAtDevice &addPortOfKind(SerialBench &bench, int kind)
{
    return bench.addPort(QString::fromLatin1(portsOfKind[kind].name),
                         QString::fromLatin1(portsOfKind[kind].description));
}

// A window whose poll timer stands still: the test drives the dialogue by hand, and the
// status messages and both labels are at hand.
struct Dialogue
{
    MainWindow window;
    QSignalSpy messages{&window, SIGNAL(ShowInformationTr(QString,int))};
    QLabel *picture = window.findChild<QLabel *>(QStringLiteral("label_show"));
    QLabel *text = window.findChild<QLabel *>(QStringLiteral("label"));
    qint64 lastQueryMs = -1;

    Dialogue()
    {
        for (QTimer *timer : window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
            timer->stop();
    }

    // One cycle's serial step: open, and when that works, query. Returns the open's result.
    bool run()
    {
        if (!window.OpenSerialPort())
            return false;
        QElapsedTimer clock;
        clock.start();
        window.QuerySerial();
        lastQueryMs = clock.elapsed();
        return true;
    }

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const QList<QVariant> &arguments : messages)
            texts << arguments.at(0).toString();
        return texts;
    }

    // True when label_show shows the picture at path, pixel for pixel.
    bool shows(const QString &path) const
    {
        const QImage shown = picture->pixmap(Qt::ReturnByValue).toImage();
        const QImage expected(path);
        return !shown.isNull() && !expected.isNull()
            && shown.convertToFormat(QImage::Format_ARGB32) == expected.convertToFormat(QImage::Format_ARGB32);
    }
    bool showsNothing() const
    {
        return picture->pixmap(Qt::ReturnByValue).isNull() && text->text().isEmpty();
    }

    // A label shown before the dialogue, to see whether the dialogue keeps it.
    void showEarlier(const QString &path) { window.ShowLicenceLabel(path, QStringLiteral("EARLIER")); }
    bool showsEarlier(const QString &path) const
    {
        return text->text() == QLatin1String("EARLIER") && shows(path);
    }
};

// Runs the test binary with the emulation library loaded and with a lock directory of its
// own, so that test binaries that CTest runs side by side can use the same port names.
inline void prepareProcess(int argc, char **argv)
{
    if (!Testbed::isUnderEmulation()) {
        QString why;
        if (!Testbed::usePrivateLockDirectory(&why))
            qFatal("serial tests need a private /run/lock (%s): run them through scripts/isolated",
                   qPrintable(why));
        Testbed::runUnderEmulation(argc, argv);
    }
}

} // namespace serialtest

// A duration in ms within [low, high).
#define QUORVANE_VERIFY_MS(ms, low, high) \
    QVERIFY2((ms) >= (low) && (ms) < (high), qPrintable(QStringLiteral("%1 ms").arg(ms)))

#define QUORVANE_SERIAL_TEST_MAIN(TestClass)                                            \
    int main(int argc, char **argv)                                                     \
    {                                                                                   \
        serialtest::prepareProcess(argc, argv);                                         \
        QApplication application(argc, argv);                                           \
        TestClass test;                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                      \
        return QTest::qExec(&test, argc, argv);                                         \
    }

#endif // QUORVANE_TESTS_SERIALTEST_H
