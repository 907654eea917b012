// The progress line's rate: a moving average of the last seconds, so that a
// run whose first frames were cheap does not promise too soon an end.
#include <gtest/gtest.h>

#include <chrono>

#include "tools/render/progress.h"

namespace {

using std::chrono::milliseconds;

// Ten quick frames in the first second, then one a second for twenty: the
// rate is the recent one, not the mean of the whole run.
TEST(RenderProgress, RateFollowsTheRecentFrames) {
    Progress progress = progress_start("frames", 100, true);
    const auto start = progress.start;
    int64_t done = 0;
    for (int i = 1; i <= 10; ++i) progress_sample(progress, ++done, start + milliseconds(100 * i));
    EXPECT_NEAR(progress_rate(progress, done, start + milliseconds(1000)), 10.0, 1e-9)
        << "before the window is a second long, the whole run's mean";
    for (int second = 2; second <= 21; ++second)
        progress_sample(progress, ++done, start + milliseconds(1000 * second));
    const double rate = progress_rate(progress, done, start + milliseconds(21000));
    EXPECT_NEAR(rate, 1.0, 0.06) << "the last seconds ran at one frame a second";
    EXPECT_GT(double(done) / 21.0, 1.4) << "where the whole run's mean is far higher";
}

// Samples closer than the window's period are not kept, so a fast run's
// window still spans seconds.
TEST(RenderProgress, WindowSpansSecondsHoweverFastTheFrames) {
    Progress progress = progress_start("frames", 100000, true);
    const auto start = progress.start;
    for (int i = 1; i <= 20000; ++i) progress_sample(progress, i, start + milliseconds(i));
    ASSERT_FALSE(progress.recent.empty());
    EXPECT_GE(start + milliseconds(20000) - progress.recent.front().time, milliseconds(9000));
    EXPECT_NEAR(progress_rate(progress, 20000, start + milliseconds(20000)), 1000.0, 1.0);
}

}  // namespace
