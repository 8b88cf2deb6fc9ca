#ifndef QUORVANE_CENTRAL_FILESYNC_H
#define QUORVANE_CENTRAL_FILESYNC_H

// Reaching the disk, where Qt has no call for it: the one platform shim of the central
// record. Both return false, with the system's reason, when the data is not known to be
// on the disk.

#include <QString>

class QFile;

namespace central {

// The file's data (not necessarily its times) is on the disk.
bool syncData(QFile &file, QString *why);
// The folder's entries (a file just created in it) are on the disk. Windows makes new
// entries durable with the file itself: nothing to do there.
bool syncFolder(const QString &folder, QString *why);

} // namespace central

#endif // QUORVANE_CENTRAL_FILESYNC_H
