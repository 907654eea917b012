// The render size rule on made-up scenes whose cost grows with their pixels:
// it settles under the budget within a few frames, shrinks a slow scene fast,
// grows back gently, gives the full size paused, and keeps its sides even,
// 16:9 and within its bounds.
#include "tools/studio/model/render_size.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr double FULL_PIXELS = 1920.0 * 1080.0;

// A scene that costs full_ms at 1920x1080, in proportion to its pixels.
double scene_cost(RenderSize size, double full_ms) {
    return full_ms * double(size.width) * double(size.height) / FULL_PIXELS;
}

// Plays frames of the scene from the rule's current size; gives the size of
// the last one.
RenderSize frames_play(RenderSizeRule& rule, double full_ms, int frames) {
    RenderSize size = render_size_current(rule);
    for (int i = 0; i < frames; ++i) size = render_size_next(rule, true, scene_cost(size, full_ms));
    return size;
}

void expect_even_and_16_9(RenderSize size) {
    EXPECT_EQ(size.width % 2, 0) << size.width;
    EXPECT_EQ(size.height % 2, 0) << size.height;
    // Rounding each side to even pixels moves the shape by at most two pixels of height.
    EXPECT_LE(std::abs(double(size.width) * 9.0 / 16.0 - double(size.height)), 2.0)
        << size.width << "x" << size.height;
}

TEST(RenderSize, StartsAtTheFullSize) {
    RenderSizeRule rule;
    const RenderSize size = render_size_next(rule, true, 0.0);
    EXPECT_EQ(size.width, 1920);
    EXPECT_EQ(size.height, 1080);
    EXPECT_EQ(render_size_current(rule).width, 1920);
}

TEST(RenderSize, NothingMeasuredChangesNothing) {
    RenderSizeRule rule;
    frames_play(rule, 80.0, 6);
    const RenderSize before = render_size_current(rule);
    const RenderSize after = render_size_next(rule, true, 0.0);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(render_size_next(rule, true, std::nan("")).width, before.width);
}

TEST(RenderSize, AScaleableSceneSettlesUnderTheBudgetWithinAFewFrames) {
    for (double full_ms : {30.0, 80.0, 200.0, 600.0, 1100.0}) {
        RenderSizeRule rule;
        const RenderSize settled = frames_play(rule, full_ms, 6);
        const double cost = scene_cost(settled, full_ms);
        // Sides round up to even pixels, so a hair over the budget is the rule.
        EXPECT_LE(cost, RENDER_BUDGET_MS * 1.05) << full_ms;
        EXPECT_GE(cost, RENDER_BUDGET_MS * 0.8) << full_ms << ": it uses what the budget allows";
        // And it stays there.
        for (int i = 0; i < 20; ++i) {
            const RenderSize next = render_size_next(rule, true, scene_cost(render_size_current(rule), full_ms));
            EXPECT_NEAR(next.width, settled.width, 4) << full_ms;
        }
    }
}

TEST(RenderSize, ACheapSceneStaysAtTheFullSize) {
    RenderSizeRule rule;
    const RenderSize size = frames_play(rule, 12.0, 10);
    EXPECT_EQ(size.width, 1920);
    EXPECT_EQ(size.height, 1080);
}

TEST(RenderSize, ASlowSceneHalvesEachFrameDownToTheMinimum) {
    RenderSizeRule rule;
    RenderSize size = render_size_current(rule);
    const int32_t widths[] = {960, 480, 240, 120, 120, 120};
    for (int32_t width : widths) {
        size = render_size_next(rule, true, scene_cost(size, 60'000.0));
        EXPECT_EQ(size.width, width);
    }
    EXPECT_DOUBLE_EQ(rule.scale, RENDER_SCALE_MIN);
    EXPECT_GE(size.height, int32_t(1080 * RENDER_SCALE_MIN));
}

TEST(RenderSize, GrowsBackByAQuarterAtMost) {
    RenderSizeRule rule;
    frames_play(rule, 60'000.0, 5);
    ASSERT_DOUBLE_EQ(rule.scale, RENDER_SCALE_MIN);
    double scale = rule.scale;
    for (int i = 0; i < 20 && scale < 1.0; ++i) {
        render_size_next(rule, true, 0.001);
        EXPECT_DOUBLE_EQ(rule.scale, std::min(scale * 1.25, 1.0));
        scale = rule.scale;
    }
    EXPECT_DOUBLE_EQ(rule.scale, 1.0) << "and back to the full size, not beyond";
    EXPECT_EQ(render_size_next(rule, true, 0.001).width, 1920);
}

TEST(RenderSize, PausedGivesTheFullSizeAndPlayTakesUpItsScaleAgain) {
    RenderSizeRule rule;
    const RenderSize playing = frames_play(rule, 600.0, 8);
    ASSERT_LT(playing.width, 1920);
    const RenderSize paused = render_size_next(rule, false, scene_cost(playing, 600.0));
    EXPECT_EQ(paused.width, 1920);
    EXPECT_EQ(paused.height, 1080);
    EXPECT_EQ(render_size_current(rule).width, 1920);
    // A paused frame at the full size is slow; that says nothing about playing.
    EXPECT_EQ(render_size_next(rule, false, 600.0).width, 1920);
    const RenderSize again = render_size_next(rule, true, 600.0);
    EXPECT_EQ(again.width, playing.width);
    EXPECT_EQ(again.height, playing.height);
}

TEST(RenderSize, SidesAreEvenSixteenByNineAndWithinBounds) {
    for (RenderSize full : {RenderSize{1920, 1080}, RenderSize{1280, 720}, RenderSize{1001, 563},
                            RenderSize{1500, 1500}, RenderSize{3000, 900}}) {
        const double full_width = std::min(double(full.width), double(full.height) * 16.0 / 9.0);
        for (double scale = RENDER_SCALE_MIN; scale <= 1.0; scale += 0.0137) {
            RenderSizeRule rule;
            rule.full = full;
            rule.scale = scale;
            const RenderSize size = render_size_current(rule);
            expect_even_and_16_9(size);
            EXPECT_GE(double(size.width), full_width * RENDER_SCALE_MIN) << "never below the minimum";
            // Up to the even size within the full one.
            EXPECT_GE(double(size.width), std::min(full_width * scale, full_width - 2.0) - 1e-6);
            EXPECT_LE(size.width, full.width);
            EXPECT_LE(size.height, full.height);
        }
    }
}

TEST(RenderSize, ATinyFullSizeStillGivesPixels) {
    RenderSizeRule rule;
    rule.full = {10, 6};
    rule.scale = RENDER_SCALE_MIN;
    const RenderSize size = render_size_current(rule);
    EXPECT_GE(size.width, 2);
    EXPECT_GE(size.height, 2);
    EXPECT_EQ(size.width % 2, 0);
    EXPECT_EQ(size.height % 2, 0);
}

}  // namespace
