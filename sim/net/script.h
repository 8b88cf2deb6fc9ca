#ifndef QUORVANE_SIM_NET_SCRIPT_H
#define QUORVANE_SIM_NET_SCRIPT_H

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

// What a fake network device says, written down before it runs: a greeting for every new
// connection, and for each line it receives an answer made of chunks with pauses, followed
// by nothing more, an endless stream, a normal close or a reset.
namespace quorvane::sim::net {

// Bytes sent after a pause. The pause counts from the previous chunk of the same answer, or
// for the first chunk from the moment the answer was set off.
struct Chunk {
    QByteArray bytes;
    int delayMs = 0;
};

struct Answer {
    enum class End {
        StayOpen, // say nothing more; the connection stays
        Stream,   // send streamPiece again and again until the peer goes
        Close,    // close the connection normally (FIN)
        Reset,    // drop the connection with a reset (RST)
    };

    QList<Chunk> chunks;
    End end = End::StayOpen;
    int endDelayMs = 0;        // pause after the last chunk before the stream, close or reset
    QByteArray streamPiece;
    int streamIntervalMs = 0;  // 0: as fast as the peer takes the bytes

    // Nothing at all.
    static Answer silence() { return Answer(); }
    // One chunk.
    static Answer reply(const QByteArray &bytes, int delayMs = 0);
    // Nothing but a stream of `piece`, starting after `delayMs`.
    static Answer stream(const QByteArray &piece, int intervalMs = 0, int delayMs = 0);
    // Nothing but a reset after `delayMs`.
    static Answer reset(int delayMs = 0);

    // Builders: another chunk, or how the answer ends.
    Answer &then(const QByteArray &bytes, int delayMs = 0);
    Answer &thenStream(const QByteArray &piece, int intervalMs = 0, int delayMs = 0);
    Answer &thenClose(int delayMs = 0);
    Answer &thenReset(int delayMs = 0);

    // All chunk bytes, in order (the stream not included).
    QByteArray bytes() const;
};

// A line is what arrives up to a carriage return (0x0D), without the line feeds and carriage
// returns around it. Empty lines set nothing off.
class Script {
public:
    // Sent on every new connection (silence by default).
    Script &greet(const Answer &answer);
    // The answer to a line that is exactly `line`. A later rule for the same line replaces
    // the earlier one, so a ready-made script can be varied line by line.
    Script &on(const QByteArray &line, const Answer &answer);
    // The answer to any line without a rule of its own (silence by default).
    Script &otherwise(const Answer &answer);

    const Answer &greeting() const { return greeting_; }
    const Answer &answerTo(const QByteArray &line) const;

private:
    Answer greeting_;
    QList<QPair<QByteArray, Answer>> rules_;
    std::optional<Answer> otherwise_;
    Answer silence_;
};

} // namespace quorvane::sim::net

// The fake network devices' short name, as the tests use it.
namespace simnet = quorvane::sim::net;

#endif // QUORVANE_SIM_NET_SCRIPT_H
