// The USB device's reply to the licence request: the bytes copied into the 130-byte work
// buffer, the status byte and its verdict, and the licence text at offset 11.
#include "fuzz/property.h"
#include "usb/usbframe.h"

using namespace usbframe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string packet(reinterpret_cast<const char *>(data), size);
    const LicenceReply reply = readLicenceReply(packet);
    const LicenceReply again = readLicenceReply(packet);
    PROPERTY(reply.buffer == again.buffer && reply.licence == again.licence && reply.tail == again.tail
             && reply.tailHex == again.tailHex && reply.verdict == again.verdict);

    PROPERTY(reply.received == int(size));
    // The buffer holds the reply's first 130 bytes and zeros behind a shorter one.
    for (size_t i = 0; i < reply.buffer.size(); ++i)
        PROPERTY(reply.buffer[i] == (i < size ? data[i] : 0));

    PROPERTY(reply.status == reply.buffer[replyStatusOffset]);
    PROPERTY(reply.verdict
             == (size < size_t(replyMinimumLength)       ? ReplyVerdict::TooShort
                     : reply.status == statusSuccess     ? ReplyVerdict::Success
                     : reply.status == statusCheckFailed ? ReplyVerdict::CheckFailed
                                                         : ReplyVerdict::ReadFailed));

    // The licence is always 21 characters, each one byte of the buffer from offset 11.
    PROPERTY(reply.licence.size() == licencetext::licenceLength);
    for (int i = 0; i < licencetext::licenceLength; ++i)
        PROPERTY(reply.licence.at(i).unicode() == reply.buffer[size_t(licenceOffset + i)]);
    PROPERTY(reply.tail.size() == replyBufferLength - replyStatusOffset - 1);
    PROPERTY(reply.tail.mid(licenceOffset - replyStatusOffset - 1, licencetext::licenceLength)
             == reply.licence);
    PROPERTY(reply.tailHex == reply.tailHex.toUpper());
    PROPERTY(QByteArray::fromHex(reply.tailHex) == reply.tail.toLatin1());
    return 0;
}
