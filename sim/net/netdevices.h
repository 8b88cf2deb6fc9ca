#ifndef QUORVANE_SIM_NET_NETDEVICES_H
#define QUORVANE_SIM_NET_NETDEVICES_H

#include "sim/script/script.h"

#include <QByteArray>

// The two kinds of network device the tool talks to, as ready-made scripts for
// FakeTcpService, and where they live. Vary a script with Script::on and Script::greet.
namespace quorvane::sim::net {

// The shared script words, under the network fakes' short name as well.
using quorvane::sim::clockMs;
using quorvane::sim::Reply;
using quorvane::sim::Script;

constexpr char atServiceAddress[] = "192.168.0.1";
constexpr quint16 atServicePort = 9527;
constexpr char productionModeLine[] = "AT*PROD=1";
constexpr char serialRecordLine[] = "AT*MRD_SN=R";

constexpr char shellAddress2[] = "192.168.2.1";   // the tool's tcpVariant 0
constexpr char shellAddress10[] = "192.168.10.1"; // the tool's tcpVariant 1
constexpr quint16 shellPort = 3762;
constexpr char shellUser[] = "284qhnvw";
constexpr char shellPassword[] = "kzpwa317mbf";
constexpr char vlanDefaultsLine[] = "cat /mnt/RT2860_default_vlan";

// A licence text of a supported model, 21 characters long.
constexpr char sampleLicence[] = "700101-2024-CN-000147";

// Port 9527, AT commands without login.
// The reply to AT*MRD_SN=R of a device whose record ends in `licence`.
QByteArray serialRecordReply(const QByteArray &licence);
// Acknowledges AT*PROD=1 with OK and answers AT*MRD_SN=R with `serialRecord`, each reply in
// one chunk after `replyDelayMs`. No greeting.
Script atService(const QByteArray &serialRecord, int replyDelayMs = 20);

// Port 3762, a login shell.
// The device's VLAN defaults file, with `licence` in its net_cert entry.
QByteArray vlanDefaults(const QByteArray &licence);
// The shell's answers, one by one, each in the chunks a real shell sends them in.
Reply shellUserReply();                     // the echo, then the password prompt in a second chunk
Reply shellPasswordReply();                 // a line end, then the banner and the prompt in a second chunk
Reply shellPrint(const QByteArray &output); // the echo of the command, the output, the prompt
// Greets, logs the user in with the right user name and password, and prints `vlanFile`
// for the cat command.
Script loginShell(const QByteArray &vlanFile);

} // namespace quorvane::sim::net

// The fake network devices' short name, as the tests use it.
namespace simnet = quorvane::sim::net;

#endif // QUORVANE_SIM_NET_NETDEVICES_H
