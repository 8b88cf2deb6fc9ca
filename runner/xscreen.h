#ifndef QUORVANE_RUNNER_XSCREEN_H
#define QUORVANE_RUNNER_XSCREEN_H

// An X server of the caller's own (Xvfb), watched from outside the tool: the X server's
// damage reports say when anything is drawn on the screen, and the screen's pixels can be
// read back. A paint of the tool's window is seen the moment the server has drawn it,
// whatever the tool does inside. Needs libX11 and libXdamage: built only with the
// benchmark or the tests (target quorvane_runner_damage).

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QtGlobal>

typedef struct _XDisplay Display;

namespace runner {

class XScreen
{
public:
    XScreen() = default;
    ~XScreen();
    Q_DISABLE_COPY(XScreen)

    // Starts Xvfb on a free display and connects to it; false when it cannot.
    bool start(QString *why);
    QByteArray display() const { return m_display; }

    // Waits up to timeoutMs for the next drawing on the screen and returns its area (null
    // on time-out). `atNs` receives the time (nowNs()) at which the report arrived.
    QRect nextDamage(int timeoutMs, qint64 *atNs);
    // Drops every report that has arrived so far.
    void drain();

    // The pixels of part of the screen as they are now (the whole screen for a null rect).
    QImage grab(const QRect &area = QRect());

private:
    long m_server = 0;
    QByteArray m_display;
    Display *m_connection = nullptr;
    int m_damageEvent = 0;
    unsigned long m_damage = 0;
    int m_width = 0;
    int m_height = 0;
};

} // namespace runner

#endif // QUORVANE_RUNNER_XSCREEN_H
