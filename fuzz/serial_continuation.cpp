// The continuation of a serial reply: read after read is appended, as text up to its
// first zero byte, until a read brings nothing or the reply reaches its cap of 64 KiB.
// Input: three bytes for the length the reply has already, then reads, each behind a
// length byte.
#include "fuzz/property.h"
#include "serial/serialreply.h"

using namespace serialreply;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    int already = input.byte();
    already = (already << 8) | input.byte();
    already = (already << 8) | input.byte();
    // Mostly close to the cap, where the cut happens; sometimes anywhere below or above it.
    already = already & 1 ? licencetext::replyLimitBytes - (already >> 1) % 512
                          : (already >> 1) % (licencetext::replyLimitBytes + 64);

    QByteArray reply(already, 'r');
    bool goOn = true;
    while (goOn && !input.empty()) {
        const QByteArray read = input.take(input.byte());
        const QByteArray before = reply;
        QByteArray twice = reply;
        goOn = appendContinuationRead(reply, read);
        PROPERTY(goOn == appendContinuationRead(twice, read) && twice == reply);

        PROPERTY(reply.startsWith(before));
        PROPERTY(reply.size() <= qMax(before.size(), licencetext::replyLimitBytes));
        const QByteArray added = reply.mid(before.size());
        PROPERTY(!added.contains('\0'));
        // Text that decodes cleanly is appended as it came, up to its zero byte and the cap.
        const int zero = read.indexOf('\0');
        const QByteArray text = zero < 0 ? read : read.left(zero);
        if (fuzz::isPlainUtf8(text))
            PROPERTY(added == text.left(qMax(0, licencetext::replyLimitBytes - before.size())));
        // Going on means text arrived and room is left; stopping means the opposite.
        PROPERTY(goOn == (!text.isEmpty() && reply.size() < licencetext::replyLimitBytes));
    }
    return 0;
}
