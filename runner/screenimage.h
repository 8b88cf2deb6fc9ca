#ifndef QUORVANE_RUNNER_SCREENIMAGE_H
#define QUORVANE_RUNNER_SCREENIMAGE_H

// Reading the tool's window off an X screen: where a label picture is, whether white text
// lies over it, and where the window and its status bar are.

#include <QImage>
#include <QPoint>
#include <QRect>

namespace runner {

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

} // namespace runner

#endif // QUORVANE_RUNNER_SCREENIMAGE_H
