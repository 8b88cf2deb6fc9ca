// The central record, through the real tool under the device simulator and a PostgreSQL
// server of the test's own: whatever happens to the server or the tool on the way, the
// table ends up holding the lines of the local CSV record, each once, in the order of
// their time, with the station set.
#include "app/resultrecord.h"
#include "central/centralrecord.h"
#include "central/delivery.h"
#include "tests/e2e/pgserver.h"
#include "tests/e2e/run.h"
#include "tests/support/tablerows.h"
#include "tests/support/testmain.h"
#include "tests/support/timing.h"

#include <QtTest>

#include <csignal>
#include <memory>

using namespace testsupport;

namespace {

enum class Fault { None, DownAtStart, StopMidRun, WrongPassword, KillUnsent, AckLost };

// A run with --record and --record-to. The fault acts once the CSV holds `atLine` lines:
// the server starts (down at start), stops and starts again at `thenLine` (mid-run), the
// right password goes into the password file, or the tool is killed while the server is
// down and then started again alone with a network device. AckLost: an earlier run left
// a line in the outbox that the server holds already (its acknowledgement was lost).
struct CentralCase
{
    const char *tag;
    const char *devices;
    Fault fault;
    int atLine;
    int thenLine;
    int outages; // how often the status bar says the server cannot be reached
};
constexpr CentralCase centralCases[] = {
    {"demo", "--scenario demo --linger 120", Fault::None, 0, 0, 0},
    {"downAtStart", "--scenario soak --rounds 2 --linger 120", Fault::DownAtStart, 2, 0, 1},
    {"stopMidRun", "--scenario soak --rounds 3 --linger 120", Fault::StopMidRun, 2, 5, 1},
    {"wrongPassword", "--scenario soak --rounds 2 --linger 120", Fault::WrongPassword, 3, 0, 1},
    {"killUnsent", "--scenario soak --rounds 2 --linger 120", Fault::KillUnsent, 4, 0, 1},
    {"ackLost", "--at9527 --quit-after 180", Fault::AckLost, 2, 0, 0},
};

// Retries back off up to 30 s; a line may wait that long after the server is back, plus
// a connection and the machine's slack.
const int deliveryMs = central::retryCapMs + 10000 + testsupport::slackMs();
const QString database = QStringLiteral("quorvane");
const QString unreachable = QStringLiteral("text centralRecord 中心记录连不上");
const QString caughtUp = QStringLiteral("text centralRecord 中心记录已补齐");

// The CSV record's lines after its header (the devices here write no line breaks).
QStringList csvLines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1)
        : QStringList();
}

// The table's lines of `station` as the CSV writes them, in the order of their time.
QStringList tableLines(const testsupport::PgServer &server, const QString &station)
{
    QStringList lines;
    const auto rows = server.sql(database,
                                 QStringLiteral("SELECT (extract(epoch FROM time) * 1000)::bigint, "
                                                "transport, place, identity, picture, licence, outcome "
                                                "FROM quorvane_results WHERE station = '%1' ORDER BY time")
                                     .arg(station));
    for (QStringList row : rows) {
        if (row.size() != 7)
            return {QStringLiteral("unreadable row: ") + row.join('|')};
        row[0] = resultrecord::timestamp(QDateTime::fromMSecsSinceEpoch(row[0].toLongLong()));
        lines << QString::fromUtf8(resultrecord::line(row)).chopped(2);
    }
    return lines;
}

int tableCount(const testsupport::PgServer &server)
{
    const auto rows = server.sql(database, QStringLiteral("SELECT count(*) FROM quorvane_results"));
    return rows.size() == 1 && rows.first().size() == 1 ? rows.first().first().toInt() : -1;
}

// The tool under the simulator, with the window's changes written to `screenLog`
// (runner/screenlogmodule.cpp), for the status bar's label.
std::unique_ptr<testsupport::Run> startRun(const QString &devices, const QStringList &arguments,
                                           const QString &screenLog)
{
    const QByteArray preload = qgetenv("LD_PRELOAD");
    qputenv("LD_PRELOAD", preload + ' ' + QFile::encodeName(runner::screenLogModule()));
    qputenv("QUORVANE_SCREEN_LOG", QFile::encodeName(screenLog));
    auto run = std::make_unique<testsupport::Run>(devices, arguments);
    qputenv("LD_PRELOAD", preload);
    return run;
}

// The tool the simulator runs, by its process id.
pid_t toolOf(const QProcess &devsim)
{
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(devsim.processId()));
    return children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().split(' ').first().toInt() : 0;
}

} // namespace

class TestCentral : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { testsupport::requirePrivateNetwork(); }

    void faults_data() { addRows(centralCases); }
    void faults()
    {
        const CentralCase &test = fetchRow(centralCases);
        QTemporaryDir dir;
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
        testsupport::PgServer server;
        QVERIFY(server.started());
        server.sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + database);

        QString user = QStringLiteral("admin");
        const QString passwords = dir.filePath(QStringLiteral("pgpass"));
        const auto writePassword = [&](const char *password) {
            QFile file(passwords);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            file.write(QByteArray("*:*:*:station:") + password + '\n');
        };
        if (test.fault == Fault::WrongPassword) {
            // As the README sets a site up: the administrator makes the table, the
            // stations' role may only insert.
            server.sql(database, QLatin1String(central::createTable));
            server.sql(database,
                       QStringLiteral("CREATE ROLE station LOGIN PASSWORD 'right'; "
                                      "GRANT INSERT ON quorvane_results TO station"));
            user = QStringLiteral("station");
            writePassword("wrong");
            qputenv("PGPASSFILE", QFile::encodeName(passwords));
        }
        if (test.fault == Fault::DownAtStart || test.fault == Fault::KillUnsent)
            QVERIFY(server.stop());

        const QString csv = dir.filePath(QStringLiteral("record.csv"));
        const QString station = QStringLiteral("line %1").arg(&test - centralCases);
        if (test.fault == Fault::AckLost) {
            const QStringList fields {resultrecord::timestamp(QDateTime::currentDateTime().addSecs(-3600)),
                                      QStringLiteral("usb"),
                                      QStringLiteral("3,2"),
                                      QString(),
                                      QStringLiteral("LBL17"),
                                      QStringLiteral("CMIIT ID:2026AB1234QP"),
                                      QStringLiteral("shown")};
            central::Line line {QStringList {QUuid::createUuid().toString(QUuid::WithoutBraces), station}
                                + fields};
            central::Outbox outbox;
            QString why;
            QVERIFY2(outbox.open(central::outboxFolder(), station, &why) && outbox.append(&line, &why),
                     qPrintable(why));
            QFile record(csv);
            QVERIFY(record.open(QIODevice::WriteOnly));
            record.write(resultrecord::header + QByteArray("\r\n") + resultrecord::line(fields));
            server.sql(database, QLatin1String(central::createTable));
            server.sql(database,
                       QStringLiteral("INSERT INTO quorvane_results VALUES ('%1')")
                           .arg(line.values.join(QStringLiteral("', '"))));
        }
        const QStringList arguments {QStringLiteral("--record"),    csv,
                                     QStringLiteral("--record-to"), server.uri(user, database),
                                     QStringLiteral("--station"),   station};
        const QString screenLog = dir.filePath(QStringLiteral("screen.log"));
        auto run = startRun(QLatin1String(test.devices), arguments, screenLog);
        const auto lines = [&](int count) {
            return testsupport::waitFor([&] { return csvLines(csv).size() >= count; }, 180000);
        };
        const auto said = [&](const char *words) {
            return testsupport::waitFor([&] { return run->read("err").contains(words); }, deliveryMs);
        };

        switch (test.fault) {
        case Fault::None:
            break;
        case Fault::AckLost:
            QVERIFY(lines(test.atLine));
            break;
        case Fault::DownAtStart:
            QVERIFY(lines(test.atLine));
            QVERIFY2(said("No such file or directory"), run->read("err").constData());
            QVERIFY(server.start());
            break;
        case Fault::StopMidRun:
            QVERIFY(lines(test.atLine));
            QVERIFY(testsupport::waitFor([&] { return tableCount(server) >= test.atLine; }, deliveryMs));
            QVERIFY(server.stop());
            QVERIFY(lines(test.thenLine));
            QVERIFY(server.start());
            break;
        case Fault::WrongPassword:
            QVERIFY(lines(test.atLine));
            QVERIFY2(said("password authentication failed for user \"station\""),
                     run->read("err").constData());
            writePassword("right");
            break;
        case Fault::KillUnsent: {
            QVERIFY(lines(test.atLine));
            const pid_t tool = toolOf(run->process);
            QVERIFY(tool > 0);
            QCOMPARE(::kill(tool, SIGKILL), 0);
            QVERIFY(run->process.waitForFinished(20000));
            QVERIFY(server.start());
            // Started again, the tool sends what the killed one left, then what it finds.
            const int before = csvLines(csv).size();
            run = startRun(QStringLiteral("--at9527 --quit-after 180"), arguments, screenLog);
            QVERIFY(lines(before + 1));
            break;
        }
        }
        if (test.fault != Fault::KillUnsent && test.fault != Fault::AckLost)
            QVERIFY(
                testsupport::waitFor([&] { return run->read("out").contains("all stages done"); }, 240000));
        QVERIFY2(testsupport::waitFor([&] { return tableCount(server) == csvLines(csv).size(); }, deliveryMs),
                 run->read("err").right(3000).constData());
        // Every outage is said once, and its end after the lines are in.
        const auto shown = [&] {
            QFile log(screenLog);
            return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
        };
        QVERIFY2(test.outages == 0 || testsupport::waitFor([&] { return shown().contains(caughtUp); }, 10000),
                 "not caught up");
        run->stop();
        QCOMPARE(shown().count(unreachable), test.outages);
        const QStringList expected = csvLines(csv);
        QVERIFY(expected.size() >= 2);
        QCOMPARE(tableLines(server, station), expected);
        QCOMPARE(tableCount(server), expected.size());
        qunsetenv("PGPASSFILE");
    }

    // Three stations start while the server is down, and send into one table at once.
    void threeStations()
    {
        QTemporaryDir dir;
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
        testsupport::PgServer server;
        QVERIFY(server.started());
        server.sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + database);
        QVERIFY(server.stop());
        std::vector<std::unique_ptr<testsupport::Run>> runs;
        for (int station = 0; station < 3; ++station) {
            // Ports of their own: the serial lock files of this namespace are shared.
            const QString devices =
                QStringLiteral("--serial 0 --port-name COM4%1 --licence SR-2026-0415-11873%1CN "
                               "--licence SR-2026-0415-22873%1CN --quit-after 200")
                    .arg(station);
            const QString csv = dir.filePath(QStringLiteral("%1.csv").arg(station));
            runs.push_back(std::make_unique<testsupport::Run>(
                devices,
                QStringList {QStringLiteral("--record"), csv, QStringLiteral("--record-to"),
                             server.uri(QStringLiteral("admin"), database), QStringLiteral("--station"),
                             QStringLiteral("station %1").arg(station)}));
        }
        const auto csvOf = [&](int station) {
            return csvLines(dir.filePath(QStringLiteral("%1.csv").arg(station)));
        };
        QVERIFY(testsupport::waitFor(
            [&] { return csvOf(0).size() == 2 && csvOf(1).size() == 2 && csvOf(2).size() == 2; }, 120000));
        QVERIFY(server.start());
        QVERIFY(testsupport::waitFor([&] { return tableCount(server) == 6; }, deliveryMs));
        for (int station = 0; station < 3; ++station)
            QCOMPARE(tableLines(server, QStringLiteral("station %1").arg(station)), csvOf(station));
        QCOMPARE(tableCount(server), 6);
    }
};

QTEST_GUILESS_MAIN(TestCentral)
#include "tst_central.moc"
