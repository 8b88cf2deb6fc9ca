#ifndef QUORVANE_TESTS_SERIALTEST_H
#define QUORVANE_TESTS_SERIALTEST_H

// Shared by the serial tests: a main that runs the test under umockdev, and a window set
// up for one dialogue at a time.

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

using quorvane::sim::AtReply;
using quorvane::sim::FakeAtDevice;
using quorvane::sim::SerialBench;

// Replies as real devices give them.
inline QByteArray okLine(const QByteArray &line)
{
    return "\r\n" + line + "\r\n\r\nOK\r\n";
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
};

// Runs the test binary with the emulation library loaded and with a lock directory of its
// own, so that test binaries that CTest runs side by side can use the same port names.
inline void prepareProcess(int argc, char **argv)
{
    if (!SerialBench::isUnderEmulation()) {
        QString why;
        if (!SerialBench::usePrivateLockDirectory(&why))
            qFatal("serial tests need a private /run/lock (%s): run them through scripts/isolated",
                   qPrintable(why));
        SerialBench::runUnderEmulation(argc, argv);
    }
}

} // namespace serialtest

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
