#include "shared/eventwait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <csignal>
#include <memory>

namespace eventwait {

namespace {

// What a wait serves: paints, the window manager's requests, device notifications; no
// timer, so that no tick of the poll timer and nothing else timed runs inside a cycle.
constexpr QEventLoop::ProcessEventsFlags servedEvents = QEventLoop::X11ExcludeTimers;

// A stop signal that arrives during a wait is seen within this long.
constexpr int stopCheckMs = 50;

volatile std::sig_atomic_t stopSignalled = 0;
std::atomic<bool> stopAsked {false};

void onStopSignal(int)
{
    stopSignalled = 1;
}

// The dispatcher of a wait serves no timer, so nothing would wake it when the wait's time
// is up: this thread does, at the deadline and every stopCheckMs before it.
class Waker
{
public:
    Waker(QAbstractEventDispatcher *dispatcher, QDeadlineTimer deadline)
        : m_dispatcher(dispatcher)
        , m_deadline(deadline)
        , m_thread(QThread::create([this] { run(); }))
    {
        m_thread->start();
    }
    ~Waker()
    {
        {
            QMutexLocker lock(&m_mutex);
            m_over = true;
            m_changed.wakeAll();
        }
        m_thread->wait();
    }
    Waker(const Waker &) = delete;
    Waker &operator=(const Waker &) = delete;

private:
    void run()
    {
        QMutexLocker lock(&m_mutex);
        while (!m_over) {
            QDeadlineTimer next(stopCheckMs, Qt::PreciseTimer);
            if (m_deadline.hasExpired())
                next = QDeadlineTimer(1, Qt::PreciseTimer); // until the wait has seen it
            else if (m_deadline < next)
                next = m_deadline;
            if (!m_changed.wait(&m_mutex, next))
                m_dispatcher->wakeUp();
        }
    }

    QAbstractEventDispatcher *const m_dispatcher;
    const QDeadlineTimer m_deadline;
    QMutex m_mutex;
    QWaitCondition m_changed;
    bool m_over = false;
    const std::unique_ptr<QThread> m_thread;
};

} // namespace

bool until(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(qMax(timeoutMs, 0), Qt::PreciseTimer);
    if (done())
        return true;
    QAbstractEventDispatcher *const dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) {
        // No event loop in this thread (a program without QCoreApplication): plain waiting.
        while (!deadline.hasExpired() && !stopping()) {
            QThread::msleep(1);
            if (done())
                return true;
        }
        return false;
    }
    const Waker waker(dispatcher, deadline);
    for (;;) {
        if (deadline.hasExpired() || stopping())
            return false;
        dispatcher->processEvents(servedEvents | QEventLoop::WaitForMoreEvents);
        if (done())
            return true;
    }
}

bool pause(int ms)
{
    until([] { return false; }, ms);
    return !stopping();
}

void serve()
{
    if (QAbstractEventDispatcher *const dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->processEvents(servedEvents);
}

bool stopping()
{
    return stopSignalled != 0 || stopAsked.load();
}

void requestStop()
{
    stopAsked = true;
}

void stopOnSignals()
{
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#ifdef SIGHUP
    std::signal(SIGHUP, onStopSignal);
#endif
}

} // namespace eventwait
