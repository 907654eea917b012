// Building blocks of the synthesizer: a seeded noise source, band-limited
// oscillators, envelopes and a resonant state-variable filter. Every block is
// deterministic: the same calls give the same samples on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr double SAMPLE_RATE = 44100.0;

// xorshift32; the caller picks the seed, so noise repeats from run to run.
struct Prng {
    uint32_t state = 0x2545F491u;
};

// Uniform in [-1, 1).
float prng_next(Prng& prng);

enum class Wave { saw, square, sine, noise };

// Phase in cycles, [0, 1).
struct Oscillator {
    double phase = 0.0;
};

// One sample at `frequency` Hz, then the phase advances. Saw and square are
// smoothed at their jumps (polyBLEP) so high notes do not alias into hiss;
// noise ignores the frequency and draws from `prng`.
float oscillator_next(Oscillator& osc, Wave wave, double frequency, Prng& prng);

// Attack, decay and release in seconds; sustain a level in [0, 1].
struct Adsr {
    double attack = 0.005;
    double decay = 0.2;
    double sustain = 1.0;
    double release = 0.05;
};

// The envelope's level `t` seconds after the note began, for a note whose key
// is held for `gate` seconds: it rises to 1, falls to the sustain level, and
// after the gate falls from wherever it was to 0 over the release time.
double adsr_level(const Adsr& adsr, double t, double gate);

// Seconds from a note's start until its envelope is silent.
double adsr_length(const Adsr& adsr, double gate);

// A state-variable filter in trapezoidal form: stable at every cutoff and
// resonance, so sweeps cannot blow it up.
struct Svf {
    double ic1 = 0.0;
    double ic2 = 0.0;
};

struct SvfOut {
    double low;
    double band;
    double high;
};

// Filters one sample. `cutoff` in Hz is kept below 0.45 x the sample rate;
// `resonance` from 0 (no peak) to 1 (close to ringing) is kept below 0.98.
SvfOut svf_next(Svf& svf, double in, double cutoff, double resonance);

// Frequency of a MIDI note number: 69 is A4 at 440 Hz.
double note_frequency(double note);

// Two channels of samples at SAMPLE_RATE, always of equal length.
struct StereoBuffer {
    std::vector<float> left;
    std::vector<float> right;
};

StereoBuffer stereo_make(size_t frames);
