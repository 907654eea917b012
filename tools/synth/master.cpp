// DC high-pass, look-ahead limiter, end fade and peak normalisation.
#include "tools/synth/master.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>

namespace {

float buffer_peak(const StereoBuffer& mix) {
    float peak = 0.0f;
    for (size_t i = 0; i < mix.left.size(); ++i) peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    return peak;
}

// A high-pass far below the music takes out any offset the drums' and
// oscillators' shapes leave, so the mix swings evenly about zero.
void dc_remove(std::vector<float>& channel) {
    const double pole = std::exp(-2.0 * std::numbers::pi * 15.0 / SAMPLE_RATE);
    double last_in = 0.0, last_out = 0.0;
    for (float& sample : channel) {
        last_out = sample - last_in + pole * last_out;
        last_in = sample;
        sample = float(last_out);
    }
}

// Smallest value of `values` within `radius` samples of each sample.
std::vector<float> window_min(const std::vector<float>& values, size_t radius) {
    std::vector<float> out(values.size());
    std::deque<size_t> candidates;  // indices with ascending values
    size_t next = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        for (; next < values.size() && next <= i + radius; ++next) {
            while (!candidates.empty() && values[candidates.back()] >= values[next]) candidates.pop_back();
            candidates.push_back(next);
        }
        while (candidates.front() + radius < i) candidates.pop_front();
        out[i] = values[candidates.front()];
    }
    return out;
}

// Gain that never lets |sample| pass `ceiling`, reached smoothly: the least
// gain needed within 2.5 ms either side, averaged over a 2.5 ms span (every
// sample of that span already saw the peak, so the average still holds it),
// then let back up over about 80 ms.
std::vector<float> limiter_gain(const StereoBuffer& mix, float ceiling) {
    const size_t frames = mix.left.size();
    std::vector<float> need(frames);
    for (size_t i = 0; i < frames; ++i) {
        const float level = std::max(std::fabs(mix.left[i]), std::fabs(mix.right[i]));
        need[i] = level > ceiling ? ceiling / level : 1.0f;
    }
    const size_t radius = size_t(0.0025 * SAMPLE_RATE);
    const std::vector<float> least = window_min(need, radius);
    std::vector<float> gain(frames);
    const size_t half = radius / 2;
    double sum = 0.0;
    for (size_t i = 0; i < std::min(frames, half); ++i) sum += least[i];
    for (size_t i = 0; i < frames; ++i) {
        if (i + half < frames) sum += least[i + half];
        if (i > half) sum -= least[i - half - 1];
        const size_t first = i > half ? i - half : 0;
        const size_t last = std::min(frames - 1, i + half);
        gain[i] = float(sum / double(last - first + 1));
    }
    const double recover = 1.0 - std::exp(-1.0 / (0.08 * SAMPLE_RATE));
    double level = 1.0;
    for (size_t i = 0; i < frames; ++i) {
        level = std::min(double(std::min(gain[i], need[i])), level + (1.0 - level) * recover);
        gain[i] = float(level);
    }
    return gain;
}

}  // namespace

void master_process(StereoBuffer& mix, double drive_db, double peak_db) {
    const size_t frames = mix.left.size();
    dc_remove(mix.left);
    dc_remove(mix.right);

    if (drive_db > 0.0) {
        const float ceiling = buffer_peak(mix);
        const float drive = float(std::pow(10.0, drive_db / 20.0));
        for (size_t i = 0; i < frames; ++i) {
            mix.left[i] *= drive;
            mix.right[i] *= drive;
        }
        const std::vector<float> gain = limiter_gain(mix, ceiling);
        for (size_t i = 0; i < frames; ++i) {
            mix.left[i] *= gain[i];
            mix.right[i] *= gain[i];
        }
    }

    // A short fade at the very end, so a cut tail does not click.
    const size_t fade = std::min(frames, size_t(0.02 * SAMPLE_RATE));
    for (size_t i = 0; i < fade; ++i) {
        const float level = float(i) / float(fade);
        mix.left[frames - 1 - i] *= level;
        mix.right[frames - 1 - i] *= level;
    }

    const float peak = buffer_peak(mix);
    if (peak > 0.0f) {
        const float scale = float(std::pow(10.0, peak_db / 20.0)) / peak;
        for (size_t i = 0; i < frames; ++i) {
            mix.left[i] *= scale;
            mix.right[i] *= scale;
        }
    }
}
