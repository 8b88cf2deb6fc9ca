// The IMEI reply of a serial device: the search for the IMEI and the walk through the
// model table by the TAC found in the reply.
#include "fuzz/property.h"
#include "serial/serialreply.h"

using namespace serialreply;

namespace {

// The IMEI stands in the text as a whole run: no digit right before or right after it.
bool standsAlone(const QString &text, const QString &imei)
{
    for (int at = text.indexOf(imei); at >= 0; at = text.indexOf(imei, at + 1)) {
        const int end = at + imei.size();
        if ((at == 0 || !text.at(at - 1).isDigit()) && (end == text.size() || !text.at(end).isDigit()))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply = fuzz::Input(data, size).rest();
    const QString text = QString::fromUtf8(reply);

    const QString imei = extractImei(text);
    PROPERTY(imei == extractImei(text));
    PROPERTY(imei.isEmpty() || imei.size() == 15);
    for (const QChar c : imei)
        PROPERTY(c.isDigit());
    PROPERTY(imei.isEmpty() || standsAlone(text, imei));

    const std::optional<SerialModel> model = findSerialModel(reply);
    const std::optional<SerialModel> again = findSerialModel(reply);
    PROPERTY(model.has_value() == again.has_value());
    if (model) {
        PROPERTY(model->picture == again->picture && model->modelVariant == again->modelVariant);
        // Every TAC is 99000101 to 99000113: the reply holds one of them.
        PROPERTY(reply.contains("9900010") || reply.contains("9900011"));
        PROPERTY(model->picture.startsWith(QLatin1String(":/qjpg/res/LBL")));
        PROPERTY(model->modelVariant == keepModelVariant || model->modelVariant == 1 || model->modelVariant == 2);
    } else {
        for (int row = 1; row <= 13; ++row)
            PROPERTY(!reply.contains("990001" + QByteArray::number(row).rightJustified(2, '0')));
    }
    return 0;
}
