#ifndef QUORVANE_TESTS_E2E_SCREEN_H
#define QUORVANE_TESTS_E2E_SCREEN_H

// Reading the tool's window off an X screen: where a label picture is, whether white text
// lies over it, and where the window and its status bar are.

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>

namespace e2e {

// The top-left corner where `picture` appears on `screen`, pixel for pixel in its upper
// part (above the band that carries the licence text), or a null point. Pixels the
// picture leaves see-through are not compared.
QPoint findPicture(const QImage &screen, const QImage &picture);

// How many pixels of the picture's text band (from `bandTop` down) are white on the
// screen where the picture itself is not white.
int whiteTextPixels(const QImage &screen, const QImage &picture, QPoint at, int bandTop);

// The bounding box of everything that is not the black screen background: the window.
QRect windowRect(const QImage &screen);

// The status bar: the bottom strip of the window, without its size grip.
QRect statusRegion(const QRect &window);

// How many pixels of `region` differ between two screens.
int differingPixels(const QImage &before, const QImage &after, const QRect &region);

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

} // namespace e2e

#endif // QUORVANE_TESTS_E2E_SCREEN_H
