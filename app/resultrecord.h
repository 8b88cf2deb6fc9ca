#ifndef QUORVANE_APP_RESULTRECORD_H
#define QUORVANE_APP_RESULTRECORD_H

// The operator's record: on request (--record FILE), every device result the window
// showed or said becomes one line of a CSV file, once per appearance of the device.
// Without a file nothing is kept and every operation returns at once.
//
// The dialogues' endings feed it: the detection cycle says where a dialogue starts and
// where nothing answered, the dialogue says what identity it read, and the two ways a
// dialogue ends (the label shown, a status message) close the line.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace resultrecord {

// The columns, in this order.
constexpr char header[] = "time,transport,where,identity,picture,licence,outcome";
// The outcome of a dialogue that showed its label.
constexpr char shownOutcome[] = "shown";

// One field as it is written: a text a spreadsheet would take for a formula (it starts
// with =, +, -, @, a tab or a carriage return) gets a leading ', control characters other
// than tab, line feed and carriage return become their visible pictures (U+2400...), and
// a field holding a comma, a double quote or a line break is quoted, its quotes doubled.
QString field(const QString &text);

// One line: the fields, separated by commas, ended by CR LF, in UTF-8.
QByteArray line(const QStringList &fields);

// Local time with its offset from UTC, to the millisecond: 2026-12-07T14:03:05.120+08:00.
QString timestamp(const QDateTime &time);

// The picture's resource name without folder and extension: ":/qjpg/res/LBL04.jpg" gives
// "LBL04".
QString pictureName(const QString &path);

// The new content of a record file that held `existing`: the header first when it was
// empty, and a line break first when its last line was left open.
QByteArray appended(const QByteArray &existing, const QByteArray &lines);

// Which results make a new line: a result is new at a slot unless the same result was the
// last one there and the device has not gone since.
class Appearances
{
public:
    // True, and remembered, when `result` is a new appearance at `slot`.
    bool isNew(const QString &slot, const QStringList &result);
    // Nothing answered at `slot`: its next result is a new appearance.
    void gone(const QString &slot);

private:
    QHash<QString, QStringList> m_last;
};

} // namespace resultrecord

class ResultRecord
{
public:
    enum class Transport { Serial, Usb, Tcp };

    ResultRecord() = default;
    // Lines that could not be written by now go to the message log, not lost silently.
    ~ResultRecord();
    ResultRecord(const ResultRecord &) = delete;
    ResultRecord &operator=(const ResultRecord &) = delete;

    // From now on results are appended to the file at `path`.
    void keepIn(const QString &path);
    // From now on every new line's fields (time, transport, where, identity, picture,
    // licence, outcome; as shown, not quoted) also go to `sink` (the central record).
    void alsoTo(std::function<void(const QStringList &)> sink) { m_sink = std::move(sink); }
    bool keeps() const { return !m_path.isEmpty() || m_sink; }

    // A dialogue with the device at `where` starts; its ending is the next shown() or
    // said(). `where` is the port name and description, the USB bus,port or address:port.
    void begin(Transport transport, const QString &where);
    // The cycle tried `where` and nothing answered there (for serial: no port opened).
    void gone(Transport transport, const QString &where = QString());
    // The identity the running dialogue read from its device.
    void identified(const QString &identity);

    // The dialogue's ending: its label, or its status message. Each returns a message for
    // the status bar when the record could not be written (once, until a write succeeds
    // again; the line waits for the next result), otherwise an empty text. Outside a
    // dialogue nothing is recorded: the record's own message is no device result.
    QString shown(const QString &picturePath, const QString &text);
    QString said(const QString &message);

private:
    QString finish(const QString &picture, const QString &text, const QString &outcome);

    QString m_path;
    std::function<void(const QStringList &)> m_sink;
    bool m_inDialogue = false;
    Transport m_transport = Transport::Serial;
    QString m_where;
    QString m_identity;
    resultrecord::Appearances m_appearances;
    QByteArray m_waiting; // lines not yet in the file
    bool m_failing = false;
};

#endif // QUORVANE_APP_RESULTRECORD_H
