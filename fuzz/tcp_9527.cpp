// The port-9527 replies: the acknowledgement, then the record whose last comma field is
// the licence value, its shown text and the model key that starts it. Bytes are decoded
// up to the first zero byte, as the dialogue does.
#include "fuzz/property.h"
#include "net/tcpreply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::Input(data, size).rest();

    const QString reply = licencetext::upToZero(bytes);
    PROPERTY(reply == licencetext::upToZero(bytes));
    PROPERTY(!reply.contains(QChar(0)));
    PROPERTY(reply.size() <= bytes.size());
    const int zero = bytes.indexOf('\0');
    const QByteArray text = zero < 0 ? bytes : bytes.left(zero);
    if (fuzz::isPlainUtf8(text))
        PROPERTY(reply.toUtf8() == text);

    PROPERTY(tcpreply::acknowledges(reply) == reply.contains(QLatin1String("OK")));

    const QString value = tcpreply::lastCommaField(reply);
    PROPERTY(value == tcpreply::lastCommaField(reply));
    PROPERTY(reply.endsWith(value));
    PROPERTY(!value.contains(QLatin1Char(',')));
    PROPERTY(reply.contains(QLatin1Char(',')) ? reply.at(reply.size() - value.size() - 1) == QLatin1Char(',')
                                              : value == reply);

    const QString shown = tcpreply::shownText(value);
    PROPERTY(shown.size() == qMin(value.size(), licencetext::licenceLength));
    PROPERTY(value.startsWith(shown));

    // The model key is the value's first characters, and the picture depends on it alone.
    const QString key = tcpreply::modelKey(value);
    PROPERTY(key.size() == qMin(value.size(), tcpreply::modelKeyLength) && value.startsWith(key));
    const QString picture = tcpreply::picture9527(value);
    PROPERTY(picture == tcpreply::picture9527(key) && picture == tcpreply::picture9527(shown));
    PROPERTY(picture.isEmpty() || picture.startsWith(QLatin1String(":/qjpg/res/LBL")));
    return 0;
}
