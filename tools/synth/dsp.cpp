// Oscillators, envelopes, noise and the state-variable filter.
#include "tools/synth/dsp.h"

#include <algorithm>
#include <cmath>
#include <numbers>

float prng_next(Prng& prng) {
    uint32_t x = prng.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    prng.state = x;
    return float(double(x) / 2147483648.0 - 1.0);
}

namespace {

// The residual that turns a naive jump into a band-limited one; `t` is the
// phase, `dt` the phase step of one sample.
double poly_blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

}  // namespace

float oscillator_next(Oscillator& osc, Wave wave, double frequency, Prng& prng) {
    const double dt = std::clamp(frequency / SAMPLE_RATE, 0.0, 0.5);
    const double t = osc.phase;
    double out = 0.0;
    switch (wave) {
    case Wave::saw:
        out = 2.0 * t - 1.0 - poly_blep(t, dt);
        break;
    case Wave::square: {
        out = t < 0.5 ? 1.0 : -1.0;
        out += poly_blep(t, dt);
        out -= poly_blep(std::fmod(t + 0.5, 1.0), dt);
        break;
    }
    case Wave::sine:
        out = std::sin(2.0 * std::numbers::pi * t);
        break;
    case Wave::noise:
        out = prng_next(prng);
        break;
    }
    osc.phase += dt;
    if (osc.phase >= 1.0) osc.phase -= 1.0;
    return float(out);
}

namespace {

// Level during the held part of the note. Decay and release fall along a
// parabola, fast at first like a plucked string, rather than in a straight line.
double adsr_held(const Adsr& adsr, double t) {
    if (t < adsr.attack) return t / adsr.attack;
    t -= adsr.attack;
    if (t < adsr.decay) {
        const double left = 1.0 - t / adsr.decay;
        return adsr.sustain + (1.0 - adsr.sustain) * left * left;
    }
    return adsr.sustain;
}

}  // namespace

double adsr_level(const Adsr& adsr, double t, double gate) {
    if (t < 0.0) return 0.0;
    if (t < gate) return adsr_held(adsr, t);
    const double from = adsr_held(adsr, gate);
    const double since = t - gate;
    if (since >= adsr.release) return 0.0;
    const double left = 1.0 - since / adsr.release;
    return from * left * left;
}

double adsr_length(const Adsr& adsr, double gate) { return std::max(gate, 0.0) + adsr.release; }

SvfOut svf_next(Svf& svf, double in, double cutoff, double resonance) {
    const double fc = std::clamp(cutoff, 10.0, 0.45 * SAMPLE_RATE);
    const double g = std::tan(std::numbers::pi * fc / SAMPLE_RATE);
    const double k = 2.0 - 2.0 * std::clamp(resonance, 0.0, 0.98);
    const double a1 = 1.0 / (1.0 + g * (g + k));
    const double a2 = g * a1;
    const double a3 = g * a2;
    const double v3 = in - svf.ic2;
    const double v1 = a1 * svf.ic1 + a2 * v3;
    const double v2 = svf.ic2 + a2 * svf.ic1 + a3 * v3;
    svf.ic1 = 2.0 * v1 - svf.ic1;
    svf.ic2 = 2.0 * v2 - svf.ic2;
    return {v2, v1, in - k * v1 - v2};
}

double note_frequency(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

StereoBuffer stereo_make(size_t frames) { return {std::vector<float>(frames, 0.0f), std::vector<float>(frames, 0.0f)}; }
