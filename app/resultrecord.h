#ifndef QUORVANE_APP_RESULTRECORD_H
#define QUORVANE_APP_RESULTRECORD_H

// The operator's record: on request (--record FILE), every device result the window
// showed or said becomes one line of a CSV file, once per appearance of the device.
// Without a file nothing is kept and every operation returns at once.
//
// The dialogues' endings feed it: the detection cycle says where a dialogue starts, where
// nothing answered and when a dialogue is over, the dialogue says what identity it read,
// and the ways a dialogue ends (the label shown, a status message, silence) close the
// line. The lines go to the file through RecordFile (app/recordfile.h), appended and
// synced one result at a time; lines the file does not take wait in memory meanwhile.

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace resultrecord {

// The columns, in this order.
constexpr char header[] = "time,transport,where,identity,picture,licence,outcome";
// The outcome of a dialogue that showed its label.
constexpr char shownOutcome[] = "shown";
// The outcome of a dialogue with a device that was reached but ended without a label or
// a message.
constexpr char noAnswerOutcome[] = "no answer";

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

// What closes the last line of a record file that a crash left incomplete: a quote when
// the file ends inside a quoted field (`quoteOpen`: it holds an odd number of quotes),
// then the line end missing after `ending`, the file's last bytes. Empty when the last
// line is whole (or there is none).
QByteArray closing(bool quoteOpen, const QByteArray &ending);

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

class RecordFile;

class ResultRecord
{
public:
    enum class Transport { Serial, Usb, Tcp };
    // Told at each change of whether the record is written: `message` for the window, the
    // reason while it is not written, the news when it is written again.
    using StateListener = std::function<void(bool written, const QString &message)>;

    ResultRecord();
    // Lines that could not be written by now go to the message log, not lost silently.
    ~ResultRecord();
    ResultRecord(const ResultRecord &) = delete;
    ResultRecord &operator=(const ResultRecord &) = delete;

    // From now on results are appended to the file at `path`. False, with the reason in
    // `why`, when the file is refused for good (it holds another header, another tool
    // writes it): the tool must not go on. A file that cannot be written yet (no folder,
    // a full disk) is no refusal: its lines wait, and the listener hears of it at once.
    bool keepIn(const QString &path, QString *why);
    // The same with a file opened already (by main, before the window exists).
    void keepIn(std::unique_ptr<RecordFile> file);
    // From now on every new line's fields (time, transport, where, identity, picture,
    // licence, outcome; as shown, not quoted) also go to `sink` (the central record).
    void alsoTo(std::function<void(const QStringList &)> sink) { m_sink = std::move(sink); }
    bool keeps() const { return m_file != nullptr || m_sink; }
    void onStateChange(StateListener listener) { m_listener = std::move(listener); }

    // Once per poll: lines that waited are written as soon as the file takes them.
    void poll();

    // A dialogue with the device at `where` starts; its ending is the next shown(), said()
    // or ended(). `where` is the port name and description, the USB bus,port or address:port.
    void begin(Transport transport, const QString &where);
    // The cycle tried `where` and nothing answered there (for serial: no port opened).
    void gone(Transport transport, const QString &where = QString());
    // The identity the running dialogue read from its device.
    void identified(const QString &identity);

    // The dialogue's ending: its label, or its status message. Outside a dialogue nothing
    // is recorded.
    void shown(const QString &picturePath, const QString &text);
    void said(const QString &message);
    // The cycle is done with a dialogue: one that neither showed nor said anything ends
    // with the outcome "no answer".
    void ended();
    // The dialogue ends without an outcome: nothing is recorded for it.
    void dropDialogue() { m_inDialogue = false; }

private:
    void finish(const QString &picture, const QString &text, const QString &outcome);
    // The one place a finished line goes, `fields` in the order of the header: it waits,
    // in order, until the file holds it on the disk.
    void keep(const QStringList &fields);
    // Writes what waits; tells the listener and the log when that changes from working
    // to failing or back.
    void write();
    void setWritten(bool written, const QString &why);

    std::unique_ptr<RecordFile> m_file;
    std::function<void(const QStringList &)> m_sink;
    bool m_inDialogue = false;
    Transport m_transport = Transport::Serial;
    QString m_where;
    QString m_identity;
    resultrecord::Appearances m_appearances;
    QByteArray m_waiting; // whole lines not yet in the file, in order
    int m_waitingLines = 0;
    bool m_written = true;
    StateListener m_listener;
};

#endif // QUORVANE_APP_RESULTRECORD_H
