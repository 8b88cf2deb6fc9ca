#ifndef QUORVANE_SHARED_LICENCETEXT_H
#define QUORVANE_SHARED_LICENCETEXT_H

// What every device dialogue (serial, network, USB) agrees on about the text it reads:
// how long a licence text is, how much of a reply is kept, and how reply bytes become
// text. The dialogues' own parsers (serialreply, tcpreply, usbframe) use these.

#include <QByteArray>
#include <QString>

namespace licencetext {

// The licence text on the label is this long: bytes cut from a serial reply or a USB
// frame, characters of a network licence value.
constexpr int licenceLength = 21;

// A device reply is never kept beyond this many bytes, however long the device talks.
constexpr int replyLimitBytes = 64 * 1024;

// Reply bytes as text: UTF-8, up to the first zero byte if there is one.
QString upToZero(const QByteArray &bytes);

} // namespace licencetext

#endif // QUORVANE_SHARED_LICENCETEXT_H
