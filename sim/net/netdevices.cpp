#include "sim/net/netdevices.h"

namespace quorvane::sim::net {

namespace {
// Pause between the chunks of one shell answer: long enough that they arrive as
// separate reads on the other side.
constexpr int chunkGapMs = 60;
constexpr char shellPrompt[] = "# ";
} // namespace

QByteArray serialRecordReply(const QByteArray &licence)
{
    return "\r\n*MRD_SN:1,SN5G2406150031,866012012345678," + licence + "\r\n\r\nOK\r\n";
}

Script atService(const QByteArray &serialRecord, int replyDelayMs)
{
    return Script()
        .on(productionModeLine, Answer::reply("\r\nOK\r\n", replyDelayMs))
        .on(serialRecordLine, Answer::reply(serialRecord, replyDelayMs));
}

QByteArray vlanDefaults(const QByteArray &licence)
{
    return "Default\n"
           "WanVlanId=0\n"
           "LanVlanId=1\n"
           "net_cert=" + licence + "\n"
           "VlanEnable=0\n";
}

Answer shellGreeting()
{
    return Answer::reply("\r\n(none) login: ");
}

Answer shellUserAnswer()
{
    return Answer::reply(QByteArray(shellUser) + "\r\n", 10).then("Password: ", chunkGapMs);
}

Answer shellPasswordAnswer()
{
    return Answer::reply("\r\n", 10)
        .then("\r\n\r\nBusyBox v1.12.1 built-in shell (ash)\r\n" + QByteArray(shellPrompt), chunkGapMs);
}

Answer shellPrint(const QByteArray &output)
{
    QByteArray terminal = output;
    terminal.replace("\n", "\r\n");
    return Answer::reply(QByteArray(vlanDefaultsLine) + "\r\n", 10)
        .then(terminal + shellPrompt, chunkGapMs);
}

Script loginShell(const QByteArray &vlanFile)
{
    return Script()
        .greet(shellGreeting())
        .on(shellUser, shellUserAnswer())
        .on(shellPassword, shellPasswordAnswer())
        .on(vlanDefaultsLine, shellPrint(vlanFile));
}

} // namespace quorvane::sim::net
