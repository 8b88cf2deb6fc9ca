// What the network dialogues read out of device replies: tables of real-looking replies.
// Their properties over any bytes are checked by the fuzz targets in fuzz/ (tcp_*).
#include "net/tcpreply.h"

#include <QtTest>

namespace {
const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
const QString lbl16 = QStringLiteral(":/qjpg/res/LBL16.png");
const QString none;

const QByteArray snReply = "\r\n*MRD_SN:1,SN5G2406150031,866012012345678,700101-2024-CN-000147\r\n\r\nOK\r\n";
const QByteArray shellReply = "cat /mnt/RT2860_default_vlan\r\nDefault\r\nWanVlanId=0\r\n"
                              "net_cert=700102-2023-CN-004711\r\nVlanEnable=0\r\n# ";
} // namespace

class TestTcpReply : public QObject
{
    Q_OBJECT

private slots:
    void upToZero_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QByteArray("\r\nOK\r\n") << QStringLiteral("\r\nOK\r\n");
        QTest::newRow("cut at a zero byte") << QByteArray("7001\0" "01-tail", 12) << QStringLiteral("7001");
        QTest::newRow("zero byte first") << QByteArray("\0OK", 3) << QString();
        QTest::newRow("utf-8") << QByteArray("许可证,700101") << QStringLiteral("许可证,700101");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void upToZero()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(licencetext::upToZero(bytes), text);
    }

    void acknowledges_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("ok");
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

    void lastCommaField_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("field");
        QTest::newRow("record") << QString::fromLatin1(snReply)
                                << QStringLiteral("700101-2024-CN-000147\r\n\r\nOK\r\n");
        QTest::newRow("no comma") << QStringLiteral("700102X\r\nOK\r\n") << QStringLiteral("700102X\r\nOK\r\n");
        QTest::newRow("comma last") << QStringLiteral("*MRD_SN:1,700101,") << QString();
        QTest::newRow("empty parts kept") << QStringLiteral("a,,") << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("full-width comma is no comma") << QStringLiteral("a，700101") << QStringLiteral("a，700101");
    }
    void lastCommaField()
    {
        QFETCH(QString, reply);
        QFETCH(QString, field);
        QCOMPARE(tcpreply::lastCommaField(reply), field);
    }

    void netCertValue_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("value");
        QTest::newRow("shell output") << QString::fromLatin1(shellReply)
                                      << QStringLiteral("700102-2023-CN-004711\r\nVlanEnable=0\r\n# ");
        QTest::newRow("any one character skipped") << QStringLiteral("net_cert\t700101") << QStringLiteral("700101");
        QTest::newRow("two characters shift") << QStringLiteral("net_cert: 700101") << QStringLiteral(" 700101");
        QTest::newRow("first marker") << QStringLiteral("net_cert=700102\nnet_cert=700101")
                                      << QStringLiteral("700102\nnet_cert=700101");
        QTest::newRow("no marker starts at 8") << QStringLiteral("12345678700101xyz") << QStringLiteral("700101xyz");
        QTest::newRow("no marker, echo first") << QStringLiteral("cat /mnt/RT2860_default_vlan")
                                               << QStringLiteral("/RT2860_default_vlan");
        QTest::newRow("marker is case-sensitive") << QStringLiteral("NET_CERT=700101") << QStringLiteral("=700101");
        QTest::newRow("marker at the end") << QStringLiteral("x net_cert") << QString();
        QTest::newRow("one character behind the marker") << QStringLiteral("net_cert=") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void netCertValue()
    {
        QFETCH(QString, reply);
        QFETCH(QString, value);
        QCOMPARE(tcpreply::netCertValue(reply), value);
    }

    void shownText_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("exactly 21") << QStringLiteral("700101-2024-CN-000147\r\nOK")
                                    << QStringLiteral("700101-2024-CN-000147");
        QTest::newRow("short keeps line ends and OK") << QStringLiteral("700101-A1\r\n\r\nOK\r\n")
                                                      << QStringLiteral("700101-A1\r\n\r\nOK\r\n");
        QTest::newRow("short, then cut") << QStringLiteral("700101-A1\r\n\r\nOK\r\n# more")
                                         << QStringLiteral("700101-A1\r\n\r\nOK\r\n# mo");
        QTest::newRow("characters, not bytes") << QStringLiteral("700101许可证许可证许可证许可证许可证许可证")
                                               << QStringLiteral("700101许可证许可证许可证许可证许可证");
        QTest::newRow("empty") << QString() << QString();
    }
    void shownText()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        QCOMPARE(tcpreply::shownText(value), text);
    }

    void keys_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("at9527");
        QTest::addColumn<QString>("at3762v0");
        QTest::addColumn<QString>("at3762v1");
        QTest::newRow("700101") << QStringLiteral("700101-2024") << lbl16 << lbl15 << lbl16;
        QTest::newRow("700102") << QStringLiteral("700102-2024") << lbl15 << lbl15 << lbl15;
        QTest::newRow("key alone") << QStringLiteral("700101") << lbl16 << lbl15 << lbl16;
        QTest::newRow("other key") << QStringLiteral("700103-2024") << none << none << none;
        QTest::newRow("five characters") << QStringLiteral("70010") << none << none << none;
        QTest::newRow("not at the start") << QStringLiteral(" 700101") << none << none << none;
        QTest::newRow("empty") << QString() << none << none << none;
    }
    void keys()
    {
        QFETCH(QString, value);
        QFETCH(QString, at9527);
        QFETCH(QString, at3762v0);
        QFETCH(QString, at3762v1);
        QCOMPARE(tcpreply::picture9527(value), at9527);
        QCOMPARE(tcpreply::picture3762(value, 0), at3762v0);
        QCOMPARE(tcpreply::picture3762(value, 1), at3762v1);
        // Any variant other than 0 is the second address.
        QCOMPARE(tcpreply::picture3762(value, 7), at3762v1);
        QCOMPARE(tcpreply::picture3762(value, -1), at3762v1);
    }
};

QTEST_APPLESS_MAIN(TestTcpReply)
#include "tst_tcpreply.moc"
