// The licence reply of a serial device: the licence text cut at an offset behind a marker.
// The input chooses the offset and the marker itself, so every marker and offset of the
// dialogue is one of the shapes tried: offset byte, marker length byte, marker, reply.
#include "fuzz/property.h"
#include "serial/serialreply.h"

using namespace serialreply;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int offset = input.byte() % 32;
    const QByteArray marker = input.take(1 + input.byte() % 16);
    const QByteArray reply = input.rest();

    const std::optional<QString> text = cutLicenceText(reply, marker, offset);
    PROPERTY(text == cutLicenceText(reply, marker, offset));
    const int found = reply.indexOf(marker);
    PROPERTY(text.has_value() == (found >= 0));
    if (!text)
        return 0;

    // Never more than the licence length, never a zero byte, and never beyond the reply.
    PROPERTY(text->size() <= licencetext::licenceLength);
    PROPERTY(!text->contains(QChar(0)));
    const int start = found + offset;
    PROPERTY(text->isEmpty() || start < reply.size());

    // Without bytes that fail to decode, the text is the reply's own bytes from the start,
    // ending at the licence length, at the reply's end or at a zero byte.
    const QByteArray bytes = text->toUtf8();
    if (!text->contains(QChar::ReplacementCharacter) && !text->isEmpty()) {
        PROPERTY(reply.mid(start).startsWith(bytes));
        const int end = start + bytes.size();
        PROPERTY(bytes.size() == licencetext::licenceLength || end == reply.size() || reply.at(end) == '\0');
    }
    return 0;
}
