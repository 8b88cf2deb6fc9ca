#include "sim/net/script.h"

namespace quorvane::sim::net {

Answer Answer::reply(const QByteArray &bytes, int delayMs)
{
    return Answer().then(bytes, delayMs);
}

Answer Answer::stream(const QByteArray &piece, int intervalMs, int delayMs)
{
    return Answer().thenStream(piece, intervalMs, delayMs);
}

Answer Answer::reset(int delayMs)
{
    return Answer().thenReset(delayMs);
}

Answer &Answer::then(const QByteArray &bytes, int delayMs)
{
    chunks.append(Chunk{bytes, delayMs});
    return *this;
}

Answer &Answer::thenStream(const QByteArray &piece, int intervalMs, int delayMs)
{
    end = End::Stream;
    endDelayMs = delayMs;
    streamPiece = piece;
    streamIntervalMs = intervalMs;
    return *this;
}

Answer &Answer::thenClose(int delayMs)
{
    end = End::Close;
    endDelayMs = delayMs;
    return *this;
}

Answer &Answer::thenReset(int delayMs)
{
    end = End::Reset;
    endDelayMs = delayMs;
    return *this;
}

QByteArray Answer::bytes() const
{
    QByteArray all;
    for (const Chunk &chunk : chunks)
        all += chunk.bytes;
    return all;
}

Script &Script::greet(const Answer &answer)
{
    greeting_ = answer;
    return *this;
}

Script &Script::on(const QByteArray &line, const Answer &answer)
{
    for (auto &rule : rules_) {
        if (rule.first == line) {
            rule.second = answer;
            return *this;
        }
    }
    rules_.append(qMakePair(line, answer));
    return *this;
}

Script &Script::otherwise(const Answer &answer)
{
    otherwise_ = answer;
    return *this;
}

const Answer &Script::answerTo(const QByteArray &line) const
{
    for (const auto &rule : rules_) {
        if (rule.first == line)
            return rule.second;
    }
    return otherwise_ ? *otherwise_ : silence_;
}

} // namespace quorvane::sim::net
