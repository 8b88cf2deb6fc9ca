#ifndef QUORVANE_BENCH_SAMPLES_H
#define QUORVANE_BENCH_SAMPLES_H

// Measured times of one figure, and the numbers the report gives of them.

#include <QString>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace bench {

struct Samples
{
    QString id;
    QVector<double> values; // successful runs only
    QVector<double> cpu;    // processor time of the timed thread in each of those runs, ms
    int failures = 0;       // runs whose result was not the expected one

    QVector<double> sorted() const
    {
        QVector<double> copy = values;
        std::sort(copy.begin(), copy.end());
        return copy;
    }
    double median() const
    {
        const QVector<double> s = sorted();
        if (s.isEmpty())
            return NAN;
        const int n = s.size();
        return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
    }
    // Nearest rank.
    double percentile(double p) const
    {
        const QVector<double> s = sorted();
        if (s.isEmpty())
            return NAN;
        const int rank = int(std::ceil(p / 100.0 * s.size()));
        return s[std::clamp(rank - 1, 0, s.size() - 1)];
    }
    double cpuMedian() const
    {
        Samples times {id, cpu};
        return times.median();
    }
    double min() const { return values.isEmpty() ? NAN : *std::min_element(values.begin(), values.end()); }
    double max() const { return values.isEmpty() ? NAN : *std::max_element(values.begin(), values.end()); }
};

} // namespace bench

#endif // QUORVANE_BENCH_SAMPLES_H
