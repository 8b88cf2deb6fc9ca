// Status messages: shown at once, replaced by the next, gone after 8 seconds.
#include "app/mainwindow.h"
#include "tests/support/isolation.h"

#include <QElapsedTimer>
#include <QStatusBar>
#include <QtTest>

class TestStatusMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    void showsAtOnceAndNextReplaces()
    {
        MainWindow window;
        QStatusBar *bar = window.statusBar();
        emit window.ShowInformationTr(QStringLiteral("指令接收失败！"), 0);
        QCOMPARE(bar->currentMessage(), QStringLiteral("指令接收失败！")); // before any event runs
        emit window.ShowInformationTr(QStringLiteral("(tcp)不支持此机型！"), 0);
        QCOMPARE(bar->currentMessage(), QStringLiteral("(tcp)不支持此机型！"));
    }

    void isRedChangesNothing()
    {
        MainWindow plain;
        MainWindow red;
        plain.resize(367, 283);
        red.resize(367, 283);
        emit plain.ShowInformationTr(QStringLiteral("校验失败"), 0);
        emit red.ShowInformationTr(QStringLiteral("校验失败"), 1);
        QCOMPARE(red.statusBar()->currentMessage(), plain.statusBar()->currentMessage());
        QCOMPARE(red.statusBar()->grab().toImage(), plain.statusBar()->grab().toImage());
    }

    void goneAfterEightSeconds()
    {
        MainWindow window;
        QStatusBar *bar = window.statusBar();
        QElapsedTimer clock;
        clock.start();
        emit window.ShowInformationTr(QStringLiteral("读取失败"), 0);
        QSignalSpy changes(bar, &QStatusBar::messageChanged);
        QVERIFY(changes.wait(12000));
        const qint64 shownFor = clock.elapsed();
        QVERIFY(bar->currentMessage().isEmpty());
        // The status bar's timer is a coarse one, allowed to fire up to 5 % early.
        QVERIFY2(shownFor >= 7500, qPrintable(QString::number(shownFor)));
        QVERIFY2(shownFor < 11000, qPrintable(QString::number(shownFor)));
    }

    void replacementRestartsTheTimeout()
    {
        MainWindow window;
        QStatusBar *bar = window.statusBar();
        emit window.ShowInformationTr(QStringLiteral("first"), 0);
        QTest::qWait(3000);
        emit window.ShowInformationTr(QStringLiteral("second"), 0);
        QTest::qWait(6000); // 9 s after the first, 6 s after the second
        QCOMPARE(bar->currentMessage(), QStringLiteral("second"));
        QTRY_VERIFY_WITH_TIMEOUT(bar->currentMessage().isEmpty(), 5000);
    }
};

QUORVANE_WINDOW_TEST_MAIN(TestStatusMessages)
#include "tst_statusmessages.moc"
