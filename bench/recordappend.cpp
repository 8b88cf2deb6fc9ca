// The cost of one record line, on an empty record and on a large one: the record is only
// ever appended to, so a line costs the same however long the file has grown.
//   quorvane-record-bench FOLDER [MEBIBYTES]
// Appends 1000 lines to a new record in FOLDER, then grows it to MEBIBYTES (default 100)
// of lines, opens it again (the start-up check reads it once) and appends 1000 more.
// Prints the median and 95th percentile of one line's append (write and data sync).
#include "app/recordfile.h"
#include "app/resultrecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int linesTimed = 1000;

QByteArray sampleLine()
{
    return resultrecord::line({resultrecord::timestamp(QDateTime::currentDateTime()), QStringLiteral("tcp"),
                               QStringLiteral("192.168.0.1:9527"), QStringLiteral("700101"),
                               QStringLiteral("LBL16"), QStringLiteral("700101-2024-CN-000147"),
                               QStringLiteral("shown")});
}

// Appends linesTimed lines and prints what one took.
bool timeLines(RecordFile &file, const char *what)
{
    std::vector<double> micros;
    const QByteArray line = sampleLine();
    QString why;
    for (int i = 0; i < linesTimed; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!file.append(line, &why)) {
            std::fprintf(stderr, "append failed: %s\n", qPrintable(why));
            return false;
        }
        micros.push_back(clock.nsecsElapsed() / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    std::printf("%-28s file %8.1f MiB: one line median %7.1f us, p95 %7.1f us (n = %d)\n", what,
                QFileInfo(file.path()).size() / 1048576.0, micros[micros.size() / 2],
                micros[micros.size() * 95 / 100], linesTimed);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: quorvane-record-bench FOLDER [MEBIBYTES]\n");
        return 2;
    }
    const QString path = QDir(arguments.at(1)).filePath(QStringLiteral("bench-record.csv"));
    const qint64 bytes = (arguments.size() > 2 ? arguments.at(2).toLongLong() : 100) << 20;
    QFile::remove(path);
    QString why;
    {
        RecordFile empty(path);
        if (empty.open(&why) != RecordFile::Opening::Open || !timeLines(empty, "new record"))
            return 1;
    }
    {
        QFile grow(path);
        const QByteArray block = sampleLine().repeated(10000);
        if (!grow.open(QIODevice::Append))
            return 1;
        while (grow.size() < bytes)
            grow.write(block);
    }
    QElapsedTimer opening;
    opening.start();
    RecordFile large(path);
    if (large.open(&why) != RecordFile::Opening::Open)
        return 1;
    std::printf("opening the large record (header check, quote count): %.0f ms\n",
                opening.nsecsElapsed() / 1e6);
    const bool timed = timeLines(large, "large record");
    QFile::remove(path);
    return timed ? 0 : 1;
}
