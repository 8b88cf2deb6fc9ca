#include "central/outbox.h"
#include "shared/filesync.h"

#include <QDebug>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

namespace central {

QByteArray journalEntry(const Line &line)
{
    QJsonObject object;
    for (int column = 0; column < columnCount; ++column)
        object.insert(QLatin1String(columns[column]), line.values.value(column));
    // Compact JSON escapes every control character: the entry is one line.
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool readJournalEntry(const QByteArray &entry, Line *line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(entry, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    line->values.clear();
    for (const char *column : columns) {
        const QJsonValue value = object.value(QLatin1String(column));
        if (!value.isString())
            return false;
        line->values << value.toString();
    }
    return true;
}

bool Outbox::open(const QString &folder, const QString &station, QString *why)
{
    if (!QDir().mkpath(folder)) {
        *why = QStringLiteral("cannot make the outbox folder %1").arg(folder);
        return false;
    }
    const QString base = QDir(folder).filePath(QLatin1String("outbox-")
                                               + QString::fromLatin1(QUrl::toPercentEncoding(station)));
    // A lock left by a tool that was killed names a process that is gone: Qt takes it over.
    m_lock = std::make_unique<QLockFile>(base + QLatin1String(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, application;
        m_lock->getLockInfo(&pid, &host, &application);
        *why = QStringLiteral("another quorvane (process %1) is sending the results of station '%2' from %3; "
                              "give each instance its own --station")
                   .arg(pid)
                   .arg(station, folder);
        return false;
    }

    m_journal.setFileName(base + QLatin1String(".journal"));
    m_sentPath = base + QLatin1String(".sent");
    const bool created = !m_journal.exists();
    if (!m_journal.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        *why = QStringLiteral("cannot open %1: %2").arg(m_journal.fileName(), m_journal.errorString());
        return false;
    }
    if (created && !filesync::syncFolder(folder, why))
        return false;
    m_journal.seek(0);
    const QByteArray content = m_journal.readAll();
    // A line a crash cut short was never synced, so never sent: it goes.
    m_size = content.lastIndexOf('\n') + 1;
    if (m_size < content.size()) {
        qWarning().noquote() << "central record: an unfinished last line of" << m_journal.fileName() << "("
                             << content.size() - m_size << "bytes, left by a crash) is dropped";
        if (!m_journal.resize(m_size)) {
            *why = QStringLiteral("cannot repair %1: %2").arg(m_journal.fileName(), m_journal.errorString());
            return false;
        }
    }

    QFile sentFile(m_sentPath);
    qint64 sent = sentFile.open(QIODevice::ReadOnly) ? sentFile.readAll().trimmed().toLongLong() : 0;
    sent = qBound(qint64(0), sent, m_size);
    for (qint64 at = sent; at < m_size;) {
        const qint64 end = content.indexOf('\n', at) + 1;
        Line line;
        line.end = end;
        if (readJournalEntry(content.mid(at, end - at), &line))
            m_pending << line;
        else
            qWarning().noquote() << "central record: an unreadable line of" << m_journal.fileName() << "at"
                                 << at << "is left out";
        at = end;
    }
    if (m_pending.isEmpty() && m_size > 0)
        return acknowledge(m_size, why);
    return true;
}

bool Outbox::append(Line *line, QString *why)
{
    const QByteArray entry = journalEntry(*line);
    QMutexLocker locker(&m_mutex);
    const qint64 written = m_journal.write(entry);
    if (written != entry.size() || !filesync::syncData(m_journal, why)) {
        if (written != entry.size())
            *why = m_journal.errorString();
        m_journal.resize(m_size);
        return false;
    }
    m_size += entry.size();
    line->end = m_size;
    return true;
}

bool Outbox::acknowledge(qint64 end, QString *why)
{
    QMutexLocker locker(&m_mutex);
    if (end < m_size)
        return noteSent(end, why);
    // Everything is on the server: the journal starts again empty. A crash between the
    // two steps leaves a .sent offset beyond the journal's end, read as "all sent".
    if (!m_journal.resize(0) || !filesync::syncData(m_journal, why)) {
        if (why->isEmpty())
            *why = m_journal.errorString();
        return false;
    }
    m_size = 0;
    return noteSent(0, why);
}

bool Outbox::noteSent(qint64 end, QString *why)
{
    QSaveFile file(m_sentPath);
    if (file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(end) + '\n') > 0 && file.commit())
        return true;
    *why = file.errorString();
    return false;
}

} // namespace central
