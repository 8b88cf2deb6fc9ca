// Status messages: shown at once, replaced by the next, gone after 8 seconds.
#include "app/mainwindow.h"
#include "tests/support/testmain.h"
#include "tests/support/timing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <iterator>

using namespace testsupport;

namespace {

// Network dialogues ending one after another while the record's folder is missing, then
// a small filesystem of its own that fills up and gets space again: the disk's state
// before the poll that ends in the dialogue, its target, its message (null: it shows a
// long label, longer than a page of the filesystem), and what the record's place in the
// status bar says after it.
enum class Disk { Missing, Mounted, Full, Freed };
struct RecordStep
{
    Disk disk;
    const char *where;
    const char *message;
    const char *recordSays;
};
constexpr RecordStep recordSteps[] = {
    {Disk::Missing, "192.168.0.1:9527", "返回值错误!", "写不进"},
    {Disk::Missing, "192.168.2.1:3762", "(tcp)不支持此机型！", "写不进"},
    {Disk::Mounted, "192.168.10.1:3762", nullptr, "又写上了"},
    {Disk::Full, "192.168.0.1:9527", nullptr, "写不进"},
    {Disk::Full, "192.168.2.1:3762", "返回值错误!", "写不进"},
    {Disk::Freed, "192.168.10.1:3762", "(tcp)不支持此机型！", "又写上了"},
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `path` until the filesystem has no room left.
bool fill(const QString &path)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) { }
    return filler.error() != QFileDevice::NoError;
}

// Says `message`; the status bar's next change empties it, eight seconds later.
void saidThenGoneAfterEightSeconds(MainWindow &window, const QString &message)
{
    QElapsedTimer clock;
    clock.start();
    emit window.ShowInformationTr(message, 0);
    QSignalSpy changes(window.statusBar(), &QStatusBar::messageChanged);
    QVERIFY(changes.wait(8000 + slackMs()));
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

    // A record that cannot be written says so in a place of its own, never instead of a
    // dialogue's message; the file keeps what it held, byte for byte, and gets the lines
    // that waited, in order, once there is room again.
    void recordNotWrittenSaidBesideMessages()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("records"));
        const QString path = folder + QStringLiteral("/record.csv");
        const QString filler = folder + QStringLiteral("/filler");
        const QString longLicence(5000, QLatin1Char('L'));
        MainWindow window;
        auto *recordState = window.statusBar()->findChild<QLabel *>(QStringLiteral("recordState"));
        QString why;
        QVERIFY(window.record.keepIn(path, &why) && recordState);
        QByteArray whenFull;
        for (const RecordStep &step : recordSteps) {
            if (step.disk == Disk::Mounted) {
                QVERIFY(QDir().mkpath(folder));
                QCOMPARE(
                    QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                       QStringLiteral("size=64k"), QStringLiteral("tmpfs"), folder}),
                    0);
            }
            if (step.disk == Disk::Full && whenFull.isNull()) {
                QVERIFY(fill(filler));
                whenFull = contentOf(path);
            }
            QVERIFY(step.disk != Disk::Freed || QFile::remove(filler));
            window.record.poll();
            const QString before = window.statusBar()->currentMessage();
            window.record.begin(ResultRecord::Transport::Tcp, QLatin1String(step.where));
            if (step.message)
                emit window.ShowInformationTr(QString::fromUtf8(step.message), 0);
            else
                window.ShowLicenceLabel(QStringLiteral(":/qjpg/res/LBL16.png"), longLicence);
            window.record.ended();
            QCOMPARE(window.statusBar()->currentMessage(),
                     step.message ? QString::fromUtf8(step.message) : before);
            QVERIFY2(recordState->text().contains(QString::fromUtf8(step.recordSays)),
                     qPrintable(recordState->text()));
            if (step.disk == Disk::Full)
                QCOMPARE(contentOf(path), whenFull);
        }
        // The header and one line per step, in the order of the steps.
        const QList<QByteArray> lines = contentOf(path).split('\n');
        QCOMPARE(lines.size(), int(std::size(recordSteps)) + 2);
        QVERIFY(lines.first().startsWith(resultrecord::header) && lines.last().isEmpty());
        for (int i = 0; i < int(std::size(recordSteps)); ++i)
            QVERIFY2(lines.at(i + 1).contains(recordSteps[i].where), lines.at(i + 1).constData());
        QCOMPARE(QProcess::execute(QStringLiteral("umount"), {QStringLiteral("--lazy"), folder}), 0);
    }
};

QUORVANE_TEST_MAIN(TestStatusMessages, None)
#include "tst_statusmessages.moc"
