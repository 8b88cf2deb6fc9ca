#ifndef QUORVANE_NET_TCPTARGETS_H
#define QUORVANE_NET_TCPTARGETS_H

#include "app/mainwindow.h"

// The network devices that every detection cycle without a serial device tries, in this
// order. Each one that connects (and logs in, where a user name or password is given) gets
// its dialogue; the later result replaces the earlier one on screen.
namespace tcptargets {

constexpr int keepTcpVariant = -1; // the dialogue does not read tcpVariant

struct Target
{
    const char *ip;
    const char *port;
    const char *user;     // empty: no user name is sent
    const char *password; // empty: no password is sent
    int tcpVariant;       // stored in MainWindow::tcpVariant before the dialogue
    void (MainWindow::*dialogue)();
};

constexpr Target targets[] = {
    {"192.168.0.1", "9527", "", "", keepTcpVariant, &MainWindow::QueryTcp9527},
    {"192.168.2.1", "3762", "284qhnvw", "kzpwa317mbf", 0, &MainWindow::QueryTcp3762},
    {"192.168.10.1", "3762", "284qhnvw", "kzpwa317mbf", 1, &MainWindow::QueryTcp3762},
};

} // namespace tcptargets

#endif // QUORVANE_NET_TCPTARGETS_H
