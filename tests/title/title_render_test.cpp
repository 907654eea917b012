// The title program rendered on Mesa at full resolution, compared pixel by pixel
// with the CPU model, and checked against the scene's known facts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "shaders/programs.h"
#include "tests/title/frame_compare.h"
#include "tests/title/title_reference.h"
#include "tools/gl/headless_gl.h"

namespace {

constexpr int32_t WIDTH = 1920;
constexpr int32_t HEIGHT = 1080;
constexpr int32_t TOLERANCE = 2;  // in 1/255 steps
// At most 0.05% of the pixels may be further off than the tolerance.
constexpr int64_t PIXELS_OFF_ALLOWED = int64_t{WIDTH} * HEIGHT * 5 / 10000;
constexpr float PI = 3.14159265f;

// tan(y) = t on the branch just above the pole at y = pi / 2: for t > 0 the
// pole is approached from below, for t < 0 from above.
float clock_with_tan(float t) { return t > 0.0f ? std::atan(t) : PI + std::atan(t); }

class TitleRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        gl_ = headless_gl_create(WIDTH, HEIGHT, error);
        ASSERT_NE(gl_, nullptr) << error;
        programs_ = programs_build(headless_gl_functions(),
                                   {vertex_glsl, landscape_glsl, title_glsl}, WIDTH, HEIGHT);
    }
    static void TearDownTestSuite() { gl_.reset(); }

    void SetUp() override { ASSERT_NE(gl_, nullptr); }

    // RGBA8 of the whole screen, rows from the top.
    static std::vector<uint8_t> render(float y, float rot = 0.0f) {
        program_draw(headless_gl_functions(), programs_.title, y, rot, WIDTH, HEIGHT);
        return headless_gl_read_rgba(*gl_, 0, 0, WIDTH, HEIGHT);
    }

    static HeadlessGlPtr gl_;  // one context for the whole suite
    static ScenePrograms programs_;
};

HeadlessGlPtr TitleRender::gl_;
ScenePrograms TitleRender::programs_{};

uint8_t least_grey(const std::vector<uint8_t>& rgba) {
    uint8_t least = 255;
    for (size_t i = 0; i < rgba.size(); i += 4) least = std::min(least, rgba[i]);
    return least;
}

uint8_t grey_at(const std::vector<uint8_t>& rgba, int32_t column, int32_t row_from_top) {
    return rgba[4 * (static_cast<size_t>(row_from_top) * WIDTH + static_cast<size_t>(column))];
}

TEST_F(TitleRender, ProgramCompilesAndLinksOnMesa) {
    std::string log;
    EXPECT_TRUE(headless_gl_shaders_compiled(*gl_, programs_.title));
    EXPECT_TRUE(headless_gl_program_status(*gl_, programs_.title, log)) << log;
}

struct Clock {
    const char* name;
    float y;
};

// Where the picture changes most, with y chosen so that float differences in
// tan(y) stay far below one grey step: the steepest case, tan(y) = -37.7,
// moves the grey by about 1e-5 per unit of float rounding in y. Frames that are
// white all over are checked by WholeFrameWhiteOnBothSidesOfEveryPole.
const Clock CLOCKS[] = {
    {"clock_zero", 0.0f},                    // grey 7.1 d, strokes at 0.5325
    {"small_positive_tan", 0.25f},           // tan 0.255
    {"larger_clock", 6.5f},                  // tan 0.220, stroke width varies most
    {"contour_close", 1.9f},                 // tan -2.93: black just outside the strokes
    {"contour_mid", 1.7f},                   // tan -7.70
    {"negative_clock", -1.3f},               // tan -3.60
    {"contour_far", 1.6f},                   // tan -34.2: background 0.26
    {"below_pole_almost_white", 1.14f},      // tan 2.18: only the strokes show
    {"above_pole_dim_background", 1.5973f},  // tan -37.7: background grey 0.44
};

void PrintTo(const Clock& clock, std::ostream* out) {
    *out << clock.name << " (y " << clock.y << ")";
}

class TitleFrame : public TitleRender, public ::testing::WithParamInterface<Clock> {};

TEST_P(TitleFrame, MatchesTheModelAtFullResolution) {
    const Clock clock = GetParam();
    const std::vector<uint8_t> rgba = render(clock.y);
    const std::vector<float> reference = title_reference_frame(clock.y, WIDTH, HEIGHT);
    const FrameDifference difference = frame_compare(rgba, reference, TOLERANCE);
    EXPECT_LE(difference.pixels_off, PIXELS_OFF_ALLOWED)
        << "y " << clock.y << ", largest difference " << difference.largest << "/255";
    if (difference.pixels_off > PIXELS_OFF_ALLOWED) {
        for (const std::string& path : frame_save_pictures(TITLE_TEST_FAILURES, clock.name, WIDTH,
                                                           HEIGHT, rgba, reference, TOLERANCE)) {
            std::cout << "saved " << path << "\n";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Clocks, TitleFrame, ::testing::ValuesIn(CLOCKS),
                         [](const ::testing::TestParamInfo<Clock>& info) {
                             return std::string(info.param.name);
                         });

// At y = 0 every stroke has width -0.25, so a pixel on a segment is grey
// 7.1 * 0.075 = 0.5325 (136/255) and nothing is darker; the word's strokes lie
// within uv x +-1.29 before the waves, columns 263 to 1656.
TEST_F(TitleRender, AtClockZeroStrokesAreGrey05325AndTheFarFieldWhite) {
    const std::vector<uint8_t> rgba = render(0.0f);
    const uint8_t least = least_grey(rgba);
    EXPECT_GE(least, 135);
    EXPECT_LE(least, 140) << "no pixel lies on a segment";
    for (int32_t row : {0, HEIGHT - 1}) {
        for (int32_t column : {0, WIDTH - 1}) EXPECT_EQ(grey_at(rgba, column, row), 255);
    }
    int64_t stroke_pixels = 0;
    int64_t strokes_outside = 0;
    for (int32_t row = 0; row < HEIGHT; ++row) {
        for (int32_t column = 0; column < WIDTH; ++column) {
            if (grey_at(rgba, column, row) > 150) continue;
            ++stroke_pixels;
            if (column < 263 || column > 1656) ++strokes_outside;
        }
    }
    EXPECT_GT(stroke_pixels, 5000);
    EXPECT_EQ(strokes_outside, 0) << "stroke pixels outside columns 263 to 1656";
}

// d never falls below 0.075: at tan(y) = 0 nothing is darker than 0.5325, also
// where the stroke width varies (y = pi). d never exceeds 1: at tan(y) = -36.5
// the far field is |7.1 - 7.3| = 0.2 and nothing is darker.
TEST_F(TitleRender, DistanceStaysBetween0075And1) {
    EXPECT_GE(least_grey(render(PI)), 135);
    const std::vector<uint8_t> rgba = render(clock_with_tan(-36.5f));
    EXPECT_NEAR(grey_at(rgba, 0, 0), 51, 1);
    EXPECT_NEAR(grey_at(rgba, WIDTH - 1, HEIGHT - 1), 51, 1);
    EXPECT_GE(least_grey(rgba), 49);
}

TEST_F(TitleRender, WholeFrameWhiteOnBothSidesOfEveryPole) {
    for (float pole : {PI / 2.0f, 3.0f * PI / 2.0f, -PI / 2.0f}) {
        for (float t : {2.34f, 1e4f, -40.6f, -1e4f}) {
            const float y = pole - std::atan(1.0f / t);
            EXPECT_EQ(least_grey(render(y)), 255) << "y " << y << ", tan(y) " << std::tan(y);
        }
    }
    // Just inside either bound something still shows.
    EXPECT_LT(least_grey(render(clock_with_tan(2.2f))), 250);
    EXPECT_LT(least_grey(render(clock_with_tan(-39.0f))), 250);
}

// For tan(y) between -2.6625 and -35.5 the black contour d = -0.2 tan(y) / 7.1
// lies within the range of d.
TEST_F(TitleRender, NegativeTanRingsTheLettersInBlack) {
    for (float t : {-2.8f, -10.0f, -35.0f}) {
        EXPECT_LE(least_grey(render(clock_with_tan(t))), 3) << "tan(y) " << t;
    }
    EXPECT_GT(least_grey(render(clock_with_tan(-2.0f))), 20);
}

// The x wave stretches by at least 1.5, so the strokes never reach the side
// edges: the outermost columns stay more than 0.6 from every stroke, which is
// white while tan(y) >= -10, over a whole period of the waves.
TEST_F(TitleRender, LettersNeverReachTheSideEdges) {
    for (float y = -3.1f; y < 3.2f; y += 0.2f) {
        if (std::tan(y) < -10.0f) continue;
        for (int32_t x : {0, WIDTH - 4}) {
            // Only these columns are shaded; they come out as in the full frame.
            headless_gl_scissor(*gl_, x, 0, 4, HEIGHT);
            program_draw(headless_gl_functions(), programs_.title, y, 0.0f, WIDTH, HEIGHT);
            EXPECT_EQ(least_grey(headless_gl_read_rgba(*gl_, x, 0, 4, HEIGHT)), 255) << "y " << y;
        }
    }
    headless_gl_scissor_off(*gl_);
}

TEST_F(TitleRender, IgnoresRot) {
    EXPECT_EQ(render(0.7f, 0.0f), render(0.7f, 123.0f));
}

}  // namespace
