#ifndef QUORVANE_TESTS_E2E_PGSERVER_H
#define QUORVANE_TESTS_E2E_PGSERVER_H

// A PostgreSQL server of the test's own: a fresh cluster in a temporary folder, listening
// on a Unix socket there and on no TCP port. PostgreSQL refuses to run as root, so as root
// its programs run as the user "postgres" that Debian's package makes. An ordinary user's
// scripts/isolated makes them root of a user namespace where no other account exists:
// there they run in a user namespace of their own as that user again. Role "admin" comes
// in without a password; role "station" must give its password (scram-sha-256).

#include <QtTest>

#include <unistd.h>

namespace testsupport {

class PgServer
{
public:
    PgServer()
    {
        const QStringList owner {QStringLiteral("postgres:"), m_dir.path()};
        if (m_as == As::Postgres && QProcess::execute(QStringLiteral("chown"), owner) != 0)
            return;
        QFile hba(m_data + QStringLiteral("/pg_hba.conf"));
        m_started = run(QStringLiteral("initdb -D %1 -U admin -A trust --no-sync").arg(m_data).split(' '))
            && hba.open(QIODevice::WriteOnly)
            && hba.write("local all station scram-sha-256\nlocal all all trust\n") > 0;
        hba.close();
        m_started = m_started && start();
    }
    ~PgServer() { run(QStringLiteral("pg_ctl -D %1 -m immediate stop").arg(m_data).split(' ')); }
    bool started() const { return m_started; }

    bool start()
    {
        return run(QStringLiteral("pg_ctl -D %1 -l %1.log -w start -o").arg(m_data).split(' ')
                   << QStringLiteral("-k %1 -c listen_addresses=''").arg(m_dir.path()));
    }
    // Ends every session at once, as a server going down does.
    bool stop() { return run(QStringLiteral("pg_ctl -D %1 -m fast -w stop").arg(m_data).split(' ')); }

    QString uri(const QString &user, const QString &database) const
    {
        return QStringLiteral("postgresql://%1@/%2?host=%3").arg(user, database, m_dir.path());
    }

    // Rows of a query as admin, or commands; one row without fields when it failed.
    QList<QStringList> sql(const QString &database, const QString &query) const
    {
        QProcess psql;
        const QString options = QStringLiteral("-h %1 -U admin -d %2 -AtXq -v ON_ERROR_STOP=1 "
                                               "-F \x1f -R \x1e -c");
        psql.start(QStringLiteral("psql"), options.arg(m_dir.path(), database).split(' ') << query);
        if (!psql.waitForFinished(30000) || psql.exitCode() != 0)
            return {QStringList()};
        QList<QStringList> rows;
        QString out = QString::fromUtf8(psql.readAllStandardOutput());
        out.chop(out.endsWith(QLatin1Char('\n')) ? 1 : 0); // after the last row
        for (const QString &row : out.split(QChar(0x1e), Qt::SkipEmptyParts))
            rows << row.split(QChar(0x1f));
        return rows;
    }

private:
    // Who runs the server's programs: this process's own user; the account "postgres",
    // for root; or, for root of a user namespace, the user outside it that the namespace
    // maps to root (its first line: "0 OUTSIDE 1"), in a namespace of the program's own.
    enum class As { Self, Postgres, Outside };
    static As serverUser(QString *outsideUid, QString *outsideGid)
    {
        if (::geteuid() != 0)
            return As::Self;
        const auto outside = [](const char *map) {
            QFile file(QString::fromLatin1(map));
            const QList<QByteArray> first = file.open(QIODevice::ReadOnly)
                ? file.readLine().simplified().split(' ')
                : QList<QByteArray>();
            return first.size() == 3 && first[0] == "0" ? QString::fromLatin1(first[1]) : QString();
        };
        *outsideUid = outside("/proc/self/uid_map");
        *outsideGid = outside("/proc/self/gid_map");
        const bool namespaceRoot = !outsideUid->isEmpty() && *outsideUid != QLatin1String("0");
        return namespaceRoot ? As::Outside : As::Postgres;
    }

    // A program of the server's, as the server's user.
    bool run(const QStringList &command) const
    {
        const QString program = QStringLiteral("/usr/lib/postgresql/15/bin/") + command.first();
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        if (m_as == As::Postgres)
            process.start(QStringLiteral("runuser"),
                          QStringList {"-u", "postgres", "--", program} + command.mid(1));
        else if (m_as == As::Outside)
            process.start(
                QStringLiteral("unshare"),
                QStringList {"--map-user=" + m_outsideUid, "--map-group=" + m_outsideGid, "--", program}
                    + command.mid(1));
        else
            process.start(program, command.mid(1));
        return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

    // A short path: a socket's path is limited to about 100 bytes.
    QTemporaryDir m_dir {QStringLiteral("/tmp/quorvane-pg-XXXXXX")};
    const QString m_data = m_dir.filePath(QStringLiteral("data"));
    bool m_started = false;
    QString m_outsideUid;
    QString m_outsideGid;
    const As m_as = serverUser(&m_outsideUid, &m_outsideGid);
};

} // namespace testsupport

#endif // QUORVANE_TESTS_E2E_PGSERVER_H
