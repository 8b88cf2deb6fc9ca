#ifndef QUORVANE_SERIAL_SERIALREPLY_H
#define QUORVANE_SERIAL_SERIALREPLY_H

// What the AT dialogue makes of a serial device's bytes. Pure functions: no port, no
// window; the dialogue in queryserial.cpp moves the bytes and calls these.

#include <QByteArray>
#include <QString>

#include <optional>

// A reply never grows beyond this many bytes, however long the device keeps talking.
constexpr int serialReplyLimitBytes = 64 * 1024;
// The licence text is cut to this many bytes.
constexpr int licenceTextBytes = 21;
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

// Bytes as the dialogue turns them into text: UTF-8, up to the first zero byte.
QString textUpToZero(const QByteArray &bytes);

// Appends one continuation read to a reply: the read's text (textUpToZero) as UTF-8
// bytes, no further than serialReplyLimitBytes in all. True when the continuation goes
// on: the read had text and the reply still has room.
bool appendContinuationRead(QByteArray &reply, const QByteArray &read);

// The licence text: up to licenceTextBytes bytes from offset bytes behind the start of
// the first marker in the reply (fewer when the reply ends sooner, none when the start
// lies beyond it), as text. Nothing when the reply has no marker.
std::optional<QString> cutLicenceText(const QByteArray &reply, const QByteArray &marker, int offset);

#endif // QUORVANE_SERIAL_SERIALREPLY_H
