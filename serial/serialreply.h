#ifndef QUORVANE_SERIAL_SERIALREPLY_H
#define QUORVANE_SERIAL_SERIALREPLY_H

// What the AT dialogue makes of a serial device's bytes. Pure functions: no port, no
// window; the dialogue in queryserial.cpp moves the bytes and calls these.

#include "shared/licencetext.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace serialreply {

// A model-table row that leaves modelVariant alone.
constexpr int keepModelVariant = -1;

// The first run of exactly 15 digits in text, or an empty string. A run of digits is
// taken whole, so 16 or more digits in a row never yield an IMEI.
QString extractImei(const QString &text);

// The IMEI's last seven digits above this number mark the later labels of row 12.
inline constexpr int row12Threshold = 300315;
inline constexpr int row12SerialDigits = 7;

struct ModelRow
{
    const char *tac;
    const char *picture;
    int modelVariant;
    // Row 12 only: the picture when the IMEI's serial part is not above row12Threshold.
    const char *pictureUpToThreshold;
};

// The model table, by the 8-digit type allocation code (TAC) at the start of an IMEI.
// Searched in this order; the first TAC found in the reply decides.
inline constexpr ModelRow modelTable[] = {
    {"99000101", ":/qjpg/res/LBL01.jpg", keepModelVariant, nullptr},
    {"99000102", ":/qjpg/res/LBL02.jpg", keepModelVariant, nullptr},
    {"99000103", ":/qjpg/res/LBL03.jpg", keepModelVariant, nullptr},
    {"99000104", ":/qjpg/res/LBL04.jpg", keepModelVariant, nullptr},
    {"99000105", ":/qjpg/res/LBL05.jpg", keepModelVariant, nullptr},
    {"99000106", ":/qjpg/res/LBL06.jpg", keepModelVariant, nullptr},
    {"99000107", ":/qjpg/res/LBL07.jpg", keepModelVariant, nullptr},
    {"99000108", ":/qjpg/res/LBL08.jpg", keepModelVariant, nullptr},
    {"99000109", ":/qjpg/res/LBL09.png", 2, nullptr},
    {"99000110", ":/qjpg/res/LBL10.jpg", 1, nullptr},
    {"99000111", ":/qjpg/res/LBL11.png", 2, nullptr},
    {"99000112", ":/qjpg/res/LBL12.png", 2, ":/qjpg/res/LBL13.png"},
    {"99000113", ":/qjpg/res/LBL14.png", keepModelVariant, nullptr},
};

// The device model that an IMEI reply names by its 8-digit type allocation code.
struct SerialModel
{
    QString picture;  // resource path of the licence label picture
    int modelVariant; // the value modelVariant takes, or keepModelVariant
};

// The first row of the model table whose TAC occurs anywhere in the reply (rows are
// tried in table order, not in reply order); nothing when no TAC occurs.
std::optional<SerialModel> findSerialModel(const QByteArray &imeiReply);

// Appends one continuation read to a reply: the read's text (licencetext::upToZero) as
// UTF-8 bytes, no further than licencetext::replyLimitBytes in all. True when the continuation goes
// on: the read had text and the reply still has room.
bool appendContinuationRead(QByteArray &reply, const QByteArray &read);

// The licence text: up to licencetext::licenceLength bytes from offset bytes behind the start of
// the first marker in the reply (fewer when the reply ends sooner, none when the start
// lies beyond it), as text. Nothing when the reply has no marker.
std::optional<QString> cutLicenceText(const QByteArray &reply, const QByteArray &marker, int offset);

} // namespace serialreply

#endif // QUORVANE_SERIAL_SERIALREPLY_H
