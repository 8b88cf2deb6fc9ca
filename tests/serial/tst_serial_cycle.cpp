// The serial step of the detection cycle, and how long one dialogue with a device that
// answers at once takes.
#include "tests/serial/serialtest.h"

#include <QProcess>

#include <algorithm>

using namespace testsupport;

class TestSerialCycle : public QObject
{
    Q_OBJECT

private slots:

    // A cycle that opens a serial port runs its dialogue and leaves the port open; the
    // next cycle closes it, opens it again and asks again.
    void dealTimerRunsTheSerialDialogue()
    {
        FakeSerialPorts ports;
        FakeAtDevice &device = addAnsweringPort(ports, 2, Reply::text(okLine("+EGMR: \"990001081234567\"")),
                                                Reply::text(licenceReplyOfKind(2)));
        Dialogue dialogue;

        runCycle(dialogue.window);
        QVERIFY(dialogue.window.serialPort->isOpen());
        QVERIFY(dialogue.shows(QStringLiteral(":/qjpg/res/LBL08.jpg"), QString::fromLatin1(licence21)));

        dialogue.window.ClearLicenceLabel();
        runCycle(dialogue.window);
        QCOMPARE(device.commands(),
                 (QList<QByteArray> {"AT+EGMR=0", "AT*MRD_SN=R", "AT+EGMR=0", "AT*MRD_SN=R"}));
        QVERIFY(dialogue.showsPicture(QStringLiteral(":/qjpg/res/LBL08.jpg")));
        QVERIFY(dialogue.said.isEmpty());
    }

    // The real program, started as a child, sees the ports's ports and talks to the fake
    // device in two cycles of its own timer; a port the ports holds busy is busy for it too.
    void realProgramUnderTheFakes_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::newRow("talks to the fake device") << false;
        QTest::newRow("a busy port stays busy") << true;
    }
    void realProgramUnderTheFakes()
    {
        QFETCH(bool, busy);
        FakeSerialPorts ports;
        FakeAtDevice &device = addAnsweringPort(ports, 1, Reply::text(okLine("990001031234567")),
                                                Reply::text(licenceReplyOfKind(1)));
        if (busy)
            QVERIFY(ports.holdBusy(QString::fromLatin1(serialPersonas[1].name)));

        QProcessEnvironment environment = ports.processEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardErrorFile(QProcess::nullDevice());
        program.start(QStringLiteral(QUORVANE_PROGRAM), QStringList());
        QVERIFY(program.waitForStarted());

        // Two cycles; when busy, two cycles and more.
        const bool talked = busy ? device.waitForCommands(1, 2500)
                                 : device.waitForCommands(4, 3 * 1000 + slackMs()); // start-up, two ticks
        program.kill();
        program.waitForFinished();
        QCOMPARE(talked, !busy);
        if (busy)
            QVERIFY(device.received().isEmpty());
        else
            QCOMPARE(device.commands().mid(0, 4),
                     (QList<QByteArray> {"AT+CGSN", "AT+NCSN?", "AT+CGSN", "AT+NCSN?"}));
    }

    // One dialogue with a device that answers every command at once. Its floor is the
    // continuation waits of 100 ms: one behind the IMEI reply, and one more behind a
    // licence reply without "OK".
    void durationOfOneDialogue_data()
    {
        addColumns<QByteArray, int>("licenceReply", "waits");
        QTest::newRow("licence reply with OK") << okLine("+KESET: 26," + licence21) << 1;
        QTest::newRow("licence reply without OK") << QByteArray("\r\n+KESET: 26," + licence21 + "\r\n") << 2;
    }
    void durationOfOneDialogue()
    {
        QFETCH(QByteArray, licenceReply);
        QFETCH(int, waits);
        FakeSerialPorts ports;
        addAnsweringPort(ports, 0, Reply::text(imeiReply("990001011234567")), Reply::text(licenceReply));
        Dialogue dialogue;

        QVector<qint64> queries;
        for (int round = 0; round < 10; ++round) {
            dialogue.window.ClearLicenceLabel();
            QVERIFY(dialogue.run());
            queries << dialogue.lastQueryMs;
            QCOMPARE(dialogue.text->text(), QString::fromLatin1(licence21));
        }
        std::sort(queries.begin(), queries.end());
        qInfo("QuerySerial: min %lld ms, median %lld ms, max %lld ms (continuation waits: %d x 100 ms)",
              queries.first(), queries.at(queries.size() / 2), queries.last(), waits);
        QVERIFY(queries.first() >= waits * 100);
        QVERIFY(queries.last() < waits * 100 + 1000);
    }
};

QUORVANE_TEST_MAIN(TestSerialCycle, Serial)
#include "tst_serial_cycle.moc"
