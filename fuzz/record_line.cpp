// The operator's record: the identity and licence text a device sent become fields of a
// CSV line. Whatever the device sent, the line holds exactly the fields given, read back
// by any CSV reader, none of them a spreadsheet formula or a hidden control character.
// Input: fields of device bytes, each behind a length byte, decoded as the dialogues do.
#include "app/resultrecord.h"
#include "fuzz/property.h"

#include <optional>

namespace {

bool isFormulaStart(QChar c)
{
    return QStringLiteral("=+-@\t\r").contains(c);
}

bool isHiddenControl(char16_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0x7f;
}

bool breaksLine(QChar c)
{
    return QStringView(u"\r\n\x85\u2028\u2029").contains(c);
}

// The fields of one CSV line (RFC 4180), or nothing when it is not well formed: a quote
// inside an unquoted field, text behind a closing quote, or a line break outside quotes.
std::optional<QStringList> readCsv(const QString &text)
{
    QStringList fields;
    int at = 0;
    while (true) {
        QString field;
        if (at < text.size() && text.at(at) == QLatin1Char('"')) {
            for (++at;; ++at) {
                if (at >= text.size())
                    return std::nullopt;
                if (text.at(at) == QLatin1Char('"')) {
                    if (at + 1 < text.size() && text.at(at + 1) == QLatin1Char('"'))
                        ++at;
                    else
                        break;
                }
                field += text.at(at);
            }
            ++at;
        } else {
            for (; at < text.size() && text.at(at) != QLatin1Char(','); ++at) {
                if (text.at(at) == QLatin1Char('"') || breaksLine(text.at(at)))
                    return std::nullopt;
                field += text.at(at);
            }
        }
        fields << field;
        if (at == text.size())
            return fields;
        if (text.at(at) != QLatin1Char(','))
            return std::nullopt;
        ++at;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    QStringList fields;
    do
        fields << QString::fromUtf8(input.take(input.byte()));
    while (!input.empty() && fields.size() < 6);

    const QByteArray line = resultrecord::line(fields);
    PROPERTY(line == resultrecord::line(fields));
    PROPERTY(line.endsWith("\r\n"));
    const std::optional<QStringList> read = readCsv(QString::fromUtf8(line.chopped(2)));
    PROPERTY(read.has_value());
    PROPERTY(read->size() == fields.size());

    for (int i = 0; i < fields.size(); ++i) {
        const QString &sent = fields.at(i);
        const QString &written = read->at(i);
        // A formula start gets a quote mark in front; nothing else is added or dropped.
        const int shift = !sent.isEmpty() && isFormulaStart(sent.front()) ? 1 : 0;
        PROPERTY(written.size() == sent.size() + shift);
        PROPERTY(shift == 0 || written.front() == QLatin1Char('\''));
        PROPERTY(written.isEmpty() || !isFormulaStart(written.front()));
        // Each character as sent, but a hidden control character shown as its picture.
        for (int k = 0; k < sent.size(); ++k) {
            const char16_t c = sent.at(k).unicode();
            const char16_t w = written.at(k + shift).unicode();
            PROPERTY(isHiddenControl(c) ? (w >= 0x2400 && w <= 0x2421) : w == c);
        }
    }
    return 0;
}
