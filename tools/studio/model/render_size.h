// How big the studio renders the scene. On a software GL a 1920x1080 landscape
// frame takes 20 to 600 ms, so while playing the scene is rendered smaller, at a
// size that adapts to keep the window at 30 frames per second or more; paused,
// it refines to the full size. Free of GL: fed with measured times.
//
// The rule: the scene gets a budget of RENDER_BUDGET_MS a frame, less what the
// rest of the window takes when the caller says so (budget_ms). Its cost grows
// with the number of pixels, so after each frame the scale (of both sides) is
// multiplied by sqrt(budget / measured), at most halved or grown by a quarter at
// once, and kept between RENDER_SCALE_MIN and 1; sides are rounded up to even
// pixels and keep 16:9 (of the largest 16:9 size within `full`). The scale that
// playing settled at is kept through a pause, so playing again starts from it
// rather than from the full size.
#pragma once

#include <cstdint>

inline constexpr double RENDER_BUDGET_MS = 20.0;
inline constexpr double RENDER_SCALE_MIN = 1.0 / 16.0;

struct RenderSize {
    int32_t width = 0;
    int32_t height = 0;
};

struct RenderSizeRule {
    RenderSize full{1920, 1080};
    double scale = 1.0;   // while playing
    double budget_ms = RENDER_BUDGET_MS;
    bool paused = false;  // the last size given was the full one, for a pause
};

// The size for the next frame, given whether the transport plays and how long
// the scene took at the current size (0 when nothing was measured yet).
RenderSize render_size_next(RenderSizeRule& rule, bool playing, double scene_ms);
// The size the rule stands at now.
RenderSize render_size_current(const RenderSizeRule& rule);
