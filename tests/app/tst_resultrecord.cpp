// The record's byte work: how a field is written, the time stamp, the file's new content,
// and which results make a new line.
#include "app/resultrecord.h"

#include <QtTest>

#include <string_view>

using namespace std::literals;

namespace {

struct FieldCase
{
    const char *name;
    std::u16string_view text;
    std::u16string_view written;
};
constexpr FieldCase fieldCases[] = {
    {"plain", u"SR-2026-0415-118735CN"sv, u"SR-2026-0415-118735CN"sv},
    {"empty", u""sv, u""sv},
    {"comma", u"3,2"sv, u"\"3,2\""sv},
    {"quotes doubled", u"a\"b\""sv, u"\"a\"\"b\"\"\""sv},
    {"line break stays inside", u"AB\r\n\r\nOK"sv, u"\"AB\r\n\r\nOK\""sv},
    {"unicode line separator", u"A\u2028B"sv, u"\"A\u2028B\""sv},
    {"formula =", u"=HYPERLINK(\"x\")"sv, u"\"'=HYPERLINK(\"\"x\"\")\""sv},
    {"formula +", u"+1"sv, u"'+1"sv},
    {"formula -", u"-1"sv, u"'-1"sv},
    {"formula @", u"@SUM(A1)"sv, u"'@SUM(A1)"sv},
    {"formula tab", u"\t=1"sv, u"'\t=1"sv},
    {"formula carriage return", u"\r=1"sv, u"\"'\r=1\""sv},
    {"formula sign later is text", u"A=1"sv, u"A=1"sv},
    {"zero and escape shown", u"A\0B\x1b[31m\x7f"sv, u"A\u2400B\u241b[31m\u2421"sv},
    {"chinese", u"指令接收失败！"sv, u"指令接收失败！"sv},
};

struct TimeCase
{
    const char *name;
    int offsetSeconds;
    const char *written;
};
constexpr TimeCase timeCases[] = {
    {"east", 8 * 3600, "2026-12-07T14:03:05.012+08:00"},
    {"utc", 0, "2026-12-07T14:03:05.012+00:00"},
    {"west, half hour", -(3 * 3600 + 1800), "2026-12-07T14:03:05.012-03:30"},
};

// One step of a device's life at a slot: a result (a letter standing for its fields), or
// gone ('-'). `written` says for each step whether a line is written.
struct AppearanceCase
{
    const char *name;
    const char *steps;   // slot and result per step: "s:A" result A at slot s, "s:-" gone
    const char *written; // '1' new line, '0' none, '.' for a gone step
};
constexpr AppearanceCase appearanceCases[] = {
    {"stays with the same answer", "s:A s:A s:A", "100"},
    {"answer changes and changes back", "s:A s:B s:B s:A", "1101"},
    {"goes and comes back", "s:A s:- s:A s:A", "1.10"},
    {"failures like results", "s:F s:F s:- s:F", "10.1"},
    {"slots apart", "a:A b:A a:A b:- a:A b:A", "110.01"},
};

} // namespace

class TestResultRecord : public QObject
{
    Q_OBJECT

private slots:
    void field()
    {
        const auto string = [](std::u16string_view view) { return QString::fromUtf16(view.data(), int(view.size())); };
        for (const FieldCase &row : fieldCases) {
            const QString written = resultrecord::field(string(row.text));
            QVERIFY2(written == string(row.written), qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(row.name), written)));
        }
        // A line is one CSV record of the same fields, whatever they hold, and stays UTF-8.
        const QStringList fields{QStringLiteral("a,\"b\""), QStringLiteral("\r\n"), QString(QChar(0xfffd))};
        const QByteArray line = resultrecord::line(fields);
        QCOMPARE(line, QByteArray("\"a,\"\"b\"\"\",\"'\r\n\",\xef\xbf\xbd\r\n"));
    }

    void timestamp()
    {
        for (const TimeCase &row : timeCases) {
            const QDateTime time(QDate(2026, 12, 7), QTime(14, 3, 5, 12), Qt::OffsetFromUTC, row.offsetSeconds);
            QCOMPARE(resultrecord::timestamp(time), QString::fromLatin1(row.written));
        }
        // Local time carries the offset the system gives it.
        const QDateTime now = QDateTime::currentDateTime();
        QVERIFY(QDateTime::fromString(resultrecord::timestamp(now), Qt::ISODateWithMs).toMSecsSinceEpoch()
                == now.toMSecsSinceEpoch());
    }

    void pictureName()
    {
        QCOMPARE(resultrecord::pictureName(QStringLiteral(":/qjpg/res/LBL04.jpg")), QStringLiteral("LBL04"));
        QCOMPARE(resultrecord::pictureName(QStringLiteral(":/qjpg/res/BKG00.png")), QStringLiteral("BKG00"));
    }

    void appended()
    {
        const QByteArray header = QByteArray(resultrecord::header) + "\r\n";
        QCOMPARE(resultrecord::appended(QByteArray(), "x\r\n"), header + "x\r\n");
        QCOMPARE(resultrecord::appended(header + "x\r\n", "y\r\n"), header + "x\r\ny\r\n");
        QCOMPARE(resultrecord::appended("notes", "y\r\n"), QByteArray("notes\r\ny\r\n"));
        QCOMPARE(resultrecord::appended("notes\n", "y\r\n"), QByteArray("notes\ny\r\n"));
    }

    void appearances()
    {
        for (const AppearanceCase &row : appearanceCases) {
            resultrecord::Appearances appearances;
            const QStringList steps = QString::fromLatin1(row.steps).split(QLatin1Char(' '));
            QString written;
            for (const QString &step : steps) {
                const QString slot = step.section(QLatin1Char(':'), 0, 0);
                const QString result = step.section(QLatin1Char(':'), 1);
                if (result == QLatin1String("-")) {
                    appearances.gone(slot);
                    written += QLatin1Char('.');
                } else {
                    written += appearances.isNew(slot, {result}) ? QLatin1Char('1') : QLatin1Char('0');
                }
            }
            QVERIFY2(written == QLatin1String(row.written), row.name);
        }
    }
};

QTEST_GUILESS_MAIN(TestResultRecord)
#include "tst_resultrecord.moc"
