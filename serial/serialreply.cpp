#include "serial/serialreply.h"

#include "res/labelpictures.h"

#include <QRegExp>

namespace serialreply {

namespace {

constexpr int imeiDigits = 15;

static_assert(
    [] {
        for (const ModelRow &row : modelTable) {
            if (!labelpictures::listed(row.picture) || !labelpictures::listed(row.pictureUpToThreshold))
                return false;
        }
        return true;
    }(),
    "a model row names a label picture that res/draw-labels.sh does not draw");

QString pictureOf(const ModelRow &row, const QByteArray &imeiReply)
{
    if (!row.pictureUpToThreshold)
        return QString::fromLatin1(row.picture);
    // A failed conversion, or no IMEI at all, counts as 0: the earlier label.
    const QString imei = extractImei(QString::fromUtf8(imeiReply));
    const int serial = imei.right(row12SerialDigits).toInt(nullptr, 10);
    return QString::fromLatin1(serial > row12Threshold ? row.picture : row.pictureUpToThreshold);
}

} // namespace

QString extractImei(const QString &text)
{
    QRegExp digits(QStringLiteral("(\\d+)"), Qt::CaseSensitive, QRegExp::RegExp);
    int from = 0;
    while ((from = digits.indexIn(text, from)) != -1) {
        if (digits.cap(1).size() == imeiDigits)
            return digits.cap(1);
        from += digits.matchedLength();
    }
    return QString();
}

std::optional<SerialModel> findSerialModel(const QByteArray &imeiReply)
{
    for (const ModelRow &row : modelTable) {
        if (imeiReply.contains(row.tac))
            return SerialModel {pictureOf(row, imeiReply), row.modelVariant};
    }
    return std::nullopt;
}

bool appendContinuationRead(QByteArray &reply, const QByteArray &read)
{
    const QByteArray text = licencetext::upToZero(read).toUtf8();
    const int room = qMax(0, licencetext::replyLimitBytes - reply.size());
    reply.append(text.left(room));
    return !text.isEmpty() && reply.size() < licencetext::replyLimitBytes;
}

std::optional<QString> cutLicenceText(const QByteArray &reply, const QByteArray &marker, int offset)
{
    const int found = reply.indexOf(marker);
    if (found < 0)
        return std::nullopt;
    // mid() gives fewer bytes at the end of the reply and none beyond it.
    return licencetext::upToZero(reply.mid(found + offset, licencetext::licenceLength));
}

} // namespace serialreply
