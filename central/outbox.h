#ifndef QUORVANE_CENTRAL_OUTBOX_H
#define QUORVANE_CENTRAL_OUTBOX_H

// The central record's outbox: every result line is appended to a journal on the
// workstation and synced before it is sent, and the server's acknowledgements are noted
// beside it, so that a line outlives a server that is down, a network that is gone and
// the tool itself being killed. At start the lines not yet acknowledged are read back and
// sent first, in the order they were written.
//
//   <folder>/outbox-<station>.journal   one JSON object per line, appended and synced
//   <folder>/outbox-<station>.sent      the journal offset up to which the server has the lines
//   <folder>/outbox-<station>.lock      one tool per station and folder
//
// Sending a line twice is harmless (the table ignores a line id it already holds), so the
// acknowledgement only saves work: a lost or stale .sent file makes lines go again, never
// makes one go missing. When every line is acknowledged the journal is emptied.

#include <QFile>
#include <QList>
#include <QLockFile>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

namespace central {

// The table's columns, in the order of Line::values. The last seven are the CSV record's
// columns (`place` is its `where`), as texts the window showed, without the CSV's quoting.
constexpr const char *columns[] = {"id",       "station", "time",    "transport", "place",
                                   "identity", "picture", "licence", "outcome"};
constexpr int columnCount = int(sizeof columns / sizeof *columns);

struct Line
{
    QStringList values; // by `columns`: a UUID made with the line, the station, the fields
    qint64 end = -1;    // where the line ends in the journal; -1: not in it
};

// A line as the journal holds it (one JSON object and a line feed), and back; false for
// anything else (a line torn by a crash).
QByteArray journalEntry(const Line &line);
bool readJournalEntry(const QByteArray &entry, Line *line);

// Used from two threads: the window's appends, the delivery's acknowledgements.
class Outbox
{
public:
    // Takes the station's outbox in `folder` (made when missing), refusing when another
    // tool holds it, and reads back what was not acknowledged.
    bool open(const QString &folder, const QString &station, QString *why);
    QList<Line> pending() const { return m_pending; }
    QString journalPath() const { return m_journal.fileName(); }

    // Writes the line whole, with one write, and syncs it; sets line->end. On a failure
    // nothing of it stays in the journal.
    bool append(Line *line, QString *why);
    // The server holds every line up to `end`.
    bool acknowledge(qint64 end, QString *why);

private:
    bool noteSent(qint64 end, QString *why);

    QMutex m_mutex;
    std::unique_ptr<QLockFile> m_lock;
    QFile m_journal;
    qint64 m_size = 0;
    QString m_sentPath;
    QList<Line> m_pending;
};

} // namespace central

#endif // QUORVANE_CENTRAL_OUTBOX_H
