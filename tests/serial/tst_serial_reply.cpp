// The byte work of the AT dialogue as pure functions: IMEI search, model table, licence
// cut and the bounded continuation. Their properties over any bytes are checked by the
// fuzz targets in fuzz/ (serial_*).
#include "serial/serialreply.h"

#include <QtTest>

using namespace serialreply;

class TestSerialReply : public QObject
{
    Q_OBJECT

private slots:
    void extractImei_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("imei");
        QTest::newRow("MRD_IMEI reply") << "\r\n*MRD_IMEI:990001011234567\r\n\r\nOK\r\n" << "990001011234567";
        QTest::newRow("quoted EGMR reply") << "+EGMR: \"860123456789012\"\r\nOK" << "860123456789012";
        QTest::newRow("exactly the text") << "123456789012345" << "123456789012345";
        QTest::newRow("shorter runs before") << "12 1234567 990001011234567" << "990001011234567";
        QTest::newRow("16 digits are no IMEI") << "9900010112345678" << "";
        QTest::newRow("16 digits, then 15") << "9900010112345678,990001021234567" << "990001021234567";
        QTest::newRow("14 digits") << "99000101123456" << "";
        QTest::newRow("two IMEIs: the first") << "111111111111111 222222222222222" << "111111111111111";
        QTest::newRow("none") << "\r\nERROR\r\n" << "";
        QTest::newRow("empty") << "" << "";
    }
    void extractImei()
    {
        QFETCH(QString, text);
        QFETCH(QString, imei);
        QCOMPARE(::extractImei(text), imei);
    }

    // The first row of the table wins, whatever order the TACs have in the reply; rows
    // 9 to 12 set modelVariant, the others leave it alone.
    void findSerialModel_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("picture"); // empty: no model
        QTest::addColumn<int>("modelVariant");
        const char *pictures[] = {"LBL01.jpg", "LBL02.jpg", "LBL03.jpg", "LBL04.jpg", "LBL05.jpg",
                                  "LBL06.jpg", "LBL07.jpg", "LBL08.jpg", "LBL09.png", "LBL10.jpg",
                                  "LBL11.png", "LBL12.png", "LBL14.png"};
        const int keep = keepModelVariant;
        const int variants[] = {keep, keep, keep, keep, keep, keep, keep, keep, 2, 1, 2, 2, keep};
        for (int row = 1; row <= 13; ++row) {
            const QByteArray tac = "990001" + QByteArray::number(row).rightJustified(2, '0');
            QTest::addRow("row %d", row) << "\r\n*MRD_IMEI:" + tac + "0900001\r\n\r\nOK\r\n"
                                         << QStringLiteral(":/qjpg/res/") + pictures[row - 1] << variants[row - 1];
        }
        QTest::newRow("table order, not reply order")
            << QByteArray("990001131234567,990001021234567") << ":/qjpg/res/LBL02.jpg" << keepModelVariant;
        QTest::newRow("TAC inside a longer run") << QByteArray("SN 7799000111888") << ":/qjpg/res/LBL11.png" << 2;
        QTest::newRow("row 12 above 300315") << QByteArray("990001120300316") << ":/qjpg/res/LBL12.png" << 2;
        QTest::newRow("row 12 at 300315") << QByteArray("990001120300315") << ":/qjpg/res/LBL13.png" << 2;
        QTest::newRow("row 12 without a 15-digit run") << QByteArray("99000112 0300316") << ":/qjpg/res/LBL13.png" << 2;
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

    void cutLicenceText_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("marker");
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("text");
        QTest::newRow("21 bytes behind KESET")
            << QByteArray("\r\n+KESET: 26,ABCDEFGHIJKLMNOPQRSTUVWXYZ\r\n") << QByteArray("+KESET: 26,") << 11
            << true << "ABCDEFGHIJKLMNOPQRSTU";
        QTest::newRow("short field carries the line ends")
            << QByteArray("+KESET: 26,AB\r\n\r\nOK\r\n") << QByteArray("+KESET: 26,") << 11 << true
            << "AB\r\n\r\nOK\r\n";
        QTest::newRow("empty field") << QByteArray("+KESET: 26,\r\n\r\nOK\r\n") << QByteArray("+KESET: 26,")
                                     << 11 << true << "\r\n\r\nOK\r\n";
        QTest::newRow("zero byte") << QByteArray("2010,AB\0CD", 10) << QByteArray("2010,") << 5 << true << "AB";
        QTest::newRow("offset past the marker") << QByteArray("MRD_SN: XYZ") << QByteArray("MRD_SN:") << 8
                                                << true << "XYZ";
        QTest::newRow("marker at the end") << QByteArray("...MRD_SN:") << QByteArray("MRD_SN:") << 8 << true << "";
        QTest::newRow("first marker") << QByteArray("2010,AAA 2010,BBB") << QByteArray("2010,") << 5 << true
                                      << "AAA 2010,BBB";
        QTest::newRow("no marker") << QByteArray("+KESET: 25,ABCDEFGHIJKLMNOPQRSTU") << QByteArray("+KESET: 26,")
                                   << 11 << false << "";
        QTest::newRow("marker case matters") << QByteArray("at+ncsn?    ABC") << QByteArray("AT+NCSN?") << 12
                                             << false << "";
    }
    void cutLicenceText()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, marker);
        QFETCH(int, offset);
        QFETCH(bool, found);
        QFETCH(QString, text);
        const std::optional<QString> cut = ::cutLicenceText(reply, marker, offset);
        QCOMPARE(cut.has_value(), found);
        if (cut)
            QCOMPARE(*cut, text);
    }

    void continuation_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("goOn");
        QTest::newRow("text") << QByteArray("A") << QByteArray("BC") << QByteArray("ABC") << true;
        QTest::newRow("nothing read") << QByteArray("A") << QByteArray() << QByteArray("A") << false;
        QTest::newRow("zero byte first") << QByteArray("A") << QByteArray("\0BC", 3) << QByteArray("A") << false;
        QTest::newRow("up to the zero byte") << QByteArray("A") << QByteArray("B\0C", 3) << QByteArray("AB") << true;
        QTest::newRow("invalid UTF-8 becomes U+FFFD")
            << QByteArray("A") << QByteArray("\xff") << QByteArray("A\xef\xbf\xbd") << true;
        QTest::newRow("fills up to the limit")
            << QByteArray(licencetext::replyLimitBytes - 2, 'x') << QByteArray("abcd")
            << QByteArray(licencetext::replyLimitBytes - 2, 'x') + "ab" << false;
        QTest::newRow("full reply takes nothing")
            << QByteArray(licencetext::replyLimitBytes, 'x') << QByteArray("abcd") << QByteArray(licencetext::replyLimitBytes, 'x')
            << false;
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
