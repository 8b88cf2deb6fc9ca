#include "app/recordfile.h"

#include "shared/filesync.h"
#include "app/resultrecord.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {
// Large enough to read a record quickly, small enough to stay out of the way.
constexpr qint64 readChunkBytes = 1 << 20;
} // namespace

RecordFile::RecordFile(const QString &path)
    : m_path(path)
    , m_lock(path + QStringLiteral(".lock"))
    , m_file(path)
{
    // A lock is stale only when the tool that took it is gone: a tool that runs for days
    // keeps it however old it is.
    m_lock.setStaleLockTime(0);
}

RecordFile::Opening RecordFile::refuse(const QString &reason, QString *why)
{
    *why = reason;
    m_file.close();
    m_lock.unlock();
    return Opening::Refused;
}

RecordFile::Opening RecordFile::open(QString *why)
{
    if (m_file.isOpen())
        return Opening::Open;
    if (!m_lock.tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString program;
        if (m_lock.error() == QLockFile::LockFailedError && m_lock.getLockInfo(&pid, &host, &program))
            return refuse(QStringLiteral("in use by %1 (pid %2 on %3)").arg(program).arg(pid).arg(host), why);
        *why = QFileInfo(m_path).dir().exists() ? QStringLiteral("cannot lock it")
                                                : QStringLiteral("no such folder");
        return Opening::NotYet;
    }
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return refuse(QStringLiteral("not a regular file"), why);
    const bool created = !info.exists();

    QByteArray closing;
    const Opening checked = check(&closing, why);
    if (checked == Opening::Refused)
        return refuse(*why, why);
    if (checked == Opening::NotYet) {
        m_lock.unlock();
        return Opening::NotYet;
    }
    if (!m_file.open(QIODevice::Append | QIODevice::Unbuffered)) {
        *why = m_file.errorString();
        m_lock.unlock();
        return Opening::NotYet;
    }
    const bool empty = m_file.size() == 0;
    QString folderWhy;
    if (created && !filesync::syncFolder(info.absolutePath(), &folderWhy))
        qWarning().noquote() << "record folder not synced:" << folderWhy;
    const QByteArray start = empty ? QByteArray(resultrecord::header) + "\r\n" : closing;
    if (!start.isEmpty() && !append(start, why)) {
        m_file.close();
        m_lock.unlock();
        return Opening::NotYet;
    }
    if (!empty && !closing.isEmpty())
        qWarning().noquote() << "record" << m_path
                             << "repaired: its last line was left incomplete (by a crash or "
                                "a power cut), closed with"
                             << (closing.startsWith('"') ? "a quote and a line end" : "a line end");
    return Opening::Open;
}

RecordFile::Opening RecordFile::check(QByteArray *closing, QString *why)
{
    QFile existing(m_path);
    if (!existing.exists())
        return Opening::Open;
    if (!existing.open(QIODevice::ReadOnly)) {
        *why = existing.errorString();
        return Opening::NotYet;
    }
    const QByteArray first = existing.readLine(sizeof resultrecord::header + 2);
    QByteArray firstLine = first;
    while (firstLine.endsWith('\n') || firstLine.endsWith('\r'))
        firstLine.chop(1);
    if (!first.isEmpty() && firstLine != resultrecord::header) {
        *why = QStringLiteral("it holds something else: its first line is not \"%1\"")
                   .arg(QLatin1String(resultrecord::header));
        return Opening::Refused;
    }
    // Whole lines hold an even number of quotes: an odd count leaves a quoted field open.
    qint64 quotes = first.count('"');
    QByteArray ending = first.right(2);
    while (!existing.atEnd()) {
        const QByteArray chunk = existing.read(readChunkBytes);
        if (chunk.isEmpty())
            break;
        quotes += chunk.count('"');
        ending = (ending + chunk).right(2);
    }
    if (existing.error() != QFileDevice::NoError) {
        *why = existing.errorString();
        return Opening::NotYet;
    }
    *closing = resultrecord::closing(quotes % 2 == 1, ending);
    return Opening::Open;
}

bool RecordFile::append(const QByteArray &lines, QString *why)
{
    const qint64 before = m_file.size();
    // A write may take only a part; the rest is written on, and a disk that takes nothing
    // more (full, failing, over quota) says why.
    qint64 written = 0;
    while (written < lines.size()) {
        const qint64 now = m_file.write(lines.constData() + written, lines.size() - written);
        if (now <= 0)
            break;
        written += now;
    }
    QString syncWhy;
    if (written == lines.size() && filesync::syncData(m_file, &syncWhy))
        return true;
    *why = syncWhy.isEmpty() ? m_file.errorString() : syncWhy;
    // Nothing of a failed write stays: the file ends with its last whole line again.
    if (m_file.size() != before && !m_file.resize(before))
        qWarning().noquote() << "record" << m_path << "could not be cut back to" << before
                             << "bytes:" << m_file.errorString();
    m_file.unsetError();
    return false;
}
