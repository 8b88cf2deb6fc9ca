#include "app/filesync.h"

#include <QFile>
#include <QFileDevice>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace filesync {

#ifdef Q_OS_WIN

bool syncData(QFileDevice &file, QString *why)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    if (handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle))
        return true;
    *why = qt_error_string(int(GetLastError()));
    return false;
}

bool syncFolder(const QString &, QString *)
{
    return true;
}

#else

bool syncData(QFileDevice &file, QString *why)
{
#ifdef Q_OS_DARWIN
    const int result = ::fsync(file.handle());
#else
    const int result = ::fdatasync(file.handle());
#endif
    if (result == 0)
        return true;
    *why = qt_error_string(errno);
    return false;
}

bool syncFolder(const QString &path, QString *why)
{
    const int folder = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::fsync(folder) != 0) {
        *why = qt_error_string(errno);
        if (folder >= 0)
            ::close(folder);
        return false;
    }
    ::close(folder);
    return true;
}

#endif

} // namespace filesync
