// The port-9527 dialogue against a fake AT service: the acknowledgement, the last comma
// field, the model key, the 21-character cut, the messages and the labels.
#include "tests/net/netfixture.h"
#include "tests/support/isolation.h"

#include <QtTest>

using namespace simnet;

Q_DECLARE_METATYPE(simnet::Answer)

namespace {
const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
const QString lbl16 = QStringLiteral(":/qjpg/res/LBL16.png");
const QString wrongReply = QStringLiteral("返回值错误!");
const QString unsupported = QStringLiteral("(tcp)不支持此机型！");
const QByteArray firstCommand = "AT*PROD=1\r\n\r";
const QByteArray bothCommands = "AT*PROD=1\r\n\rAT*MRD_SN=R\r\n\r";

Answer ack(const QByteArray &bytes) { return Answer::reply(bytes, 20); }
Answer record(const QByteArray &bytes) { return Answer::reply(bytes, 20); }
} // namespace

class TestQuery9527 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QUORVANE_REQUIRE_PRIVATE_NETWORK(); }

    void dialogue_data()
    {
        QTest::addColumn<Answer>("acknowledgement");
        QTest::addColumn<Answer>("serialRecord");
        QTest::addColumn<QString>("message");   // empty: none
        QTest::addColumn<QString>("picture");   // empty: both labels cleared
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("wire");

        const Answer ok = ack("\r\nOK\r\n");
        QTest::newRow("700101 shows LBL16")
            << ok << record(serialRecordReply("700101-2024-CN-000147"))
            << QString() << lbl16 << QStringLiteral("700101-2024-CN-000147") << bothCommands;
        QTest::newRow("700102 shows LBL15")
            << ok << record(serialRecordReply("700102-2023-CN-004711"))
            << QString() << lbl15 << QStringLiteral("700102-2023-CN-004711") << bothCommands;
        QTest::newRow("OK inside a longer word passes")
            << ack("\r\n+PROD: BOOKED\r\n") << record(serialRecordReply("700102-2023-CN-004711"))
            << QString() << lbl15 << QStringLiteral("700102-2023-CN-004711") << bothCommands;
        QTest::newRow("lower-case ok fails")
            << ack("\r\nok\r\n") << record(serialRecordReply("700101-2024-CN-000147"))
            << wrongReply << QString() << QString() << firstCommand;
        QTest::newRow("ERROR fails")
            << ack("\r\nERROR\r\n") << record(serialRecordReply("700101-2024-CN-000147"))
            << wrongReply << QString() << QString() << firstCommand;
        QTest::newRow("reset instead of OK fails")
            << Answer::reset(20) << record(serialRecordReply("700101-2024-CN-000147"))
            << wrongReply << QString() << QString() << firstCommand;
        QTest::newRow("no comma: the whole reply, starting with a key")
            << ok << record("700102ABC\r\nOK\r\n")
            << QString() << lbl15 << QStringLiteral("700102ABC\r\nOK\r\n") << bothCommands;
        QTest::newRow("no comma: the whole reply, not starting with a key")
            << ok << record("\r\n700102ABC\r\nOK\r\n")
            << unsupported << QString() << QString() << bothCommands;
        QTest::newRow("comma last: empty value")
            << ok << record("\r\n*MRD_SN:1,700101,")
            << unsupported << QString() << QString() << bothCommands;
        QTest::newRow("short value: line ends and OK shown, up to 21")
            << ok << record("\r\n*MRD_SN:1,700101-A1\r\n\r\nOK\r\n# more")
            << QString() << lbl16 << QStringLiteral("700101-A1\r\n\r\nOK\r\n# mo") << bothCommands;
        QTest::newRow("unknown key")
            << ok << record(serialRecordReply("700103-2024-CN-000147"))
            << unsupported << QString() << QString() << bothCommands;
        QTest::newRow("record in two chunks")
            << ok << Answer::reply("\r\n*MRD_SN:1,SN5G24,70", 20).then("0102-2023-CN-004711\r\n\r\nOK\r\n", 300)
            << QString() << lbl15 << QStringLiteral("700102-2023-CN-004711") << bothCommands;
    }
    void dialogue()
    {
        QFETCH(Answer, acknowledgement);
        QFETCH(Answer, serialRecord);
        QFETCH(QString, message);
        QFETCH(QString, picture);
        QFETCH(QString, text);
        QFETCH(QByteArray, wire);
        NETTEST_START(device, atServiceAddress, atServicePort,
                      Script().on(productionModeLine, acknowledgement).on(serialRecordLine, serialRecord));
        auto window = nettest::quietWindow();
        nettest::showEarlierResult(*window);
        window->tcpVariant = 1; // read only by the other dialogue
        QSignalSpy messages(window.get(), &MainWindow::ShowInformationTr);
        QVERIFY(nettest::connectStraight(*window, atServiceAddress, atServicePort));

        window->QueryTcp9527();

        QCOMPARE(device->received(), wire);
        if (message.isEmpty()) {
            QCOMPARE(messages.size(), 0);
        } else {
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages.first().at(0).toString(), message);
            QCOMPARE(messages.first().at(1).toInt(), 0);
            QCOMPARE(nettest::statusMessage(*window), message);
        }
        if (picture.isEmpty()) {
            QVERIFY(nettest::labelsCleared(*window));
        } else {
            QVERIFY(nettest::showsPicture(*window, picture));
            QCOMPARE(nettest::shownText(*window), text);
        }
        // The dialogue leaves the connection open, unless the device dropped it.
        if (acknowledgement.end != Answer::End::Reset)
            QCOMPARE(window->tcpSocket->state(), QAbstractSocket::ConnectedState);
    }
};

QTEST_MAIN(TestQuery9527)
#include "tst_query9527.moc"
