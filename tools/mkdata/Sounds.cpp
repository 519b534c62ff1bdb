// The game's sound effects, synthesised: 8-bit unsigned mono 22,050 Hz PCM
// RIFF WAVE files under sound/. Everything is deterministic: each sound has
// its own noise generator with a fixed seed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Generators.h"
#include "Loudness.h"

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

using Wave = std::vector<double>;

// The menu hum's peak: it plays under everything else on the menu.
constexpr double kHumPeak = 0.316;  // -10 dBFS

// xorshift32: small, fast and the same everywhere.
class Rng {
public:
    explicit Rng(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    double Uniform() { return (Next() >> 8) * (1.0 / 16777216.0); }  // 0..1
    double Signed() { return Uniform() * 2.0 - 1.0; }                // -1..1

private:
    uint32_t state_;
};

int Samples(double seconds) { return static_cast<int>(std::lround(seconds * kRate)); }
double TimeOf(int i) { return static_cast<double>(i) / kRate; }

// An oscillator whose frequency may change every sample (for sweeps).
class Osc {
public:
    explicit Osc(double phase = 0.0) : phase_(phase) {}
    // Advances by one sample at `hz` and returns the phase (in cycles)
    // before the step.
    double Step(double hz) {
        const double p = phase_;
        phase_ += hz / kRate;
        phase_ -= std::floor(phase_);
        return p;
    }
    double Sine(double hz) { return std::sin(kTwoPi * Step(hz)); }
    // Sum of the first harmonics up to the Nyquist margin: a band-limited
    // saw (all harmonics) or square (odd harmonics) without aliasing.
    double Saw(double hz) {
        const double p = Step(hz);
        double sum = 0.0;
        for (int h = 1; h * hz < 9000.0 && h <= 64; ++h) sum += std::sin(kTwoPi * p * h) / h;
        return sum * (2.0 / kPi);
    }
    double Square(double hz) {
        const double p = Step(hz);
        double sum = 0.0;
        for (int h = 1; h * hz < 9000.0 && h <= 63; h += 2) sum += std::sin(kTwoPi * p * h) / h;
        return sum * (4.0 / kPi);
    }

private:
    double phase_;
};

// Chamberlin state-variable filter; cutoff may move every sample.
class Svf {
public:
    // Returns {low, band, high} through the out-parameters.
    void Step(double in, double cutoff, double q, double* low, double* band, double* high) {
        cutoff = std::clamp(cutoff, 20.0, kRate * 0.2);
        const double f = 2.0 * std::sin(kPi * cutoff / kRate);
        const double damp = 1.0 / q;
        low_ += f * band_;
        const double hp = in - low_ - damp * band_;
        band_ += f * hp;
        if (low) *low = low_;
        if (band) *band = band_;
        if (high) *high = hp;
    }
    double Low(double in, double cutoff, double q = 0.707) {
        double l;
        Step(in, cutoff, q, &l, nullptr, nullptr);
        return l;
    }
    double Band(double in, double cutoff, double q) {
        double b;
        Step(in, cutoff, q, nullptr, &b, nullptr);
        return b;
    }

private:
    double low_ = 0.0;
    double band_ = 0.0;
};

// Envelope helpers (t in seconds).
double Attack(double t, double attack) { return attack <= 0.0 || t >= attack ? 1.0 : std::sin(0.5 * kPi * t / attack); }
double ExpDecay(double t, double tau) { return std::exp(-t / tau); }
// Attack, hold at 1, then a cosine release ending exactly at `end`.
double Shape(double t, double attack, double releaseStart, double end) {
    if (t < 0.0 || t >= end) return 0.0;
    double a = Attack(t, attack);
    if (t > releaseStart) a *= 0.5 + 0.5 * std::cos(kPi * (t - releaseStart) / (end - releaseStart));
    return a;
}
// Exponential glide from a to b as x goes 0..1.
double Glide(double a, double b, double x) { return a * std::pow(b / a, std::clamp(x, 0.0, 1.0)); }

// Adds a single pitched note: a sweep from f0 to f1 with the given
// harmonic amplitudes, a short attack and an exponential decay.
void AddNote(Wave& w, double start, double length, double f0, double f1, const std::vector<double>& harmonics,
             double attack, double tau, double gain) {
    const int first = Samples(start);
    const int count = Samples(length);
    Osc osc;
    for (int i = 0; i < count && first + i < static_cast<int>(w.size()); ++i) {
        const double t = TimeOf(i);
        const double hz = Glide(f0, f1, t / length);
        const double p = osc.Step(hz);
        double v = 0.0;
        for (size_t h = 0; h < harmonics.size(); ++h) {
            if (hz * (h + 1) < 10000.0) v += harmonics[h] * std::sin(kTwoPi * p * (h + 1));
        }
        w[first + i] += gain * v * Attack(t, attack) * ExpDecay(t, tau) * Shape(t, 0.0, length * 0.8, length);
    }
}

// Scales to a peak of 1 and drives the result through a tanh curve: loud
// noisy sounds keep their punch without the first transient setting the
// level for everything after it.
void Saturate(Wave& w, double drive) {
    double peak = 0.0;
    for (double v : w) peak = std::max(peak, std::fabs(v));
    if (peak <= 0.0) return;
    for (double& v : w) v = std::tanh(drive * v / peak);
}

double Peak(const Wave& w) {
    double peak = 0.0;
    for (double v : w) peak = std::max(peak, std::fabs(v));
    return peak;
}

// Smooths the first and last milliseconds so that neither end clicks. The
// level is set afterwards, by loudness (see Level).
void Finish(Wave& w, double fadeIn = 0.002, double fadeOut = 0.012) {
    const int in = std::min(static_cast<int>(w.size()), Samples(fadeIn));
    for (int i = 0; i < in; ++i) w[i] *= 0.5 - 0.5 * std::cos(kPi * i / in);
    const int out = std::min(static_cast<int>(w.size()), Samples(fadeOut));
    for (int i = 0; i < out; ++i) w[w.size() - 1 - i] *= 0.5 - 0.5 * std::cos(kPi * i / out);
}

// 8-bit unsigned with a light triangular dither; 128 is silence.
std::vector<uint8_t> Quantise(const Wave& w, uint32_t seed) {
    Rng rng(seed);
    std::vector<uint8_t> out(w.size());
    for (size_t i = 0; i < w.size(); ++i) {
        const double dither = (rng.Uniform() - rng.Uniform()) * 0.5;
        const long v = std::lround(128.0 + w[i] * 128.0 + dither);
        out[i] = static_cast<uint8_t>(std::clamp(v, 0L, 255L));
    }
    return out;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutId(std::vector<uint8_t>& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

// RIFF WAVE with an 18-byte PCM format record (the reader takes 18 bytes).
bool WriteWave(const std::string& path, const std::vector<uint8_t>& samples) {
    const uint32_t n = static_cast<uint32_t>(samples.size());
    const uint32_t pad = n & 1u;
    std::vector<uint8_t> file;
    file.reserve(46 + n + pad);
    PutId(file, "RIFF");
    Put32(file, 4 + (8 + 18) + (8 + n + pad));
    PutId(file, "WAVE");
    PutId(file, "fmt ");
    Put32(file, 18);
    Put16(file, 1);      // PCM
    Put16(file, 1);      // mono
    Put32(file, kRate);  // samples per second
    Put32(file, kRate);  // bytes per second
    Put16(file, 1);      // block alignment
    Put16(file, 8);      // bits per sample
    Put16(file, 0);      // no extension
    PutId(file, "data");
    Put32(file, n);
    file.insert(file.end(), samples.begin(), samples.end());
    if (pad) file.push_back(128);

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) {
        std::fprintf(stderr, "mkdata: error writing %s\n", path.c_str());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- effects

// Soft tick for pointing at a menu item.
Wave ButtonTouch() {
    Wave w(Samples(0.05));
    Osc a, b;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        w[i] = Attack(t, 0.001) * (a.Sine(2200.0) * ExpDecay(t, 0.008) + 0.4 * b.Sine(3300.0) * ExpDecay(t, 0.005));
    }
    Finish(w, 0.001, 0.01);
    return w;
}

// Crisp button click: a bright transient over a short body.
Wave Click() {
    Wave w(Samples(0.045));
    Rng rng(11);
    Osc ping, body;
    double last = 0.0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double noise = rng.Signed();
        const double bright = noise - last;  // first difference: high-passed
        last = noise;
        w[i] = 0.6 * bright * ExpDecay(t, 0.0015) + ping.Sine(3000.0) * ExpDecay(t, 0.006) +
               0.5 * body.Sine(1200.0) * ExpDecay(t, 0.01);
        w[i] *= Attack(t, 0.0004);
    }
    Finish(w, 0.0005, 0.01);
    return w;
}

// A "no" click: two short falling blips.
Wave ClickNegative() {
    Wave w(Samples(0.14));
    AddNote(w, 0.0, 0.05, 560.0, 500.0, {1.0, 0.0, 0.3}, 0.002, 0.03, 1.0);
    AddNote(w, 0.06, 0.08, 400.0, 340.0, {1.0, 0.0, 0.3}, 0.002, 0.04, 1.0);
    Finish(w);
    return w;
}

// Shimmering upward sweep for the credits slide.
Wave Legin() {
    const double length = 1.3;
    Wave w(Samples(length));
    const double ratios[] = {1.0, 1.003, 1.5, 2.0, 2.006, 3.0};
    const double gains[] = {1.0, 0.8, 0.5, 0.45, 0.35, 0.2};
    Osc osc[6];
    Osc sparkle;
    Rng rng(23);
    double sparkleHz = 4000.0;
    double sparkleEnv = 0.0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double base = Glide(300.0, 1400.0, t / 1.0);
        double v = 0.0;
        for (int k = 0; k < 6; ++k) v += gains[k] * osc[k].Sine(base * ratios[k]);
        const double tremolo = 0.75 + 0.25 * std::sin(kTwoPi * 13.0 * t);
        // Little glints every few milliseconds, each a decaying high sine.
        if (i % 661 == 0) {
            sparkleHz = 3000.0 + 3000.0 * rng.Uniform();
            sparkleEnv = 0.35;
        }
        sparkleEnv *= 0.996;
        v = v * tremolo + sparkleEnv * sparkle.Sine(sparkleHz);
        w[i] = v * Shape(t, 0.12, 0.7, length);
    }
    Finish(w);
    return w;
}

// Growth blips: each bigger food is longer, higher and richer.
Wave Grow(int size) {
    Wave w;
    switch (size) {
    case 1:
        w.resize(Samples(0.13));
        AddNote(w, 0.0, 0.13, 600.0, 900.0, {1.0}, 0.003, 0.06, 1.0);
        break;
    case 2:
        w.resize(Samples(0.17));
        AddNote(w, 0.0, 0.17, 700.0, 1150.0, {1.0, 0.3}, 0.003, 0.08, 1.0);
        break;
    case 3:
        w.resize(Samples(0.24));
        AddNote(w, 0.0, 0.11, 784.0, 800.0, {1.0, 0.35, 0.15}, 0.003, 0.07, 1.0);
        AddNote(w, 0.1, 0.14, 1047.0, 1070.0, {1.0, 0.35, 0.15}, 0.003, 0.08, 1.0);
        break;
    default:
        w.resize(Samples(0.36));
        AddNote(w, 0.0, 0.1, 880.0, 890.0, {1.0, 0.4, 0.2, 0.1}, 0.003, 0.07, 1.0);
        AddNote(w, 0.08, 0.1, 1109.0, 1120.0, {1.0, 0.4, 0.2, 0.1}, 0.003, 0.07, 1.0);
        AddNote(w, 0.16, 0.2, 1319.0, 1330.0, {1.0, 0.4, 0.2, 0.1}, 0.003, 0.09, 1.0);
        AddNote(w, 0.16, 0.2, 1325.0, 1336.0, {0.5}, 0.003, 0.09, 0.6);   // chorus
        AddNote(w, 0.22, 0.14, 2637.0, 2650.0, {0.4}, 0.002, 0.05, 1.0);  // sparkle
        break;
    }
    Finish(w);
    return w;
}

// Magnetic chime: a short upward zip, then a wobbling FM bell.
Wave Attach() {
    const double length = 0.6;
    Wave w(Samples(length));
    Osc zip, carrier, mod, carrier2;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        double v = 0.0;
        if (t < 0.07) v += 0.35 * zip.Sine(Glide(300.0, 1300.0, t / 0.07)) * std::sin(kPi * t / 0.07);
        if (t >= 0.05) {
            const double tb = t - 0.05;
            const double wobble = 1.0 + 0.006 * std::sin(kTwoPi * 7.0 * tb);
            const double index = 0.3 + 2.7 * ExpDecay(tb, 0.06);
            const double m = std::sin(kTwoPi * mod.Step(1320.0 * 1.41 * wobble));
            const double c = std::sin(kTwoPi * carrier.Step(1320.0 * wobble) + index * m);
            const double c2 = carrier2.Sine(1980.0 * wobble);
            v += Attack(tb, 0.003) * (c * ExpDecay(tb, 0.16) + 0.35 * c2 * ExpDecay(tb, 0.1));
        }
        w[i] = v;
    }
    Finish(w);
    return w;
}

// Rocket burst: roaring filtered noise over a low rumble.
Wave Rockets() {
    const double length = 0.9;
    Wave w(Samples(length));
    Rng rng(31);
    Svf roar;
    Osc rumble;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double cutoff = t < 0.08 ? Glide(600.0, 2800.0, t / 0.08) : Glide(2800.0, 450.0, (t - 0.08) / 0.82);
        const double noise = roar.Low(rng.Signed(), cutoff, 1.2);
        const double crackle = (rng.Next() % 300 == 0) ? rng.Signed() : 0.0;
        const double low = rumble.Sine(70.0 + 8.0 * std::sin(kTwoPi * 9.0 * t));
        w[i] =
            (noise * 1.6 + 0.45 * low + 0.6 * crackle) * Shape(t, 0.015, 0.25, length) * (0.5 + 0.5 * ExpDecay(t, 0.3));
    }
    Saturate(w, 1.8);
    Finish(w);
    return w;
}

// Warp: the gate snaps open at once (a bright zap over a low thump, loudest
// in the first few milliseconds), then the rising whoosh and tone of the
// trip trail off behind it.
Wave Warp() {
    const double length = 0.8;
    Wave w(Samples(length));
    Rng rng(41);
    Svf band;
    Osc tone, zap, thump;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double x = t / length;
        const double whoosh = band.Band(rng.Signed(), Glide(300.0, 4000.0, x), 3.0);
        const double sweep = tone.Sine(Glide(150.0, 1200.0, x * x) * (1.0 + 0.02 * std::sin(kTwoPi * 6.0 * t)));
        const double snap = zap.Saw(Glide(2400.0, 500.0, t / 0.06)) * ExpDecay(t, 0.03) +
                            1.2 * thump.Sine(Glide(140.0, 55.0, t / 0.12)) * ExpDecay(t, 0.07);
        const double trail = (1.2 * whoosh + 0.35 * sweep) * (0.45 + 0.55 * ExpDecay(t, 0.2));
        w[i] = (0.9 * snap + trail) * Shape(t, 0.006, 0.5, length);
    }
    Finish(w);
    return w;
}

// Refusal: two dull, beating buzz pulses.
Wave WarpFail() {
    const double length = 0.4;
    Wave w(Samples(length));
    Osc a, b;
    Svf dull;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        double gate = 0.0;
        if (t < 0.16)
            gate = Shape(t, 0.008, 0.13, 0.16);
        else if (t >= 0.21)
            gate = Shape(t - 0.21, 0.008, 0.15, 0.19);
        const double buzz = a.Saw(98.0) + b.Saw(104.0);
        w[i] = dull.Low(buzz, 900.0) * gate;
    }
    Finish(w);
    return w;
}

// Hyperspace departure: an accelerating sweep into a rushing fade.
Wave HyperOut() {
    const double length = 1.4;
    Wave w(Samples(length));
    Rng rng(53);
    Osc tone, fifth;
    Svf rush;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double x = t / length;
        const double hz = Glide(120.0, 2500.0, x * x * x * 1.4);
        const double v = tone.Sine(hz) + 0.4 * fifth.Sine(hz * 1.5) + 1.2 * rush.Band(rng.Signed(), hz * 2.0, 2.0);
        const double shimmer = 0.8 + 0.2 * std::sin(kTwoPi * (5.0 + 20.0 * x) * t);
        w[i] = v * shimmer * Shape(t, 0.2, 0.85, length);
    }
    Finish(w);
    return w;
}

// The exit countdown's blip: two quick square-wave notes a fifth apart, the
// second dropping in pitch, each with a bright click at its start. It
// repeats every second, so it sits a little under the eating sounds.
Wave Beep() {
    const double length = 0.11;
    Wave w(Samples(length));
    Osc a, b;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        double v = 0.0;
        if (t < 0.045) v += a.Square(1568.0) * Shape(t, 0.001, 0.035, 0.045) * ExpDecay(t, 0.03);
        if (t >= 0.04) {
            const double tb = t - 0.04;
            v += 0.8 * b.Square(Glide(1175.0, 880.0, tb / 0.07)) * Shape(tb, 0.001, 0.045, 0.07) * ExpDecay(tb, 0.035);
        }
        w[i] = v;
    }
    Finish(w, 0.0005, 0.01);
    return w;
}

// The body of a crash: a falling low thump with a puff of dark noise, under
// the metal of the knock and the zap of the shield.
void AddCrashBody(Wave& w, uint32_t seed, double gain) {
    Rng rng(seed);
    Osc thump;
    Svf dark;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double boom = thump.Sine(Glide(120.0, 48.0, t / 0.2)) * ExpDecay(t, 0.09);
        const double rumble = dark.Low(rng.Signed(), 220.0, 0.9) * ExpDecay(t, 0.06);
        w[i] += gain * (boom + 2.2 * rumble) * Attack(t, 0.002);
    }
}

// A small metallic knock: inharmonic partials over a short tick.
Wave SmallCollide() {
    const double length = 0.4;
    Wave w(Samples(length));
    const double freqs[] = {587.0, 1423.0, 2210.0, 3301.0, 4410.0};
    const double gains[] = {1.0, 0.7, 0.5, 0.35, 0.25};
    const double taus[] = {0.12, 0.08, 0.06, 0.04, 0.03};
    Osc osc[5];
    Rng rng(61);
    double last = 0.0;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        double v = 0.0;
        for (int k = 0; k < 5; ++k) v += gains[k] * osc[k].Sine(freqs[k]) * ExpDecay(t, taus[k]);
        const double noise = rng.Signed();
        v += 0.8 * (noise - last) * ExpDecay(t, 0.004);
        last = noise;
        w[i] = v * Attack(t, 0.0005);
    }
    AddCrashBody(w, 67, 1.6);
    Finish(w);
    return w;
}

// Plasma-shield zap: a falling, wobbling buzz with some fizz.
Wave Plasma() {
    const double length = 0.45;
    Wave w(Samples(length));
    Osc saw;
    Rng rng(71);
    Svf fizz;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double hz = Glide(2000.0, 150.0, t / 0.35) * (1.0 + 0.08 * std::sin(kTwoPi * 40.0 * t));
        const double v = saw.Saw(hz) + 0.4 * fizz.Band(rng.Signed(), 3000.0, 1.5);
        w[i] = v * Attack(t, 0.002) * ExpDecay(t, 0.12) * Shape(t, 0.0, 0.3, length);
    }
    AddCrashBody(w, 73, 1.3);
    Finish(w);
    return w;
}

// The big explosion: a blast of noise darkening into a long rumble, with
// crackles in the first part.
Wave Fire() {
    const double length = 1.8;
    Wave w(Samples(length));
    Rng rng(83);
    Svf blast, crackleBand;
    Osc r1, r2;
    for (size_t i = 0; i < w.size(); ++i) {
        const double t = TimeOf(static_cast<int>(i));
        const double n = rng.Signed();
        const double body = blast.Low(n, Glide(3500.0, 150.0, t / 1.2), 0.9) * ExpDecay(t, 0.5);
        const double transient = n * ExpDecay(t, 0.012);
        const double rumble = (r1.Sine(Glide(55.0, 32.0, t / length)) + 0.6 * r2.Sine(Glide(82.0, 44.0, t / length))) *
                              Attack(t, 0.02) * ExpDecay(t, 0.6);
        double crackle = 0.0;
        if (t < 0.9 && rng.Next() % 180 == 0) crackle = rng.Signed() * (1.0 - t / 0.9);
        const double pops = crackleBand.Band(crackle * 8.0, 1800.0, 2.0);
        w[i] = (1.4 * body + 0.5 * transient + 0.7 * rumble + 0.5 * pops) * Attack(t, 0.002);
    }
    Saturate(w, 3.0);
    Finish(w, 0.001, 0.3);
    return w;
}

// A falling sting.
Wave Dead() {
    const double length = 1.15;
    Wave w(Samples(length));
    const std::vector<double> tone = {1.0, 0.15, 0.3, 0.05, 0.15};
    AddNote(w, 0.0, 0.2, 587.0, 585.0, tone, 0.004, 0.25, 1.0);
    AddNote(w, 0.18, 0.2, 494.0, 492.0, tone, 0.004, 0.25, 1.0);
    AddNote(w, 0.36, 0.2, 415.0, 413.0, tone, 0.004, 0.25, 1.0);
    AddNote(w, 0.54, 0.6, 294.0, 280.0, tone, 0.004, 0.35, 1.1);
    AddNote(w, 0.54, 0.6, 295.5, 281.0, tone, 0.004, 0.35, 0.6);  // thickening voice
    Finish(w, 0.002, 0.05);
    return w;
}

// Info chime: two bell notes.
Wave Info() {
    const double length = 0.75;
    Wave w(Samples(length));
    const double ratios[] = {1.0, 2.76, 5.4};
    const double gains[] = {1.0, 0.35, 0.12};
    const double starts[] = {0.0, 0.12};
    const double notes[] = {1047.0, 1568.0};
    for (int n = 0; n < 2; ++n) {
        Osc osc[3];
        const int first = Samples(starts[n]);
        for (int i = 0; first + i < static_cast<int>(w.size()); ++i) {
            const double t = TimeOf(i);
            double v = 0.0;
            for (int k = 0; k < 3; ++k) v += gains[k] * osc[k].Sine(notes[n] * ratios[k]) * ExpDecay(t, 0.25 / (k + 1));
            w[first + i] += v * Attack(t, 0.002);
        }
    }
    Finish(w, 0.002, 0.04);
    return w;
}

// The background hum. It loops at half speed (11,025 Hz), so every
// component here sounds an octave lower. The loop is three seconds long
// (six when played) and every partial completes a whole number of periods
// in it (frequencies in steps of 1/3 Hz), as does the slow swell, so the
// wrap from the last sample to the first is seamless. A touch of dark noise,
// filtered around the loop so its state wraps too, gives it air.
Wave Hum() {
    constexpr double kLoopSeconds = 3.0;
    const int n = Samples(kLoopSeconds);
    Wave w(n, 0.0);
    struct Partial {
        int thirds;  // frequency in 1/3 Hz
        double gain;
        int swell;  // cycles of amplitude swell per loop (0: steady)
    };
    const Partial partials[] = {
        {330, 1.0, 0},   // 110 Hz
        {331, 0.6, 0},   // slow beat against it
        {495, 0.35, 1},  // fifth
        {660, 0.3, 0},   // octave
        {662, 0.2, 2},  {990, 0.12, 1}, {1320, 0.06, 3},
    };
    for (const Partial& p : partials) {
        for (int i = 0; i < n; ++i) {
            const double t = TimeOf(i);
            double gain = p.gain;
            if (p.swell) gain *= 0.6 + 0.4 * std::sin(kTwoPi * p.swell * t / kLoopSeconds);
            // Cycles so far are thirds * i / (3 * rate); taking the whole
            // product modulo the loop length keeps the period count exact.
            const double phase = std::fmod(static_cast<double>(p.thirds) * i, 3.0 * kRate) / (3.0 * kRate);
            w[i] += gain * std::sin(kTwoPi * phase);
        }
    }
    // Noise low-passed circularly: run the filter around the loop twice and
    // keep the second lap, whose start follows on from its own end.
    Rng rng(97);
    Wave noise(n);
    for (double& v : noise) v = rng.Signed();
    const double a = 1.0 - std::exp(-kTwoPi * 250.0 / kRate);
    double y = 0.0;
    for (int lap = 0; lap < 2; ++lap) {
        for (int i = 0; i < n; ++i) {
            y += a * (noise[i] - y);
            if (lap == 1) w[i] += 0.6 * y;
        }
    }
    const double peak = Peak(w);
    if (peak > 0.0)
        for (double& v : w) v *= kHumPeak / peak;
    return w;
}

// Levels. Every effect is scaled to a short-term loudness (Loudness.h), not
// to a peak: the interface's sounds share one level and the play's sounds
// another, and each sound's offset from its group's level keeps the
// contrasts meant (a refusal a little louder than a click, the big
// explosion above a knock). The offsets stay within 3 dB of each other for
// the interface and 4 dB for the play. The hum is a steady loop under the
// menu, not an effect, and keeps its peak level.
constexpr double kUiLufs = -17.0;
constexpr double kPlayLufs = -14.0;
// The highest peak any effect may reach after levelling (just under full
// scale, so the dither never clips); a level that would need more is a
// mistake in the table, and mkdata refuses it.
constexpr double kPeakCeiling = 0.93;

struct SoundFile {
    const char* name;
    Wave (*make)();
    double lufs;  // the loudness it is scaled to
};

Wave Grow1() { return Grow(1); }
Wave Grow2() { return Grow(2); }
Wave Grow3() { return Grow(3); }
Wave Grow4() { return Grow(4); }

const SoundFile kSounds[] = {
    {"btouch", ButtonTouch, kUiLufs - 1.0},  // pointing at an item: under a click
    {"click", Click, kUiLufs},
    {"legin", Legin, kUiLufs},
    {"clickneg", ClickNegative, kUiLufs + 1.0},  // a refusal: a little over a click
    {"grow1", Grow1, kPlayLufs - 1.0},           // each bigger food a little louder
    {"grow2", Grow2, kPlayLufs - 0.5},
    {"grow3", Grow3, kPlayLufs},
    {"grow4", Grow4, kPlayLufs + 0.5},
    {"attach", Attach, kPlayLufs},
    {"rockets", Rockets, kPlayLufs},
    {"warp2", Warp, kPlayLufs + 0.5},
    {"warpfail", WarpFail, kPlayLufs},  // a refusal: no louder than the warp itself
    {"hyperout", HyperOut, kPlayLufs + 1.0},
    {"beep", Beep, kPlayLufs - 1.5},  // repeats every second of the countdown
    {"smallcollide", SmallCollide, kPlayLufs + 0.5},
    {"plasma2", Plasma, kPlayLufs + 0.5},
    {"fire2", Fire, kPlayLufs + 2.0},  // the worm's end: the loudest
    {"dead", Dead, kPlayLufs},
    {"info", Info, kUiLufs},
    {"bigone", Hum, 0.0},  // levelled by its peak (kHumPeak)
};

// Scales an effect to its loudness; false (after saying why) when that
// would lift its peak past the ceiling.
bool Level(Wave& w, const SoundFile& s) {
    if (s.make == Hum) return true;
    const double now = ShortTermLoudness(w.data(), w.size(), kRate);
    const double gain = std::pow(10.0, (s.lufs - now) / 20.0);
    if (Peak(w) * gain >= kPeakCeiling) {
        std::fprintf(stderr, "mkdata: sound/%s.dat at %.1f LUFS would clip (peak %.2f)\n", s.name, s.lufs,
                     Peak(w) * gain);
        return false;
    }
    for (double& v : w) v *= gain;
    return true;
}

}  // namespace

bool MakeSounds(const std::string& dir) {
    bool ok = true;
    uint32_t seed = 1000;
    for (const SoundFile& s : kSounds) {
        Wave w = s.make();
        ++seed;
        if (!Level(w, s)) {
            ok = false;
            continue;
        }
        ok = WriteWave(dir + "/sound/" + s.name + ".dat", Quantise(w, seed)) && ok;
    }
    return ok;
}
