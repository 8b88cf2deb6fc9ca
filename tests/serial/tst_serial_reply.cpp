// The byte work of the AT dialogue as pure functions: IMEI search, model table, licence
// cut and the bounded continuation. Their properties over any bytes are checked by the
// fuzz targets in fuzz/ (serial_*).
#include "serial/serialreply.h"
#include "tests/support/tablerows.h"

using namespace serialreply;
using namespace std::literals;
using namespace testsupport;

namespace {
constexpr TextCase imeiCases[] = {
    {"MRD_IMEI reply", "\r\n*MRD_IMEI:990001011234567\r\n\r\nOK\r\n", "990001011234567"},
    {"quoted EGMR reply", "+EGMR: \"860123456789012\"\r\nOK", "860123456789012"},
    {"exactly the text", "123456789012345", "123456789012345"},
    {"shorter runs before", "12 1234567 990001011234567", "990001011234567"},
    {"16 digits are no IMEI", "9900010112345678", ""},
    {"16 digits, then 15", "9900010112345678,990001021234567", "990001021234567"},
    {"14 digits", "99000101123456", ""},
    {"two IMEIs: the first", "111111111111111 222222222222222", "111111111111111"},
    {"none", "\r\nERROR\r\n", ""},
    {"empty", "", ""},
};

constexpr struct
{
    const char *tag;
    std::string_view reply;
    const char *marker;
    int offset;
    const char *text; // null: no marker, nothing cut
} cutCases[] = {
    {"21 bytes behind KESET", "\r\n+KESET: 26,ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n", "+KESET: 26,", 11,
     "ABCDEFGHIJKLMNOPQRSTU"},
    {"short field carries the line ends", "+KESET: 26,AB\r\n\r\nOK\r\n", "+KESET: 26,", 11,
     "AB\r\n\r\nOK\r\n"},
    {"empty field", "+KESET: 26,\r\n\r\nOK\r\n", "+KESET: 26,", 11, "\r\n\r\nOK\r\n"},
    {"zero byte", "2010,AB\0CD"sv, "2010,", 5, "AB"},
    {"offset past the marker", "MRD_SN: XYZ", "MRD_SN:", 8, "XYZ"},
    {"marker at the end", "...MRD_SN:", "MRD_SN:", 8, ""},
    {"first marker", "2010,AAA 2010,BBB", "2010,", 5, "AAA 2010,BBB"},
    {"no marker", "+KESET: 25,ABCDEFGHIJKLMNOPQRSTU", "+KESET: 26,", 11, nullptr},
    {"marker case matters", "at+ncsn?    ABC", "AT+NCSN?", 12, nullptr},
};
} // namespace

class TestSerialReply : public QObject
{
    Q_OBJECT

private slots:
    void extractImei_data() { addRows(imeiCases); }
    void extractImei() { checkRow(imeiCases, ::extractImei); }

    // The first row of the table wins, whatever order the TACs have in the reply; rows
    // 9 to 12 set modelVariant, the others leave it alone.
    void findSerialModel_data()
    {
        // picture: empty for no model
        addColumns<QByteArray, QString, int>("reply", "picture", "modelVariant");
        const char *pictures[] = {"LBL01.jpg", "LBL02.jpg", "LBL03.jpg", "LBL04.jpg", "LBL05.jpg",
                                  "LBL06.jpg", "LBL07.jpg", "LBL08.jpg", "LBL09.png", "LBL10.jpg",
                                  "LBL11.png", "LBL12.png", "LBL14.png"};
        const int keep = keepModelVariant;
        const int variants[] = {keep, keep, keep, keep, keep, keep, keep, keep, 2, 1, 2, 2, keep};
        for (int row = 1; row <= 13; ++row) {
            const QByteArray tac = "990001" + QByteArray::number(row).rightJustified(2, '0');
            QTest::addRow("row %d", row)
                << "\r\n*MRD_IMEI:" + tac + "0900001\r\n\r\nOK\r\n"
                << QStringLiteral(":/qjpg/res/") + pictures[row - 1] << variants[row - 1];
        }
        QTest::newRow("table order, not reply order")
            << QByteArray("990001131234567,990001021234567") << ":/qjpg/res/LBL02.jpg" << keepModelVariant;
        QTest::newRow("TAC inside a longer run")
            << QByteArray("SN 7799000111888") << ":/qjpg/res/LBL11.png" << 2;
        QTest::newRow("row 12 above 300315") << QByteArray("990001120300316") << ":/qjpg/res/LBL12.png" << 2;
        QTest::newRow("row 12 at 300315") << QByteArray("990001120300315") << ":/qjpg/res/LBL13.png" << 2;
        QTest::newRow("row 12 without a 15-digit run")
            << QByteArray("99000112 0300316") << ":/qjpg/res/LBL13.png" << 2;
        QTest::newRow("row 12: first 15-digit run decides")
            << QByteArray("1234567890123456 990001120999999 990001120000001") << ":/qjpg/res/LBL12.png" << 2;
        QTest::newRow("unknown") << QByteArray("860001011234567") << "" << 0;
        QTest::newRow("part of a TAC") << QByteArray("9900010") << "" << 0;
    }
    void findSerialModel()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, picture);
        QFETCH(int, modelVariant);
        const std::optional<SerialModel> model = ::findSerialModel(reply);
        QCOMPARE(model.has_value(), !picture.isEmpty());
        if (model) {
            QCOMPARE(model->picture, picture);
            QCOMPARE(model->modelVariant, modelVariant);
        }
    }

    void cutLicenceText_data() { addRows(cutCases); }
    void cutLicenceText()
    {
        const auto &row = fetchRow(cutCases);
        const std::optional<QString> cut = ::cutLicenceText(bytesOf(row.reply), row.marker, row.offset);
        QCOMPARE(cut.has_value(), row.text != nullptr);
        if (cut)
            QCOMPARE(*cut, QString::fromUtf8(row.text));
    }

    void continuation_data()
    {
        addColumns<QByteArray, QByteArray, QByteArray, bool>("reply", "read", "after", "goOn");
        QTest::newRow("text") << QByteArray("A") << QByteArray("BC") << QByteArray("ABC") << true;
        QTest::newRow("nothing read") << QByteArray("A") << QByteArray() << QByteArray("A") << false;
        QTest::newRow("zero byte first")
            << QByteArray("A") << QByteArray("\0BC", 3) << QByteArray("A") << false;
        QTest::newRow("up to the zero byte")
            << QByteArray("A") << QByteArray("B\0C", 3) << QByteArray("AB") << true;
        QTest::newRow("invalid UTF-8 becomes U+FFFD")
            << QByteArray("A") << QByteArray("\xff") << QByteArray("A\xef\xbf\xbd") << true;
        QTest::newRow("fills up to the limit")
            << QByteArray(licencetext::replyLimitBytes - 2, 'x') << QByteArray("abcd")
            << QByteArray(licencetext::replyLimitBytes - 2, 'x') + "ab" << false;
        QTest::newRow("full reply takes nothing")
            << QByteArray(licencetext::replyLimitBytes, 'x') << QByteArray("abcd")
            << QByteArray(licencetext::replyLimitBytes, 'x') << false;
    }
    void continuation()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, after);
        QFETCH(bool, goOn);
        QCOMPARE(appendContinuationRead(reply, read), goOn);
        QCOMPARE(reply, after);
    }
};

QTEST_APPLESS_MAIN(TestSerialReply)
#include "tst_serial_reply.moc"
