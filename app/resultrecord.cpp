#include "app/resultrecord.h"

#include "app/recordfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace resultrecord {

namespace {

// Starts that make a spreadsheet read a cell as a formula.
constexpr char16_t formulaStarts[] = u"=+-@\t\r";
// Characters that end a line somewhere: the field is quoted, so they stay inside it.
constexpr char16_t lineBreaking[] = u",\"\r\n\x85\u2028\u2029";

bool isHiddenControl(char16_t c)
{
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0x7f;
}

QChar pictureOf(char16_t control)
{
    return QChar(control == 0x7f ? char16_t(0x2421) : char16_t(0x2400 + control));
}

} // namespace

QString field(const QString &text)
{
    QString out;
    out.reserve(text.size() + 3);
    if (!text.isEmpty() && QStringView(formulaStarts).contains(text.front()))
        out += QLatin1Char('\'');
    bool quote = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (isHiddenControl(u)) {
            out += pictureOf(u);
            continue;
        }
        quote = quote || QStringView(lineBreaking).contains(c);
        out += c;
        if (u == u'"')
            out += c;
    }
    return quote ? QLatin1Char('"') + out + QLatin1Char('"') : out;
}

QByteArray line(const QStringList &fields)
{
    QStringList written;
    for (const QString &text : fields)
        written << field(text);
    return written.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QString timestamp(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) + QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1:%2")
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString pictureName(const QString &path)
{
    return QFileInfo(path).completeBaseName();
}

QByteArray closing(bool quoteOpen, const QByteArray &ending)
{
    if (quoteOpen)
        return "\"\r\n";
    if (ending.isEmpty() || ending.endsWith('\n'))
        return "";
    return ending.endsWith('\r') ? "\n" : "\r\n";
}

bool Appearances::isNew(const QString &slot, const QStringList &result)
{
    const auto last = m_last.constFind(slot);
    if (last != m_last.constEnd() && *last == result)
        return false;
    m_last.insert(slot, result);
    return true;
}

void Appearances::gone(const QString &slot)
{
    m_last.remove(slot);
}

} // namespace resultrecord

namespace {

struct TransportRule
{
    const char *name;    // the transport column
    bool slotPerPlace;   // devices at different places are told apart (network targets)
    bool alwaysArriving; // every dialogue follows an arrival (USB): never the same appearance
};
// By ResultRecord::Transport.
constexpr TransportRule transportRules[] = {
    {"serial", false, false},
    {"usb", false, true},
    {"tcp", true, false},
};

const TransportRule &ruleOf(ResultRecord::Transport transport)
{
    return transportRules[int(transport)];
}

QString slotOf(ResultRecord::Transport transport, const QString &where)
{
    const TransportRule &rule = ruleOf(transport);
    return rule.slotPerPlace ? QLatin1String(rule.name) + QLatin1Char(' ') + where : QLatin1String(rule.name);
}

} // namespace

ResultRecord::ResultRecord() = default;

ResultRecord::~ResultRecord()
{
    if (!m_file)
        return;
    m_listener = nullptr; // the window is going
    write();
    if (!m_waiting.isEmpty())
        qWarning().noquote() << "record lines not written to" << m_file->path()
                             << ":\n" + QString::fromUtf8(m_waiting);
}

bool ResultRecord::keepIn(const QString &path, QString *why)
{
    auto file = std::make_unique<RecordFile>(path);
    QString reason;
    if (file->open(&reason) == RecordFile::Opening::Refused) {
        *why = QStringLiteral("record %1 refused: %2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    keepIn(std::move(file));
    return true;
}

void ResultRecord::keepIn(std::unique_ptr<RecordFile> file)
{
    m_file = std::move(file);
    write();
}

void ResultRecord::poll()
{
    if (m_file && (!m_waiting.isEmpty() || !m_file->isOpen()))
        write();
}

void ResultRecord::begin(Transport transport, const QString &where)
{
    if (!keeps())
        return;
    if (ruleOf(transport).alwaysArriving)
        m_appearances.gone(slotOf(transport, where));
    m_inDialogue = true;
    m_transport = transport;
    m_where = where;
    m_identity.clear();
}

void ResultRecord::gone(Transport transport, const QString &where)
{
    if (keeps())
        m_appearances.gone(slotOf(transport, where));
}

void ResultRecord::identified(const QString &identity)
{
    if (m_inDialogue)
        m_identity = identity;
}

void ResultRecord::shown(const QString &picturePath, const QString &text)
{
    finish(resultrecord::pictureName(picturePath), text, QLatin1String(resultrecord::shownOutcome));
}

void ResultRecord::said(const QString &message)
{
    finish(QString(), QString(), message);
}

void ResultRecord::ended()
{
    finish(QString(), QString(), QLatin1String(resultrecord::noAnswerOutcome));
}

void ResultRecord::finish(const QString &picture, const QString &text, const QString &outcome)
{
    if (!m_inDialogue)
        return;
    m_inDialogue = false;
    const QStringList result {
        QLatin1String(ruleOf(m_transport).name), m_where, m_identity, picture, text, outcome};
    if (m_appearances.isNew(slotOf(m_transport, m_where), result))
        keep(QStringList {resultrecord::timestamp(QDateTime::currentDateTime())} + result);
}

void ResultRecord::keep(const QStringList &fields)
{
    if (m_sink)
        m_sink(fields);
    if (!m_file)
        return;
    m_waiting += resultrecord::line(fields);
    ++m_waitingLines;
    write();
}

void ResultRecord::write()
{
    QString why;
    if (m_file->open(&why) == RecordFile::Opening::Open) {
        if (m_waiting.isEmpty() || m_file->append(m_waiting, &why)) {
            const int written = m_waitingLines;
            m_waiting.clear();
            m_waitingLines = 0;
            if (!m_written)
                qWarning().noquote() << "record written again to" << m_file->path() << "with" << written
                                     << "lines that waited";
            setWritten(true, QString());
            return;
        }
    }
    setWritten(false, why);
}

void ResultRecord::setWritten(bool written, const QString &why)
{
    if (written == m_written)
        return;
    m_written = written;
    const QString path = QDir::toNativeSeparators(m_file->path());
    if (!written)
        qWarning().noquote() << "record not written to" << path << ":" << why << "- its lines wait in memory";
    if (m_listener)
        m_listener(written,
                   written ? QStringLiteral("结果记录又写上了：%1").arg(path)
                           : QStringLiteral("结果记录写不进 %1（%2），结果先留着").arg(path, why));
}
