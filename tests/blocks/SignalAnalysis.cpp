#include "SignalAnalysis.h"

#include <QStringList>

#include <cmath>

namespace analysis {

QVector<double> traceValues(const BlockHarness::Run& run, int line, QString* failure)
{
    QVector<double> values;
    if (!run.ok) {
        if (failure)
            *failure = run.failure;
        return values;
    }
    if (line >= run.lines.size()) {
        if (failure)
            *failure =
                QStringLiteral("no answer line %1 in: %2").arg(line).arg(run.lines.join("; "));
        return values;
    }
    const QStringList words = run.lines.at(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    values.reserve(words.size());
    for (const QString& w : words) {
        bool ok = false;
        const double v = w.toDouble(&ok);
        if (!ok) {
            if (failure)
                *failure = QStringLiteral("not a number: %1").arg(w);
            return QVector<double>();
        }
        values << v;
    }
    return values;
}

QList<Trace> traceAll(BlockHarness& harness, const QList<BlockHarness::Job>& jobs)
{
    QList<Trace> traces;
    for (const BlockHarness::Run& run : harness.runAll(jobs)) {
        Trace t;
        t.values = traceValues(run, 0, &t.failure);
        traces << t;
    }
    return traces;
}

double crossingFrequency(const QVector<double>& x, double sampleRate, double level)
{
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (int i = 1; i < x.size(); ++i) {
        const double a = x.at(i - 1) - level;
        const double b = x.at(i) - level;
        if (a < 0.0 && b >= 0.0) {
            const double t = (i - 1) + (-a) / (b - a);
            if (crossings == 0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2 || last <= first)
        return 0.0;
    return (crossings - 1) * sampleRate / (last - first);
}

double amplitudeAt(const QVector<double>& x, double frequency, double sampleRate)
{
    const int n = x.size();
    if (n < 2)
        return 0.0;
    const double w = 2.0 * M_PI * frequency / sampleRate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    double windowSum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (n - 1));
        windowSum += hann;
        const double s = x.at(i) * hann + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double re = s1 - s2 * std::cos(w);
    const double im = s2 * std::sin(w);
    return 2.0 * std::sqrt(re * re + im * im) / windowSum;
}

double mean(const QVector<double>& x)
{
    double sum = 0.0;
    for (double v : x)
        sum += v;
    return x.isEmpty() ? 0.0 : sum / x.size();
}

double variance(const QVector<double>& x)
{
    const double m = mean(x);
    double sum = 0.0;
    for (double v : x)
        sum += (v - m) * (v - m);
    return x.isEmpty() ? 0.0 : sum / x.size();
}

int32_t runtimeSine(int32_t phase)
{
    // Shift the phase to the top, fold the second and third quarters over, and evaluate
    // x (1.5 - x^2 / 2) in fixed point; signed 32-bit arithmetic with wrap-around.
    int32_t x = int32_t(uint32_t(phase) << 17);
    if (int32_t(uint32_t(x) ^ (uint32_t(x) << 1)) < 0)
        x = int32_t(0x80000000u - uint32_t(x));
    x >>= 17;
    return (x * (0x18000 - ((x * x) >> 11))) >> 17;
}

QVector<uint32_t> runtimeRandom(int count)
{
    QVector<uint32_t> values;
    uint32_t seed = 22222;
    for (int i = 0; i < count; ++i) {
        seed = seed * 196314165u + 907633515u;
        values << (seed >> 22);
    }
    return values;
}

int32_t oscillatorIncrement(int32_t frequency, int rate)
{
    return int32_t(uint32_t(frequency) * 128u) / rate;
}

double oscillatorFrequency(int32_t frequency, int rate)
{
    return rate * std::fabs(double(oscillatorIncrement(frequency, rate))) / 131072.0;
}

} // namespace analysis
