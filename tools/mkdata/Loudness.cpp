#include "Loudness.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The K-weighting stages as analogue prototypes: a high shelf (centre,
// gain, Q) and a high-pass (corner, Q).
constexpr double kShelfHz = 1681.974450955533;
constexpr double kShelfGainDb = 3.999843853973347;
constexpr double kShelfQ = 0.7071752369554196;
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;
// The meter's offset so that the weighting's 1 kHz gain reads as 0 dB.
constexpr double kLufsOffset = -0.691;

// Direct form I biquad, a0 normalised to 1.
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    double Step(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad HighShelf(int rate) {
    const double k = std::tan(kPi * kShelfHz / rate);
    const double vh = std::pow(10.0, kShelfGainDb / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);  // the shelf's mid-band gain
    const double a0 = 1.0 + k / kShelfQ + k * k;
    return {(vh + vb * k / kShelfQ + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / kShelfQ + k * k) / a0,
            2.0 * (k * k - 1.0) / a0, (1.0 - k / kShelfQ + k * k) / a0};
}

Biquad HighPass(int rate) {
    const double k = std::tan(kPi * kHighPassHz / rate);
    const double a0 = 1.0 + k / kHighPassQ + k * k;
    return {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / kHighPassQ + k * k) / a0};
}

}  // namespace

double ShortTermLoudness(const double* samples, size_t count, int rate) {
    if (count == 0 || rate <= 0) return kSilenceLufs;
    Biquad shelf = HighShelf(rate), highPass = HighPass(rate);
    std::vector<double> power(count);
    for (size_t i = 0; i < count; ++i) {
        const double y = highPass.Step(shelf.Step(samples[i]));
        power[i] = y * y;
    }
    const size_t window = std::clamp<size_t>(static_cast<size_t>(std::lround(kLoudnessWindowSeconds * rate)), 1, count);
    // Sliding sum over the window; the loudest window wins.
    double sum = 0.0, loudest = 0.0;
    for (size_t i = 0; i < count; ++i) {
        sum += power[i];
        if (i >= window) sum -= power[i - window];
        if (i + 1 >= window) loudest = std::max(loudest, sum);
    }
    const double meanSquare = loudest / window;
    if (meanSquare <= 1e-12) return kSilenceLufs;
    return kLufsOffset + 10.0 * std::log10(meanSquare);
}
