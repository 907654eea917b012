// Measurements the synthesizer tests share: levels and pitch of sample runs.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "tools/synth/dsp.h"

inline double rms(std::span<const float> samples) {
    double sum = 0.0;
    for (float s : samples) sum += double(s) * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

inline std::span<const float> seconds_of(const std::vector<float>& samples, double from, double to) {
    const size_t a = std::min(samples.size(), size_t(from * SAMPLE_RATE));
    const size_t b = std::min(samples.size(), size_t(to * SAMPLE_RATE));
    return std::span<const float>(samples).subspan(a, b - a);
}

// Upward zero crossings per second: the frequency of a clean periodic tone.
inline double crossing_rate(std::span<const float> samples) {
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) ++crossings;
    return crossings / (double(samples.size()) / SAMPLE_RATE);
}

inline double peak(std::span<const float> samples) {
    double out = 0.0;
    for (float s : samples) out = std::max(out, double(std::fabs(s)));
    return out;
}
