#include "net/tcpreply.h"
#include "res/labelpictures.h"

namespace tcpreply {

namespace {

// The model is told by the first six characters of the licence value. Rows are tried in
// order; the first key that starts the value wins.
struct Key9527
{
    const char *key;
    const char *picture;
};

constexpr Key9527 keys9527[] = {
    {"700101", ":/qjpg/res/LBL16.png"},
    {"700102", ":/qjpg/res/LBL15.png"},
};

// On port 3762 one model shows another label depending on the address that answered.
struct Key3762
{
    const char *key;
    const char *pictureAt2;  // 192.168.2.1, tcpVariant 0
    const char *pictureAt10; // 192.168.10.1, tcpVariant 1
};

constexpr Key3762 keys3762[] = {
    {"700101", ":/qjpg/res/LBL15.png", ":/qjpg/res/LBL16.png"},
    {"700102", ":/qjpg/res/LBL15.png", ":/qjpg/res/LBL15.png"},
};

static_assert(
    [] {
        for (const Key9527 &key : keys9527) {
            if (!labelpictures::listed(key.picture))
                return false;
        }
        for (const Key3762 &key : keys3762) {
            if (!labelpictures::listed(key.pictureAt2) || !labelpictures::listed(key.pictureAt10))
                return false;
        }
        return true;
    }(),
    "a key row names a label picture that res/draw-labels.sh does not draw");

constexpr char netCertMarker[] = "net_cert";
constexpr int netCertMarkerLength = sizeof(netCertMarker) - 1;
// The licence text starts behind the marker and exactly one separator character.
constexpr int netCertSkip = netCertMarkerLength + 1;

bool startsWithKey(const QString &value, const char *key)
{
    return value.startsWith(QLatin1String(key), Qt::CaseSensitive);
}

} // namespace

bool acknowledges(const QString &reply)
{
    return reply.contains(QLatin1String("OK"), Qt::CaseSensitive);
}

QString lastCommaField(const QString &reply)
{
    // lastIndexOf gives -1 without a comma, so the whole reply is the field.
    return reply.mid(reply.lastIndexOf(QLatin1Char(',')) + 1);
}

QString netCertValue(const QString &reply)
{
    // Without a marker the position is -1, and the value starts at 8.
    const int marker = reply.indexOf(QLatin1String(netCertMarker), 0, Qt::CaseSensitive);
    const int start = marker + netCertSkip;
    return start >= reply.size() ? QString() : reply.mid(start);
}

QString modelKey(const QString &value)
{
    return value.left(modelKeyLength);
}

QString shownText(const QString &value)
{
    return value.left(licencetext::licenceLength);
}

QString picture9527(const QString &value)
{
    for (const Key9527 &row : keys9527) {
        if (startsWithKey(value, row.key))
            return QLatin1String(row.picture);
    }
    return QString();
}

QString picture3762(const QString &value, int tcpVariant)
{
    for (const Key3762 &row : keys3762) {
        if (startsWithKey(value, row.key))
            return QLatin1String(tcpVariant == 0 ? row.pictureAt2 : row.pictureAt10);
    }
    return QString();
}

} // namespace tcpreply
