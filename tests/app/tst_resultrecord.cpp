// The record's pure parts: how a field is written, the time stamp, how a torn last line
// is closed, and which results make a new line.
#include "app/resultrecord.h"

#include <QtTest>

#include <string_view>

using namespace std::literals;

namespace {

struct FieldCase
{
    std::u16string_view text;
    std::u16string_view written;
};
constexpr FieldCase fieldCases[] = {
    {u"SR-2026-0415-118735CN"sv, u"SR-2026-0415-118735CN"sv},
    {u""sv, u""sv},
    {u"3,2"sv, u"\"3,2\""sv},
    {u"a\"b\""sv, u"\"a\"\"b\"\"\""sv},
    {u"AB\r\n\r\nOK"sv, u"\"AB\r\n\r\nOK\""sv},
    {u"A\u2028B"sv, u"\"A\u2028B\""sv},
    {u"=HYPERLINK(\"x\")"sv, u"\"'=HYPERLINK(\"\"x\"\")\""sv},
    {u"+1"sv, u"'+1"sv},
    {u"-1"sv, u"'-1"sv},
    {u"@SUM(A1)"sv, u"'@SUM(A1)"sv},
    {u"\t=1"sv, u"'\t=1"sv},
    {u"\r=1"sv, u"\"'\r=1\""sv},
    {u"A=1"sv, u"A=1"sv},
    {u"A\0B\x1b[31m\x7f"sv, u"A\u2400B\u241b[31m\u2421"sv},
};

struct TimeCase
{
    int offsetSeconds;
    const char *written;
};
constexpr TimeCase timeCases[] = {
    {8 * 3600, "2026-12-07T14:03:05.012+08:00"},
    {0, "2026-12-07T14:03:05.012+00:00"},
    {-(3 * 3600 + 1800), "2026-12-07T14:03:05.012-03:30"},
};

// Steps at slots: "s:A" result A at slot s, "s:-" nothing answered there. `written`: per
// step '1' a new line, '0' none, '.' for a step without a result.
struct AppearanceCase
{
    const char *steps;
    const char *written;
};
constexpr AppearanceCase appearanceCases[] = {
    {"s:A s:A s:A", "100"},                // stays with the same answer
    {"s:A s:B s:B s:A", "1101"},           // the answer changes, and changes back
    {"s:A s:- s:A s:A", "1.10"},           // goes and comes back
    {"a:A b:A a:A b:- a:A b:A", "110.01"}, // slots apart
};

// The end of a record file a crash left behind, and what closes its last line.
struct ClosingCase
{
    bool quoteOpen;
    const char *ending;
    const char *closing;
};
constexpr ClosingCase closingCases[] = {
    {false, "", ""},          // empty file
    {false, "\r\n", ""},      // whole
    {false, "01", "\r\n"},    // cut inside a field
    {false, "1\r", "\n"},     // cut inside the line end
    {true, ",\"", "\"\r\n"},  // cut right after a quote opened
    {true, "\r\n", "\"\r\n"}, // cut after a line break inside a quoted field
};

QString string(std::u16string_view view)
{
    return QString::fromUtf16(view.data(), int(view.size()));
}

} // namespace

class TestResultRecord : public QObject
{
    Q_OBJECT

private slots:
    void field()
    {
        for (const FieldCase &row : fieldCases)
            QCOMPARE(resultrecord::field(string(row.text)), string(row.written));
        QCOMPARE(resultrecord::line({QStringLiteral("a,b"), QString(QChar(0xfffd))}),
                 QByteArray("\"a,b\",\xef\xbf\xbd\r\n"));
    }

    void timestamp()
    {
        for (const TimeCase &row : timeCases) {
            const QDateTime time(QDate(2026, 12, 7), QTime(14, 3, 5, 12), Qt::OffsetFromUTC,
                                 row.offsetSeconds);
            QCOMPARE(resultrecord::timestamp(time), QString::fromLatin1(row.written));
        }
        const QDateTime now = QDateTime::currentDateTime();
        QCOMPARE(QDateTime::fromString(resultrecord::timestamp(now), Qt::ISODateWithMs), now);
    }

    void closing()
    {
        for (const ClosingCase &row : closingCases)
            QCOMPARE(resultrecord::closing(row.quoteOpen, row.ending), QByteArray(row.closing));
    }

    void appearances()
    {
        for (const AppearanceCase &row : appearanceCases) {
            resultrecord::Appearances appearances;
            QString written;
            for (const QString &step : QString::fromLatin1(row.steps).split(QLatin1Char(' '))) {
                const QString slot = step.section(QLatin1Char(':'), 0, 0);
                const QString result = step.section(QLatin1Char(':'), 1);
                if (result == QLatin1String("-"))
                    appearances.gone(slot);
                written += result == QLatin1String("-") ? QLatin1Char('.')
                    : appearances.isNew(slot, {result}) ? QLatin1Char('1')
                                                        : QLatin1Char('0');
            }
            QCOMPARE(written, QString::fromLatin1(row.written));
        }
    }
};

QTEST_GUILESS_MAIN(TestResultRecord)
#include "tst_resultrecord.moc"
