#ifndef QUORVANE_SIM_SERIAL_ATREPLY_H
#define QUORVANE_SIM_SERIAL_ATREPLY_H

#include <QByteArray>
#include <QVector>

namespace quorvane::sim {

// What a fake AT device does after one command: a list of steps, each after a pause that
// counts from the previous step. An empty reply is silence.
//
//   AtReply::text("\r\n99000101234567\r\n\r\nOK\r\n")              // all at once
//   AtReply::text("+KESET: 26,").then("ABC...\r\n\r\nOK\r\n", 50)  // two chunks 50 ms apart
//   AtReply::text("\r\n123\r\n").thenUnplug(20)                     // answer, then pulled out
//   AtReply::endless("99000101", 5)                                 // talks until the next command
class AtReply
{
public:
    struct Step
    {
        enum Kind { Bytes, Stream, Unplug, HangUp };
        Kind kind = Bytes;
        QByteArray bytes; // what Bytes writes once, or what Stream writes again and again
        int delayMs = 0;  // pause before the step (for Stream also between two pieces)
    };

    static AtReply silence() { return AtReply(); }
    static AtReply text(const QByteArray &bytes, int afterMs = 0);
    static AtReply error();
    static AtReply endless(const QByteArray &piece, int everyMs);
    static AtReply unplug(int afterMs = 0);

    // One more chunk, afterMs after the previous step.
    AtReply &then(const QByteArray &bytes, int afterMs = 0);
    // After the steps so far, repeat piece every everyMs until the next command arrives or
    // the port is closed.
    AtReply &thenEndless(const QByteArray &piece, int everyMs);
    // After the steps so far, the device is pulled out: its port hangs up and it leaves
    // the port list.
    AtReply &thenUnplug(int afterMs = 0);
    // After the steps so far, the line drops but the port stays in the list, as when a
    // device's serial function fails: the program's reads and waits fail, and later opens
    // of the port fail too.
    AtReply &thenHangUp(int afterMs = 0);

    const QVector<Step> &steps() const { return m_steps; }
    bool isSilent() const { return m_steps.isEmpty(); }

private:
    QVector<Step> m_steps;
};

} // namespace quorvane::sim

#endif // QUORVANE_SIM_SERIAL_ATREPLY_H
