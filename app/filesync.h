#ifndef QUORVANE_APP_FILESYNC_H
#define QUORVANE_APP_FILESYNC_H

// Reaching the disk. A write through Qt ends in the operating system's cache; only a sync
// puts it on the disk, where a power cut cannot take it. Qt has no call for that, so this
// is the one place that asks the operating system itself, for each system it runs on.

#include <QString>

class QFileDevice;

namespace filesync {

// The data written to the open `file` are on the disk (fdatasync; FlushFileBuffers on
// Windows). False, with the system's reason in `why`, when the disk did not take them.
bool syncData(QFileDevice &file, QString *why);

// The entries of the folder at `path` are on the disk, so that a file just created there
// is still found after a power cut (fsync of the folder; Windows keeps the entry with the
// file's own flush, so there is nothing to do).
bool syncFolder(const QString &path, QString *why);

} // namespace filesync

#endif // QUORVANE_APP_FILESYNC_H
