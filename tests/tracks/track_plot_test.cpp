// Plots of tracks: curves where track_value puts them, the default and asked-for
// row spans, the title's rows shaded, bar lines where bars begin, tick steps,
// and tracks whose values are not finite. A failing test saves its picture in
// failures/ of this folder's build directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "tools/raster/raster_png.h"
#include "tools/tracks/track_plot.h"

namespace {

Track track_of(std::string name, std::vector<Keyframe> keys) { return Track{std::move(name), std::move(keys)}; }

int channel_distance(Color a, Color b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

class TrackPlotTest : public ::testing::Test {
protected:
    Plot plot;

    // The picture, kept for a look when the test fails.
    void TearDown() override {
        if (!HasFailure() || plot.image.rgba.empty()) return;
        const std::filesystem::path folder = PLOT_TEST_FAILURES;
        std::filesystem::create_directories(folder);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::filesystem::path path = folder / (std::string(info->name()) + ".png");
        const std::vector<uint8_t> png = raster_png_encode(plot.image);
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fwrite(png.data(), 1, png.size(), file);
            std::fclose(file);
            std::printf("picture saved as %s\n", path.c_str());
        }
    }

    Color at(double row, double value) const {
        return raster_pixel(plot.image, int32_t(std::floor(plot_x(plot, row))),
                            int32_t(std::floor(plot_y(plot, value))));
    }

    // A grey pixel of the area's background at a row: beneath the curves' range.
    Color background_at(double row) const {
        return raster_pixel(plot.image, int32_t(std::floor(plot_x(plot, row))), plot.bottom - 3);
    }
};

TEST_F(TrackPlotTest, CurvesRunWhereTrackValuePutsThem) {
    const Track rise = track_of("rise", {{0, 0.0f, INTERP_SMOOTHSTEP}, {400, 10.0f, INTERP_HOLD}});
    const Track fall =
        track_of("fall", {{0, 8.0f, INTERP_QUADRATIC}, {200, 2.0f, INTERP_HOLD}, {300, 6.0f, INTERP_LINEAR}});
    const PlotCurve curves[] = {{"rise", &rise}, {"fall", &fall}};
    plot = track_plot(curves, {});
    ASSERT_EQ(plot.image.width, 1200);
    ASSERT_EQ(plot.image.height, 600);
    for (double row : {57.3, 120.0, 333.3, 391.0})
        EXPECT_LE(channel_distance(at(row, track_value(rise, row)), plot_curve_color(0)), 8) << "rise at " << row;
    for (double row : {23.0, 150.0, 250.0, 390.0})
        EXPECT_LE(channel_distance(at(row, track_value(fall, row)), plot_curve_color(1)), 8) << "fall at " << row;
    // Well away from both curves and the grid the area is plain.
    EXPECT_EQ(channel_distance(at(255.0, 0.7), {255, 255, 255, 255}), 0);
    EXPECT_LT(plot.low, 0.0);
    EXPECT_GT(plot.high, 10.0);
}

TEST_F(TrackPlotTest, RowsSpanTheKeysWithRoomUnlessAskedFor) {
    const Track track = track_of("t", {{100, 1.0f, INTERP_LINEAR}, {900, 2.0f, INTERP_LINEAR}});
    const PlotCurve curves[] = {{"t", &track}};
    plot = track_plot(curves, {});
    EXPECT_LT(plot.from, 100.0);
    EXPECT_GT(plot.to, 900.0);
    EXPECT_LT(plot.to - plot.from, 800.0 * 1.2);

    plot = track_plot(curves, {640, 320, 1250.5, 1400.0});
    EXPECT_EQ(plot.from, 1250.5);
    EXPECT_EQ(plot.to, 1400.0);
    EXPECT_EQ(plot.image.width, 640);
    EXPECT_EQ(plot.image.height, 320);

    // Only one end asked for, with every key beyond it: the span still runs forward.
    plot = track_plot(curves, {640, 320, 2000.0, std::nullopt});
    EXPECT_EQ(plot.from, 2000.0);
    EXPECT_GT(plot.to, plot.from);

    // A lone key shows at least a bar around it.
    const Track lone = track_of("lone", {{500, 3.0f, INTERP_HOLD}});
    const PlotCurve lone_curve[] = {{"lone", &lone}};
    plot = track_plot(lone_curve, {});
    EXPECT_LT(plot.from, 480.0);
    EXPECT_GT(plot.to, 520.0);
    EXPECT_LT(plot.low, 3.0);
    EXPECT_GT(plot.high, 3.0);
}

TEST_F(TrackPlotTest, TitleRowsAreShadedAndBarsLined) {
    const Track track = track_of("t", {{1100, 1.0f, INTERP_LINEAR}, {1500, 2.0f, INTERP_LINEAR}});
    const PlotCurve curves[] = {{"t", &track}};
    plot = track_plot(curves, {1200, 600, 1100.0, 1500.0});
    const Color plain = background_at(1255.0);
    EXPECT_EQ(channel_distance(plain, {255, 255, 255, 255}), 0);
    for (double row : {1281.0, 1325.0, 1359.0}) {
        const Color title = background_at(row);
        EXPECT_GT(title.r - title.b, 30) << "row " << row << " is not shaded";
    }
    EXPECT_EQ(channel_distance(background_at(1365.0), plain), 0) << "the shade runs past row 1360";
    // Four-bar lines darker than bar lines, bar lines darker than beat lines.
    const int phrase = background_at(1440.0).g;
    const int bar = background_at(1400.0).g;
    const int beat = background_at(1410.0).g;
    EXPECT_LT(phrase, bar);
    EXPECT_LT(bar, beat);
    EXPECT_LT(beat, plain.g);
}

TEST_F(TrackPlotTest, KeysAreMarked) {
    const Track track = track_of("t", {{0, 5.0f, INTERP_HOLD}, {40, 5.0f, 7}, {80, 5.0f, INTERP_HOLD}});
    const PlotCurve curves[] = {{"t", &track}};
    plot = track_plot(curves, {1200, 600, -20.0, 100.0});
    // Above each key, off the flat curve, the marker's body.
    for (double row : {0.0, 40.0, 80.0})
        EXPECT_LE(channel_distance(raster_pixel(plot.image, int32_t(plot_x(plot, row)),
                                                int32_t(plot_y(plot, 5.0)) - 2),
                                   plot_curve_color(0)),
                  40)
            << "no marker at row " << row;
    EXPECT_EQ(channel_distance(at(25.0, 5.0 + (plot.high - plot.low) * 0.05), {255, 255, 255, 255}), 0);
}

TEST_F(TrackPlotTest, ValuesThatAreNotFiniteAndEmptyTracksStillPlot) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    const Track odd = track_of("odd", {{0, 1.0f, INTERP_LINEAR},
                                       {10, inf, INTERP_LINEAR},
                                       {20, std::numeric_limits<float>::quiet_NaN(), INTERP_LINEAR},
                                       {30, 2.0f, INTERP_LINEAR},
                                       {30, 4.0f, INTERP_LINEAR},
                                       {50, -3.4e38f, INTERP_HOLD}});
    const Track empty = track_of("empty", {});
    const PlotCurve curves[] = {{"odd", &odd}, {"empty", &empty}};
    plot = track_plot(curves, {320, 200, std::nullopt, std::nullopt});
    EXPECT_EQ(plot.image.width, 320);
    EXPECT_EQ(plot.image.height, 200);
    EXPECT_TRUE(std::isfinite(plot.low) && std::isfinite(plot.high) && plot.low < plot.high);
    EXPECT_LE(plot.low, -3.4e38);

    plot = track_plot(std::span<const PlotCurve>(curves).subspan(1), {});
    EXPECT_EQ(plot.image.width, 1200);
    EXPECT_LT(plot.low, 0.0);
    EXPECT_GT(plot.high, 0.0);
}

TEST(PlotStepTest, StepsAreRoundAndRowStepsFollowBars) {
    struct Case {
        double least;
        bool rows;
        double want;
    };
    const Case cases[] = {
        {0.3, false, 0.5}, {0.5, false, 0.5}, {7.0, false, 10.0}, {11.0, false, 20.0}, {23.0, false, 50.0},
        {0.03, true, 0.05}, {7.0, true, 10.0},  {11.0, true, 20.0},  {23.0, true, 40.0},  {115.0, true, 160.0},
        {161.0, true, 320.0}, {3e38, false, 5e38}, {0.0, false, 1.0}, {-2.0, true, 1.0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(plot_step(c.least, c.rows), c.want) << c.least << " " << c.rows;
    EXPECT_EQ(plot_step(std::numeric_limits<double>::quiet_NaN(), false), 1.0);
}

}  // namespace
