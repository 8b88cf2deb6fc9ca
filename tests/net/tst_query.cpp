// The two network dialogues over the wire, each with its connection already standing:
// port 9527 (acknowledgement, last comma field, key, 21-character cut) and port 3762
// (the "net_cert" cut, the key by address); the messages and the labels of both.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

namespace {
const QByteArray firstCommand = "AT*PROD=1\r\n\r";
const QByteArray bothCommands = "AT*PROD=1\r\n\rAT*MRD_SN=R\r\n\r";
const QString licence01 = QStringLiteral("700101-2024-CN-000147");
const QString licence02 = QStringLiteral("700102-2023-CN-004711");

Reply soon(const QByteArray &bytes)
{
    return Reply::text(bytes, 20);
}
Reply record(const QString &licence)
{
    return soon(serialRecordReply(licence.toLatin1()));
}
} // namespace

class TestQuery : public QObject
{
    Q_OBJECT

private slots:

    void dialogue9527_data()
    {
        // message: empty for none
        // picture: empty when both labels are cleared
        addColumns<Reply, Reply, QString, QString, QString, QByteArray>("acknowledgement", "serialRecord",
                                                                        "message", "picture", "text", "wire");

        const Reply ok = soon("\r\nOK\r\n");
        QTest::newRow("700101 shows LBL16")
            << ok << record(licence01) << QString() << lbl16 << licence01 << bothCommands;
        QTest::newRow("700102 shows LBL15")
            << ok << record(licence02) << QString() << lbl15 << licence02 << bothCommands;
        QTest::newRow("OK inside a longer word passes") << soon("\r\n+PROD: BOOKED\r\n") << record(licence02)
                                                        << QString() << lbl15 << licence02 << bothCommands;
        QTest::newRow("lower-case ok fails") << soon("\r\nok\r\n") << record(licence01) << wrongReply
                                             << QString() << QString() << firstCommand;
        QTest::newRow("reset instead of OK fails")
            << Reply::reset(20) << record(licence01) << wrongReply << QString() << QString() << firstCommand;
        QTest::newRow("no comma: the whole reply, starting with a key")
            << ok << soon("700102ABC\r\nOK\r\n") << QString() << lbl15
            << QStringLiteral("700102ABC\r\nOK\r\n") << bothCommands;
        QTest::newRow("no comma: the whole reply, not starting with a key")
            << ok << soon("\r\n700102ABC\r\nOK\r\n") << unsupported << QString() << QString() << bothCommands;
        QTest::newRow("comma last: empty value")
            << ok << soon("\r\n*MRD_SN:1,700101,") << unsupported << QString() << QString() << bothCommands;
        QTest::newRow("short value: line ends and OK shown, up to 21")
            << ok << soon("\r\n*MRD_SN:1,700101-A1\r\n\r\nOK\r\n# more") << QString() << lbl16
            << QStringLiteral("700101-A1\r\n\r\nOK\r\n# mo") << bothCommands;
        QTest::newRow("unknown key") << ok << record(QStringLiteral("700103-2024-CN-000147")) << unsupported
                                     << QString() << QString() << bothCommands;
        QTest::newRow("record in two chunks")
            << ok << Reply::text("\r\n*MRD_SN:1,SN5G24,70", 20).then("0102-2023-CN-004711\r\n\r\nOK\r\n", 300)
            << QString() << lbl15 << licence02 << bothCommands;
    }
    void dialogue9527()
    {
        QFETCH(Reply, acknowledgement);
        QFETCH(Reply, serialRecord);
        QFETCH(QString, message);
        QFETCH(QString, picture);
        QFETCH(QString, text);
        QFETCH(QByteArray, wire);
        NETTEST_START(device, atServiceAddress, atServicePort,
                      Script().on(productionModeLine, acknowledgement).on(serialRecordLine, serialRecord));
        QuietWindow screen;
        screen.showEarlier();
        screen.window.tcpVariant = 1; // read only by the other dialogue
        QVERIFY(connectStraight(*screen.window.tcpSocket));

        screen.window.QueryTcp9527();

        QCOMPARE(device->received(), wire);
        NETTEST_OUTCOME(screen, message, picture, text);
        // The dialogue leaves the connection open, unless the device dropped it.
        if (acknowledgement.end != Reply::End::Reset)
            QCOMPARE(screen.window.tcpSocket->state(), QAbstractSocket::ConnectedState);
    }

    void dialogue3762_data()
    {
        // output: the shell's answer to the cat command
        // picture: empty when unsupported, both labels cleared
        addColumns<int, Reply, QString, QString>("variant", "output", "picture", "text");

        const Reply file01 = shellPrint(vlanDefaults(licence01.toLatin1()));
        const Reply file02 = shellPrint(vlanDefaults(licence02.toLatin1()));
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
            << 1 << shellPrint("net_cert=700102-2023-CN-004711\nnet_cert=700101-2024-CN-000147\n") << lbl15
            << licence02;
        QTest::newRow("no marker") << 0 << shellPrint("WanVlanId=0\nLanVlanId=1\n") << QString() << QString();
        QTest::newRow("no marker, a key at position 8")
            << 0 << Reply::text("AbCdEfGh700101-2024-CN-000147\r\n# ", 10) << lbl15 << licence01;
        QTest::newRow("short licence: line end and next output up to 21")
            << 0 << shellPrint("net_cert=700101-A1\nVlanEnable=0\n") << lbl15
            << QStringLiteral("700101-A1\r\nVlanEnable");
        QTest::newRow("zero byte cuts the reply")
            << 0 << Reply::text(QByteArray("cat x\r\nnet_cert=700101\0-2024\r\n# ", 32), 10) << lbl15
            << QStringLiteral("700101");
        QTest::newRow("reset instead of output") << 1 << Reply::reset(10) << QString() << QString();
    }
    void dialogue3762()
    {
        QFETCH(int, variant);
        QFETCH(Reply, output);
        QFETCH(QString, picture);
        QFETCH(QString, text);
        const char *address = variant == 0 ? shellAddress2 : shellAddress10;
        NETTEST_START(shell, address, shellPort, Script().on(vlanDefaultsLine, output));
        QuietWindow screen;
        screen.showEarlier();
        screen.window.tcpVariant = variant;
        QVERIFY(connectStraight(*screen.window.tcpSocket, address, shellPort));

        screen.window.QueryTcp3762();

        QCOMPARE(shell->received(), QByteArray("cat /mnt/RT2860_default_vlan\r"));
        NETTEST_OUTCOME(screen, picture.isEmpty() ? unsupported : QString(), picture, text);
        QCOMPARE(screen.window.tcpVariant, variant); // the dialogue only reads it
    }
};

QUORVANE_TEST_MAIN(TestQuery, None)
#include "tst_query.moc"
