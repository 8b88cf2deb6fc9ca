#include "app/resultrecord.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz"))
        + QLatin1Char(offset < 0 ? '-' : '+')
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString pictureName(const QString &path)
{
    return QFileInfo(path).completeBaseName();
}

QByteArray appended(const QByteArray &existing, const QByteArray &lines)
{
    if (existing.isEmpty())
        return header + QByteArray("\r\n") + lines;
    if (!existing.endsWith('\n'))
        return existing + "\r\n" + lines;
    return existing + lines;
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
    const char *name;      // the transport column
    bool slotPerPlace;     // devices at different places are told apart (network targets)
    bool alwaysArriving;   // every dialogue follows an arrival (USB): never the same appearance
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

// Appends `lines` to the file at `path`. The whole file is written anew beside the old
// one and put in its place (QSaveFile): Qt syncs the new file to the disk before the
// rename, which is the only way Qt offers to reach the disk, and the rename leaves either
// the old file or the new one after a crash or a power cut, never half a line.
bool store(const QString &path, const QByteArray &lines, QString *why)
{
    const QFileInfo info(path);
    QByteArray existing;
    if (info.exists()) {
        // A directory, a device or a pipe: refused at start, and if one appears later.
        if (!info.isFile()) {
            *why = QStringLiteral("not a regular file");
            return false;
        }
        QFile old(path);
        if (!old.open(QIODevice::ReadOnly)) {
            *why = old.errorString();
            return false;
        }
        existing = old.readAll();
        if (old.error() != QFileDevice::NoError) {
            *why = old.errorString();
            return false;
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    const QByteArray content = resultrecord::appended(existing, lines);
    if (file.write(content) != content.size() || !file.commit()) {
        *why = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace

ResultRecord::~ResultRecord()
{
    if (m_waiting.isEmpty())
        return;
    QString why;
    if (!store(m_path, m_waiting, &why))
        qWarning().noquote() << "record lines not written to" << m_path << "(" + why + "):\n" + QString::fromUtf8(m_waiting);
}

void ResultRecord::keepIn(const QString &path)
{
    m_path = path;
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

QString ResultRecord::shown(const QString &picturePath, const QString &text)
{
    return finish(resultrecord::pictureName(picturePath), text, QLatin1String(resultrecord::shownOutcome));
}

QString ResultRecord::said(const QString &message)
{
    return finish(QString(), QString(), message);
}

QString ResultRecord::finish(const QString &picture, const QString &text, const QString &outcome)
{
    if (!m_inDialogue)
        return QString();
    m_inDialogue = false;
    const QStringList result{QLatin1String(ruleOf(m_transport).name), m_where, m_identity, picture, text, outcome};
    if (!m_appearances.isNew(slotOf(m_transport, m_where), result))
        return QString();

    const QStringList fields = QStringList{resultrecord::timestamp(QDateTime::currentDateTime())} + result;
    if (m_sink)
        m_sink(fields);
    if (m_path.isEmpty())
        return QString();
    m_waiting += resultrecord::line(fields);
    QString why;
    if (store(m_path, m_waiting, &why)) {
        m_waiting.clear();
        m_failing = false;
        return QString();
    }
    qWarning().noquote() << "record not written to" << m_path << ":" << why;
    if (m_failing)
        return QString();
    m_failing = true;
    return QStringLiteral("结果记录写不进 %1（%2），下一个结果时再试").arg(QDir::toNativeSeparators(m_path), why);
}
