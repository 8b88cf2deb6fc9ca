// The soak's verdict: a run's screen log and samples, its summary and PASS or FAIL.
#include "soak/verdict.h"
#include "tests/support/tablerows.h"

#include <QtTest>

#include <iterator>

using namespace testsupport;

namespace {

// The window's own start (its form's placeholder text, then emptied), before any plug.
#define WINDOW_STARTS \
    "screen 10 text label_show \n" \
    "screen 10 text label TextLabel\n" \
    "screen 10 clear label_show\n" \
    "screen 10 clear label\n"
#define USB_PLUGGED "[devsim    1.9 s] stage 1-usb expects :/qjpg/res/LBL17.png CMIIT ID:2026AB1234QP\n"
#define USB_SHOWN \
    "screen 200 picture :/qjpg/res/LBL17.png\n" \
    "screen 200 text label CMIIT ID:2026AB1234QP\n" \
    "[devsim    3.3 s] stage 1-usb served\n"
#define SERIAL_PLUGGED \
    "[devsim    3.3 s] stage 1-serial-kind1 expects :/qjpg/res/LBL03.jpg SR-2026-0415-118735CN\n"

// Samples at the start, in the warm-up, at its end and at the end.
constexpr soak::Sample steady[] = {
    {5, 1, 30000, 15, 3}, {150, 50, 32000, 17, 3}, {300, 100, 33000, 16, 2}, {600, 200, 33400, 15, 3}};

struct VerdictCase
{
    const char *tag;
    const char *screenLog;
    soak::Sample samples[4];
    bool stopped; // by its limit
    bool pass;
    const char *says; // lines of the summary
};

constexpr VerdictCase verdictCases[] = {
    {"all answered; the plug the stop cut short is not counted",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN SERIAL_PLUGGED
     "screen 300 picture :/qjpg/res/LBL03.jpg\n"
     "screen 300 text label SR-2026-0415-118735CN\n"
     "screen 400 text label SR-2026-0415-118735CN\n"
     "[devsim    4.9 s] stage 1-serial-kind1 served\n"
     "[devsim    4.9 s] stage 1-net-192.168.0.1 expects :/qjpg/res/LBL16.png 700101-2024-CN-000147\n",
     {steady[0], steady[1], steady[2], steady[3]},
     true,
     true,
     "plugs: 2 (2 served)\n"
     "answered with the right label: 2 of 2\n"
     "wrong picture or text shown: 0\n"
     "status messages: 0\n"
     "labels cleared: 0\n"
     "samples: 4, every 5 s\n"
     "resident memory: 30000 KiB first, 33000 KiB after 100 plugs, 33400 KiB last: growth 400 KiB after the "
     "warm-up (samples after it 33000 to 33400 KiB)\n"
     "open descriptors: 15 first, at most 17 in the first 100 plugs; after them 15 to 16 (15 in 1 of 2 "
     "samples); "
     "15 last\n"
     "threads: 2 to 3, 3 last\n"
     "the tool ran until the simulator stopped it\n"},
    {"the previous device's picture with the new text",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN SERIAL_PLUGGED "screen 300 text label SR-2026-0415-118735CN\n",
     {steady[0], steady[1], steady[2], steady[3]},
     false,
     false,
     "answered with the right label: 1 of 2 (not: 2)\n"
     "wrong picture or text shown: 1\n"
     "  plug 2: :/qjpg/res/LBL17.png SR-2026-0415-118735CN\n"},
    {"a status message, and the labels cleared with it",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN "screen 300 message 读取失败\n"
                                         "screen 300 clear label_show\n"
                                         "screen 300 clear label\n",
     {steady[0], steady[1], steady[2], steady[3]},
     false,
     false,
     "status messages: 1\n"
     "  screen 300 message 读取失败\n"
     "labels cleared: 1\n"},
    {"memory grows by 1 MiB after the warm-up: still a pass",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN,
     {steady[0], steady[1], steady[2], {600, 200, 34024, 15, 3}},
     false,
     true,
     "growth 1024 KiB after the warm-up"},
    {"memory grows by more than 1 MiB",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN,
     {steady[0], steady[1], steady[2], {600, 200, 34025, 15, 3}},
     false,
     false,
     "growth 1025 KiB after the warm-up"},
    {"descriptors above what the warm-up needed",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN,
     {steady[0], steady[1], {300, 100, 33000, 17, 2}, {600, 200, 33000, 18, 3}},
     false,
     false,
     "at most 17 in the first 100 plugs; after them 17 to 18 (17 in 1 of 2 samples); 18 last"},
    {"too short to reach the warm-up",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN,
     {{5, 1, 30000, 15, 3}, {10, 2, 30100, 15, 3}, {15, 3, 30200, 15, 3}, {20, 3, 30200, 15, 3}},
     false,
     false,
     "30000 KiB first, n/a KiB after 100 plugs, 30200 KiB last: growth n/a KiB after the warm-up (samples "
     "after "
     "it n/a to n/a KiB)\n"},
    {"the tool ended by itself",
     WINDOW_STARTS USB_PLUGGED USB_SHOWN "[devsim   50.0 s] /build/quorvane ended (crashed)\n",
     {steady[0], steady[1], steady[2], steady[3]},
     false,
     false,
     "the tool ended by itself: [devsim   50.0 s] /build/quorvane ended (crashed)\n"},
};

} // namespace

class TestSoakVerdict : public QObject
{
    Q_OBJECT

private slots:

    void judges_data() { addRows(verdictCases); }
    void judges()
    {
        const VerdictCase &row = fetchRow(verdictCases);
        const QVector<soak::Sample> samples(std::begin(row.samples), std::end(row.samples));
        const soak::RunEnd end {601, row.stopped, 0, 420};
        const soak::Verdict verdict = soak::judge(QByteArray(row.screenLog).split('\n'), samples, end);
        QVERIFY2(verdict.summary.contains(QString::fromUtf8(row.says)), qPrintable(verdict.summary));
        QCOMPARE(verdict.pass, row.pass);
        QVERIFY(verdict.summary.endsWith(QLatin1String(row.pass ? "\nPASS\n" : "\nFAIL\n")));
    }
};

QTEST_APPLESS_MAIN(TestSoakVerdict)
#include "tst_soakverdict.moc"
