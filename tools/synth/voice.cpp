// The sound of single notes: detuned oscillator pairs through a swept
// low-pass, and drums from sines with falling pitch and shaped noise.
#include "tools/synth/voice.h"

#include <algorithm>
#include <cmath>
#include <numbers>

bool source_is_drum(Source source) {
    return source == Source::kick || source == Source::snare || source == Source::hat;
}

namespace {

constexpr double TWO_PI = 2.0 * std::numbers::pi;

// Filter coefficients need a tangent; a cutoff held for this many samples
// costs little and still sweeps without audible steps.
constexpr size_t CUTOFF_BLOCK = 32;

// Drums ring until their exponential decay is 60 dB down.
size_t decay_frames(double decay) { return size_t(std::ceil(std::max(decay, 0.001) * 6.9 * SAMPLE_RATE)) + 1; }

Wave source_wave(Source source) {
    switch (source) {
    case Source::square: return Wave::square;
    case Source::sine: return Wave::sine;
    case Source::noise: return Wave::noise;
    default: return Wave::saw;
    }
}

StereoBuffer pitched_render(const Instrument& ins, double note, double gate, double velocity, Prng& prng,
                            const CutoffCurve& cutoff, size_t frames) {
    StereoBuffer out = stereo_make(frames);
    const Wave wave = source_wave(ins.source);
    const double frequency = note_frequency(note);
    const bool pair = ins.detune != 0.0;
    const double ratio = std::pow(2.0, ins.detune / 2400.0);
    Oscillator osc_a{0.5 * (double(prng_next(prng)) + 1.0)};
    Oscillator osc_b{0.5 * (double(prng_next(prng)) + 1.0)};
    Oscillator osc_sub{};
    // Constant power across the pair's spread: the near side louder, the far side softer.
    const double spread = std::clamp(ins.spread, 0.0, 1.0);
    const double near = std::cos(spread * std::numbers::pi / 4.0) + std::sin(spread * std::numbers::pi / 4.0);
    const double far = std::cos(spread * std::numbers::pi / 4.0) - std::sin(spread * std::numbers::pi / 4.0);
    Svf filter_left, filter_right;
    double fc = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / SAMPLE_RATE;
        if (i % CUTOFF_BLOCK == 0) fc = cutoff(t) + ins.envmod * std::exp(-t / std::max(ins.fdecay, 0.001));
        double a, b;
        if (pair) {
            a = 0.5 * oscillator_next(osc_a, wave, frequency * ratio, prng);
            b = 0.5 * oscillator_next(osc_b, wave, frequency / ratio, prng);
        } else {
            a = 0.5 * oscillator_next(osc_a, wave, frequency, prng);
            b = a;
        }
        const double left = 0.5 * (a * near + b * far);
        const double right = 0.5 * (a * far + b * near);
        const double sub = ins.sub * std::sin(TWO_PI * osc_sub.phase);
        osc_sub.phase = std::fmod(osc_sub.phase + 0.5 * frequency / SAMPLE_RATE, 1.0);
        const double level = velocity * adsr_level(ins.adsr, t, gate);
        out.left[i] = float(level * (svf_next(filter_left, left, fc, ins.resonance).low + sub));
        out.right[i] = float(level * (svf_next(filter_right, right, fc, ins.resonance).low + sub));
    }
    return out;
}

// A sine whose pitch falls from `pitch` to `tone`; the phase is the integral
// of that exponential fall, so it is exact at any sample.
StereoBuffer kick_render(const Instrument& ins, double velocity, Prng& prng, size_t frames) {
    StereoBuffer out = stereo_make(frames);
    const double drop = std::max(ins.drop, 0.001);
    const double decay = std::max(ins.adsr.decay, 0.001);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / SAMPLE_RATE;
        const double fall = std::exp(-t / drop);
        const double phase = TWO_PI * (ins.tone * t + (ins.pitch - ins.tone) * drop * (1.0 - fall));
        const double body = std::sin(phase) * std::exp(-t / decay);
        const double click = t < 0.003 ? 0.3 * prng_next(prng) * (1.0 - t / 0.003) : 0.0;
        const float sample = float(velocity * std::tanh(1.6 * (body + click)));
        out.left[i] = sample;
        out.right[i] = sample;
    }
    return out;
}

// A short tone, falling from 1.6 times its frequency, for the drum's body,
// under high-passed noise for its rattle.
StereoBuffer snare_render(const Instrument& ins, double velocity, Prng& prng, size_t frames) {
    StereoBuffer out = stereo_make(frames);
    const double decay = std::max(ins.adsr.decay, 0.001);
    Svf filter;
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / SAMPLE_RATE;
        const double phase = TWO_PI * (ins.tone * t + 0.6 * ins.tone * 0.01 * (1.0 - std::exp(-t / 0.01)));
        const double body = 0.6 * std::sin(phase) * std::exp(-t / 0.06);
        const double noise = svf_next(filter, prng_next(prng), ins.cutoff, ins.resonance).high * std::exp(-t / decay);
        const float sample = float(velocity * (body + 0.8 * noise));
        out.left[i] = sample;
        out.right[i] = sample;
    }
    return out;
}

// Noise through a high-pass, each channel its own noise so the hat has width.
StereoBuffer hat_render(const Instrument& ins, double velocity, Prng& prng, size_t frames) {
    StereoBuffer out = stereo_make(frames);
    const double decay = std::max(ins.adsr.decay, 0.001);
    Svf filter_left, filter_right;
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / SAMPLE_RATE;
        const double level = velocity * std::exp(-t / decay) * std::min(1.0, t / 0.0005);
        out.left[i] = float(level * svf_next(filter_left, prng_next(prng), ins.cutoff, ins.resonance).high);
        out.right[i] = float(level * svf_next(filter_right, prng_next(prng), ins.cutoff, ins.resonance).high);
    }
    return out;
}

}  // namespace

size_t voice_frames(const Instrument& instrument, double gate) {
    if (source_is_drum(instrument.source)) return decay_frames(instrument.adsr.decay);
    return size_t(std::ceil(adsr_length(instrument.adsr, gate) * SAMPLE_RATE)) + 1;
}

StereoBuffer voice_render(const Instrument& instrument, double note, double gate, double velocity, uint32_t seed,
                          const CutoffCurve& cutoff, size_t frames_max) {
    Prng prng{seed == 0 ? 0x9E3779B9u : seed};  // xorshift never leaves 0
    const size_t frames = std::min(voice_frames(instrument, gate), frames_max);
    switch (instrument.source) {
    case Source::kick: return kick_render(instrument, velocity, prng, frames);
    case Source::snare: return snare_render(instrument, velocity, prng, frames);
    case Source::hat: return hat_render(instrument, velocity, prng, frames);
    default: return pitched_render(instrument, note, gate, velocity, prng, cutoff, frames);
    }
}
