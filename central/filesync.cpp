#include "central/filesync.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace central {

#ifdef Q_OS_WIN

bool syncData(QFile &file, QString *why)
{
    if (_commit(file.handle()) == 0)
        return true;
    *why = QStringLiteral("cannot sync %1").arg(file.fileName());
    return false;
}

bool syncFolder(const QString &, QString *)
{
    return true;
}

#else

namespace {
bool failed(QString *why)
{
    *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}
} // namespace

bool syncData(QFile &file, QString *why)
{
#ifdef Q_OS_MACOS
    const int result = ::fsync(file.handle());
#else
    const int result = ::fdatasync(file.handle());
#endif
    return result == 0 || failed(why);
}

bool syncFolder(const QString &folder, QString *why)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed(why);
    const bool synced = ::fsync(fd) == 0 || failed(why);
    ::close(fd);
    return synced;
}

#endif

} // namespace central
