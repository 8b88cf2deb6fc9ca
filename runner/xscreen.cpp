#include "runner/xscreen.h"
#include "runner/process.h"
#include "runner/xserver.h"

#include <QString>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <poll.h>

namespace runner {

namespace {
constexpr int screenWidth = 640;
constexpr int screenHeight = 480;
} // namespace

XScreen::~XScreen()
{
    if (m_connection)
        XCloseDisplay(m_connection);
    stopXServer(m_server);
}

bool XScreen::start(QString *why)
{
    const XServer server = startXServer(screenWidth, screenHeight);
    m_server = server.pid;
    if (server.display.isEmpty()) {
        *why = QStringLiteral("Xvfb did not start");
        return false;
    }
    m_display = server.display;
    m_connection = XOpenDisplay(m_display.constData());
    if (!m_connection) {
        *why = QStringLiteral("cannot connect to %1").arg(QString::fromLatin1(m_display));
        return false;
    }
    int damageError = 0;
    if (!XDamageQueryExtension(m_connection, &m_damageEvent, &damageError)) {
        *why = QStringLiteral("the X server has no DAMAGE extension");
        return false;
    }
    // Damage of the root window covers every window on it: no window manager, no
    // compositor, the tool's window draws straight onto the screen.
    m_damage = XDamageCreate(m_connection, DefaultRootWindow(m_connection), XDamageReportRawRectangles);
    m_width = screenWidth;
    m_height = screenHeight;
    XSync(m_connection, False);
    return true;
}

QRect XScreen::nextDamage(int timeoutMs, qint64 *atNs)
{
    const qint64 deadline = nowNs() + qint64(timeoutMs) * 1000000;
    for (;;) {
        while (XPending(m_connection)) {
            XEvent event;
            XNextEvent(m_connection, &event);
            if (event.type == m_damageEvent + XDamageNotify) {
                if (atNs)
                    *atNs = nowNs();
                const auto &damage = reinterpret_cast<const XDamageNotifyEvent &>(event);
                return QRect(damage.area.x, damage.area.y, damage.area.width, damage.area.height);
            }
        }
        const qint64 left = deadline - nowNs();
        if (left <= 0)
            return {};
        pollfd watch {ConnectionNumber(m_connection), POLLIN, 0};
        ::poll(&watch, 1, int(left / 1000000) + 1);
    }
}

void XScreen::drain()
{
    XSync(m_connection, False);
    while (XPending(m_connection)) {
        XEvent event;
        XNextEvent(m_connection, &event);
    }
}

QImage XScreen::grab(const QRect &wanted)
{
    const QRect area =
        (wanted.isNull() ? QRect(0, 0, m_width, m_height) : wanted) & QRect(0, 0, m_width, m_height);
    if (area.isEmpty())
        return {};
    XImage *pixels = XGetImage(m_connection, DefaultRootWindow(m_connection), area.x(), area.y(),
                               unsigned(area.width()), unsigned(area.height()), AllPlanes, ZPixmap);
    if (!pixels)
        return {};
    QImage image(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < area.width(); ++x)
            line[x] = QRgb(XGetPixel(pixels, x, y)) | 0xFF000000;
    }
    XDestroyImage(pixels);
    return image;
}

} // namespace runner
