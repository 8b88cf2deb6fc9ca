#include "runner/process.h"

#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

namespace runner {

void say(const char *who, const QString &line)
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    std::fprintf(stdout, "[%s %6.1f s] %s\n", who, clock.elapsed() / 1000.0, qPrintable(line));
    std::fflush(stdout);
}

qint64 nowNs()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void stopProcess(QProcess &process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(graceMs);
    }
}

QList<QByteArray> GrowingFile::newLines()
{
    if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    m_partial += m_file.readAll();
    const int end = m_partial.lastIndexOf('\n');
    if (end < 0)
        return {};
    const QList<QByteArray> lines = m_partial.left(end).split('\n');
    m_partial.remove(0, end + 1);
    return lines;
}

bool beginsCycle(const QByteArray &logLine)
{
    return logLine.startsWith("not find ") || logLine.startsWith("打开串口: ");
}

} // namespace runner
