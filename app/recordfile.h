#ifndef QUORVANE_APP_RECORDFILE_H
#define QUORVANE_APP_RECORDFILE_H

// The record's file on the disk: appended to, never rewritten. Each batch of whole lines
// goes out with one write and is synced before the next; a write the disk did not take
// is cut back, so the file holds whole lines only and what it held stays as it was. One
// tool at a time writes it: a lock file beside it (FILE.lock) keeps a second one out.

#include <QFile>
#include <QLockFile>
#include <QString>

class RecordFile
{
public:
    explicit RecordFile(const QString &path);
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    enum class Opening {
        Open,    // ready for lines
        NotYet,  // cannot be opened now (no folder, no permission, disk full): try again later
        Refused, // never to be written by this tool: another header, another tool holds it
    };
    // Takes the lock, checks the header of a file that has lines and closes its last line
    // when a crash left it incomplete (said on stderr), or writes the header into a new or
    // empty file. `why` says what stood in the way. Nothing to do when it is open.
    Opening open(QString *why);
    bool isOpen() const { return m_file.isOpen(); }
    const QString &path() const { return m_path; }

    // Appends `lines`, whole lines, with one write and syncs them to the disk. False, with
    // the reason in `why`, when any of it failed: the file then is as it was before.
    bool append(const QByteArray &lines, QString *why);

private:
    Opening refuse(const QString &reason, QString *why);
    // Reads an existing file: its first line must be the header; `closing` is what its
    // last line lacks (empty when it is whole).
    Opening check(QByteArray *closing, QString *why);

    QString m_path;
    QLockFile m_lock;
    QFile m_file;
};

#endif // QUORVANE_APP_RECORDFILE_H
