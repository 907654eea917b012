// Echo and reverb over whole buffers.
#include "tools/synth/effects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

StereoBuffer delay_process(const StereoBuffer& send, double seconds, double feedback) {
    const size_t frames = send.left.size();
    StereoBuffer out = stereo_make(frames);
    const size_t length = std::max<size_t>(1, size_t(std::lround(seconds * SAMPLE_RATE)));
    std::vector<float> line_left(length, 0.0f), line_right(length, 0.0f);
    // A one-pole low-pass in the loop: every repeat loses some treble, like tape.
    const double damp = 0.35;
    double soft_left = 0.0, soft_right = 0.0;
    size_t pos = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double echo_left = line_left[pos];
        const double echo_right = line_right[pos];
        out.left[i] = float(echo_left);
        out.right[i] = float(echo_right);
        soft_left += (1.0 - damp) * (echo_left - soft_left);
        soft_right += (1.0 - damp) * (echo_right - soft_right);
        // The input enters the left line only; the lines feed each other, so
        // the repeats bounce from side to side.
        line_left[pos] = float(0.5 * (send.left[i] + send.right[i]) + feedback * soft_right);
        line_right[pos] = float(feedback * soft_left);
        pos = pos + 1 == length ? 0 : pos + 1;
    }
    return out;
}

namespace {

struct Comb {
    std::vector<float> line;
    size_t pos = 0;
    double store = 0.0;
};

double comb_next(Comb& comb, double in, double feedback, double damp) {
    const double out = comb.line[comb.pos];
    comb.store = out * (1.0 - damp) + comb.store * damp;
    comb.line[comb.pos] = float(in + comb.store * feedback);
    comb.pos = comb.pos + 1 == comb.line.size() ? 0 : comb.pos + 1;
    return out;
}

struct Allpass {
    std::vector<float> line;
    size_t pos = 0;
};

double allpass_next(Allpass& allpass, double in) {
    const double delayed = allpass.line[allpass.pos];
    allpass.line[allpass.pos] = float(in + delayed * 0.5);
    allpass.pos = allpass.pos + 1 == allpass.line.size() ? 0 : allpass.pos + 1;
    return delayed - in;
}

// Mutually prime lengths in samples, so the combs' echoes do not pile up.
constexpr std::array<size_t, 6> COMB_LENGTHS{1116, 1188, 1277, 1356, 1422, 1491};
constexpr std::array<size_t, 3> ALLPASS_LENGTHS{556, 441, 341};
constexpr size_t STEREO_SPREAD = 23;

void reverb_channel(std::span<const float> left, std::span<const float> right, std::span<float> out, double size,
                    double damp, size_t spread) {
    std::array<Comb, COMB_LENGTHS.size()> combs;
    for (size_t c = 0; c < combs.size(); ++c) combs[c].line.assign(COMB_LENGTHS[c] + spread, 0.0f);
    std::array<Allpass, ALLPASS_LENGTHS.size()> allpasses;
    for (size_t a = 0; a < allpasses.size(); ++a) allpasses[a].line.assign(ALLPASS_LENGTHS[a] + spread, 0.0f);
    const double feedback = 0.7 + 0.28 * std::clamp(size, 0.0, 1.0);
    const double damping = 0.4 * std::clamp(damp, 0.0, 1.0);
    for (size_t i = 0; i < out.size(); ++i) {
        const double in = 0.02 * (left[i] + right[i]);
        double sum = 0.0;
        for (Comb& comb : combs) sum += comb_next(comb, in, feedback, damping);
        for (Allpass& allpass : allpasses) sum = allpass_next(allpass, sum);
        out[i] = float(sum);
    }
}

}  // namespace

StereoBuffer reverb_process(const StereoBuffer& send, double size, double damp) {
    StereoBuffer out = stereo_make(send.left.size());
    reverb_channel(send.left, send.right, out.left, size, damp, 0);
    reverb_channel(send.left, send.right, out.right, size, damp, STEREO_SPREAD);
    return out;
}
