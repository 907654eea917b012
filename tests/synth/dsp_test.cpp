// Noise, oscillators, envelopes and the filter, measured on their output.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/synth/measure.h"
#include "tools/synth/dsp.h"

namespace {

std::vector<float> oscillator_run(Wave wave, double frequency, double seconds) {
    Oscillator osc;
    Prng prng;
    std::vector<float> out(size_t(seconds * SAMPLE_RATE));
    for (float& s : out) s = oscillator_next(osc, wave, frequency, prng);
    return out;
}

// The filter's gain for a steady sine, measured after it has settled.
double filter_gain(double frequency, double cutoff, double resonance, bool high = false) {
    Svf svf;
    double in_sum = 0.0, out_sum = 0.0;
    const size_t frames = size_t(0.5 * SAMPLE_RATE);
    for (size_t i = 0; i < frames; ++i) {
        const double in = std::sin(2.0 * std::numbers::pi * frequency * double(i) / SAMPLE_RATE);
        const SvfOut out = svf_next(svf, in, cutoff, resonance);
        if (i < frames / 2) continue;
        in_sum += in * in;
        out_sum += (high ? out.high : out.low) * (high ? out.high : out.low);
    }
    return std::sqrt(out_sum / in_sum);
}

TEST(Prng, SameSeedSameNoiseWithinRangeAndCentred) {
    Prng a{12345}, b{12345}, c{54321};
    double sum = 0.0, squares = 0.0;
    bool differs = false;
    constexpr int COUNT = 100000;
    for (int i = 0; i < COUNT; ++i) {
        const float x = prng_next(a);
        ASSERT_EQ(x, prng_next(b));
        differs |= x != prng_next(c);
        ASSERT_GE(x, -1.0f);
        ASSERT_LT(x, 1.0f);
        sum += x;
        squares += double(x) * x;
    }
    EXPECT_TRUE(differs);
    EXPECT_NEAR(sum / COUNT, 0.0, 0.01);
    EXPECT_NEAR(squares / COUNT, 1.0 / 3.0, 0.01);  // variance of a uniform [-1, 1)
}

TEST(Oscillator, EveryWavePlaysItsFrequencyAboutZero) {
    for (Wave wave : {Wave::saw, Wave::square, Wave::sine}) {
        const std::vector<float> out = oscillator_run(wave, 441.0, 1.0);
        EXPECT_NEAR(crossing_rate(out), 441.0, 1.5) << int(wave);
        double mean = 0.0;
        for (float s : out) mean += s;
        EXPECT_NEAR(mean / double(out.size()), 0.0, 0.01) << int(wave);
        EXPECT_LE(peak(out), 1.1) << int(wave);
        EXPECT_GT(peak(out), 0.9) << int(wave);
    }
    // The saw rises through each cycle and drops once: count the drops.
    const std::vector<float> saw = oscillator_run(Wave::saw, 441.0, 1.0);
    int drops = 0;
    for (size_t i = 2; i < saw.size(); ++i) {
        const bool falling = saw[i] < saw[i - 1] - 0.5f;
        const bool was_falling = saw[i - 1] < saw[i - 2] - 0.5f;  // the smoothed drop takes two samples
        if (falling && !was_falling) ++drops;
    }
    EXPECT_NEAR(drops, 441, 1);
}

TEST(Oscillator, SmoothedJumpsStayBoundedAtHighPitch) {
    for (Wave wave : {Wave::saw, Wave::square}) EXPECT_LE(peak(oscillator_run(wave, 9000.0, 0.2)), 1.3);
}

TEST(Oscillator, NoiseIgnoresPitchAndFollowsItsSeed) {
    Oscillator osc;
    Prng prng{7}, again{7};
    for (int i = 0; i < 100; ++i) EXPECT_EQ(oscillator_next(osc, Wave::noise, 440.0 * i, prng), prng_next(again));
}

TEST(Adsr, RisesFallsHoldsAndReleases) {
    const Adsr adsr{0.1, 0.2, 0.5, 0.3};
    EXPECT_DOUBLE_EQ(adsr_level(adsr, -0.01, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(adsr_level(adsr, 0.0, 1.0), 0.0);
    EXPECT_NEAR(adsr_level(adsr, 0.05, 1.0), 0.5, 1e-12);
    EXPECT_NEAR(adsr_level(adsr, 0.1, 1.0), 1.0, 1e-12);
    EXPECT_GT(adsr_level(adsr, 0.2, 1.0), 0.5);
    EXPECT_LT(adsr_level(adsr, 0.2, 1.0), 1.0);
    EXPECT_NEAR(adsr_level(adsr, 0.3, 1.0), 0.5, 1e-12);
    EXPECT_NEAR(adsr_level(adsr, 0.9, 1.0), 0.5, 1e-12);
    EXPECT_GT(adsr_level(adsr, 1.1, 1.0), 0.0);
    EXPECT_LT(adsr_level(adsr, 1.1, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(adsr_level(adsr, 1.3, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(adsr_length(adsr, 1.0), 1.3);
}

TEST(Adsr, ReleaseStartsFromWhereTheNoteWas) {
    const Adsr adsr{0.1, 0.2, 0.5, 0.3};
    // Let go halfway up the attack: the release falls from 0.5, never jumps.
    EXPECT_NEAR(adsr_level(adsr, 0.05, 0.05), 0.5, 1e-12);
    EXPECT_LT(adsr_level(adsr, 0.06, 0.05), 0.5);
    EXPECT_GT(adsr_level(adsr, 0.06, 0.05), 0.4);
}

TEST(Adsr, ZeroTimesAreStepsNotDivisionsByZero) {
    const Adsr adsr{0.0, 0.0, 0.7, 0.0};
    EXPECT_DOUBLE_EQ(adsr_level(adsr, 0.0, 1.0), 0.7);
    EXPECT_DOUBLE_EQ(adsr_level(adsr, 0.5, 1.0), 0.7);
    EXPECT_DOUBLE_EQ(adsr_level(adsr, 1.0, 1.0), 0.0);
}

TEST(Svf, LowPassPassesBelowCutsAboveAndRingsWithResonance) {
    EXPECT_NEAR(filter_gain(125.0, 1000.0, 0.0), 1.0, 0.05);
    EXPECT_LT(filter_gain(8000.0, 1000.0, 0.0), 0.02);  // two poles: about 12 dB an octave
    EXPECT_NEAR(filter_gain(1000.0, 1000.0, 0.0), 0.5, 0.05);
    EXPECT_GT(filter_gain(1000.0, 1000.0, 0.9), 4.0);
    EXPECT_LT(filter_gain(125.0, 1000.0, 0.0, true), 0.05);
    EXPECT_NEAR(filter_gain(8000.0, 1000.0, 0.0, true), 1.0, 0.05);
}

TEST(Svf, StaysBoundedUnderFastSweepsAtFullResonance) {
    Svf svf;
    Prng prng;
    double worst = 0.0;
    for (int i = 0; i < 200000; ++i) {
        const double cutoff = 20.0 * std::pow(1000.0, 0.5 + 0.5 * std::sin(i * 0.01));
        worst = std::max(worst, std::fabs(svf_next(svf, prng_next(prng), cutoff, 1.0).low));
    }
    EXPECT_TRUE(std::isfinite(worst));
    EXPECT_LT(worst, 100.0);
}

TEST(NoteFrequency, EqualTemperamentFromA440) {
    EXPECT_DOUBLE_EQ(note_frequency(69), 440.0);
    EXPECT_DOUBLE_EQ(note_frequency(57), 220.0);
    EXPECT_NEAR(note_frequency(60), 261.6256, 1e-4);
}

}  // namespace
