#pragma once
#include <cstddef>

// Short-term loudness of a sound effect, the measure mkdata levels the
// sound set by (peaks say little about how loud a sound is heard: a click
// whose peak is one sharp spike sounds far quieter than a buzz of the same
// peak).
//
// The samples (-1..1) are K-weighted the way broadcast loudness meters do
// it (ITU-R BS.1770): a high shelf of about +4 dB above 1.7 kHz, for the
// head's effect on what reaches the ear, then a gentle high-pass at 38 Hz
// that discounts the deep rumble the ear hardly hears. Both are second-order
// sections designed for `rate` by the bilinear transform. The loudness is
// the mean square of the weighted signal over the loudest stretch of
// kLoudnessWindowSeconds (a sound shorter than that is measured over its
// whole length), in LUFS: -0.691 + 10 log10(mean square). A full-scale
// 1 kHz sine measures about -3 LUFS. Silence gives kSilenceLufs.
inline constexpr double kLoudnessWindowSeconds = 0.1;
inline constexpr double kSilenceLufs = -120.0;
double ShortTermLoudness(const double* samples, size_t count, int rate);
