// The echo, the reverb and the master stage, fed with impulses and tones.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/synth/measure.h"
#include "tools/synth/effects.h"
#include "tools/synth/master.h"

namespace {

StereoBuffer impulse(double seconds) {
    StereoBuffer buffer = stereo_make(size_t(seconds * SAMPLE_RATE));
    buffer.left[0] = 1.0f;
    buffer.right[0] = 1.0f;
    return buffer;
}

size_t loudest_at(std::span<const float> samples) {
    size_t best = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        if (std::fabs(samples[i]) > std::fabs(samples[best])) best = i;
    return best;
}

TEST(Delay, EchoesBounceLeftThenRightAndFade) {
    const StereoBuffer out = delay_process(impulse(1.0), 0.25, 0.5);
    const size_t step = size_t(0.25 * SAMPLE_RATE);
    EXPECT_EQ(peak(std::span<const float>(out.left).first(step)), 0.0);  // nothing before the first echo
    EXPECT_EQ(loudest_at(out.left), step);
    EXPECT_EQ(peak(std::span<const float>(out.right).first(2 * step)), 0.0);
    EXPECT_EQ(loudest_at(out.right), 2 * step);
    const double first = std::fabs(out.left[step]);
    EXPECT_NEAR(first, 1.0, 1e-6);
    // Each repeat carries the feedback's share of the one before, spread a little by the damping.
    double second = 0.0;
    for (size_t i = 2 * step; i < 3 * step; ++i) second += out.right[i];
    EXPECT_NEAR(second, 0.5, 0.01);
    EXPECT_LT(std::fabs(out.right[2 * step]), 0.5);
}

TEST(Reverb, TailDecaysAndABiggerRoomLastsLonger) {
    const StereoBuffer small = reverb_process(impulse(4.0), 0.2, 0.5);
    const StereoBuffer large = reverb_process(impulse(4.0), 0.9, 0.5);
    const double early = rms(seconds_of(large.left, 0.05, 0.5));
    const double late = rms(seconds_of(large.left, 1.5, 2.0));
    EXPECT_GT(early, 0.0);
    EXPECT_LT(late, early);
    EXPECT_GT(late, 0.0);
    EXPECT_GT(late / early, 10.0 * rms(seconds_of(small.left, 1.5, 2.0)) / rms(seconds_of(small.left, 0.05, 0.5)));
    EXPECT_NE(large.left, large.right);
    EXPECT_TRUE(std::isfinite(peak(large.left)));
}

StereoBuffer tone_with_spikes(double amplitude) {
    StereoBuffer buffer = stereo_make(size_t(2.0 * SAMPLE_RATE));
    for (size_t i = 0; i < buffer.left.size(); ++i) {
        const float s = float(amplitude * std::sin(2.0 * std::numbers::pi * 220.0 * double(i) / SAMPLE_RATE));
        buffer.left[i] = s;
        buffer.right[i] = 0.5f * s;
    }
    for (size_t i = 1000; i < buffer.left.size(); i += 22050) buffer.left[i] = 1.0f;  // drum-like spikes
    return buffer;
}

TEST(Master, ScalesTheLoudestSampleToThePeak) {
    StereoBuffer mix = tone_with_spikes(0.2);
    master_process(mix, 0.0, -1.0);
    EXPECT_NEAR(std::max(peak(mix.left), peak(mix.right)), std::pow(10.0, -1.0 / 20.0), 1e-5);
}

TEST(Master, DriveRaisesLoudnessAndTheLimiterHoldsThePeak) {
    StereoBuffer plain = tone_with_spikes(0.2);
    StereoBuffer driven = tone_with_spikes(0.2);
    master_process(plain, 0.0, -1.0);
    master_process(driven, 6.0, -1.0);
    const double ceiling = std::pow(10.0, -1.0 / 20.0);
    EXPECT_LE(std::max(peak(driven.left), peak(driven.right)), ceiling + 1e-5);
    // Between the spikes the tone comes out about 6 dB louder.
    const double gain = rms(seconds_of(driven.right, 0.2, 0.4)) / rms(seconds_of(plain.right, 0.2, 0.4));
    EXPECT_NEAR(20.0 * std::log10(gain), 6.0, 0.5);
}

TEST(Master, RemovesOffsetFadesTheEndAndLeavesSilenceSilent) {
    StereoBuffer mix = stereo_make(size_t(3.0 * SAMPLE_RATE));
    for (size_t i = 0; i < mix.left.size(); ++i) {
        mix.left[i] = 0.3f + 0.2f * float(std::sin(2.0 * std::numbers::pi * 440.0 * double(i) / SAMPLE_RATE));
        mix.right[i] = mix.left[i];
    }
    master_process(mix, 0.0, -1.0);
    double mean = 0.0;
    const auto settled = seconds_of(mix.left, 2.0, 2.9);
    for (float s : settled) mean += s;
    EXPECT_NEAR(mean / double(settled.size()), 0.0, 0.01);
    EXPECT_EQ(mix.left.back(), 0.0f);

    StereoBuffer silence = stereo_make(1000);
    master_process(silence, 6.0, -1.0);
    EXPECT_EQ(peak(silence.left), 0.0);

    StereoBuffer empty;
    master_process(empty, 6.0, -1.0);
    EXPECT_TRUE(empty.left.empty());
}

}  // namespace
