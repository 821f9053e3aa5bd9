#pragma once

#include <QByteArray>
#include <QVector>

// Measures of what an emulator program played into its file sink (raw 16-bit stereo at
// 20000 Hz), in block units: the output block negates a value v and the audio layer plays it
// as v x 16, so a full-scale sine reads +-512.
namespace measure {

constexpr int Rate = 20000;

QVector<double> leftChannel(const QByteArray& raw);

double rms(const QVector<double>& x);
// The frequency of the strongest component between 20 Hz and 5000 Hz, from the Hann-windowed
// power spectrum of the first power-of-two samples of `x`, refined between its neighbours.
double dominantFrequency(const QVector<double>& x);
// The magnitude-weighted mean frequency of the same spectrum, 20 Hz to 10000 Hz.
double spectralCentroid(const QVector<double>& x);

} // namespace measure
