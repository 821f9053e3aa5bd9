#include "AudioMeasure.h"

#include <QtEndian>

#include <cmath>
#include <complex>
#include <vector>

namespace measure {

namespace {

// The magnitudes of the positive frequencies of the largest power-of-two prefix of x, Hann
// windowed; bin k is at k x Rate / n.
std::vector<double> magnitudes(const QVector<double>& x, int* size)
{
    int n = 1;
    while (n * 2 <= x.size())
        n *= 2;
    *size = n;
    std::vector<std::complex<double>> a(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        a[size_t(i)] = x.at(i) * (0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1)));
    // Iterative radix-2 transform.
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[size_t(i)], a[size_t(j)]);
    }
    for (int length = 2; length <= n; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * M_PI / length);
        for (int i = 0; i < n; i += length) {
            std::complex<double> w(1);
            for (int k = 0; k < length / 2; ++k) {
                const std::complex<double> u = a[size_t(i + k)];
                const std::complex<double> v = a[size_t(i + k + length / 2)] * w;
                a[size_t(i + k)] = u + v;
                a[size_t(i + k + length / 2)] = u - v;
                w *= step;
            }
        }
    }
    std::vector<double> m(static_cast<size_t>(n / 2));
    for (int k = 0; k < n / 2; ++k)
        m[size_t(k)] = std::abs(a[size_t(k)]);
    return m;
}

} // namespace

QVector<double> leftChannel(const QByteArray& raw)
{
    QVector<double> left;
    left.reserve(raw.size() / 4);
    for (int i = 0; i + 3 < raw.size(); i += 4)
        left << -double(qFromLittleEndian<qint16>(raw.constData() + i)) / 16.0;
    return left;
}

double rms(const QVector<double>& x)
{
    double sum = 0;
    for (double v : x)
        sum += v * v;
    return x.isEmpty() ? 0 : std::sqrt(sum / x.size());
}

double dominantFrequency(const QVector<double>& x)
{
    int n = 0;
    const std::vector<double> m = magnitudes(x, &n);
    const double bin = double(Rate) / n;
    const int first = int(std::ceil(20 / bin));
    const int last = qMin(int(m.size()) - 2, int(5000 / bin));
    int best = first;
    for (int k = first; k <= last; ++k) {
        if (m[size_t(k)] > m[size_t(best)])
            best = k;
    }
    // A parabola through the peak and its neighbours (in decibels) places it between bins.
    const double l = std::log(m[size_t(best - 1)] + 1e-12);
    const double c = std::log(m[size_t(best)] + 1e-12);
    const double r = std::log(m[size_t(best + 1)] + 1e-12);
    const double d = l - 2 * c + r;
    const double shift = d != 0 ? 0.5 * (l - r) / d : 0;
    return (best + qBound(-0.5, shift, 0.5)) * bin;
}

double spectralCentroid(const QVector<double>& x)
{
    int n = 0;
    const std::vector<double> m = magnitudes(x, &n);
    const double bin = double(Rate) / n;
    double weighted = 0;
    double total = 0;
    for (int k = int(std::ceil(20 / bin)); k < int(m.size()); ++k) {
        weighted += k * bin * m[size_t(k)];
        total += m[size_t(k)];
    }
    return total > 0 ? weighted / total : 0;
}

} // namespace measure
