// The port-3762 dialogue against a fake shell (logged in already): the "net_cert" cut, the
// model key by address, the 21-character cut, the message and the labels.
#include "tests/net/netfixture.h"
#include "tests/support/isolation.h"

#include <QtTest>

using namespace simnet;

Q_DECLARE_METATYPE(simnet::Answer)

namespace {
const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
const QString lbl16 = QStringLiteral(":/qjpg/res/LBL16.png");
const QString unsupported = QStringLiteral("(tcp)不支持此机型！");
const QString licence01 = QStringLiteral("700101-2024-CN-000147");
const QString licence02 = QStringLiteral("700102-2023-CN-004711");
} // namespace

class TestQuery3762 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    void dialogue_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<Answer>("output"); // the shell's answer to the cat command
        QTest::addColumn<QString>("picture"); // empty: unsupported, both labels cleared
        QTest::addColumn<QString>("text");

        const Answer file01 = shellPrint(vlanDefaults(licence01.toLatin1()));
        const Answer file02 = shellPrint(vlanDefaults(licence02.toLatin1()));
        QTest::newRow("700101 at 192.168.2.1 shows LBL15") << 0 << file01 << lbl15 << licence01;
        QTest::newRow("700101 at 192.168.10.1 shows LBL16") << 1 << file01 << lbl16 << licence01;
        QTest::newRow("700102 at 192.168.2.1 shows LBL15") << 0 << file02 << lbl15 << licence02;
        QTest::newRow("700102 at 192.168.10.1 shows LBL15") << 1 << file02 << lbl15 << licence02;
        QTest::newRow("any variant but 0 is 192.168.10.1") << 7 << file01 << lbl16 << licence01;
        QTest::newRow("any one character behind the marker")
            << 1 << shellPrint("net_cert\t700101-2024-CN-000147\n") << lbl16 << licence01;
        QTest::newRow("two characters shift the value")
            << 0 << shellPrint("net_cert: 700101-2024-CN-000147\n") << QString() << QString();
        QTest::newRow("the first of two markers")
            << 1 << shellPrint("net_cert=700102-2023-CN-004711\nnet_cert=700101-2024-CN-000147\n")
            << lbl15 << licence02;
        QTest::newRow("no marker") << 0 << shellPrint("WanVlanId=0\nLanVlanId=1\n") << QString() << QString();
        QTest::newRow("no marker, a key at position 8")
            << 0 << Answer::reply("AbCdEfGh700101-2024-CN-000147\r\n# ", 10) << lbl15 << licence01;
        QTest::newRow("short licence: line end and next output up to 21")
            << 0 << shellPrint("net_cert=700101-A1\nVlanEnable=0\n")
            << lbl15 << QStringLiteral("700101-A1\r\nVlanEnable");
        QTest::newRow("zero byte cuts the reply")
            << 0 << Answer::reply(QByteArray("cat x\r\nnet_cert=700101\0-2024\r\n# ", 32), 10)
            << lbl15 << QStringLiteral("700101");
        QTest::newRow("reset instead of output") << 1 << Answer::reset(10) << QString() << QString();
    }
    void dialogue()
    {
        QFETCH(int, variant);
        QFETCH(Answer, output);
        QFETCH(QString, picture);
        QFETCH(QString, text);
        const char *address = variant == 0 ? shellAddress2 : shellAddress10;
        NETTEST_START(shell, address, shellPort, Script().on(vlanDefaultsLine, output));
        auto window = nettest::quietWindow();
        nettest::showEarlierResult(*window);
        window->tcpVariant = variant;
        QSignalSpy messages(window.get(), &MainWindow::ShowInformationTr);
        QVERIFY(nettest::connectStraight(*window, address, shellPort));

        window->QueryTcp3762();

        QCOMPARE(shell->received(), QByteArray("cat /mnt/RT2860_default_vlan\r"));
        if (picture.isEmpty()) {
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages.first().at(0).toString(), unsupported);
            QCOMPARE(messages.first().at(1).toInt(), 0);
            QCOMPARE(nettest::statusMessage(*window), unsupported);
            QVERIFY(nettest::labelsCleared(*window));
        } else {
            QCOMPARE(messages.size(), 0);
            QVERIFY(nettest::showsPicture(*window, picture));
            QCOMPARE(nettest::shownText(*window), text);
        }
        QCOMPARE(window->tcpVariant, variant); // the dialogue only reads it
    }
};

QTEST_MAIN(TestQuery3762)
#include "tst_query3762.moc"
