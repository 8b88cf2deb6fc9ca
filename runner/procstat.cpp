#include "runner/procstat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace runner {

namespace {

QByteArray readProc(qint64 pid, const QString &name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

long statusField(const QByteArray &status, const char *name)
{
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace

ProcessUse processUse(qint64 pid)
{
    ProcessUse use;
    const QByteArray status = readProc(pid, QStringLiteral("status"));
    if (status.isEmpty())
        return use;
    use.rssKiB = statusField(status, "VmRSS");
    use.hwmKiB = statusField(status, "VmHWM");
    use.threads = statusField(status, "Threads");
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    if (fds.exists())
        use.descriptors = fds.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
    // After the command name in parentheses: state is field 3, utime 14, stime 15.
    const QByteArray stat = readProc(pid, QStringLiteral("stat"));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 12)
        use.cpuTicks = fields.value(11).toLong() + fields.value(12).toLong();
    return use;
}

qint64 findDescendant(qint64 ancestor, const QString &program)
{
    const QString wanted = QFileInfo(program).canonicalFilePath();
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(ancestor));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray children = readProc(ancestor, QStringLiteral("task/%1/children").arg(task));
        for (const QByteArray &child : children.split(' ')) {
            const qint64 pid = child.trimmed().toLongLong();
            if (pid <= 0)
                continue;
            if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() == wanted)
                return pid;
            if (const qint64 deeper = findDescendant(pid, program))
                return deeper;
        }
    }
    return 0;
}

} // namespace runner
