// The IMEI reply of a serial device: the search for the IMEI and the choice of the model
// by the TAC found in the reply, checked against the model table itself.
#include "fuzz/property.h"
#include "serial/serialreply.h"

#include <iterator>

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

QString withoutDigits(const QString &text)
{
    QString kept;
    for (const QChar c : text) {
        if (!c.isDigit())
            kept += c;
    }
    return kept;
}

// The model the table names for a reply: the first row whose TAC the reply holds, and for
// the row with two pictures the one the IMEI's last seven digits choose.
void checkModel(const QByteArray &reply, const QString &imei)
{
    const ModelRow *expected = nullptr;
    for (const ModelRow &row : modelTable) {
        if (reply.contains(row.tac)) {
            expected = &row;
            break;
        }
    }
    const std::optional<SerialModel> model = findSerialModel(reply);
    PROPERTY(model.has_value() == (expected != nullptr));
    if (!model)
        return;
    PROPERTY(model->modelVariant == expected->modelVariant);
    const char *picture = expected->picture;
    if (expected->pictureUpToThreshold && imei.right(row12SerialDigits).toInt() <= row12Threshold)
        picture = expected->pictureUpToThreshold;
    PROPERTY(model->picture == QLatin1String(picture));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    // An IMEI made of the input: a row's TAC and seven digits, or fifteen digits of its own.
    const uint8_t rowChoice = input.byte();
    const int rows = int(std::size(modelTable));
    QByteArray imei = rowChoice < rows ? QByteArray(modelTable[rowChoice].tac) : QByteArray();
    while (imei.size() < 15)
        imei += char('0' + input.byte() % 10);
    const uint8_t split = input.byte();
    const QByteArray reply = input.rest();
    const QString text = QString::fromUtf8(reply);

    // Soundness: what is found is 15 digits standing alone in the reply.
    const QString found = extractImei(text);
    PROPERTY(found == extractImei(text));
    PROPERTY(found.isEmpty() || found.size() == 15);
    for (const QChar c : found)
        PROPERTY(c.isDigit());
    PROPERTY(found.isEmpty() || standsAlone(text, found));
    // The TAC of a reply without a row of the table names no model; one with it, that row.
    checkModel(reply, found);

    // Completeness: the IMEI on a line of its own, after text without digits and before
    // anything at all, is found, and its TAC (when the table has it) names its model.
    const int cut = text.isEmpty() ? 0 : split % (text.size() + 1);
    const QString withImei = withoutDigits(text.left(cut)) + QStringLiteral("\r\n")
        + QString::fromLatin1(imei) + QStringLiteral("\r\n") + text.mid(cut);
    PROPERTY(extractImei(withImei) == QString::fromLatin1(imei));
    checkModel(withImei.toUtf8(), QString::fromLatin1(imei));
    return 0;
}
