#include "sim/script/script.h"

#include <QElapsedTimer>
#include <QStringList>

namespace quorvane::sim {

qint64 clockMs()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

Reply Reply::text(const QByteArray &bytes, int delayMs)
{
    return Reply().then(bytes, delayMs);
}
Reply Reply::stream(const QByteArray &piece, int intervalMs, int delayMs)
{
    return Reply().thenStream(piece, intervalMs, delayMs);
}

Reply &Reply::then(const QByteArray &bytes, int delayMs)
{
    chunks.append(Chunk {bytes, delayMs});
    return *this;
}

Reply &Reply::thenStream(const QByteArray &piece, int intervalMs, int delayMs)
{
    streamPiece = piece;
    streamIntervalMs = intervalMs;
    return thenEnd(End::Stream, delayMs);
}

Reply &Reply::thenEnd(End how, int delayMs)
{
    end = how;
    endDelayMs = delayMs;
    return *this;
}

QByteArray garbage(int count, quint32 seed)
{
    QByteArray bytes(count, '\0');
    quint32 state = seed ? seed : 1;
    for (char &byte : bytes) {
        do { // xorshift; line ends and the USB lead-in byte are left out
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = char(state & 0xFF);
        } while (byte == '\r' || byte == '\n' || byte == char(0xAA));
    }
    return bytes;
}

Script &Script::greet(const Reply &reply)
{
    m_greeting = reply;
    return *this;
}

Script::Rule *Script::find(const QByteArray &request)
{
    for (Rule &rule : m_rules) {
        if (rule.request == request)
            return &rule;
    }
    return nullptr;
}

Script &Script::on(const QByteArray &request, const Reply &reply)
{
    if (Rule *rule = find(request))
        rule->reply = reply;
    else
        m_rules.append(Rule {request, reply, {}});
    return *this;
}

Script &Script::once(const QByteArray &request, const Reply &reply)
{
    Rule *rule = find(request);
    if (!rule) {
        // No standing reply of its own: once these are used up, `otherwise` answers.
        m_rules.append(Rule {request, std::nullopt, {}});
        rule = &m_rules.last();
    }
    rule->once.append(reply);
    return *this;
}

Script &Script::otherwise(const Reply &reply)
{
    m_otherwise = reply;
    return *this;
}

Script &Script::strict(bool on)
{
    m_strict = on;
    return *this;
}

QList<QByteArray> Script::requests() const
{
    QList<QByteArray> requests;
    for (const Rule &rule : m_rules)
        requests.append(rule.request);
    return requests;
}

std::optional<Reply> Script::use(Rule &rule)
{
    if (!rule.once.isEmpty())
        return rule.once.takeFirst();
    return rule.reply;
}

Reply Script::take(const QByteArray &line, const QByteArray &received)
{
    if (Rule *rule = find(line)) {
        if (std::optional<Reply> reply = use(*rule))
            return *reply;
    }
    if (m_otherwise)
        return *m_otherwise;
    if (m_strict)
        refuse(line, received);
    return Reply();
}

std::optional<Reply> Script::takeWithin(const QByteArray &bytes, const QByteArray &received)
{
    for (Rule &rule : m_rules) {
        if (rule.request.isEmpty() || bytes.contains(rule.request)) {
            if (std::optional<Reply> reply = use(rule))
                return reply;
            break;
        }
    }
    if (m_otherwise)
        return *m_otherwise;
    if (m_strict) {
        for (const Rule &rule : m_rules) {
            if (rule.request.startsWith(bytes))
                return std::nullopt; // the rest of a request may still come
        }
        refuse(bytes, received);
    }
    return std::nullopt;
}

namespace {
// Bytes as a reader wants them in a failure message: printable ASCII as it is, the rest
// as \xNN.
QString shown(const QByteArray &bytes)
{
    QString text = QStringLiteral("\"");
    for (const char byte : bytes) {
        const uchar c = uchar(byte);
        text += c >= 0x20 && c < 0x7F ? QString(QLatin1Char(byte))
                                      : QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    return text + QLatin1Char('"');
}
} // namespace

void Script::refuse(const QByteArray &request, const QByteArray &received) const
{
    QStringList expected;
    for (const Rule &rule : m_rules)
        expected << shown(rule.request);
    qFatal("fake device: unexpected request\n  got:      %s\n  expected: %s\n  received: %s",
           qPrintable(shown(request)), qPrintable(expected.join(QStringLiteral(" or "))),
           qPrintable(shown(received)));
}

} // namespace quorvane::sim
