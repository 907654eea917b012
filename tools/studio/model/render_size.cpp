// The render size rule (render_size.h): a multiplicative step on the scale per
// measured frame, bounded so that one odd measurement cannot swing it far.
#include "tools/studio/model/render_size.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double STEP_DOWN_MOST = 0.5;
constexpr double STEP_UP_MOST = 1.25;
// Sides computed as exact multiples must not gain two pixels from rounding.
constexpr double SIDE_SLACK = 1e-9;

// The largest 16:9 size within full, in fractional pixels.
void full_sides(const RenderSize& full, double& width, double& height) {
    width = std::min(double(std::max(full.width, 0)), double(std::max(full.height, 0)) * 16.0 / 9.0);
    height = width * 9.0 / 16.0;
}

// An even side of at least `side` pixels (so a side never falls below its
// scale), at most the even size within `most`, and never below 2.
int32_t side_even(double side, double most) {
    const double most_even = 2.0 * std::floor(most / 2.0 + SIDE_SLACK);
    const double even = 2.0 * std::ceil(side / 2.0 - SIDE_SLACK);
    return int32_t(std::max(std::min(even, most_even), 2.0));
}

RenderSize size_at(const RenderSize& full, double scale) {
    double width = 0.0, height = 0.0;
    full_sides(full, width, height);
    const int32_t w = side_even(width * scale, width);
    // The height follows the rounded width so that the shape stays 16:9.
    return {w, side_even(double(w) * 9.0 / 16.0, height)};
}

}  // namespace

RenderSize render_size_next(RenderSizeRule& rule, bool playing, double scene_ms) {
    if (!playing) {
        rule.paused = true;
        return render_size_current(rule);
    }
    if (rule.paused) {
        // What was measured was the full size, not the scale playing needs.
        rule.paused = false;
        return render_size_current(rule);
    }
    if (scene_ms > 0.0) {
        const double step = std::clamp(std::sqrt(rule.budget_ms / scene_ms), STEP_DOWN_MOST, STEP_UP_MOST);
        rule.scale = std::clamp(rule.scale * step, RENDER_SCALE_MIN, 1.0);
    }
    return render_size_current(rule);
}

RenderSize render_size_current(const RenderSizeRule& rule) {
    return size_at(rule.full, rule.paused ? 1.0 : rule.scale);
}
