#ifndef QUORVANE_SERIAL_SERIALREPLY_H
#define QUORVANE_SERIAL_SERIALREPLY_H

// What the AT dialogue makes of a serial device's bytes. Pure functions: no port, no
// window; the dialogue in queryserial.cpp moves the bytes and calls these.

#include "app/licencetext.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace serialreply {

// A model-table row that leaves modelVariant alone.
constexpr int keepModelVariant = -1;

// The first run of exactly 15 digits in text, or an empty string. A run of digits is
// taken whole, so 16 or more digits in a row never yield an IMEI.
QString extractImei(const QString &text);

// The device model that an IMEI reply names by its 8-digit type allocation code.
struct SerialModel
{
    QString picture;   // resource path of the licence label picture
    int modelVariant;  // the value modelVariant takes, or keepModelVariant
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
