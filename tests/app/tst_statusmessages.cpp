// Status messages: shown at once, replaced by the next, gone after 8 seconds.
#include "app/mainwindow.h"
#include "tests/support/testmain.h"
#include "tests/support/timing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Network dialogues ending one after another while the record file comes and goes: the
// file's place before the dialogue, its target, its message (null: it shows a label), and
// whether the record's own message follows.
enum class RecordFile { Missing, Writable, Directory };
struct RecordStep
{
    RecordFile file;
    const char *where;
    const char *message;
    bool recordSays;
};
constexpr RecordStep recordSteps[] = {
    {RecordFile::Missing, "192.168.0.1:9527", "返回值错误!", true},
    {RecordFile::Missing, "192.168.2.1:3762", "(tcp)不支持此机型！", false}, // said once
    {RecordFile::Missing, "192.168.10.1:3762", nullptr, false},
    {RecordFile::Writable, "192.168.0.1:9527", nullptr, false},            // all four lines now
    {RecordFile::Directory, "192.168.2.1:3762", nullptr, true},             // a new failure
};

// Says `message`; the status bar's next change empties it, eight seconds later.
void saidThenGoneAfterEightSeconds(MainWindow &window, const QString &message)
{
    QElapsedTimer clock;
    clock.start();
    emit window.ShowInformationTr(message, 0);
    QSignalSpy changes(window.statusBar(), &QStatusBar::messageChanged);
    QVERIFY(changes.wait(8000 + quorvane::test::slackMs()));
    const qint64 shownFor = clock.elapsed();
    QCOMPARE(changes.size(), 1);
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
    // The status bar's timer is a coarse one, allowed to fire up to 5 % early.
    QUORVANE_VERIFY_DURATION(shownFor, 7500, 8000);
}

} // namespace

class TestStatusMessages : public QObject
{
    Q_OBJECT

private slots:

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
        saidThenGoneAfterEightSeconds(window, QStringLiteral("读取失败"));
    }

    void replacementRestartsTheTimeout()
    {
        MainWindow window;
        emit window.ShowInformationTr(QStringLiteral("first"), 0);
        QTest::qWait(3000);
        // Gone eight seconds after the second message, not eight seconds after the first
        // (5 seconds from now).
        saidThenGoneAfterEightSeconds(window, QStringLiteral("second"));
    }

    // A record that cannot be written says so once, lets the dialogues' messages be seen
    // after that, and keeps the lines until it can write them; its own message is no result.
    void recordFailureSaidOnce()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("records"));
        const QString path = folder + QStringLiteral("/record.csv");
        MainWindow window;
        window.record.keepIn(path);
        for (const RecordStep &step : recordSteps) {
            QVERIFY(step.file != RecordFile::Writable || QDir().mkpath(folder));
            QVERIFY(step.file != RecordFile::Directory || (QFile::remove(path) && QDir().mkpath(path)));
            const QString before = window.statusBar()->currentMessage();
            window.record.begin(ResultRecord::Transport::Tcp, QLatin1String(step.where));
            if (step.message)
                emit window.ShowInformationTr(QString::fromUtf8(step.message), 0);
            else
                window.ShowLicenceLabel(QStringLiteral(":/qjpg/res/LBL16.png"), QStringLiteral("700101-2024-CN-000147"));
            const QString shown = window.statusBar()->currentMessage();
            QVERIFY2(step.recordSays ? shown.contains(path) : shown == (step.message ? QString::fromUtf8(step.message) : before),
                     qPrintable(shown));
            if (step.file == RecordFile::Writable) { // the header and the four lines, none of the record's own
                QFile file(path);
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QByteArray content = file.readAll();
                QVERIFY2(content.count("\r\n") == 5 && !content.contains(path.toUtf8()), content.constData());
            }
        }
    }
};

QUORVANE_TEST_MAIN(TestStatusMessages, None)
#include "tst_statusmessages.moc"
