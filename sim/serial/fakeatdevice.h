#ifndef QUORVANE_SIM_SERIAL_FAKEATDEVICE_H
#define QUORVANE_SIM_SERIAL_FAKEATDEVICE_H

#include "sim/script/fakedevice.h"
#include "sim/script/script.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvane::sim {

// A device that answers AT commands on the master side of an emulated serial port. It
// runs on a thread of its own, so a program that blocks while it waits for a reply (on
// any thread, or in a child process) gets its answer in time.
//
// A command is the text the program sends up to a carriage return or line feed; empty
// lines are ignored. Each command is looked up in the script (sim/script/script.h) and its
// reply is played; a new command silences a stream that is still talking. Every byte the
// program writes is recorded, whether or not it makes up a known command.
//
// The device outlives the program's opening and closing of the port: while the port is
// closed it listens for the next open, and whatever it still had to say is dropped.
//
// Made by FakeSerialPorts::addPort; owned by them.
class FakeAtDevice : public FakeDevice
{
public:
    using Clock = std::chrono::steady_clock;

    ~FakeAtDevice();
    FakeAtDevice(const FakeAtDevice &) = delete;
    FakeAtDevice &operator=(const FakeAtDevice &) = delete;

    QString portName() const { return m_portName; }

    // The script, whole or one rule at a time (as Script::on, once, otherwise).
    void setScript(const Script &script);
    void on(const QByteArray &command, const Reply &reply);
    void once(const QByteArray &command, const Reply &reply);
    void otherwise(const Reply &reply);

    // What the program sent: every byte in order, and the commands cut from it.
    QByteArray received() const override;
    QList<QByteArray> commands() const;
    void clearReceived();
    // Blocks until at least count commands have arrived or timeoutMs has passed.
    bool waitForCommands(int count, int timeoutMs) const;

    // What the device wrote, one entry per write to the line, with the moment (clockMs())
    // the write returned: the time a reply's bytes really reached the port, however late
    // the device's thread got to run. Tests judge a silence on the line by it.
    struct Write
    {
        qint64 atMs;
        int bytes;
    };
    QList<Write> writes() const;

    // Pulls the device out now: the port hangs up (the program's reads and waits fail)
    // and the port leaves the list of serial ports. There is no way back in.
    void unplug() override;
    bool isPlugged() const;
    // The program has the port open.
    bool inConversation() const override;

    // The line speed the program set on the port, or 0 when it is not a standard one.
    int baudRate() const;

private:
    friend class FakeSerialPorts;
    FakeAtDevice(int masterFd, const QString &portName, std::function<void()> removeFromSystem);

    struct Pending
    {
        enum Kind { Bytes, Stream, Unplug, HangUp };
        Clock::time_point due;
        Kind kind;
        QByteArray bytes; // what Bytes writes once, or what Stream writes again and again
        int intervalMs;   // Stream: the pause between two pieces
    };

    void run();
    void handleInput(const QByteArray &bytes, Clock::time_point now);
    void schedule(const Reply &reply, Clock::time_point now);
    void playDueSteps(Clock::time_point now);
    void flushOutput();
    void portClosed();
    void unplugLocked(bool leaveTheList = true);

    const int m_fd;
    const QString m_portName;
    std::function<void()> m_removeFromSystem;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Script m_script;
    QByteArray m_received;
    QList<QByteArray> m_commands;
    QList<Write> m_writes;
    QByteArray m_line;
    std::vector<Pending> m_pending;
    QByteArray m_output;
    bool m_plugged = true; // the line is up
    bool m_listed = true;  // the port is in the system's list
    bool m_portOpen = false;
    bool m_stop = false;

    std::thread m_thread;
};

} // namespace quorvane::sim

#endif // QUORVANE_SIM_SERIAL_FAKEATDEVICE_H
