#include "runner/screenimage.h"

namespace runner {

namespace {

bool isWhite(QRgb pixel)
{
    return qRed(pixel) > 235 && qGreen(pixel) > 235 && qBlue(pixel) > 235;
}

bool matchesAt(const QImage &screen, const QImage &picture, int x0, int y0, int rows)
{
    for (int y = 0; y < rows; ++y) {
        const QRgb *shown = reinterpret_cast<const QRgb *>(screen.constScanLine(y0 + y)) + x0;
        const QRgb *expected = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(expected[x]) == 255 && (shown[x] & 0xFFFFFF) != (expected[x] & 0xFFFFFF))
                return false;
        }
    }
    return true;
}

} // namespace

QPoint findPicture(const QImage &screenImage, const QImage &pictureImage)
{
    const QImage screen = screenImage.convertToFormat(QImage::Format_ARGB32);
    const QImage picture = pictureImage.convertToFormat(QImage::Format_ARGB32);
    const int rows = picture.height() * 2 / 3; // above the text band
    // An opaque pixel of the picture to try each position with first.
    QPoint probe(-1, -1);
    for (int y = 0; y < rows && probe.x() < 0; ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(picture.pixel(x, y)) == 255) {
                probe = QPoint(x, y);
                break;
            }
        }
    }
    if (probe.x() < 0)
        return {};
    const QRgb want = picture.pixel(probe) & 0xFFFFFF;
    for (int y = 0; y + picture.height() <= screen.height(); ++y) {
        for (int x = 0; x + picture.width() <= screen.width(); ++x) {
            if ((screen.pixel(x + probe.x(), y + probe.y()) & 0xFFFFFF) == want
                && matchesAt(screen, picture, x, y, rows))
                return QPoint(x, y);
        }
    }
    return {};
}

int whiteTextPixels(const QImage &screenImage, const QImage &pictureImage, QPoint at, int bandTop)
{
    const QImage screen = screenImage.convertToFormat(QImage::Format_ARGB32);
    const QImage picture = pictureImage.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = bandTop; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (isWhite(screen.pixel(at.x() + x, at.y() + y)) && !isWhite(picture.pixel(x, y)))
                ++count;
        }
    }
    return count;
}

QRect windowRect(const QImage &screenImage)
{
    const QImage screen = screenImage.convertToFormat(QImage::Format_ARGB32);
    QRect box;
    for (int y = 0; y < screen.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if ((line[x] & 0xFFFFFF) != 0)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

QRect statusRegion(const QRect &window)
{
    constexpr int statusBarHeight = 22;
    return QRect(window.left(), window.bottom() - statusBarHeight + 1, window.width() * 2 / 3,
                 statusBarHeight);
}

int differingPixels(const QImage &beforeImage, const QImage &afterImage, const QRect &region)
{
    const QImage before = beforeImage.convertToFormat(QImage::Format_ARGB32);
    const QImage after = afterImage.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y))
                ++count;
        }
    }
    return count;
}

} // namespace runner
