#ifndef QUORVANE_SOAK_SIMULATOR_H
#define QUORVANE_SOAK_SIMULATOR_H

// The device simulator playing the soak scenario with the real tool under it, as a process
// of the soak's own. Its standard output, the stage lines, is appended to the screen log the
// tool writes through the preloaded screen-log module, so that both come in the order they
// happened; its standard error, where the tool's log goes too, is a file of its own.

#include <QProcess>
#include <QString>

namespace soak {

struct SimulatorFiles
{
    QString simulator;       // quorvane-devsim
    QString tool;            // quorvane
    QString screenLogModule; // libquorvane-screenlog.so
    QString screenLog;
    QString toolLog;
};

class Simulator
{
public:
    // Starts `rounds` rounds of the soak scenario; false when the simulator does not start.
    bool start(const SimulatorFiles &files, int rounds);
    QString errorString() const { return m_process.errorString(); }
    qint64 pid() const { return m_process.processId(); }
    // Waits up to `ms` for the simulator to end by itself; true once it has ended.
    bool waitForEnd(int ms);
    // Asks the simulator to end (SIGTERM: it stops the tool first), and kills it when it has
    // not ended after `graceMs`.
    void stop(int graceMs);
    // The simulator's exit code; -1 when it crashed or was killed.
    int exitCode() const;

private:
    QProcess m_process;
};

} // namespace soak

#endif // QUORVANE_SOAK_SIMULATOR_H
