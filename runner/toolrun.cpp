#include "runner/toolrun.h"
#include "runner/process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace runner {

// The build says where it puts them (runner/CMakeLists.txt).
QString toolProgram()
{
    return QStringLiteral(QUORVANE_PROGRAM);
}

QString devsimProgram()
{
    return QStringLiteral(QUORVANE_DEVSIM);
}

QString screenLogModule()
{
    return QStringLiteral(QUORVANE_SCREENLOG);
}

ToolRun::ToolRun(const QString &folder)
    : m_folder(folder)
{
    if (m_folder.isEmpty()) {
        m_temporary = std::make_unique<QTemporaryDir>();
        m_folder = m_temporary->path();
    } else {
        QDir().mkpath(m_folder);
    }
}

ToolRun::~ToolRun()
{
    stop();
}

void ToolRun::startUnderDevsim(const QStringList &devsimOptions, const QStringList &arguments)
{
    const QStringList tool {QStringLiteral("--report"), path("report.json"), QStringLiteral("--"),
                            toolProgram()};
    start(QStringList {devsimProgram()} + devsimOptions + tool + arguments,
          QProcessEnvironment::systemEnvironment());
}

void ToolRun::startWithScreenLog(QProcessEnvironment environment, const QString &platform)
{
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    environment.insert(QStringLiteral("QUORVANE_SCREEN_LOG"), path("screen.log"));
    const QString preload = environment.value(QStringLiteral("LD_PRELOAD"));
    environment.insert(QStringLiteral("LD_PRELOAD"), preload + QLatin1Char(' ') + screenLogModule());
    start({toolProgram()}, environment);
}

bool ToolRun::startOnDisplay(QProcessEnvironment environment, const QByteArray &display)
{
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // "boot" stamps are milliseconds of the monotonic clock, nowMs()'s.
    environment.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{time boot} %{message}"));
    start({toolProgram()}, environment);
    return process.waitForStarted(10000);
}

void ToolRun::start(const QStringList &command, const QProcessEnvironment &environment)
{
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(path("out"));
    process.setStandardErrorFile(path("err"));
    process.start(command.first(), command.mid(1));
}

void ToolRun::stop(int graceMs)
{
    stopProcess(process, graceMs);
}

QString ToolRun::path(const char *name) const
{
    return QDir(m_folder).filePath(QLatin1String(name));
}

QByteArray ToolRun::read(const char *name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray ToolRun::received(const QString &kind) const
{
    const QJsonDocument report = QJsonDocument::fromJson(read("report.json"));
    for (const QJsonValue &device : report.object().value(QStringLiteral("devices")).toArray()) {
        const QJsonObject fields = device.toObject();
        if (fields.value(QStringLiteral("kind")).toString() == kind)
            return QByteArray::fromHex(fields.value(QStringLiteral("receivedHex")).toString().toLatin1());
    }
    return {};
}

QList<WindowChange> ToolRun::events()
{
    QList<WindowChange> events;
    WindowChanges changes;
    for (const QByteArray &line : read("screen.log").split('\n')) {
        const std::optional<ScreenLine> parsed = parseScreenLine(line);
        if (!parsed)
            continue;
        if (m_startedAtMs < 0)
            m_startedAtMs = parsed->atMs;
        if (const std::optional<WindowChange> change = changes.follow(*parsed))
            events << *change;
    }
    return events;
}

QStringList ToolRun::distinctEvents()
{
    QStringList seen;
    for (const WindowChange &event : events()) {
        if (!seen.contains(event.what))
            seen << event.what;
    }
    return seen;
}

qint64 ToolRun::firstAtMs(const QString &what)
{
    for (const WindowChange &event : events()) {
        if (event.what == what)
            return event.atMs;
    }
    return -1;
}

QString ToolRun::story()
{
    return distinctEvents().join('\n') + "\n--\n" + read("err").right(3000);
}

QVector<LogLine> ToolRun::newLines()
{
    if (!m_log)
        m_log = std::make_unique<GrowingFile>(path("err"));
    QVector<LogLine> lines;
    static const QRegularExpression stamped(QStringLiteral("^\\s*(\\d+)\\.(\\d{3}) (.*)$"));
    for (const QByteArray &line : m_log->newLines()) {
        const QRegularExpressionMatch match = stamped.match(QString::fromUtf8(line));
        if (!match.hasMatch())
            continue;
        const LogLine entry {match.captured(1).toLongLong() * 1000 + match.captured(2).toLongLong(),
                             match.captured(3)};
        if (beginsCycle(entry.text.toUtf8()))
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

} // namespace runner
