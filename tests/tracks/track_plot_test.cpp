// Plots of tracks: curves where track_value puts them, the default and asked-for
// row spans, the title's rows shaded, bar lines where bars begin, tick steps,
// tracks whose values are not finite, tracks far denser than pixels, markers
// only where they have room, and the layout around the curves. A failing test
// saves its picture in failures/ of this folder's build directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "tools/pictures/raster_png.h"
#include "tools/pictures/track_plot.h"

namespace {

Track track_of(std::string name, std::vector<Keyframe> keys) { return Track{std::move(name), std::move(keys)}; }

int channel_distance(Color a, Color b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// Keys on rows 0 to count - 1, 0 on even rows and 1 on odd ones, linear.
Track sawtooth(int32_t count) {
    Track track{"saw", {}};
    for (int32_t row = 0; row < count; ++row) track.keys.push_back({row, float(row % 2), INTERP_LINEAR});
    return track;
}

bool rects_overlap(const PlotRect& a, const PlotRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool rect_empty(const PlotRect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

bool rect_inside(const PlotRect& inner, const PlotRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::string rect_text(const PlotRect& rect) {
    char text[96];
    std::snprintf(text, sizeof text, "columns [%d, %d) rows [%d, %d)", rect.left, rect.right, rect.top, rect.bottom);
    return text;
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
        return raster_pixel(plot.image, int32_t(std::floor(plot_x(plot.layout, row))),
                            int32_t(std::floor(plot_y(plot.layout, value))));
    }

    // A grey pixel of the area's background at a row: beneath the curves' range.
    Color background_at(double row) const {
        return raster_pixel(plot.image, int32_t(std::floor(plot_x(plot.layout, row))), plot.layout.curves.bottom - 3);
    }

    // The image's columns [first, last) in which not every pixel from the
    // value `high` down to `low` (two pixels in from each, for the line's soft
    // edge) has the colour.
    int columns_not_spanned(int32_t first, int32_t last, double low, double high, Color color) const {
        const int32_t top = int32_t(std::ceil(plot_y(plot.layout, high))) + 2;
        const int32_t bottom = int32_t(std::floor(plot_y(plot.layout, low))) - 2;
        int missed = 0;
        for (int32_t x = first; x < last; ++x)
            for (int32_t y = top; y <= bottom; ++y)
                if (channel_distance(raster_pixel(plot.image, x, y), color) > 40) {
                    ++missed;
                    break;
                }
        return missed;
    }

    // Whether the pixel `offset` pixels below a value at a row (above it when
    // negative) has the curve's colour.
    bool curve_coloured(double row, double value, int32_t offset, size_t curve) const {
        const Color pixel = raster_pixel(plot.image, int32_t(std::floor(plot_x(plot.layout, row))),
                                         int32_t(std::floor(plot_y(plot.layout, value))) + offset);
        return channel_distance(pixel, plot_curve_color(curve)) <= 40;
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
    EXPECT_LT(plot.layout.low, 0.0);
    EXPECT_GT(plot.layout.high, 10.0);
}

TEST_F(TrackPlotTest, RowsSpanTheKeysWithRoomUnlessAskedFor) {
    const Track track = track_of("t", {{100, 1.0f, INTERP_LINEAR}, {900, 2.0f, INTERP_LINEAR}});
    const PlotCurve curves[] = {{"t", &track}};
    plot = track_plot(curves, {});
    EXPECT_LT(plot.layout.from, 100.0);
    EXPECT_GT(plot.layout.to, 900.0);
    EXPECT_LT(plot.layout.to - plot.layout.from, 800.0 * 1.2);

    plot = track_plot(curves, {640, 320, 1250.5, 1400.0});
    EXPECT_EQ(plot.layout.from, 1250.5);
    EXPECT_EQ(plot.layout.to, 1400.0);
    EXPECT_EQ(plot.image.width, 640);
    EXPECT_EQ(plot.image.height, 320);

    // Only one end asked for, with every key beyond it: the span still runs forward.
    plot = track_plot(curves, {640, 320, 2000.0, std::nullopt});
    EXPECT_EQ(plot.layout.from, 2000.0);
    EXPECT_GT(plot.layout.to, plot.layout.from);

    // A lone key shows at least a bar around it.
    const Track lone = track_of("lone", {{500, 3.0f, INTERP_HOLD}});
    const PlotCurve lone_curve[] = {{"lone", &lone}};
    plot = track_plot(lone_curve, {});
    EXPECT_LT(plot.layout.from, 480.0);
    EXPECT_GT(plot.layout.to, 520.0);
    EXPECT_LT(plot.layout.low, 3.0);
    EXPECT_GT(plot.layout.high, 3.0);
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
        EXPECT_LE(channel_distance(raster_pixel(plot.image, int32_t(plot_x(plot.layout, row)),
                                                int32_t(plot_y(plot.layout, 5.0)) - 2),
                                   plot_curve_color(0)),
                  40)
            << "no marker at row " << row;
    EXPECT_EQ(channel_distance(at(25.0, 5.0 + (plot.layout.high - plot.layout.low) * 0.05), {255, 255, 255, 255}), 0);
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
    EXPECT_TRUE(std::isfinite(plot.layout.low) && std::isfinite(plot.layout.high) && plot.layout.low < plot.layout.high);
    EXPECT_LE(plot.layout.low, -3.4e38);

    plot = track_plot(std::span<const PlotCurve>(curves).subspan(1), {});
    EXPECT_EQ(plot.image.width, 1200);
    EXPECT_LT(plot.layout.low, 0.0);
    EXPECT_GT(plot.layout.high, 0.0);
}

TEST_F(TrackPlotTest, DenseSawtoothFillsEveryColumnFromBottomToTop) {
    const Track saw = sawtooth(100'000);
    const PlotCurve curves[] = {{"saw", &saw}};
    const Color blue = plot_curve_color(0);

    // About ninety keys a column: each column's curve runs all the way from 0
    // to 1, not along a row of markers.
    plot = track_plot(curves, {1200, 600, std::nullopt, std::nullopt});
    ASSERT_LT(plot.layout.from, 0.0);
    ASSERT_GT(plot.layout.to, 99'999.0);
    const int32_t first = int32_t(std::ceil(plot_x(plot.layout, 0.0))) + 1;
    const int32_t last = int32_t(std::floor(plot_x(plot.layout, 99'999.0))) - 1;
    ASSERT_GT(last - first, 1000);
    EXPECT_EQ(columns_not_spanned(first, last, 0.0, 1.0, blue), 0);
    // Nothing runs past the teeth: the line stops within its width of 0 and 1.
    for (int32_t x = first; x < last; x += 7) {
        EXPECT_GT(channel_distance(raster_pixel(plot.image, x, int32_t(std::floor(plot_y(plot.layout, 1.0))) - 4), blue), 100)
            << "above 1 at column " << x;
        EXPECT_GT(channel_distance(raster_pixel(plot.image, x, int32_t(std::floor(plot_y(plot.layout, 0.0))) + 4), blue), 100)
            << "below 0 at column " << x;
    }
    EXPECT_NEAR(plot.layout.low, -0.06, 1e-9);
    EXPECT_NEAR(plot.layout.high, 1.06, 1e-9);

    // Four thousand rows of it: three or four keys a column.
    plot = track_plot(curves, {1200, 600, 20'000.0, 24'000.0});
    EXPECT_EQ(columns_not_spanned(plot.layout.curves.left, plot.layout.curves.right, 0.0, 1.0, blue), 0);
}

TEST_F(TrackPlotTest, DenseColumnsReachTheExtremesOfEveryKeyInThem) {
    // Ramps that climb from 0 towards 1 and fall back to 0 at a key of a kind
    // with no shape: the curve is 0 at every key, and only just before every
    // other key does it come near 1.
    Track ramps{"ramps", {}};
    for (int32_t row = 0; row < 60'000; ++row)
        ramps.keys.push_back(row % 2 ? Keyframe{row, 1.0f, 7} : Keyframe{row, 0.0f, INTERP_LINEAR});
    const PlotCurve ramp_curves[] = {{"ramps", &ramps}};
    plot = track_plot(ramp_curves, {1200, 600, std::nullopt, std::nullopt});
    const int32_t first = int32_t(std::ceil(plot_x(plot.layout, 0.0))) + 1;
    const int32_t last = int32_t(std::floor(plot_x(plot.layout, 59'999.0))) - 1;
    EXPECT_EQ(columns_not_spanned(first, last, 0.0, 1.0, plot_curve_color(0)), 0);
    if (HasFailure()) return;

    // A level line with lone spikes up to 1 and down to 0 among some ninety
    // keys a column: each spike's column reaches it.
    Track spikes{"spikes", {}};
    for (int32_t row = 0; row < 100'000; ++row)
        spikes.keys.push_back({row, row % 97 == 0 ? 1.0f : row % 89 == 0 ? 0.0f : 0.5f, INTERP_LINEAR});
    const PlotCurve spike_curves[] = {{"spikes", &spikes}};
    plot = track_plot(spike_curves, {1200, 600, std::nullopt, std::nullopt});
    for (int32_t row = 97; row < 100'000; row += 97) {
        EXPECT_TRUE(curve_coloured(row, 1.0, 1, 0)) << "the spike at row " << row;
        EXPECT_TRUE(curve_coloured(row, 0.5, 0, 0)) << "the line at row " << row;
    }
    for (int32_t row = 89; row < 100'000; row += 89) {
        if (row % 97 == 0) continue;
        EXPECT_TRUE(curve_coloured(row, 0.0, -2, 0)) << "the spike at row " << row;
    }
}

TEST_F(TrackPlotTest, SparseKeysAreAllMarked) {
    // Peaks at 6 and troughs at 2: the line leaves each key downwards from a
    // peak and upwards from a trough, so only a marker colours the pixels
    // beyond it.
    Track track{"zigzag", {}};
    for (int32_t i = 0; i < 12; ++i) track.keys.push_back({40 * i, i % 2 ? 6.0f : 2.0f, INTERP_LINEAR});
    const PlotCurve curves[] = {{"zigzag", &track}};
    plot = track_plot(curves, {1200, 600, -20.0, 460.0});
    for (const Keyframe& key : track.keys)
        EXPECT_TRUE(curve_coloured(key.row, key.value, key.value > 4.0f ? -3 : 3, 0)) << "no marker at row " << key.row;
}

TEST_F(TrackPlotTest, KeysWithoutRoomForTheirMarkersGoUnmarked) {
    // About 2.8 pixels a row: rows 200 to 204 and 300 and 304 stand too close
    // for markers; 40 and 360 stand alone.
    const Track track = track_of("t", {{40, 5.0f, INTERP_HOLD},
                                       {200, 5.0f, INTERP_HOLD},
                                       {202, 5.0f, INTERP_HOLD},
                                       {204, 5.0f, INTERP_HOLD},
                                       {300, 5.0f, INTERP_HOLD},
                                       {304, 5.0f, INTERP_HOLD},
                                       {360, 5.0f, INTERP_HOLD}});
    const PlotCurve curves[] = {{"t", &track}};
    plot = track_plot(curves, {1200, 600, 0.0, 400.0});
    for (double row : {40.0, 360.0})
        EXPECT_TRUE(curve_coloured(row, 5.0, -3, 0)) << "no marker at row " << row;
    for (double row : {200.0, 202.0, 204.0, 300.0, 304.0})
        EXPECT_FALSE(curve_coloured(row, 5.0, -3, 0)) << "a crowded marker at row " << row;
    // The curve itself still runs through the crowd.
    for (double row : {201.0, 203.0, 302.0}) EXPECT_TRUE(curve_coloured(row, 5.0, 0, 0)) << "row " << row;
}

TEST_F(TrackPlotTest, KeysSharingARowOrOutOfOrderPlotWhereTrackValuePutsThem) {
    const Track shared = track_of("shared", {{0, 0.0f, INTERP_LINEAR},
                                             {100, 2.0f, INTERP_HOLD},
                                             {100, 8.0f, INTERP_LINEAR},
                                             {200, 4.0f, INTERP_LINEAR}});
    const Track unordered =
        track_of("unordered", {{100, 1.0f, INTERP_LINEAR}, {0, 3.0f, INTERP_LINEAR}, {200, 2.0f, INTERP_LINEAR}});
    const PlotCurve curves[] = {{"shared", &shared}, {"unordered", &unordered}};
    plot = track_plot(curves, {1200, 600, 0.0, 200.0});
    for (double row : {50.0, 100.5, 130.0, 170.0})
        EXPECT_TRUE(curve_coloured(row, track_value(shared, row), 0, 0)) << "shared at " << row;
    for (double row : {30.0, 70.0, 130.0, 170.0})
        EXPECT_TRUE(curve_coloured(row, track_value(unordered, row), 0, 1)) << "unordered at " << row;
}

TEST(PlotLayoutTest, RectanglesLieInsideThePictureAndApart) {
    const Track short_track = track_of("a", {{0, 0.0f, INTERP_HOLD}, {80, 1.0f, 9}});
    const Track wide_track = track_of("b", {{-300, -12345.5f, INTERP_SMOOTHSTEP}, {900, 67890.25f, INTERP_LINEAR}});
    const std::vector<PlotCurve> many = {{"first of several rather long track names", &short_track},
                                         {"second of several rather long track names", &wide_track},
                                         {"third of several rather long track names", &short_track},
                                         {"fourth of several rather long track names", &wide_track}};
    const std::vector<PlotCurve> one = {{"a", &short_track}};
    // With the entries each set's legend holds: its curves and its keys' kinds.
    const std::pair<std::vector<PlotCurve>, size_t> curve_sets[] = {{{}, 0}, {one, 1 + 2}, {many, 4 + 4}};
    const std::pair<int32_t, int32_t> sizes[] = {{320, 200}, {640, 320}, {1200, 600}, {1920, 1080}, {4000, 1500}};
    for (const auto& [curves, entry_count] : curve_sets)
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(::testing::Message() << curves.size() << " curves at " << width << "x" << height);
            const PlotLayout layout = plot_layout(curves, {width, height, std::nullopt, std::nullopt});
            EXPECT_EQ(layout.width, width);
            EXPECT_EQ(layout.height, height);
            const PlotRect image{0, 0, width, height};
            const PlotRect framed{layout.curves.left - 1, layout.curves.top - 1, layout.curves.right + 1,
                                  layout.curves.bottom + 1};
            ASSERT_FALSE(rect_empty(layout.curves));
            ASSERT_FALSE(rect_empty(layout.row_labels));
            ASSERT_FALSE(rect_empty(layout.second_labels));
            ASSERT_FALSE(rect_empty(layout.value_labels));
            EXPECT_EQ(rect_empty(layout.legend), curves.empty());
            const std::pair<const char*, PlotRect> rects[] = {{"framed curves", framed},
                                                              {"legend", layout.legend},
                                                              {"row labels", layout.row_labels},
                                                              {"second labels", layout.second_labels},
                                                              {"value labels", layout.value_labels}};
            for (size_t i = 0; i < std::size(rects); ++i) {
                if (rect_empty(rects[i].second)) continue;
                EXPECT_TRUE(rect_inside(rects[i].second, image)) << rects[i].first << " " << rect_text(rects[i].second);
                for (size_t j = i + 1; j < std::size(rects); ++j)
                    EXPECT_FALSE(rects_overlap(rects[i].second, rects[j].second))
                        << rects[i].first << " " << rect_text(rects[i].second) << " and " << rects[j].first << " "
                        << rect_text(rects[j].second);
            }
            EXPECT_EQ(layout.entries.size(), entry_count);
            for (size_t i = 0; i < layout.entries.size(); ++i) {
                EXPECT_TRUE(rect_inside(layout.entries[i].place, layout.legend)) << layout.entries[i].text;
                for (size_t j = i + 1; j < layout.entries.size(); ++j)
                    EXPECT_FALSE(rects_overlap(layout.entries[i].place, layout.entries[j].place))
                        << layout.entries[i].text << " and " << layout.entries[j].text;
            }
            // The picture is drawn to the same layout.
            const Plot plot = track_plot(curves, {width, height, std::nullopt, std::nullopt});
            EXPECT_EQ(plot.layout.curves.left, layout.curves.left);
            EXPECT_EQ(plot.layout.curves.top, layout.curves.top);
            EXPECT_EQ(plot.layout.curves.right, layout.curves.right);
            EXPECT_EQ(plot.layout.curves.bottom, layout.curves.bottom);
            EXPECT_EQ(plot.layout.from, layout.from);
            EXPECT_EQ(plot.layout.to, layout.to);
            EXPECT_EQ(plot.layout.low, layout.low);
            EXPECT_EQ(plot.layout.high, layout.high);
        }
    // Wide legends wrap onto lines of their own, and push the area down.
    const PlotLayout wrapped = plot_layout(many, {1200, 600, std::nullopt, std::nullopt});
    const PlotLayout single = plot_layout(one, {1200, 600, std::nullopt, std::nullopt});
    EXPECT_GT(wrapped.entries.back().y, wrapped.entries.front().y);
    EXPECT_GT(wrapped.curves.top, single.curves.top);
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
