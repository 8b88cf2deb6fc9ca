#include "bench/toolrun.h"
#include "bench/xscreen.h"
#include "runner/procstat.h"

#include <QRegularExpression>

#include <unistd.h>

namespace bench {

qint64 nowMs()
{
    return nowNs() / 1000000;
}

ToolRun::ToolRun(const QString &program, const QProcessEnvironment &base, const QByteArray &display,
                 const QString &logPath)
    : m_program(program)
    , m_logPath(logPath)
{
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // "boot" stamps are milliseconds of the monotonic clock, the benchmark's own.
    environment.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{time boot} %{message}"));
    m_process.setProcessEnvironment(environment);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(logPath);
}

ToolRun::~ToolRun()
{
    stop();
    if (m_log)
        std::fclose(m_log);
}

bool ToolRun::start()
{
    m_process.start(m_program, QStringList());
    if (!m_process.waitForStarted(10000))
        return false;
    return true;
}

void ToolRun::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QVector<LogLine> ToolRun::newLines()
{
    QVector<LogLine> lines;
    if (!m_log)
        m_log = std::fopen(m_logPath.toLocal8Bit().constData(), "rb");
    if (!m_log)
        return lines;
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, m_log)) > 0)
        m_partial.append(buffer, int(count));
    std::clearerr(m_log); // the tool goes on writing
    static const QRegularExpression stamped(QStringLiteral("^\\s*(\\d+)\\.(\\d{3}) (.*)$"));
    int end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
        const QRegularExpressionMatch match = stamped.match(line);
        if (!match.hasMatch())
            continue;
        const LogLine entry {match.captured(1).toLongLong() * 1000 + match.captured(2).toLongLong(),
                             match.captured(3)};
        if (entry.text.startsWith(QLatin1String("not find "))
            || entry.text.contains(QStringLiteral("打开串口:")))
            ++m_cycles;
        lines << entry;
    }
    return lines;
}

int ToolRun::cycles()
{
    newLines();
    return m_cycles;
}

long ToolRun::rssKiB() const
{
    return runner::processUse(pid()).rssKiB;
}

long ToolRun::hwmKiB() const
{
    return runner::processUse(pid()).hwmKiB;
}

long ToolRun::cpuTicks() const
{
    return runner::processUse(pid()).cpuTicks;
}

} // namespace bench
