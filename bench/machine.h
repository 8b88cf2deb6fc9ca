#ifndef QUORVANE_BENCH_MACHINE_H
#define QUORVANE_BENCH_MACHINE_H

// The machine the benchmark runs on, and how busy it is while it runs: the other work on
// it shares the two cores with the tool and shows in every figure.

#include <QFile>
#include <QMap>
#include <QString>
#include <QThread>
#include <QVector>

#include "bench/samples.h"
#include "runner/process.h"

#include <algorithm>
#include <ctime>

namespace bench {

// A line on the benchmark's output, stamped with the seconds since it started.
inline void say(const QString &line)
{
    runner::say("bench", line);
}

inline QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown");
}

// The one-minute load average, sampled per phase of the run.
class LoadLog
{
public:
    void sample(const QString &phase)
    {
        QFile file(QStringLiteral("/proc/loadavg"));
        if (file.open(QIODevice::ReadOnly))
            m_samples[phase] << file.readAll().split(' ').value(0).toDouble();
        if (!m_order.contains(phase))
            m_order << phase;
    }
    QStringList phases() const { return m_order; }
    double min(const QString &phase) const
    {
        const QVector<double> &v = m_samples[phase];
        return v.isEmpty() ? 0 : *std::min_element(v.begin(), v.end());
    }
    double max(const QString &phase) const
    {
        const QVector<double> &v = m_samples[phase];
        return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
    }

private:
    QMap<QString, QVector<double>> m_samples;
    QStringList m_order;
};

// How many ms later than asked a thread of this process wakes from a 20 ms sleep, over
// 20 sleeps: what the machine's load adds to every wait of a dialogue.
inline Samples wakeLateness()
{
    Samples late {QStringLiteral("wake")};
    for (int i = 0; i < 20; ++i) {
        timespec before {}, after {};
        ::clock_gettime(CLOCK_MONOTONIC, &before);
        QThread::msleep(20);
        ::clock_gettime(CLOCK_MONOTONIC, &after);
        late.values << (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6 - 20;
    }
    return late;
}

} // namespace bench

#endif // QUORVANE_BENCH_MACHINE_H
