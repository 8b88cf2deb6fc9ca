#ifndef QUORVANE_TESTS_E2E_PGSERVER_H
#define QUORVANE_TESTS_E2E_PGSERVER_H

// A PostgreSQL server of the test's own: a fresh cluster in a temporary folder, listening
// on a Unix socket there and on no TCP port. PostgreSQL refuses to run as root, so as root
// its programs run as the user "postgres" that Debian's package makes. Role "admin" comes
// in without a password; role "station" must give its password (scram-sha-256).

#include <QtTest>

#include <unistd.h>

namespace e2e {

class PgServer
{
public:
    PgServer()
    {
        // A short path: a socket's path is limited to about 100 bytes.
        m_data = m_dir.filePath(QStringLiteral("data"));
        if (::geteuid() == 0 && QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres:"), m_dir.path()}) != 0)
            return;
        if (!run(QStringLiteral("initdb"), {QStringLiteral("-D"), m_data, QStringLiteral("-U"), QStringLiteral("admin"),
                                              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("--no-sync")}))
            return;
        QFile hba(m_data + QStringLiteral("/pg_hba.conf"));
        m_started = hba.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && hba.write("local all station scram-sha-256\nlocal all all trust\n") > 0;
        hba.close();
        m_started = m_started && start();
    }
    bool started() const { return m_started; }
    ~PgServer() { run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")}); }

    bool start()
    {
        return run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_data, QStringLiteral("-l"), m_dir.filePath(QStringLiteral("log")),
                                              QStringLiteral("-o"), QStringLiteral("-k %1 -c listen_addresses=''").arg(m_dir.path()),
                                              QStringLiteral("-w"), QStringLiteral("start")});
    }
    // Ends every session at once, as a server going down does.
    bool stop()
    {
        return run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"),
                                              QStringLiteral("-w"), QStringLiteral("stop")});
    }

    QString uri(const QString &user, const QString &database) const
    {
        return QStringLiteral("postgresql://%1@/%2?host=%3").arg(user, database, m_dir.path());
    }

    // Rows of a query as admin, or commands; one row without fields when it failed.
    QList<QStringList> sql(const QString &database, const QString &query) const
    {
        QProcess psql;
        psql.start(QStringLiteral("psql"), {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"), QStringLiteral("admin"),
                                           QStringLiteral("-d"), database, QStringLiteral("-AtXq"), QStringLiteral("-v"),
                                           QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-F"), QStringLiteral("\x1f"),
                                           QStringLiteral("-R"), QStringLiteral("\x1e"), QStringLiteral("-c"), query});
        if (!psql.waitForFinished(30000) || psql.exitCode() != 0) {
            qWarning().noquote() << "psql:" << query << psql.readAllStandardError();
            return {QStringList()};
        }
        QList<QStringList> rows;
        QString out = QString::fromUtf8(psql.readAllStandardOutput());
        if (out.endsWith(QLatin1Char('\n'))) // after the last row
            out.chop(1);
        for (const QString &row : out.split(QChar(0x1e), Qt::SkipEmptyParts))
            rows << row.split(QChar(0x1f));
        return rows;
    }

private:
    bool run(const QString &program, const QStringList &arguments) const
    {
        const QString path = QStringLiteral("/usr/lib/postgresql/15/bin/") + program;
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        if (::geteuid() == 0)
            process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                                 QStringLiteral("--"), path} + arguments);
        else
            process.start(path, arguments);
        return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

    QTemporaryDir m_dir{QStringLiteral("/tmp/quorvane-pg-XXXXXX")};
    QString m_data;
    bool m_started = false;
};

} // namespace e2e

#endif // QUORVANE_TESTS_E2E_PGSERVER_H
