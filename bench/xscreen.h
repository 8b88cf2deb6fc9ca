#ifndef QUORVANE_BENCH_XSCREEN_H
#define QUORVANE_BENCH_XSCREEN_H

// An X server of the benchmark's own (Xvfb), watched from outside the tool: the X
// server's damage reports say when anything is drawn on the screen, and the screen's
// pixels can be read back. A paint of the tool's window is seen the moment the server has
// drawn it, whatever the tool does inside.

#include <QByteArray>
#include <QImage>
#include <QRect>

#include <sys/types.h>

typedef struct _XDisplay Display;

namespace bench {

class XScreen
{
public:
    XScreen() = default;
    ~XScreen();
    XScreen(const XScreen &) = delete;
    XScreen &operator=(const XScreen &) = delete;

    // Starts Xvfb on a free display and connects to it; false when it cannot.
    bool start(QString *why);
    QByteArray display() const { return m_display; }

    // Waits up to timeoutMs for the next drawing on the screen and returns its area (null
    // on time-out). `atNs` receives the monotonic time at which the report arrived.
    QRect nextDamage(int timeoutMs, qint64 *atNs);
    // Drops every report that has arrived so far.
    void drain();

    // The pixels of part of the screen as they are now (the whole screen for a null rect).
    QImage grab(const QRect &area = QRect());

private:
    pid_t m_server = 0;
    QByteArray m_display;
    Display *m_connection = nullptr;
    int m_damageEvent = 0;
    unsigned long m_damage = 0;
    int m_width = 0;
    int m_height = 0;
};

// Monotonic nanoseconds, the clock every timing of the benchmark uses.
qint64 nowNs();

} // namespace bench

#endif // QUORVANE_BENCH_XSCREEN_H
