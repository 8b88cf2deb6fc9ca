// The port-3762 shell's reply: the licence value behind the first "net_cert" and one
// separator (at position 8 without a marker), its shown text, and the model key that
// picks a picture by the address that answered. Input: the address byte, then the reply.
#include "fuzz/property.h"
#include "net/tcpreply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int tcpVariant = input.byte() % 3;
    const QString reply = licencetext::upToZero(input.rest());
    PROPERTY(!reply.contains(QChar(0)));

    const QString value = tcpreply::netCertValue(reply);
    PROPERTY(value == tcpreply::netCertValue(reply));
    PROPERTY(reply.endsWith(value));
    const int marker = reply.indexOf(QLatin1String("net_cert"));
    const int start = marker < 0 ? 8 : marker + 9;
    PROPERTY(value.size() == qMax(0, reply.size() - start));

    const QString shown = tcpreply::shownText(value);
    PROPERTY(shown.size() == qMin(value.size(), licencetext::licenceLength));
    PROPERTY(value.startsWith(shown));

    // The model key is the value's first characters, and the picture depends on it alone.
    const QString key = tcpreply::modelKey(value);
    PROPERTY(key.size() == qMin(value.size(), tcpreply::modelKeyLength) && value.startsWith(key));
    const QString picture = tcpreply::picture3762(value, tcpVariant);
    PROPERTY(picture == tcpreply::picture3762(key, tcpVariant)
             && picture == tcpreply::picture3762(shown, tcpVariant));
    PROPERTY(picture.isEmpty() || picture.startsWith(QLatin1String(":/qjpg/res/LBL")));
    // Every address other than the first reads the same table column.
    if (tcpVariant != 0)
        PROPERTY(picture == tcpreply::picture3762(value, 1));
    // A value a key starts on one address is a model on the other, too.
    PROPERTY(picture.isEmpty() == tcpreply::picture3762(value, 1 - qMin(tcpVariant, 1)).isEmpty());
    return 0;
}
