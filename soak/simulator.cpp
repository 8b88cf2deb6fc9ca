#include "soak/simulator.h"
#include "runner/process.h"

namespace soak {

bool Simulator::start(const SimulatorFiles &files, int rounds)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QUORVANE_SCREEN_LOG"), files.screenLog);
    environment.insert(QStringLiteral("LD_PRELOAD"), files.screenLogModule);
    m_process.setProcessEnvironment(environment);
    m_process.setStandardOutputFile(files.screenLog, QIODevice::Append);
    m_process.setStandardErrorFile(files.toolLog);
    m_process.start(files.simulator,
                    {QStringLiteral("--scenario"), QStringLiteral("soak"), QStringLiteral("--rounds"),
                     QString::number(rounds), QStringLiteral("--"), files.tool});
    return m_process.waitForStarted();
}

bool Simulator::waitForEnd(int ms)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
}

void Simulator::stop(int graceMs)
{
    runner::stopProcess(m_process, graceMs);
}

int Simulator::exitCode() const
{
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

} // namespace soak
