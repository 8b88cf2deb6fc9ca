#include "sim/serial/atreply.h"

namespace quorvane::sim {

AtReply AtReply::text(const QByteArray &bytes, int afterMs)
{
    return AtReply().then(bytes, afterMs);
}

AtReply AtReply::error()
{
    return text(QByteArrayLiteral("\r\nERROR\r\n"));
}

AtReply AtReply::endless(const QByteArray &piece, int everyMs)
{
    return AtReply().thenEndless(piece, everyMs);
}

AtReply AtReply::unplug(int afterMs)
{
    return AtReply().thenUnplug(afterMs);
}

AtReply &AtReply::then(const QByteArray &bytes, int afterMs)
{
    m_steps.append({Step::Bytes, bytes, afterMs});
    return *this;
}

AtReply &AtReply::thenEndless(const QByteArray &piece, int everyMs)
{
    m_steps.append({Step::Stream, piece, qMax(1, everyMs)});
    return *this;
}

AtReply &AtReply::thenHangUp(int afterMs)
{
    m_steps.append({Step::HangUp, QByteArray(), afterMs});
    return *this;
}

AtReply &AtReply::thenUnplug(int afterMs)
{
    m_steps.append({Step::Unplug, QByteArray(), afterMs});
    return *this;
}

} // namespace quorvane::sim
