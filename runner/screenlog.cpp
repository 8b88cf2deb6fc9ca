#include "runner/screenlog.h"

#include <QList>

namespace runner {

std::optional<ScreenLine> parseScreenLine(const QByteArray &line)
{
    // screen <ms> message <text> | picture <path> | text <object> <text> | clear <object>
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 3 || parts[0] != "screen")
        return std::nullopt;
    ScreenLine parsed;
    bool isNumber = false;
    parsed.atMs = parts[1].toLongLong(&isNumber);
    if (!isNumber)
        return std::nullopt;
    // A backslash only ever starts an escape, \xHH. Zero bytes stay in the text.
    QByteArray rest = line.mid(parts[0].size() + parts[1].size() + parts[2].size() + 3);
    rest = QByteArray::fromPercentEncoding(rest.replace("\\x", "\\"), '\\');
    const QString text = QString::fromUtf8(rest.constData(), rest.size());
    const QString object = text.section(QLatin1Char(' '), 0, 0);
    if (parts[2] == "message") {
        parsed.kind = ScreenLine::Message;
        parsed.text = text;
    } else if (parts[2] == "picture") {
        parsed.kind = ScreenLine::Picture;
        parsed.text = text;
    } else if (parts[2] == "text") {
        parsed.kind = ScreenLine::Text;
        parsed.object = object;
        parsed.text = text.mid(object.size() + 1);
    } else if (parts[2] == "clear") {
        parsed.kind = ScreenLine::Clear;
        parsed.object = object;
    } else {
        return std::nullopt;
    }
    return parsed;
}

std::optional<WindowChange> WindowChanges::follow(const ScreenLine &line)
{
    switch (line.kind) {
    case ScreenLine::Message:
        m_shown = true;
        m_cleared = false;
        return WindowChange {line.atMs, QStringLiteral("message ") + line.text};
    case ScreenLine::Picture:
        m_picture = line.text;
        return std::nullopt;
    case ScreenLine::Text:
        if (line.object != QLatin1String("label") || m_picture.isEmpty())
            return std::nullopt;
        m_shown = true;
        m_cleared = false;
        return WindowChange {line.atMs, QStringLiteral("label %1 %2").arg(m_picture, line.text)};
    case ScreenLine::Clear:
        if (!m_shown || m_cleared)
            return std::nullopt;
        m_cleared = true;
        return WindowChange {line.atMs, QStringLiteral("cleared")};
    }
    return std::nullopt;
}

} // namespace runner
