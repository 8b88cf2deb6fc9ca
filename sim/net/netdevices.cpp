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
        .on(productionModeLine, Reply::text("\r\nOK\r\n", replyDelayMs))
        .on(serialRecordLine, Reply::text(serialRecord, replyDelayMs));
}

QByteArray vlanDefaults(const QByteArray &licence)
{
    return "Default\n"
           "WanVlanId=0\n"
           "LanVlanId=1\n"
           "net_cert="
        + licence
        + "\n"
          "VlanEnable=0\n";
}

Reply shellUserReply()
{
    return Reply::text(QByteArray(shellUser) + "\r\n", 10).then("Password: ", chunkGapMs);
}

Reply shellPasswordReply()
{
    return Reply::text("\r\n", 10)
        .then("\r\n\r\nBusyBox v1.12.1 built-in shell (ash)\r\n" + QByteArray(shellPrompt), chunkGapMs);
}

Reply shellPrint(const QByteArray &output)
{
    QByteArray terminal = output;
    terminal.replace("\n", "\r\n");
    return Reply::text(QByteArray(vlanDefaultsLine) + "\r\n", 10).then(terminal + shellPrompt, chunkGapMs);
}

Script loginShell(const QByteArray &vlanFile)
{
    return Script()
        .greet(Reply::text("\r\n(none) login: "))
        .on(shellUser, shellUserReply())
        .on(shellPassword, shellPasswordReply())
        .on(vlanDefaultsLine, shellPrint(vlanFile));
}

} // namespace quorvane::sim::net
