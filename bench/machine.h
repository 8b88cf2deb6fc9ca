#ifndef QUORVANE_BENCH_MACHINE_H
#define QUORVANE_BENCH_MACHINE_H

// The machine the benchmark runs on, and how busy it is while it runs: the other work on
// it shares the two cores with the tool and shows in every figure.

#include <QFile>
#include <QMap>
#include <QString>
#include <QThread>
#include <QVector>

#include <algorithm>

namespace bench {

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

} // namespace bench

#endif // QUORVANE_BENCH_MACHINE_H
