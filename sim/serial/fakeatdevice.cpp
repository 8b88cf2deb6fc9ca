#include "sim/serial/fakeatdevice.h"

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace quorvane::sim {

namespace {

// How often the device looks for the program's open while the port is closed, and the
// longest it sleeps while the port is open and nothing is due.
constexpr int closedPortPollMs = 2;
constexpr int idlePollMs = 20;
// A stream does not pile up more than this when the program does not read.
constexpr int streamBacklogBytes = 4096;
constexpr int maxLineBytes = 4096;

struct BaudRate
{
    speed_t code;
    int bitsPerSecond;
};

constexpr BaudRate baudRates[] = {
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B921600, 921600},
    {B1000000, 1000000}, {B2000000, 2000000}, {B4000000, 4000000},
};

} // namespace

FakeAtDevice::FakeAtDevice(int masterFd, const QString &portName, std::function<void()> removeFromSystem)
    : m_fd(masterFd)
    , m_portName(portName)
    , m_removeFromSystem(std::move(removeFromSystem))
{
    // A device whose program does not read must not stall: writes that do not fit wait.
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_thread = std::thread([this] { run(); });
}

FakeAtDevice::~FakeAtDevice()
{
    underLock(m_mutex, [this] { m_stop = true; });
    m_changed.notify_all();
    m_thread.join();
}

void FakeAtDevice::setScript(const Script &script)
{
    underLock(m_mutex, [&] { m_script = script; });
}
void FakeAtDevice::on(const QByteArray &command, const Reply &reply)
{
    underLock(m_mutex, [&] { m_script.on(command, reply); });
}
void FakeAtDevice::once(const QByteArray &command, const Reply &reply)
{
    underLock(m_mutex, [&] { m_script.once(command, reply); });
}
void FakeAtDevice::otherwise(const Reply &reply)
{
    underLock(m_mutex, [&] { m_script.otherwise(reply); });
}

QByteArray FakeAtDevice::received() const
{
    return underLock(m_mutex, [this] { return m_received; });
}
QList<QByteArray> FakeAtDevice::commands() const
{
    return underLock(m_mutex, [this] { return m_commands; });
}
QList<FakeAtDevice::Write> FakeAtDevice::writes() const
{
    return underLock(m_mutex, [this] { return m_writes; });
}
bool FakeAtDevice::isPlugged() const
{
    return underLock(m_mutex, [this] { return m_plugged; });
}
bool FakeAtDevice::inConversation() const
{
    return underLock(m_mutex, [this] { return m_plugged && m_portOpen; });
}
void FakeAtDevice::unplug()
{
    underLock(m_mutex, [this] { unplugLocked(); });
}

void FakeAtDevice::clearReceived()
{
    underLock(m_mutex, [this] {
        m_received.clear();
        m_commands.clear();
    });
}

bool FakeAtDevice::waitForCommands(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_commands.size() >= count; });
}

int FakeAtDevice::baudRate() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    termios settings {};
    if (!m_plugged || ::tcgetattr(m_fd, &settings) != 0)
        return 0;
    const speed_t code = ::cfgetospeed(&settings);
    for (const BaudRate &rate : baudRates) {
        if (rate.code == code)
            return rate.bitsPerSecond;
    }
    return 0;
}

// The device's life: wait for bytes or for the next step that is due, answer, repeat.
void FakeAtDevice::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (!m_plugged) {
            m_changed.wait(lock, [this] { return m_stop; });
            break;
        }

        const Clock::time_point now = Clock::now();
        int timeoutMs = idlePollMs;
        for (const Pending &pending : m_pending) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(pending.due - now).count();
            timeoutMs = std::min<int>(timeoutMs, std::max<long long>(0, left));
        }
        pollfd watch {m_fd, short(POLLIN | (m_output.isEmpty() ? 0 : POLLOUT)), 0};

        lock.unlock();
        const int ready = ::poll(&watch, 1, timeoutMs);
        QByteArray input;
        bool hungUp = false;
        if (ready > 0 && (watch.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
            if (count > 0)
                input = QByteArray(buffer, int(count));
            else if (count < 0 && errno != EAGAIN && errno != EINTR)
                hungUp = true; // EIO: nobody has the port open
        } else if (ready > 0 && (watch.revents & POLLHUP)) {
            hungUp = true;
        }
        if (hungUp)
            ::usleep(closedPortPollMs * 1000);
        lock.lock();

        if (m_stop || !m_plugged)
            continue;
        if (hungUp) {
            portClosed();
            continue;
        }
        m_portOpen = true;
        if (!input.isEmpty())
            handleInput(input, Clock::now());
        playDueSteps(Clock::now());
        flushOutput();
    }
}

void FakeAtDevice::handleInput(const QByteArray &bytes, Clock::time_point now)
{
    m_received.append(bytes);
    for (const char byte : bytes) {
        if (byte != '\r' && byte != '\n') {
            if (m_line.size() < maxLineBytes)
                m_line.append(byte);
            continue;
        }
        if (m_line.isEmpty())
            continue;
        const QByteArray command = m_line;
        m_line.clear();
        m_commands.append(command);
        // A new command silences a stream that is still talking.
        m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                       [](const Pending &p) { return p.kind == Pending::Stream; }),
                        m_pending.end());
        schedule(m_script.take(command, m_received), now);
    }
    m_changed.notify_all();
}

// A serial line has no connection to end. Reset drops the line while the port stays
// listed, as when a device's serial function fails: the program's reads and waits fail,
// and later opens of the port fail too. Close pulls the device out as Unplug does.
void FakeAtDevice::schedule(const Reply &reply, Clock::time_point now)
{
    Clock::time_point at = now;
    for (const Chunk &chunk : reply.chunks) {
        at += std::chrono::milliseconds(chunk.delayMs);
        m_pending.push_back({at, Pending::Bytes, chunk.bytes, 0});
    }
    at += std::chrono::milliseconds(reply.endDelayMs);
    switch (reply.end) {
    case Reply::End::Stay:
        break;
    case Reply::End::Stream:
        if (!reply.streamPiece.isEmpty())
            m_pending.push_back({at, Pending::Stream, reply.streamPiece, qMax(1, reply.streamIntervalMs)});
        break;
    case Reply::End::Reset:
        m_pending.push_back({at, Pending::HangUp, QByteArray(), 0});
        break;
    case Reply::End::Close:
    case Reply::End::Unplug:
        m_pending.push_back({at, Pending::Unplug, QByteArray(), 0});
        break;
    }
}

void FakeAtDevice::playDueSteps(Clock::time_point now)
{
    // Steps are played in the order they fall due; a stream puts itself back in line.
    const auto byDue = [](const Pending &a, const Pending &b) { return a.due < b.due; };
    std::stable_sort(m_pending.begin(), m_pending.end(), byDue);
    while (!m_pending.empty() && m_pending.front().due <= now && m_plugged) {
        Pending next = m_pending.front();
        m_pending.erase(m_pending.begin());
        switch (next.kind) {
        case Pending::Bytes:
            m_output.append(next.bytes);
            break;
        case Pending::Stream:
            if (m_output.size() < streamBacklogBytes)
                m_output.append(next.bytes);
            next.due += std::chrono::milliseconds(next.intervalMs);
            if (next.due <= now) // running late: no burst to catch up
                next.due = now + std::chrono::milliseconds(next.intervalMs);
            m_pending.insert(std::upper_bound(m_pending.begin(), m_pending.end(), next, byDue), next);
            break;
        case Pending::Unplug:
        case Pending::HangUp:
            flushOutput();
            unplugLocked(next.kind == Pending::Unplug);
            break;
        }
    }
}

void FakeAtDevice::flushOutput()
{
    while (!m_output.isEmpty() && m_plugged) {
        const ssize_t written = ::write(m_fd, m_output.constData(), size_t(m_output.size()));
        if (written > 0) {
            m_writes.append(Write {clockMs(), int(written)});
            m_output.remove(0, int(written));
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EINTR))
            return;       // the program's input is full: the rest goes when it reads
        m_output.clear(); // the port is closed under our feet
        return;
    }
}

// The program closed the port: what the device still had to say is lost, as on a real
// line, and a half-received command is forgotten.
void FakeAtDevice::portClosed()
{
    if (!m_portOpen)
        return;
    m_portOpen = false;
    m_pending.clear();
    m_output.clear();
    m_line.clear();
}

void FakeAtDevice::unplugLocked(bool leaveTheList)
{
    if (m_plugged) {
        m_plugged = false;
        m_pending.clear();
        m_output.clear();
        // Closing the master end hangs the port up for the program. The testbed owns this
        // descriptor number and closes it at the end, so it is pointed at /dev/null rather
        // than closed.
        const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        ::dup2(nothing, m_fd);
        ::close(nothing);
    }
    if (leaveTheList && m_listed) {
        m_listed = false;
        m_removeFromSystem();
    }
    m_changed.notify_all();
}

} // namespace quorvane::sim
