// Devices that accept a command and never answer it: after the 6000 ms wait the dialogues
// report the missing reply and clear the labels.
#include "tests/net/netfixture.h"

using namespace simnet;
using namespace testsupport;

namespace {
constexpr struct
{
    const char *tag;
    const char *address;  // 192.168.0.1: port 9527; else port 3762
    const char *answered; // the one command the device answers; null: none
    bool wrongReply;      // the message: wrongReply, or else unsupported
    int atLeastMs;
} silentDevices[] = {
    // drain 100, 6000 without a reply
    {"9527: no acknowledgement", atServiceAddress, serialRecordLine, true, 6100},
    // drain 100, OK, a second of silence; drain 100, 6000 without a reply
    {"9527: no record", atServiceAddress, productionModeLine, false, 7200},
    {"3762: no output", shellAddress10, nullptr, false, 6100},
};
} // namespace

class TestQuerySilence : public QObject
{
    Q_OBJECT

private slots:

    void silentDevice_data() { addRows(silentDevices); }
    void silentDevice()
    {
        const auto &row = fetchRow(silentDevices);
        const bool at9527 = qstrcmp(row.address, atServiceAddress) == 0;
        Script script;
        if (row.answered == serialRecordLine)
            script.on(serialRecordLine, Reply::text(serialRecordReply(sampleLicence)));
        else if (row.answered)
            script.on(productionModeLine, Reply::text("\r\nOK\r\n", 10));
        const auto [device, screen] = serveConnected(script, row.address, at9527 ? atServicePort : shellPort);
        screen->showEarlier();
        screen->window.tcpVariant = 1;

        QElapsedTimer clock;
        clock.start();
        if (at9527)
            screen->window.QueryTcp9527();
        else
            screen->window.QueryTcp3762();
        const qint64 took = clock.elapsed();

        QUORVANE_VERIFY_WAITS(took, row.atLeastMs);
        NETTEST_OUTCOME(*screen, row.wrongReply ? wrongReply : unsupported, QString(), QString());
    }
};

QUORVANE_TEST_MAIN(TestQuerySilence, None)
#include "tst_querysilence.moc"
