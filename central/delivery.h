#ifndef QUORVANE_CENTRAL_DELIVERY_H
#define QUORVANE_CENTRAL_DELIVERY_H

// Sending the outbox's lines to the PostgreSQL server, on a thread of its own: the
// connection, the table made when it is missing, and the inserts, each line once by its
// id. Everything here may wait on the network; none of it runs on the window's thread.

#include "central/outbox.h"

#include <QObject>
#include <QTimer>

#include <memory>

struct pg_conn;

namespace central {

// The table; an administrator may make it beforehand (see the README).
constexpr char createTable[] = "CREATE TABLE IF NOT EXISTS quorvane_results (\n"
                               "  id uuid PRIMARY KEY,\n"
                               "  station text NOT NULL,\n"
                               "  time timestamptz NOT NULL,\n"
                               "  transport text NOT NULL,\n"
                               "  place text NOT NULL,\n"
                               "  identity text NOT NULL,\n"
                               "  picture text NOT NULL,\n"
                               "  licence text NOT NULL,\n"
                               "  outcome text NOT NULL)";

// Retries after a failure wait this long, twice as long each time, up to the cap.
constexpr int firstRetryMs = 1000;
constexpr int retryCapMs = 30000;

class Delivery : public QObject
{
    Q_OBJECT

public:
    Delivery(const QString &uri, std::shared_ptr<Outbox> outbox);
    ~Delivery() override;

    // Sends what the outbox held at start, then each line given.
    void start();
    void take(const Line &line);

signals:
    // The server cannot be reached or refuses the lines (once until it works again),
    // with the server's own words; and every line has reached it after all.
    void unreachable(const QString &why);
    void caughtUp(int lines);

private:
    void attempt();
    bool sendAll(QString *why);
    bool connectServer(QString *why);
    bool execute(const char *command, QString *why);
    void fail(const QString &why);

    const QString m_uri;
    const std::shared_ptr<Outbox> m_outbox;
    pg_conn *m_connection = nullptr;
    QList<Line> m_queue;
    QTimer *m_retry; // a child: it moves to the delivery's thread with it
    int m_retryMs = firstRetryMs;
    bool m_failing = false;
    bool m_owing = false; // lines waited (a failure, or an earlier run's): say when they are in
    int m_sentSinceOwing = 0;
    QString m_lastWhy;
};

} // namespace central

#endif // QUORVANE_CENTRAL_DELIVERY_H
