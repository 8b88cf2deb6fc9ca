#include "central/delivery.h"

#include <QDebug>

#include <libpq-fe.h>

namespace central {

namespace {

// Lines per transaction: one acknowledgement (one sync of the outbox) for each batch.
constexpr int batchLines = 64;

// Settings the tool brings, in libpq's order of precedence: the URI (dbname, expanded)
// overrides the ones before it; the encoding after it is always UTF-8. The time-outs
// bound every wait on a server that went silent, so that a retry follows.
struct Setting
{
    const char *key;
    const char *value; // null: the URI
};
constexpr Setting connectionSettings[] = {
    {"connect_timeout", "10"}, {"keepalives_idle", "10"},     {"keepalives_interval", "5"},
    {"keepalives_count", "3"}, {"tcp_user_timeout", "30000"}, {"fallback_application_name", "quorvane"},
    {"dbname", nullptr},       {"client_encoding", "UTF8"},
};
constexpr int settingCount = int(sizeof connectionSettings / sizeof *connectionSettings);

constexpr char tableExists[] = "SELECT to_regclass('quorvane_results') IS NOT NULL";
// Stations that start together must not make the table twice.
constexpr char lockTableMaking[] = "SELECT pg_advisory_xact_lock(7412039)";
// A line the table holds already (sent before its acknowledgement was lost) is left as it
// is. No conflict target: "ON CONFLICT (id)" would need SELECT privilege on id, and a
// station's role may only insert; id is the table's one unique column.
constexpr char insertLine[] =
    "INSERT INTO quorvane_results (id, station, time, transport, place, identity, picture, licence, outcome) "
    "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9) ON CONFLICT DO NOTHING";

// The server's (or libpq's) words on one line.
QString message(const char *text)
{
    return QString::fromUtf8(text).simplified();
}

// Why a command failed: the server's error, or libpq's when the connection broke.
QString failure(pg_conn *connection, const PGresult *result)
{
    const QString said = message(PQresultErrorMessage(result));
    return said.isEmpty() ? message(PQerrorMessage(connection)) : said;
}

void ignoreNotice(void *, const char *) { }

} // namespace

Delivery::Delivery(const QString &uri, std::shared_ptr<Outbox> outbox)
    : m_uri(uri)
    , m_outbox(std::move(outbox))
{
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &Delivery::attempt);
}

Delivery::~Delivery()
{
    if (m_connection)
        PQfinish(m_connection);
}

void Delivery::start()
{
    m_queue = m_outbox->pending();
    m_owing = !m_queue.isEmpty();
    attempt();
}

void Delivery::take(const Line &line)
{
    m_queue << line;
    // While a retry waits, the line waits with the others.
    if (!m_retry->isActive())
        attempt();
}

void Delivery::attempt()
{
    QString why;
    if (!sendAll(&why))
        return fail(why);
    m_retryMs = firstRetryMs;
    m_failing = false;
    m_lastWhy.clear();
    if (m_owing) {
        qInfo().noquote() << "central record: caught up," << m_sentSinceOwing << "waiting lines sent";
        emit caughtUp(m_sentSinceOwing);
        m_owing = false;
        m_sentSinceOwing = 0;
    }
}

bool Delivery::sendAll(QString *why)
{
    bool staleChecked = false;
    while (!m_queue.isEmpty()) {
        const bool wasOpen = m_connection != nullptr;
        if (!connectServer(why))
            return false;
        const int count = qMin(batchLines, m_queue.size());
        if (!execute("BEGIN", why)) {
            // A connection the server closed while it was idle (a restart) is found out
            // here: one new connection at once, before it counts as a failure.
            if (wasOpen && !m_connection && !staleChecked) {
                staleChecked = true;
                continue;
            }
            return false;
        }
        qint64 end = -1;
        for (int index = 0; index < count; ++index) {
            const Line &line = m_queue.at(index);
            QByteArray values[columnCount];
            const char *pointers[columnCount];
            for (int column = 0; column < columnCount; ++column) {
                // The server's texts hold no zero character: it shows as the window shows it.
                values[column] = QString(line.values.value(column)).replace(QChar(0), QChar(0x2400)).toUtf8();
                pointers[column] = values[column].constData();
            }
            PGresult *result =
                PQexecParams(m_connection, insertLine, columnCount, nullptr, pointers, nullptr, nullptr, 0);
            const bool inserted = PQresultStatus(result) == PGRES_COMMAND_OK;
            if (!inserted)
                *why = failure(m_connection, result);
            PQclear(result);
            if (!inserted) {
                execute("ROLLBACK", nullptr);
                return false;
            }
            end = qMax(end, line.end);
        }
        if (!execute("COMMIT", why))
            return false;
        m_queue.erase(m_queue.begin(), m_queue.begin() + count);
        if (m_owing)
            m_sentSinceOwing += count;
        QString notNoted;
        if (end > 0 && !m_outbox->acknowledge(end, &notNoted))
            qWarning().noquote() << "central record: sent lines not noted in the outbox (they will go again, "
                                    "and be ignored):"
                                 << notNoted;
    }
    return true;
}

bool Delivery::connectServer(QString *why)
{
    if (m_connection && PQstatus(m_connection) == CONNECTION_OK)
        return true;
    if (m_connection)
        PQfinish(m_connection);
    const QByteArray uri = m_uri.toUtf8();
    const char *keys[settingCount + 1] = {};
    const char *values[settingCount + 1] = {};
    for (int index = 0; index < settingCount; ++index) {
        keys[index] = connectionSettings[index].key;
        values[index] = connectionSettings[index].value ? connectionSettings[index].value : uri.constData();
    }
    m_connection = PQconnectdbParams(keys, values, 1);
    if (PQstatus(m_connection) != CONNECTION_OK) {
        *why = message(PQerrorMessage(m_connection));
        PQfinish(m_connection);
        m_connection = nullptr;
        return false;
    }
    // "relation already exists, skipping" and the like are no news for the operator.
    PQsetNoticeProcessor(m_connection, ignoreNotice, nullptr);

    PGresult *result = PQexec(m_connection, tableExists);
    const bool answered = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
    const bool exists = answered && qstrcmp(PQgetvalue(result, 0, 0), "t") == 0;
    if (!answered)
        *why = failure(m_connection, result);
    PQclear(result);
    if (!answered)
        return false;
    if (!exists
        && !(execute("BEGIN", why) && execute(lockTableMaking, why) && execute(createTable, why)
             && execute("COMMIT", why)))
        return false;
    return true;
}

// A command without rows; false with the server's words, and the connection dropped when
// it is broken, so that the next attempt connects anew.
bool Delivery::execute(const char *command, QString *why)
{
    PGresult *result = PQexec(m_connection, command);
    const ExecStatusType status = PQresultStatus(result);
    const bool done = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!done && why)
        *why = failure(m_connection, result);
    PQclear(result);
    if (!done && PQtransactionStatus(m_connection) == PQTRANS_INERROR)
        PQclear(PQexec(m_connection, "ROLLBACK"));
    if (!done && PQstatus(m_connection) != CONNECTION_OK) {
        PQfinish(m_connection);
        m_connection = nullptr;
    }
    return done;
}

void Delivery::fail(const QString &why)
{
    if (why != m_lastWhy)
        qWarning().noquote() << "central record: lines wait in" << m_outbox->journalPath() << "-" << why;
    m_lastWhy = why;
    if (!m_failing) {
        m_failing = true;
        m_owing = true;
        emit unreachable(why);
    }
    m_retry->start(m_retryMs);
    m_retryMs = qMin(2 * m_retryMs, retryCapMs);
}

} // namespace central
