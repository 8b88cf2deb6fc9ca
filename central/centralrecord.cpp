#include "central/centralrecord.h"
#include "central/delivery.h"
#include "central/outbox.h"

#include <QCommandLineParser>
#include <QDebug>
#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QSysInfo>
#include <QThread>
#include <QUuid>

#include <libpq-fe.h>

namespace central {

namespace {

const QString recordTo = QStringLiteral("record-to");
const QString stationOption = QStringLiteral("station");

} // namespace

void addOptions(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption(
        recordTo,
        QStringLiteral(
            "Also send every recorded line to the table quorvane_results of a PostgreSQL server: URI in "
            "libpq's syntax (postgresql://user@host:port/dbname?sslmode=require, or "
            "postgresql:///dbname?host=/run/postgresql). The password comes from ~/.pgpass or "
            "PGPASSFILE, never from the URI. Lines wait in an outbox under $XDG_STATE_HOME/quorvane "
            "while the server cannot be reached."),
        QStringLiteral("URI")));
    parser.addOption(QCommandLineOption(
        stationOption, QStringLiteral("The station's name in the central record (default: the host name)."),
        QStringLiteral("NAME")));
}

QString readOptions(const QCommandLineParser &parser, Settings *settings)
{
    if (!parser.isSet(recordTo))
        return parser.isSet(stationOption) ? QStringLiteral("--station is for --record-to") : QString();
    if (parser.values(recordTo).size() > 1 || parser.values(stationOption).size() > 1)
        return QStringLiteral("--record-to and --station are given once");
    const QString uri = parser.value(recordTo);
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.toUtf8().constData(), &error);
    if (!options) {
        const QString why = error ? QString::fromUtf8(error).simplified() : QStringLiteral("out of memory");
        PQfreemem(error);
        return QStringLiteral("--record-to: %1").arg(why);
    }
    bool password = false;
    for (const PQconninfoOption *option = options; option->keyword; ++option)
        password = password || (qstrcmp(option->keyword, "password") == 0 && option->val);
    PQconninfoFree(options);
    if (password)
        return QStringLiteral(
            "--record-to: the URI carries a password; a command line is visible to every user "
            "of this machine: put the password in ~/.pgpass (or PGPASSFILE) instead");
    settings->uri = uri;
    settings->station =
        parser.isSet(stationOption) ? parser.value(stationOption) : QSysInfo::machineHostName();
    if (settings->station.trimmed().isEmpty())
        return QStringLiteral("--station needs a name");
    return QString();
}

QString outboxFolder()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    return (state.isEmpty() ? QDir::homePath() + QLatin1String("/.local/state") : state)
        + QLatin1String("/quorvane");
}

} // namespace central

CentralRecord::CentralRecord(const central::Settings &settings)
    : m_settings(settings)
    , m_outbox(std::make_shared<central::Outbox>())
{
}

CentralRecord::~CentralRecord()
{
    if (!m_thread)
        return;
    // A send under way ends within libpq's time-outs; what is not sent stays in the outbox.
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

bool CentralRecord::open(QString *why)
{
    if (!m_outbox->open(central::outboxFolder(), m_settings.station, why))
        return false;
    m_thread = new QThread;
    m_delivery = new central::Delivery(m_settings.uri, m_outbox);
    m_delivery->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_delivery, &QObject::deleteLater);
    // Short texts, for a small window; the whole story is in the tooltip and on stderr.
    connect(m_delivery, &central::Delivery::unreachable, this, [this](const QString &why) {
        say(QStringLiteral("中心记录连不上"),
            QStringLiteral("结果先存本机（%1），恢复后补送：%2")
                .arg(QDir::toNativeSeparators(m_outbox->journalPath()), why));
    });
    connect(m_delivery, &central::Delivery::caughtUp, this, [this](int lines) {
        say(QStringLiteral("中心记录已补齐"), QStringLiteral("补送 %1 条").arg(lines));
    });
    m_thread->start();
    QMetaObject::invokeMethod(m_delivery, &central::Delivery::start, Qt::QueuedConnection);
    return true;
}

void CentralRecord::add(const QStringList &fields)
{
    central::Line line;
    line.values << QUuid::createUuid().toString(QUuid::WithoutBraces) << m_settings.station << fields;
    QString why;
    if (!m_outbox->append(&line, &why)) {
        // Sent all the same while the tool runs; only a crash before that would lose it.
        qWarning().noquote() << "central record: outbox" << m_outbox->journalPath() << "not written:" << why;
        if (!m_outboxFailing)
            say(QStringLiteral("中心记录存不进本机"), why);
        m_outboxFailing = true;
    } else if (m_outboxFailing) {
        m_outboxFailing = false;
        say(QString(), QString());
    }
    central::Delivery *delivery = m_delivery;
    QMetaObject::invokeMethod(
        delivery, [delivery, line] { delivery->take(line); }, Qt::QueuedConnection);
}

void CentralRecord::showIn(QStatusBar *bar)
{
    m_state = new QLabel(bar);
    m_state->setObjectName(QStringLiteral("centralRecord"));
    // The window is small and of a fixed size: the label keeps room for its longest text.
    m_state->setMinimumWidth(m_state->fontMetrics().horizontalAdvance(QStringLiteral("中心记录存不进本机"))
                             + 8);
    bar->addPermanentWidget(m_state);
}

void CentralRecord::say(const QString &text, const QString &detail)
{
    if (!m_state)
        return;
    m_state->setText(text);
    m_state->setToolTip(detail);
}
