// Shapes on the raster: exact ends of lines, single coverage at joins, blits,
// and clipping of everything that reaches past the image's edges (the ASan
// build turns a stray write into a failure).
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "tools/pictures/raster.h"
#include "tools/pictures/raster_font.h"

namespace {

constexpr Color BLACK{0, 0, 0, 255};
constexpr Color RED{255, 0, 0, 255};
constexpr Color HALF_WHITE{255, 255, 255, 128};

bool same(Color a, Color b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

std::string describe(Color c) {
    char text[32];
    std::snprintf(text, sizeof text, "(%d,%d,%d,%d)", c.r, c.g, c.b, c.a);
    return text;
}

// Pixels that differ from the background colour.
int inked_count(const Raster& raster, Color background) {
    int count = 0;
    for (int32_t y = 0; y < raster.height; ++y)
        for (int32_t x = 0; x < raster.width; ++x) count += !same(raster_pixel(raster, x, y), background);
    return count;
}

TEST(RasterTest, CreatesFilledImagesAndNothingForEmptySides) {
    const Raster raster = raster_create(3, 2, {1, 2, 3, 4});
    ASSERT_EQ(raster.rgba.size(), 24u);
    EXPECT_TRUE(same(raster_pixel(raster, 2, 1), {1, 2, 3, 4}));
    EXPECT_TRUE(same(raster_pixel(raster, 3, 0), {0, 0, 0, 0}));
    EXPECT_TRUE(same(raster_pixel(raster, -1, 0), {0, 0, 0, 0}));
    EXPECT_TRUE(raster_create(0, 5, BLACK).rgba.empty());
    EXPECT_TRUE(raster_create(5, -1, BLACK).rgba.empty());
}

TEST(RasterTest, LinesThroughPixelCentresCoverTheirEndPixelsAndStopThere) {
    struct Case {
        const char* name;
        Point from, to;
        int32_t first_x, first_y, last_x, last_y, step_x, step_y;
    };
    const Case cases[] = {
        {"horizontal", {2.5, 5.5}, {12.5, 5.5}, 2, 5, 12, 5, 1, 0},
        {"vertical", {7.5, 14.5}, {7.5, 3.5}, 7, 14, 7, 3, 0, -1},
        {"diagonal", {1.5, 1.5}, {11.5, 11.5}, 1, 1, 11, 11, 1, 1},
    };
    for (const Case& c : cases) {
        Raster raster = raster_create(20, 20, BLACK);
        raster_draw_line(raster, c.from, c.to, RED, 1.0);
        for (int32_t x = c.first_x, y = c.first_y;; x += c.step_x, y += c.step_y) {
            EXPECT_TRUE(same(raster_pixel(raster, x, y), RED))
                << c.name << " at " << x << "," << y << ": " << describe(raster_pixel(raster, x, y));
            if (x == c.last_x && y == c.last_y) break;
        }
        EXPECT_TRUE(same(raster_pixel(raster, c.first_x - c.step_x, c.first_y - c.step_y), BLACK))
            << c.name << " reaches before its start";
        EXPECT_TRUE(same(raster_pixel(raster, c.last_x + c.step_x, c.last_y + c.step_y), BLACK))
            << c.name << " reaches past its end";
    }
    // Axis-aligned lines on pixel centres are crisp: nothing beside them.
    Raster raster = raster_create(20, 20, BLACK);
    raster_draw_line(raster, {2.5, 5.5}, {12.5, 5.5}, RED, 1.0);
    EXPECT_EQ(inked_count(raster, BLACK), 11);
}

TEST(RasterTest, WideLinesCoverTheirWidth) {
    Raster raster = raster_create(20, 20, BLACK);
    raster_draw_line(raster, {5.0, 10.0}, {15.0, 10.0}, RED, 4.0);
    for (int32_t y = 8; y < 12; ++y) EXPECT_TRUE(same(raster_pixel(raster, 10, y), RED)) << y;
    EXPECT_TRUE(same(raster_pixel(raster, 10, 7), BLACK));
    EXPECT_TRUE(same(raster_pixel(raster, 10, 12), BLACK));
}

TEST(RasterTest, PolylineCoversEachPixelOnceAtJoins) {
    // A translucent zigzag: where segments meet or overlap, a pixel is blended
    // once, so no pixel is brighter than the middle of a straight run.
    Raster raster = raster_create(40, 20, BLACK);
    const Point points[] = {{2.5, 15.5}, {10.5, 3.5}, {18.5, 15.5}, {26.5, 3.5}, {20.5, 9.5}};
    raster_draw_polyline(raster, points, HALF_WHITE, 3.0);
    uint8_t brightest = 0;
    for (int32_t y = 0; y < raster.height; ++y)
        for (int32_t x = 0; x < raster.width; ++x) brightest = std::max(brightest, raster_pixel(raster, x, y).r);
    EXPECT_EQ(brightest, raster_pixel(raster, 6, 9).r);
    EXPECT_EQ(brightest, 128);
    EXPECT_TRUE(same(raster_pixel(raster, 10, 3), {128, 128, 128, 255}));
}

TEST(RasterTest, ShapesCutAtTheEdgesKeepTheirInsidePart) {
    Raster raster = raster_create(10, 8, BLACK);
    raster_fill_rect(raster, -5, -5, 8, 7, RED);
    EXPECT_EQ(inked_count(raster, BLACK), 3 * 2);
    EXPECT_TRUE(same(raster_pixel(raster, 2, 1), RED));

    raster = raster_create(10, 8, BLACK);
    raster_draw_line(raster, {-1e9, 4.5}, {1e9, 4.5}, RED, 1.0);
    EXPECT_EQ(inked_count(raster, BLACK), 10);
    raster = raster_create(10, 8, BLACK);
    raster_draw_line(raster, {-1e200, 4.5}, {1e200, 4.5}, RED, 1.0);
    EXPECT_EQ(inked_count(raster, BLACK), 10) << "far ends lose the line";

    raster = raster_create(10, 8, BLACK);
    raster_fill_circle(raster, {0.0, 0.0}, 3.0, RED);
    EXPECT_TRUE(same(raster_pixel(raster, 0, 0), RED));
    EXPECT_TRUE(same(raster_pixel(raster, 5, 5), BLACK));

    raster = raster_create(10, 8, BLACK);
    const Point square[] = {{-100.0, -100.0}, {5.0, -100.0}, {5.0, 100.0}, {-100.0, 100.0}};
    raster_fill_polygon(raster, square, RED);
    EXPECT_EQ(inked_count(raster, BLACK), 5 * 8);
}

TEST(RasterTest, NothingOutsideTheImageOrNonFiniteIsDrawn) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr int32_t big = std::numeric_limits<int32_t>::max();
    constexpr int32_t small = std::numeric_limits<int32_t>::min();
    Raster raster = raster_create(10, 8, BLACK);
    raster_fill_rect(raster, 10, 0, 5, 5, RED);
    raster_fill_rect(raster, 0, -5, 5, 5, RED);
    raster_fill_rect(raster, big, big, big, big, RED);
    raster_fill_rect(raster, small, small, 5, 5, RED);
    raster_fill_rect(raster, 2, 2, -3, 4, RED);
    raster_blend_pixel(raster, -1, 3, RED, 1.0f);
    raster_blend_pixel(raster, 3, 8, RED, 1.0f);
    raster_blend_pixel(raster, 3, 3, RED, nan);
    raster_draw_line(raster, {-20.0, -20.0}, {-5.0, 30.0}, RED, 2.0);
    raster_draw_line(raster, {nan, 1.0}, {5.0, 5.0}, RED, 1.0);
    raster_draw_line(raster, {inf, 1.0}, {-inf, 1.0}, RED, 1.0);
    raster_draw_line(raster, {-1.7e308, 1.0}, {1.7e308, 1.0}, RED, 1.0);
    raster_draw_line(raster, {1.0, 1.0}, {5.0, 5.0}, RED, nan);
    raster_draw_line(raster, {1.0, 1.0}, {5.0, 5.0}, RED, inf);
    const Point with_nan[] = {{1.0, 1.0}, {nan, 3.0}, {5.0, 5.0}};
    raster_draw_polyline(raster, with_nan, RED, 1.0);
    const Point far_corners[] = {{1e300, 1e300}, {2e300, 1e300}, {1e300, 2e300}};
    raster_fill_polygon(raster, far_corners, RED);
    const Point nan_corner[] = {{0.0, 0.0}, {nan, 9.0}, {9.0, 0.0}};
    raster_fill_polygon(raster, nan_corner, RED);
    raster_fill_circle(raster, {-10.0, 4.0}, 5.0, RED);
    raster_fill_circle(raster, {5.0, 4.0}, inf, RED);
    raster_draw_text(raster, 10, 0, "WWW", RED, 1);
    raster_draw_text(raster, small, small, "WWW", RED, big);
    raster_draw_text(raster, 0, -RASTER_GLYPH_HEIGHT * 3, "WWW", RED, 3);
    raster_blit(raster, raster_create(4, 4, RED), 10, 2);
    raster_blit(raster, raster_create(4, 4, RED), -4, 2);
    raster_blit(raster, raster_create(4, 4, RED), small, big);
    EXPECT_EQ(inked_count(raster, BLACK), 0);

    // A record whose buffer does not match its sides is left alone.
    Raster broken{100, 100, std::vector<uint8_t>(16)};
    raster_fill_rect(broken, 0, 0, 100, 100, RED);
    raster_draw_line(broken, {0.0, 0.0}, {99.0, 99.0}, RED, 3.0);
    raster_draw_text(broken, 0, 0, "X", RED, 2);
    raster_blit(broken, raster_create(4, 4, RED), 0, 0);
    EXPECT_EQ(broken.rgba, std::vector<uint8_t>(16));
}

TEST(RasterTest, BlitsCopyOpaquePixelsExactlyAndBlendTranslucentOnes) {
    Raster target = raster_create(6, 6, BLACK);
    Raster source = raster_create(3, 2, {10, 20, 30, 255});
    raster_blend_pixel(source, 0, 0, {200, 100, 50, 255}, 1.0f);
    raster_blit(target, source, -1, 4);  // only source columns 1, 2 and row 0 land, at (0..1, 4)
    EXPECT_TRUE(same(raster_pixel(target, 0, 4), {10, 20, 30, 255}));
    EXPECT_TRUE(same(raster_pixel(target, 1, 5), {10, 20, 30, 255}));
    EXPECT_TRUE(same(raster_pixel(target, 2, 4), BLACK));
    EXPECT_EQ(inked_count(target, BLACK), 4);

    raster_blit(target, source, 3, 0);
    EXPECT_TRUE(same(raster_pixel(target, 3, 0), {200, 100, 50, 255}));

    Raster glass = raster_create(1, 1, HALF_WHITE);
    raster_blit(target, glass, 5, 5);
    EXPECT_TRUE(same(raster_pixel(target, 5, 5), {128, 128, 128, 255}));
}

TEST(RasterTest, ShapesOnATransparentLayerBlitLikeShapesDrawnInPlace) {
    const Color background{240, 230, 200, 255};
    const Color ink{20, 90, 200, 255};
    const Point points[] = {{3.2, 17.0}, {9.7, 2.4}, {18.1, 12.9}};
    Raster direct = raster_create(22, 20, background);
    raster_draw_polyline(direct, points, ink, 2.5);
    raster_fill_circle(direct, {11.3, 11.6}, 4.2, {200, 40, 40, 160});
    Raster layer = raster_create(22, 20, {0, 0, 0, 0});
    raster_draw_polyline(layer, points, ink, 2.5);
    raster_fill_circle(layer, {11.3, 11.6}, 4.2, {200, 40, 40, 160});
    Raster composed = raster_create(22, 20, background);
    raster_blit(composed, layer, 0, 0);
    for (size_t i = 0; i < direct.rgba.size(); ++i)
        ASSERT_NEAR(int(composed.rgba[i]), int(direct.rgba[i]), 2) << "byte " << i;
    EXPECT_NE(direct.rgba, raster_create(22, 20, background).rgba);
}

}  // namespace
