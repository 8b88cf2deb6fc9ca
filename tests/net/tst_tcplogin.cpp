// ConnectTCP's login: the exact bytes it sends, and which replies it needs.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

namespace {
const QString user = QLatin1String(shellUser);
const QString password = QLatin1String(shellPassword);
const QByteArray userLine = QByteArray(shellUser) + '\r';
const QByteArray passwordLine = QByteArray(shellPassword) + '\r';

Script shell()
{
    return loginShell(vlanDefaults(sampleLicence));
}

// The shell, also logging in any other user name with the password "密码".
Script anyUserShell()
{
    return Script(shell()).otherwise(shellUserReply()).on("密码", shellPasswordReply());
}
} // namespace

class TestTcpLogin : public QObject
{
    Q_OBJECT

private slots:

    void bytesOnTheWire_data()
    {
        addColumns<QString, QString, QByteArray>("userName", "pass", "wire");

        QTest::newRow("user name, then password") << user << password << login;
        QTest::newRow("empty user name with a password") << QString() << password << passwordLine;
        QTest::newRow("user name without a password") << user << QString() << userLine;
        QTest::newRow("no login at all") << QString() << QString() << QByteArray();
        QTest::newRow("UTF-8, one carriage return, no line feed")
            << QStringLiteral("操作员") << QStringLiteral("密码")
            << QByteArray("\xE6\x93\x8D\xE4\xBD\x9C\xE5\x91\x98\r\xE5\xAF\x86\xE7\xA0\x81\r");
    }
    void bytesOnTheWire()
    {
        QFETCH(QString, userName);
        QFETCH(QString, pass);
        QFETCH(QByteArray, wire);
        NETTEST_START(shellA, shellAddress2, shellPort, anyUserShell());
        QuietWindow screen;

        QVERIFY(
            screen.window.ConnectTCP(QLatin1String(shellAddress2), QStringLiteral("3762"), userName, pass));
        // Every line was answered before ConnectTCP returned; give stray bytes a moment anyway.
        QThread::msleep(200);
        QCOMPARE(shellA->received(), wire);
        QCOMPARE(shellA->connections().size(), 1);
    }

    // Login replies: two chunks after the user name, at least one after the password. Times
    // are lower bounds with room above: pauses 500 + 500, greeting wait up to 1000, then up
    // to 1000 for each of N1, N2, M1 and M2.
    void replyRules_data()
    {
        addColumns<Script, bool, QByteArray, int>("script", "loggedIn", "wire", "atLeastMs");

        QTest::newRow("user name and password answered in two chunks each")
            << shell() << true << login << 1000;
        QTest::newRow("user name answered in one chunk fails")
            << Script(shell()).on(shellUser, Reply::text(QByteArray(shellUser) + "\r\nPassword: ", 10))
            << false << userLine << 2000;
        QTest::newRow("user name not answered fails")
            << Script(shell()).on(shellUser, Reply::silence()) << false << userLine << 2000;
        QTest::newRow("user name answered, then reset")
            << Script(shell()).on(shellUser, Reply::text("284qhnvw\r\n", 10).thenReset(50)) << false
            << userLine << 1000;
        QTest::newRow("password answered in one chunk logs in after the extra wait")
            << Script(shell()).on(shellPassword, Reply::text("\r\n# ", 10)) << true << login << 2000;
        QTest::newRow("password not answered fails")
            << Script(shell()).on(shellPassword, Reply::silence()) << false << login << 2000;
        QTest::newRow("missing greeting is no failure")
            << Script(shell()).greet(Reply::silence()) << true << login << 2000;
    }
    void replyRules()
    {
        QFETCH(Script, script);
        QFETCH(bool, loggedIn);
        QFETCH(QByteArray, wire);
        QFETCH(int, atLeastMs);
        NETTEST_START(shellB, shellAddress10, shellPort, script);
        QuietWindow screen;
        screen.showEarlier();

        QElapsedTimer clock;
        clock.start();
        const bool result = connectTarget(screen.window, shellAddress10);
        const qint64 took = clock.elapsed();
        QCOMPARE(result, loggedIn);
        QUORVANE_VERIFY_WAITS(took, atLeastMs);
        QThread::msleep(100);
        QCOMPARE(shellB->received(), wire);
        // Logged in or not, the screen stays as it was and nothing is said.
        NETTEST_OUTCOME(screen, QString(), earlierPicture, earlierText);
    }
};

QUORVANE_TEST_MAIN(TestTcpLogin, None)
#include "tst_tcplogin.moc"
