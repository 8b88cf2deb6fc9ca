// The window as it opens: title, size, widget tree, fonts, and the poll timer.
#include "app/mainwindow.h"
#include "tests/support/testmain.h"
#include "tests/support/window.h"
#include "tests/support/timing.h"

#include <QLabel>
#include <QMenuBar>
#include <QMetaMethod>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

using namespace testsupport;

class TestWindow : public QObject
{
    Q_OBJECT

private slots:

    void opensWithTitleSizeAndEmptyBars()
    {
        MainWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowTitle(), QStringLiteral("QuorvaneV1.10"));
        QCOMPARE(window.size(), QSize(367, 283));
        QVERIFY(window.windowIcon().isNull());
        QCOMPARE(window.minimumSize(), QSize(0, 0));
        QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

        // menuBar() and statusBar() would make bars of their own if the form had none.
        QCOMPARE(window.findChild<QMenuBar *>(QStringLiteral("menubar")), window.menuBar());
        QVERIFY(window.menuBar()->actions().isEmpty());
        QCOMPARE(window.menuBar()->geometry(), QRect(0, 0, 367, 23));
        QCOMPARE(window.findChild<QStatusBar *>(QStringLiteral("statusbar")), window.statusBar());
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
    }

    void labelsLieOnTheCentralWidgetInOrder()
    {
        MainWindow window;
        QWidget *central = window.centralWidget();
        QVERIFY(central);
        QCOMPARE(central->objectName(), QStringLiteral("centralwidget"));
        QCOMPARE(central->metaObject()->className(), "QWidget");

        auto *picture =
            central->findChild<QLabel *>(QStringLiteral("label_show"), Qt::FindDirectChildrenOnly);
        auto *text = central->findChild<QLabel *>(QStringLiteral("label"), Qt::FindDirectChildrenOnly);
        QVERIFY(picture && text);
        QCOMPARE(picture->geometry(), QRect(60, 50, 251, 125));
        QCOMPARE(text->geometry(), QRect(50, 42, 260, 231));
        // The text label comes later among its siblings, so it is drawn over the picture.
        QVERIFY(central->children().indexOf(text) > central->children().indexOf(picture));
        QVERIFY(!picture->hasScaledContents() && !text->hasScaledContents());
        QVERIFY(!picture->wordWrap() && !text->wordWrap());
    }

    void textLabelHasItsFontAndAlignment()
    {
        MainWindow window;
        QLabel *text = WindowProbe(window).text;
        QCOMPARE(text->font().family(), QStringLiteral("iconfont"));
        QCOMPARE(text->font().pointSize(), 12);
        QVERIFY(text->font().kerning());
        QCOMPARE(int(text->alignment()), 0x84);
    }

    void bothLabelsStartEmpty()
    {
        MainWindow window;
        const WindowProbe probe(window);
        QVERIFY(probe.cleared()); // no "TextLabel" left from the form
        QVERIFY(probe.picture->text().isEmpty());
    }

    void pollTimerDrivesTheCycleOnceASecond()
    {
        MainWindow window;
        const QList<QTimer *> timers = window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(timers.size(), 1);
        QTimer *poll = timers.first();
        QVERIFY(poll->isActive());
        QCOMPARE(poll->interval(), 1000);
        QVERIFY(!poll->isSingleShot());

        QSignalSpy ticks(poll, &QTimer::timeout);
        QVERIFY(ticks.wait(1000 + slackMs()));
        QVERIFY(ticks.wait(1000 + slackMs()));
        QCOMPARE(ticks.size(), 2);

        // disconnect() is true only for a connection that existed: this is how the
        // constructor wired the timer, the status path and the serial port's errors.
        QVERIFY(QObject::disconnect(poll, SIGNAL(timeout()), &window, SLOT(dealTimer())));
        QVERIFY(QObject::disconnect(&window, SIGNAL(ShowInformationTr(QString, int)), &window,
                                    SLOT(ShowInformation(QString, int))));
        QVERIFY(QObject::disconnect(window.serialPort.get(), SIGNAL(error(QSerialPort::SerialPortError)),
                                    &window, SLOT(serialporterr(QSerialPort::SerialPortError))));
    }

    void declaresItsSignalAndSlotsInOrder()
    {
        const QMetaObject &meta = MainWindow::staticMetaObject;
        QCOMPARE(meta.className(), "MainWindow");
        const int first = meta.methodOffset();
        QCOMPARE(meta.methodCount() - first, 4);
        const char *signatures[] = {"ShowInformationTr(QString,int)", "dealTimer()",
                                    "serialporterr(QSerialPort::SerialPortError)",
                                    "ShowInformation(QString,int)"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(meta.method(first + i).methodSignature(), QByteArray(signatures[i]));
        QCOMPARE(meta.method(first).methodType(), QMetaMethod::Signal);
        QCOMPARE(meta.method(first + 1).access(), QMetaMethod::Private);
        QCOMPARE(meta.method(first).parameterNames(), (QList<QByteArray> {"strShow", "isRed"}));
    }
};

QUORVANE_TEST_MAIN(TestWindow, None)
#include "tst_window.moc"
