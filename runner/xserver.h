#ifndef QUORVANE_RUNNER_XSERVER_H
#define QUORVANE_RUNNER_XSERVER_H

// An X server of the caller's own, for runs of the real tool on a screen that can be read
// back.

#include <QByteArray>

namespace runner {

// An X server of the caller's own (Xvfb) with one screen of the given size, on a display
// number it picks itself. The server runs outside the device emulation: it sees the
// machine as it is. `display` is empty when it did not start.
struct XServer
{
    long pid = 0;
    QByteArray display;
};
XServer startXServer(int width, int height);

// Ends a server startXServer started (nothing for a pid of 0 or less).
void stopXServer(long pid);

} // namespace runner

#endif // QUORVANE_RUNNER_XSERVER_H
