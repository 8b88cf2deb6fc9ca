#ifndef QUORVANE_SIM_SCRIPT_SCRIPT_H
#define QUORVANE_SIM_SCRIPT_SCRIPT_H

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

// What a fake device says, written down before it runs. The same words serve the serial
// modem, the network service and the USB bulk device; each fake only adds what its
// transport needs (the pty, the socket, the URBs).
//
// A Reply is a list of chunks, each after a pause, and then how the reply ends: the device
// stays quiet, streams a piece again and again, closes, resets, or is pulled out. Hostile
// devices are plain data:
//
//   Reply::text("\r\nOK\r\n", 20)                        // one chunk after 20 ms
//   Reply::text("+KESET: 26,").then("ABC\r\nOK\r\n", 50)   // two chunks 50 ms apart
//   Reply::text(QByteArray(1 << 20, 'x'))                  // one MiB at once
//   Reply::text(garbage(512))                              // bytes no parser expects
//   Reply::stream("+CREG: 1\r\n", 20)                      // talks until the next request
//   Reply::text("\r\n123\r\n").thenUnplug(20)              // answers, then is pulled out
//   Reply::reset(10)                                       // drops the connection
//
// A Script maps requests to replies. On the serial line and the network a request is one
// line (up to its carriage return, without line ends); on USB the bytes received since the
// last match, which must contain the request.
//
//   Script().on("AT*MRD_IMEI=R", Reply::text(...)).once("AT*KESET=26", Reply::silence())
//           .otherwise(Reply::text("\r\nERROR\r\n")).strict()
namespace quorvane::sim {

// Milliseconds on the monotonic clock that every fake stamps its records with; comparable
// across threads and fakes, and with the caller's own readings of it.
qint64 clockMs();

// Bytes sent after a pause. The pause counts from the previous chunk of the same reply, or
// for the first chunk from the moment the request arrived.
struct Chunk
{
    QByteArray bytes;
    int delayMs = 0;
};

struct Reply
{
    enum class End {
        Stay,   // say nothing more
        Stream, // send streamPiece again and again, until the next request or the peer goes
        Close,  // close the connection normally (network: FIN)
        Reset,  // drop the connection (network: RST; serial: the line drops, the port stays)
        Unplug, // the device is pulled out: it leaves the system and every later access fails
    };
    // Serial lines and USB devices have no connection of their own: there Close ends the
    // way Unplug does, and so does Reset on USB.

    QList<Chunk> chunks;
    End end = End::Stay;
    int endDelayMs = 0; // pause after the last chunk before the stream or the ending
    QByteArray streamPiece;
    int streamIntervalMs = 0; // 0: as fast as the peer takes the bytes

    static Reply silence() { return Reply(); }
    static Reply text(const QByteArray &bytes, int delayMs = 0);
    static Reply stream(const QByteArray &piece, int intervalMs = 0, int delayMs = 0);
    static Reply close(int delayMs = 0) { return Reply().thenEnd(End::Close, delayMs); }
    static Reply reset(int delayMs = 0) { return Reply().thenEnd(End::Reset, delayMs); }
    static Reply unplug(int delayMs = 0) { return Reply().thenEnd(End::Unplug, delayMs); }

    Reply &then(const QByteArray &bytes, int delayMs = 0);
    Reply &thenStream(const QByteArray &piece, int intervalMs = 0, int delayMs = 0);
    Reply &thenClose(int delayMs = 0) { return thenEnd(End::Close, delayMs); }
    Reply &thenReset(int delayMs = 0) { return thenEnd(End::Reset, delayMs); }
    Reply &thenUnplug(int delayMs = 0) { return thenEnd(End::Unplug, delayMs); }
    // The reply ends `how`, `delayMs` after its last chunk.
    Reply &thenEnd(End how, int delayMs = 0);
};

// `count` bytes that no device dialogue expects (no line ends, no frame lead-in), the same
// for the same seed.
QByteArray garbage(int count, quint32 seed = 1);

class Script
{
public:
    // What every new connection starts with (network devices; the others speak only when
    // spoken to).
    Script &greet(const Reply &reply);
    // The standing reply to `request`. A later rule for the same request replaces the
    // earlier one, so a ready-made script can be varied rule by rule.
    Script &on(const QByteArray &request, const Reply &reply);
    // Replies used once each, in order, before the standing one: "silent the first time,
    // answers the second".
    Script &once(const QByteArray &request, const Reply &reply);
    // The reply to any request without a rule of its own (silence by default).
    Script &otherwise(const Reply &reply);
    // A request without a rule (and no otherwise) stops the program at once, printing what
    // the script expected and what the device had received, instead of going unnoticed.
    Script &strict(bool on = true);

    const Reply &greeting() const { return m_greeting; }
    // The requests that have rules, in the order their rules were first added (a later rule
    // for a request keeps the place of the first): the order a dialogue written as a script
    // is meant to send them in.
    QList<QByteArray> requests() const;

    // The reply to one line, using up a once-reply. `received` is only for the message a
    // strict script stops with.
    Reply take(const QByteArray &line, const QByteArray &received = QByteArray());
    // USB: the reply of the first rule whose request the bytes contain (an empty request
    // matches any). Nothing when no rule matches yet; a strict script stops when no rule
    // can match any more (the bytes are not the start of a request).
    std::optional<Reply> takeWithin(const QByteArray &bytes, const QByteArray &received = QByteArray());

private:
    struct Rule
    {
        QByteArray request;
        std::optional<Reply> reply; // none: `otherwise` answers once the once-replies are used
        QList<Reply> once;
    };
    Rule *find(const QByteArray &request);
    static std::optional<Reply> use(Rule &rule);
    [[noreturn]] void refuse(const QByteArray &request, const QByteArray &received) const;

    Reply m_greeting;
    QList<Rule> m_rules;
    std::optional<Reply> m_otherwise;
    bool m_strict = false;
};

} // namespace quorvane::sim

// Tests put replies and scripts in their data tables.
Q_DECLARE_METATYPE(quorvane::sim::Reply)
Q_DECLARE_METATYPE(quorvane::sim::Script)

#endif // QUORVANE_SIM_SCRIPT_SCRIPT_H
