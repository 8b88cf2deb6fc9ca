// What the network dialogues read out of device replies: tables of real-looking replies.
// Their properties over any bytes are checked by the fuzz targets in fuzz/ (tcp_*).
#include "net/tcpreply.h"
#include "tests/support/tablerows.h"

using namespace std::literals;
using namespace testsupport;

namespace {
constexpr char lbl15[] = ":/qjpg/res/LBL15.png";
constexpr char lbl16[] = ":/qjpg/res/LBL16.png";

constexpr TextCase upToZeroCases[] = {
    {"plain", "\r\nOK\r\n", "\r\nOK\r\n"},
    {"cut at a zero byte",
     "7001\0"
     "01-tail"sv,
     "7001"},
    {"zero byte first", "\0OK"sv, ""},
    {"utf-8", "许可证,700101", "许可证,700101"},
    {"empty", "", ""},
};

constexpr TextCase lastCommaFieldCases[] = {
    {"record", "\r\n*MRD_SN:1,SN5G2406150031,866012012345678,700101-2024-CN-000147\r\n\r\nOK\r\n",
     "700101-2024-CN-000147\r\n\r\nOK\r\n"},
    {"no comma", "700102X\r\nOK\r\n", "700102X\r\nOK\r\n"},
    {"comma last", "*MRD_SN:1,700101,", ""},
    {"empty parts kept", "a,,", ""},
    {"empty", "", ""},
    {"full-width comma is no comma", "a，700101", "a，700101"},
};

constexpr TextCase netCertValueCases[] = {
    {"shell output",
     "cat /mnt/RT2860_default_vlan\r\nDefault\r\nWanVlanId=0\r\n"
     "net_cert=700102-2023-CN-004711\r\nVlanEnable=0\r\n# ",
     "700102-2023-CN-004711\r\nVlanEnable=0\r\n# "},
    {"any one character skipped", "net_cert\t700101", "700101"},
    {"two characters shift", "net_cert: 700101", " 700101"},
    {"first marker", "net_cert=700102\nnet_cert=700101", "700102\nnet_cert=700101"},
    {"no marker starts at 8", "12345678700101xyz", "700101xyz"},
    {"no marker, echo first", "cat /mnt/RT2860_default_vlan", "/RT2860_default_vlan"},
    {"marker is case-sensitive", "NET_CERT=700101", "=700101"},
    {"marker at the end", "x net_cert", ""},
    {"one character behind the marker", "net_cert=", ""},
    {"empty", "", ""},
};

constexpr TextCase shownTextCases[] = {
    {"exactly 21", "700101-2024-CN-000147\r\nOK", "700101-2024-CN-000147"},
    {"short keeps line ends and OK", "700101-A1\r\n\r\nOK\r\n", "700101-A1\r\n\r\nOK\r\n"},
    {"short, then cut", "700101-A1\r\n\r\nOK\r\n# more", "700101-A1\r\n\r\nOK\r\n# mo"},
    {"characters, not bytes", "700101许可证许可证许可证许可证许可证许可证",
     "700101许可证许可证许可证许可证许可证"},
    {"empty", "", ""},
};

// The picture for a value at port 9527, and at port 3762 with tcpVariant 0 and 1 (none: "").
constexpr struct
{
    const char *tag;
    const char *value;
    const char *at9527;
    const char *at3762v0;
    const char *at3762v1;
} keysCases[] = {
    {"700101", "700101-2024", lbl16, lbl15, lbl16},
    {"700102", "700102-2024", lbl15, lbl15, lbl15},
    {"key alone", "700101", lbl16, lbl15, lbl16},
    {"other key", "700103-2024", "", "", ""},
    {"five characters", "70010", "", "", ""},
    {"not at the start", " 700101", "", "", ""},
    {"empty", "", "", "", ""},
};
} // namespace

class TestTcpReply : public QObject
{
    Q_OBJECT

private slots:
    void upToZero_data() { addRows(upToZeroCases); }
    void upToZero() { checkRow(upToZeroCases, licencetext::upToZero); }

    void acknowledges_data()
    {
        addColumns<QString, bool>("reply", "ok");
        QTest::newRow("OK line") << QStringLiteral("AT*PROD=1\r\r\n\r\nOK\r\n") << true;
        QTest::newRow("inside a word") << QStringLiteral("\r\nBOOKED\r\n") << true;
        QTest::newRow("lower case") << QStringLiteral("\r\nok\r\n") << false;
        QTest::newRow("ERROR") << QStringLiteral("\r\nERROR\r\n") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void acknowledges()
    {
        QFETCH(QString, reply);
        QFETCH(bool, ok);
        QCOMPARE(tcpreply::acknowledges(reply), ok);
    }

    void lastCommaField_data() { addRows(lastCommaFieldCases); }
    void lastCommaField() { checkRow(lastCommaFieldCases, tcpreply::lastCommaField); }

    void netCertValue_data() { addRows(netCertValueCases); }
    void netCertValue() { checkRow(netCertValueCases, tcpreply::netCertValue); }

    void shownText_data() { addRows(shownTextCases); }
    void shownText() { checkRow(shownTextCases, tcpreply::shownText); }

    void keys_data() { addRows(keysCases); }
    void keys()
    {
        const auto &row = fetchRow(keysCases);
        const QString value = QString::fromUtf8(row.value);
        QCOMPARE(tcpreply::picture9527(value), QLatin1String(row.at9527));
        QCOMPARE(tcpreply::picture3762(value, 0), QLatin1String(row.at3762v0));
        QCOMPARE(tcpreply::picture3762(value, 1), QLatin1String(row.at3762v1));
        // Any variant other than 0 is the second address.
        QCOMPARE(tcpreply::picture3762(value, 7), QLatin1String(row.at3762v1));
        QCOMPARE(tcpreply::picture3762(value, -1), QLatin1String(row.at3762v1));
    }
};

QTEST_APPLESS_MAIN(TestTcpReply)
#include "tst_tcpreply.moc"
