// The operator's record, through the real tool under the device simulator: the command
// line, and what the record file holds after devices came, stayed, changed their answer,
// went and came back, failed, or sent hostile bytes.
#include "tests/support/isolation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <iterator>

namespace {

// The tool's command line. Each runs under the simulator (so that a tool that wrongly
// went on would find only emulated devices) and must end by itself at once.
struct CommandLineCase
{
    const char *name;
    const char *arguments; // split at blanks; DIR is a folder, FILE a file in it
    int exitCode;
    const char *says;      // on stdout for exit code 0, on stderr otherwise
};
constexpr CommandLineCase commandLineCases[] = {
    {"help", "--help", 0, "--record <FILE>"},
    {"version", "--version", 0, "quorvane 1.10"},
    {"unknown option", "--bogus", 2, "Unknown option 'bogus'"},
    {"missing file name", "--record", 2, "Missing value after '--record'"},
    {"directory", "--record DIR", 2, "is a directory"},
    {"device node", "--record /dev/null", 2, "is not a regular file"},
    {"twice", "--record FILE --record FILE", 2, "more than once"},
    {"stray argument", "FILE", 2, "unexpected argument"},
};

// A run of the tool with --record: the simulator's devices, how long it runs, what the
// file held before, and the lines (without their time) it must hold after. A field that
// ends in '*' is matched by its start.
struct RecordCase
{
    const char *name;
    const char *devices;     // simulator options, split at blanks
    int seconds;
    const char *before;      // the file's content before the run; null: its folder is missing
                             // until the tool has said it cannot write
    const char *lines[4];
};
constexpr RecordCase recordCases[] = {
    // The first answer: a formula start, a comma, quotes, a line break and invalid UTF-8.
    {"serial answer changes once, hostile bytes",
     "--serial 0 --licence-hex 3d312b322c2271220d0a5afffe4142434445464748 --licence-hex 53522d323032362d303431352d313138373335434e", 6, "",
     {"serial,COM5 (USB Serial Device),990001011234567,LBL01,\"'=1+2,\"\"q\"\"\r\nZ\xef\xbf\xbd\xef\xbf\xbd" "ABCDEFGH\",shown",
      "serial,COM5 (USB Serial Device),990001011234567,LBL01,SR-2026-0415-118735CN,shown"}},
    {"network device goes and comes back, folder missing at first",
     "--at9527 --unplug-after 5 --replug-after 2", 16, nullptr,
     {"tcp,192.168.0.1:9527,700101,LBL16,700101-2024-CN-000147,shown",
      "tcp,192.168.0.1:9527,700101,LBL16,700101-2024-CN-000147,shown"}},
    {"serial failure recorded once, earlier lines kept",
     "--serial 0 --fault error", 5, "time,transport,where,identity,picture,licence,outcome\r\nearlier\r\n",
     {"earlier", "serial,COM5 (USB Serial Device),990001011234567,,,指令接收失败！"}},
    {"usb formula start",
     "--usb --usb-after 1 --licence @SUM(1+1)*cmd|'/C'!A0", 5, "",
     {"usb,\"3,2\",,LBL17,'@SUM(1+1)*cmd|'/C'!A0,shown"}},
    {"network key with a formula start",
     "--shell 192.168.2.1 --licence =HYPERLINK(\"x\",1)ABCD", 14, "",
     {"tcp,192.168.2.1:3762,'=HYPER,,,(tcp)不支持此机型！"}},
};

QStringList split(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// RFC 4180: the records of a CSV text, each a list of its fields.
QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    const auto next = [&text](int i) { return i + 1 < text.size() ? text.at(i + 1) : QChar(); };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && next(i) == QLatin1Char('"'))
                field += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && next(i) == QLatin1Char('\n')) {
            records << (fields << field);
            fields.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

// The simulator running the tool with `toolArguments`, until it ends or `seconds` pass.
struct SimulatorRun
{
    QProcess process;

    SimulatorRun(const QStringList &devices, int seconds, const QStringList &toolArguments)
    {
        process.start(QStringLiteral(QUORVANE_DEVSIM),
                      devices + QStringList{QStringLiteral("--quit-after"), QString::number(seconds), QStringLiteral("--"),
                                            QStringLiteral(QUORVANE_PROGRAM)} + toolArguments);
    }
    ~SimulatorRun()
    {
        process.kill();
        process.waitForFinished();
    }
};

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    void commandLine()
    {
        QTemporaryDir dir;
        for (const CommandLineCase &row : commandLineCases) {
            QStringList arguments = split(row.arguments);
            arguments.replaceInStrings(QStringLiteral("FILE"), dir.filePath(QStringLiteral("record.csv")));
            arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
            SimulatorRun run({QStringLiteral("--at9527")}, 30, arguments);
            // Ended by itself, long before the simulator would stop it.
            QVERIFY2(run.process.waitForFinished(20000), row.name);
            const QByteArray out = row.exitCode == 0 ? run.process.readAllStandardOutput()
                                                     : run.process.readAllStandardError();
            QVERIFY2(run.process.exitCode() == row.exitCode && out.contains(row.says),
                     qPrintable(QStringLiteral("%1: exit %2\n%3").arg(QLatin1String(row.name))
                                    .arg(run.process.exitCode()).arg(QString::fromUtf8(out))));
            QVERIFY2(!QFile::exists(dir.filePath(QStringLiteral("record.csv"))), row.name);
        }
    }

    void record_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(recordCases)); ++row)
            QTest::newRow(recordCases[row].name) << row;
    }
    void record()
    {
        QFETCH(int, row);
        const RecordCase &test = recordCases[row];
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("records"));
        const QString path = folder + QStringLiteral("/record.csv");
        if (test.before) {
            QVERIFY(QDir().mkpath(folder));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(test.before);
        }

        SimulatorRun run(split(test.devices), test.seconds, {QStringLiteral("--record"), path});
        QByteArray log;
        if (!test.before) {
            // The tool goes on when it cannot write, and writes what waited once it can.
            QVERIFY(QTest::qWaitFor([&] {
                log += run.process.readAllStandardError();
                return log.contains("record not written to");
            }, test.seconds * 1000));
            QVERIFY(QDir().mkpath(folder));
        }
        QVERIFY(run.process.waitForFinished(test.seconds * 1000 + 20000));
        log += run.process.readAllStandardError();

        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), log.constData());
        const QByteArray content = file.readAll();
        QTextCodec::ConverterState state;
        const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(content.constData(), content.size(), &state);
        QCOMPARE(state.invalidChars, 0);
        QVERIFY2(content.endsWith("\r\n"), content.constData());

        const QList<QStringList> records = parseCsv(text);
        QStringList expected;
        for (const char *line : test.lines) {
            if (line)
                expected << QString::fromUtf8(line);
        }
        QVERIFY2(records.size() == expected.size() + 1, qPrintable(text));
        QCOMPARE(records.first().join(QLatin1Char(',')), QStringLiteral("time,transport,where,identity,picture,licence,outcome"));
        const QRegularExpression time(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));
        for (int i = 0; i < expected.size(); ++i) {
            const QStringList &fields = records.at(i + 1);
            const QList<QStringList> wanted = parseCsv(expected.at(i) + QStringLiteral("\r\n"));
            if (wanted.first().size() == 1) { // a line of the earlier content, kept as it was
                QCOMPARE(fields, wanted.first());
                continue;
            }
            QVERIFY2(fields.size() == 7, content.constData());
            QVERIFY2(time.match(fields.first()).hasMatch(), qPrintable(fields.first()));
            for (int f = 0; f < wanted.first().size(); ++f) {
                const QString &field = fields.at(f + 1);
                QString want = wanted.first().at(f);
                const bool prefix = want.endsWith(QLatin1Char('*'));
                if (prefix)
                    want.chop(1);
                QVERIFY2(prefix ? field.startsWith(want) : field == want,
                         qPrintable(QStringLiteral("line %1 field %2: %3\n%4").arg(i + 1).arg(f + 1).arg(field, text)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "tst_record.moc"
