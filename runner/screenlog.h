#ifndef QUORVANE_RUNNER_SCREENLOG_H
#define QUORVANE_RUNNER_SCREENLOG_H

// Reading the screen log that runner/screenlogmodule.cpp writes from inside the real tool:
// its lines, and the changes of the window they add up to.

#include <QByteArray>
#include <QString>

#include <optional>

namespace runner {

// One line of the log.
struct ScreenLine
{
    enum Kind { Message, Picture, Text, Clear };
    qint64 atMs = 0; // CLOCK_MONOTONIC
    Kind kind = Message;
    QString object; // Text and Clear: the label's object name
    QString text;   // Message and Text: the text; Picture: the picture's path
};
// Nothing for a line that is not the module's (other programs may write to the same file).
std::optional<ScreenLine> parseScreenLine(const QByteArray &line);

// A change of the window: "message <text>", "label <picture> <text>" (a picture with the
// text over it), or "cleared".
struct WindowChange
{
    qint64 atMs;
    QString what;
};

// Follows the log line by line.
class WindowChanges
{
public:
    // The change `line` makes, if it makes one: a licence text shown over the picture
    // loaded last (the window loads a picture only when it changes), a status message, or
    // the label emptied after something was shown (the start-up's own emptying and a
    // repeated one are no change).
    std::optional<WindowChange> follow(const ScreenLine &line);

private:
    QString m_picture;
    bool m_shown = false;
    bool m_cleared = false;
};

} // namespace runner

#endif // QUORVANE_RUNNER_SCREENLOG_H
