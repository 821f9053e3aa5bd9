#pragma once

#include "BlockHarness.h"

#include <QList>
#include <QString>
#include <QVector>

#include <cstdint>

// Measuring what block programs produce: long runs taken with the driver's trace command and
// analysed here, and the runtime's integer helpers as they are defined, to compare against.
namespace analysis {

struct Trace
{
    QVector<double> values;
    // Why there are no values: the run failed or gave no trace line.
    QString failure;
};

// Runs the jobs side by side and reads the first answer line of each as a trace.
QList<Trace> traceAll(BlockHarness& harness, const QList<BlockHarness::Job>& jobs);

// The numbers of a run's answer line `line` (a trace), or nothing when the run failed or the
// line is missing; `failure` (when given) tells why.
QVector<double> traceValues(const BlockHarness::Run& run, int line = 0, QString* failure = nullptr);

// Frequency from the rising crossings of `level`, each placed between its two samples by
// linear interpolation: the crossings counted, less one, over the time between the first and
// the last. 0 when there are fewer than two.
double crossingFrequency(const QVector<double>& x, double sampleRate, double level = 0.0);

// Amplitude of the component at `frequency` (peak value), by a Goertzel filter over the
// Hann-windowed run.
double amplitudeAt(const QVector<double>& x, double frequency, double sampleRate);

double mean(const QVector<double>& x);
double variance(const QVector<double>& x);

// The runtime's integer sine: a 15-bit phase, amplitude 4096, third-order polynomial.
int32_t runtimeSine(int32_t phase);
// The runtime's random numbers 0..1023 from its fixed seed: the first `count` of a run.
QVector<uint32_t> runtimeRandom(int count);

// The phase step of the oscillators at `rate` for a frequency input (Hz x 1024): the 32-bit
// product with 128, divided with truncation.
int32_t oscillatorIncrement(int32_t frequency, int rate);
// The frequency in Hz that a phase step gives: rate x |inc| / 131072.
double oscillatorFrequency(int32_t frequency, int rate);

} // namespace analysis
