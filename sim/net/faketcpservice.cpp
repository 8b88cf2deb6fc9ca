#include "sim/net/faketcpservice.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWaitCondition>

#include <functional>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace quorvane::sim::net {

qint64 clockMs()
{
    QElapsedTimer clock;
    clock.start();
    return clock.msecsSinceReference();
}

// What the service thread writes and the caller reads.
struct FakeTcpService::Shared {
    mutable QMutex mutex;
    mutable QWaitCondition changed;
    std::shared_ptr<const Script> script;
    QList<ConnectionRecord> records;
    QByteArray received;
    QList<QByteArray> lines;

    template <typename Predicate>
    bool waitUntil(int timeoutMs, Predicate holds) const
    {
        QElapsedTimer waited;
        waited.start();
        QMutexLocker lock(&mutex);
        while (!holds()) {
            const qint64 left = timeoutMs - waited.elapsed();
            if (left <= 0)
                return false;
            changed.wait(&mutex, quint64(left));
        }
        return true;
    }
};

namespace {
// An endless stream that runs as fast as the peer takes it keeps at most this much queued.
constexpr qint64 streamQueueBytes = 256 * 1024;

QByteArray withoutLineEnds(QByteArray line)
{
    int begin = 0;
    int end = line.size();
    while (begin < end && (line[begin] == '\r' || line[begin] == '\n'))
        ++begin;
    while (end > begin && (line[end - 1] == '\r' || line[end - 1] == '\n'))
        --end;
    return line.mid(begin, end - begin);
}
} // namespace

// Lives on the service thread: the listening socket and the connections.
class ServiceWorker : public QObject {
public:
    explicit ServiceWorker(FakeTcpService::Shared &shared) : shared_(shared) {}

    bool listen(const QString &address, quint16 port, QString *error)
    {
        server_ = new QTcpServer(this);
        QObject::connect(server_, &QTcpServer::newConnection, this, [this] { accept(); });
        if (server_->listen(QHostAddress(address), port))
            return true;
        *error = server_->errorString();
        delete server_;
        server_ = nullptr;
        return false;
    }

    bool isListening() const { return server_ && server_->isListening(); }
    void stopListening()
    {
        if (server_)
            server_->close();
    }

    // Runs on the service thread; hands the worker back to `owner` so that it can be
    // deleted there once the thread has stopped.
    void shutdown(QThread *owner)
    {
        delete server_;
        server_ = nullptr;
        const QList<QTcpSocket *> sockets = findChildren<QTcpSocket *>();
        for (QTcpSocket *socket : sockets) {
            socket->abort();
            delete socket;
        }
        moveToThread(owner);
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = server_->nextPendingConnection()) {
            socket->setParent(this);
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            int record;
            std::shared_ptr<const Script> script;
            {
                QMutexLocker lock(&shared_.mutex);
                ConnectionRecord fresh;
                fresh.acceptedAtMs = clockMs();
                shared_.records.append(fresh);
                record = shared_.records.size() - 1;
                script = shared_.script;
                shared_.changed.wakeAll();
            }
            auto pending = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket, record, pending] { receive(socket, record, *pending); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket, record] {
                markClosed(record);
                socket->deleteLater();
            });
            play(socket, record, script->greeting());
        }
    }

    void receive(QTcpSocket *socket, int record, QByteArray &pending)
    {
        const QByteArray data = socket->readAll();
        std::shared_ptr<const Script> script;
        {
            QMutexLocker lock(&shared_.mutex);
            shared_.records[record].received += data;
            shared_.received += data;
            script = shared_.script;
            shared_.changed.wakeAll();
        }
        pending += data;
        int lineEnd;
        while ((lineEnd = pending.indexOf('\r')) >= 0) {
            const QByteArray line = withoutLineEnds(pending.left(lineEnd));
            pending.remove(0, lineEnd + 1);
            if (line.isEmpty())
                continue;
            {
                QMutexLocker lock(&shared_.mutex);
                shared_.records[record].lines.append(ReceivedLine{line, clockMs()});
                shared_.lines.append(line);
                shared_.changed.wakeAll();
            }
            play(socket, record, script->answerTo(line));
        }
    }

    // Schedules the chunks and the ending of an answer, each after its pause. Nothing
    // scheduled outlives the connection.
    void play(QTcpSocket *socket, int record, const Answer &answer)
    {
        int at = 0;
        for (const Chunk &chunk : answer.chunks) {
            at += chunk.delayMs;
            const QByteArray bytes = chunk.bytes;
            after(socket, at, [this, socket, record, bytes] { send(socket, record, bytes); });
        }
        if (answer.end == Answer::End::StayOpen)
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

    void send(QTcpSocket *socket, int record, const QByteArray &bytes)
    {
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
        socket->write(bytes);
        socket->flush();
        QMutexLocker lock(&shared_.mutex);
        shared_.records[record].lastSentAtMs = clockMs();
    }

    void finish(QTcpSocket *socket, int record, const Answer &answer)
    {
        switch (answer.end) {
        case Answer::End::StayOpen:
            break;
        case Answer::End::Close:
            socket->disconnectFromHost();
            break;
        case Answer::End::Reset:
            reset(socket, record);
            break;
        case Answer::End::Stream:
            stream(socket, record, answer.streamPiece, answer.streamIntervalMs);
            break;
        }
    }

    void stream(QTcpSocket *socket, int record, const QByteArray &piece, int intervalMs)
    {
        if (piece.isEmpty())
            return;
        if (intervalMs > 0) {
            auto *ticks = new QTimer(socket);
            ticks->setTimerType(Qt::PreciseTimer);
            QObject::connect(ticks, &QTimer::timeout, socket,
                             [this, socket, record, piece] { send(socket, record, piece); });
            ticks->start(intervalMs);
            send(socket, record, piece);
            return;
        }
        // As fast as the peer reads: top the queue up whenever some of it went out. Queued,
        // because the socket does not report bytes written while it is still reporting.
        auto topUp = [this, socket, record, piece] {
            if (socket->state() != QAbstractSocket::ConnectedState)
                return;
            while (socket->bytesToWrite() < streamQueueBytes)
                socket->write(piece);
            socket->flush();
            QMutexLocker lock(&shared_.mutex);
            shared_.records[record].lastSentAtMs = clockMs();
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, topUp, Qt::QueuedConnection);
        topUp();
    }

    void reset(QTcpSocket *socket, int record)
    {
#ifdef Q_OS_UNIX
        // Lingering for zero seconds makes closing send a reset instead of a FIN.
        const struct linger now = {1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
#endif
        markClosed(record);
        socket->abort();
    }

    void markClosed(int record)
    {
        QMutexLocker lock(&shared_.mutex);
        if (shared_.records[record].closedAtMs < 0)
            shared_.records[record].closedAtMs = clockMs();
        shared_.changed.wakeAll();
    }

    FakeTcpService::Shared &shared_;
    QTcpServer *server_ = nullptr;
};

FakeTcpService::FakeTcpService(const QString &address, quint16 port, const Script &script)
    : address_(address)
    , port_(port)
    , shared_(std::make_shared<Shared>())
{
    shared_->script = std::make_shared<const Script>(script);
}

FakeTcpService::~FakeTcpService()
{
    stop();
}

bool FakeTcpService::start(QString *error)
{
    if (thread_)
        return true;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("fake %1:%2").arg(address_).arg(port_));
    worker_ = new ServiceWorker(*shared_);
    worker_->moveToThread(thread_.get());
    thread_->start();

    bool listening = false;
    QString why;
    QMetaObject::invokeMethod(worker_, [&] { listening = worker_->listen(address_, port_, &why); },
                              Qt::BlockingQueuedConnection);
    if (!listening) {
        stop();
        if (error)
            *error = QStringLiteral("%1:%2: %3").arg(address_).arg(port_).arg(why);
    }
    return listening;
}

void FakeTcpService::stop()
{
    if (!thread_)
        return;
    QThread *caller = QThread::currentThread();
    QMetaObject::invokeMethod(worker_, [&] { worker_->shutdown(caller); },
                              Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete worker_;
    worker_ = nullptr;
    thread_.reset();
}

void FakeTcpService::stopListening()
{
    if (thread_)
        QMetaObject::invokeMethod(worker_, [this] { worker_->stopListening(); }, Qt::BlockingQueuedConnection);
}

bool FakeTcpService::isListening() const
{
    if (!thread_)
        return false;
    bool listening = false;
    QMetaObject::invokeMethod(worker_, [&] { listening = worker_->isListening(); },
                              Qt::BlockingQueuedConnection);
    return listening;
}

void FakeTcpService::setScript(const Script &script)
{
    QMutexLocker lock(&shared_->mutex);
    shared_->script = std::make_shared<const Script>(script);
}

QByteArray FakeTcpService::received() const
{
    QMutexLocker lock(&shared_->mutex);
    return shared_->received;
}

QList<QByteArray> FakeTcpService::receivedLines() const
{
    QMutexLocker lock(&shared_->mutex);
    return shared_->lines;
}

QList<ConnectionRecord> FakeTcpService::connections() const
{
    QMutexLocker lock(&shared_->mutex);
    return shared_->records;
}

bool FakeTcpService::waitForReceived(int byteCount, int timeoutMs) const
{
    return shared_->waitUntil(timeoutMs, [&] { return shared_->received.size() >= byteCount; });
}

bool FakeTcpService::waitForConnections(int count, int timeoutMs) const
{
    return shared_->waitUntil(timeoutMs, [&] { return shared_->records.size() >= count; });
}

bool FakeTcpService::waitForClosedConnections(int count, int timeoutMs) const
{
    return shared_->waitUntil(timeoutMs, [&] {
        int closed = 0;
        for (const ConnectionRecord &record : shared_->records)
            closed += record.isOpen() ? 0 : 1;
        return closed >= count;
    });
}

} // namespace quorvane::sim::net
