#include "sim/net/faketcpservice.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include <sys/socket.h>

namespace quorvane::sim::net {

// What the service thread writes and the caller reads.
struct FakeTcpService::Shared
{
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::shared_ptr<Script> script;
    QList<ConnectionRecord> records;
    bool unplugged = false;
    QByteArray received;
    QList<QByteArray> lines;

    template<typename Predicate> bool waitUntil(int timeoutMs, Predicate holds) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), holds);
    }
};

namespace {
// An endless stream that runs as fast as the peer takes it keeps at most this much queued.
constexpr qint64 streamQueueBytes = 256 * 1024;
} // namespace

// Lives on the service thread: the listening socket and the connections.
class ServiceWorker : public QObject
{
public:
    explicit ServiceWorker(FakeTcpService::Shared &shared)
        : m_shared(shared)
    {
    }

    bool listen(const QString &address, quint16 port, QString *error)
    {
        m_server = new QTcpServer(this);
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        if (m_server->listen(QHostAddress(address), port))
            return true;
        *error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }

    bool isListening() const { return m_server && m_server->isListening(); }
    void stopListening()
    {
        if (m_server)
            m_server->close();
    }

    // Off the network: it stops listening and drops every connection it had.
    void unplug()
    {
        underLock(m_shared.mutex, [this] { m_shared.unplugged = true; });
        stopListening();
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->abort();
    }

    // Runs on the service thread; hands the worker back to `owner` so that it can be
    // deleted there once the thread has stopped.
    void shutdown(QThread *owner)
    {
        delete m_server;
        m_server = nullptr;
        for (QTcpSocket *socket : findChildren<QTcpSocket *>()) {
            socket->abort();
            delete socket;
        }
        moveToThread(owner);
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            int record;
            Reply greeting;
            {
                std::lock_guard<std::mutex> lock(m_shared.mutex);
                m_shared.records.append(ConnectionRecord {clockMs()});
                record = m_shared.records.size() - 1;
                greeting = m_shared.script->greeting();
                m_shared.changed.notify_all();
            }
            auto pending = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket, record, pending] { receive(socket, record, *pending); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket, record] {
                markClosed(record);
                socket->deleteLater();
            });
            play(socket, record, greeting);
        }
    }

    void receive(QTcpSocket *socket, int record, QByteArray &pending)
    {
        const QByteArray data = socket->readAll();
        {
            std::lock_guard<std::mutex> lock(m_shared.mutex);
            m_shared.records[record].received += data;
            m_shared.received += data;
            m_shared.changed.notify_all();
        }
        pending += data;
        int lineEnd;
        while ((lineEnd = pending.indexOf('\r')) >= 0) {
            QByteArray line = pending.left(lineEnd);
            pending.remove(0, lineEnd + 1);
            while (line.startsWith('\n')) // the line feed after the previous carriage return
                line.remove(0, 1);
            while (line.endsWith('\n'))
                line.chop(1);
            if (line.isEmpty())
                continue;
            Reply reply;
            {
                std::lock_guard<std::mutex> lock(m_shared.mutex);
                m_shared.records[record].lines.append(ReceivedLine {line, clockMs()});
                m_shared.lines.append(line);
                m_shared.changed.notify_all();
                if (m_shared.unplugged)
                    continue;
                reply = m_shared.script->take(line, m_shared.received);
            }
            play(socket, record, reply);
        }
    }

    // Schedules the chunks and the ending of a reply, each after its pause. Nothing
    // scheduled outlives the connection.
    void play(QTcpSocket *socket, int record, const Reply &answer)
    {
        int at = 0;
        for (const Chunk &chunk : answer.chunks) {
            at += chunk.delayMs;
            const QByteArray bytes = chunk.bytes;
            after(socket, at, [=] { send(socket, record, [=] { socket->write(bytes); }); });
        }
        if (answer.end == Reply::End::Stay)
            return;
        at += answer.endDelayMs;
        after(socket, at, [this, socket, record, answer] { finish(socket, record, answer); });
    }

    void after(QTcpSocket *socket, int delayMs, std::function<void()> action)
    {
        if (delayMs <= 0)
            action();
        else
            QTimer::singleShot(delayMs, Qt::PreciseTimer, socket, std::move(action));
    }

    // Writes (with `write`) while the connection is up and the device on the network.
    template<typename Write> void send(QTcpSocket *socket, int record, Write write)
    {
        if (socket->state() != QAbstractSocket::ConnectedState || isUnplugged())
            return;
        write();
        socket->flush();
        underLock(m_shared.mutex, [&] { m_shared.records[record].lastSentAtMs = clockMs(); });
    }

    void finish(QTcpSocket *socket, int record, const Reply &answer)
    {
        if (isUnplugged())
            return;
        switch (answer.end) {
        case Reply::End::Stay:
            break;
        case Reply::End::Close:
            socket->disconnectFromHost();
            break;
        case Reply::End::Reset:
            reset(socket, record);
            break;
        case Reply::End::Stream:
            stream(socket, record, answer.streamPiece, answer.streamIntervalMs);
            break;
        case Reply::End::Unplug:
            unplug();
            break;
        }
    }

    void stream(QTcpSocket *socket, int record, const QByteArray &piece, int intervalMs)
    {
        if (piece.isEmpty())
            return;
        if (intervalMs > 0) {
            const auto tick = [=] { send(socket, record, [=] { socket->write(piece); }); };
            auto *ticks = new QTimer(socket);
            ticks->setTimerType(Qt::PreciseTimer);
            QObject::connect(ticks, &QTimer::timeout, socket, tick);
            ticks->start(intervalMs);
            tick();
            return;
        }
        // As fast as the peer reads: top the queue up whenever some of it went out. Queued,
        // because the socket does not report bytes written while it is still reporting.
        const auto topUp = [=] {
            send(socket, record, [=] {
                while (socket->bytesToWrite() < streamQueueBytes)
                    socket->write(piece);
            });
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, topUp, Qt::QueuedConnection);
        topUp();
    }

    void reset(QTcpSocket *socket, int record)
    {
        // Lingering for zero seconds makes closing send a reset instead of a FIN.
        const struct linger now = {1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
        markClosed(record);
        socket->abort();
    }

    bool isUnplugged() const
    {
        return underLock(m_shared.mutex, [this] { return m_shared.unplugged; });
    }

    void markClosed(int record)
    {
        std::lock_guard<std::mutex> lock(m_shared.mutex);
        if (m_shared.records[record].closedAtMs < 0)
            m_shared.records[record].closedAtMs = clockMs();
        m_shared.changed.notify_all();
    }

    FakeTcpService::Shared &m_shared;
    QTcpServer *m_server = nullptr;
};

FakeTcpService::FakeTcpService(const QString &address, quint16 port, const Script &script)
    : m_address(address)
    , m_port(port)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->script = std::make_shared<Script>(script);
}

FakeTcpService::~FakeTcpService()
{
    stop();
}

bool FakeTcpService::start(QString *error)
{
    if (m_thread)
        return true;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("fake %1:%2").arg(m_address).arg(m_port));
    m_worker = new ServiceWorker(*m_shared);
    m_worker->moveToThread(m_thread.get());
    m_thread->start();

    bool listening = false;
    QString why;
    QMetaObject::invokeMethod(
        m_worker, [&] { listening = m_worker->listen(m_address, m_port, &why); },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        stop();
        if (error)
            *error = QStringLiteral("%1:%2: %3").arg(m_address).arg(m_port).arg(why);
    }
    return listening;
}

void FakeTcpService::stop()
{
    if (!m_thread)
        return;
    QThread *caller = QThread::currentThread();
    QMetaObject::invokeMethod(
        m_worker, [&] { m_worker->shutdown(caller); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    m_worker = nullptr;
    m_thread.reset();
}

void FakeTcpService::stopListening()
{
    if (m_thread)
        QMetaObject::invokeMethod(
            m_worker, [this] { m_worker->stopListening(); }, Qt::BlockingQueuedConnection);
}

bool FakeTcpService::isListening() const
{
    if (!m_thread)
        return false;
    bool listening = false;
    QMetaObject::invokeMethod(
        m_worker, [&] { listening = m_worker->isListening(); }, Qt::BlockingQueuedConnection);
    return listening;
}

void FakeTcpService::setScript(const Script &script)
{
    underLock(m_shared->mutex, [&] { m_shared->script = std::make_shared<Script>(script); });
}

QByteArray FakeTcpService::received() const
{
    return underLock(m_shared->mutex, [this] { return m_shared->received; });
}

void FakeTcpService::unplug()
{
    if (m_thread)
        QMetaObject::invokeMethod(
            m_worker, [this] { m_worker->unplug(); }, Qt::BlockingQueuedConnection);
}

bool FakeTcpService::inConversation() const
{
    return underLock(m_shared->mutex, [this] {
        const QList<ConnectionRecord> &records = m_shared->records;
        return std::any_of(records.begin(), records.end(), std::mem_fn(&ConnectionRecord::isOpen));
    });
}

QList<QByteArray> FakeTcpService::receivedLines() const
{
    return underLock(m_shared->mutex, [this] { return m_shared->lines; });
}

QList<ConnectionRecord> FakeTcpService::connections() const
{
    return underLock(m_shared->mutex, [this] { return m_shared->records; });
}

bool FakeTcpService::waitForReceived(int byteCount, int timeoutMs) const
{
    return m_shared->waitUntil(timeoutMs, [&] { return m_shared->received.size() >= byteCount; });
}

bool FakeTcpService::waitForConnections(int count, int timeoutMs) const
{
    return m_shared->waitUntil(timeoutMs, [&] { return m_shared->records.size() >= count; });
}

bool FakeTcpService::waitForClosedConnections(int count, int timeoutMs) const
{
    return m_shared->waitUntil(timeoutMs, [&] {
        const QList<ConnectionRecord> &records = m_shared->records;
        const auto isClosed = std::not_fn(&ConnectionRecord::isOpen);
        return std::count_if(records.begin(), records.end(), isClosed) >= count;
    });
}

} // namespace quorvane::sim::net
