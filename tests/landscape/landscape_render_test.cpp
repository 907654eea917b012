// The shipped landscape text on Mesa's software GL at full resolution: against
// the CPU model on tiles spread over the 1920x1080 frame, and byte for byte
// against the march with no shortcut over a sweep of the clock and over the
// shipped choreography.
#include "presentation/frame.h"
#include "presentation/presentation.h"
#include "shaders/programs.h"
#include "tests/landscape/landscape_literal.h"
#include "tests/landscape/landscape_reference.h"
#include "tests/landscape/picture_check.h"
#include "tools/common/tune.h"
#include "tools/gl/headless_gl.h"
#include "tracks/tracks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int32_t WIDTH = 1920;
constexpr int32_t HEIGHT = 1080;

// Float rounding differs between the GL and the model, and a sample that falls
// on the other side of a cell edge can change a pixel completely; at most
// 0.05% of the pixels may be more than 2/255 off.
constexpr int32_t TOLERANCE = 2;
constexpr double OFF_FRACTION = 0.0005;

struct Rect {
    int32_t x, y, width, height;  // lower left corner in window coordinates
};

// 6 x 4 tiles of 48 x 48 pixels, one in the middle of each sixth of the width
// and quarter of the height: 55296 pixels from all over the frame.
std::vector<Rect> model_tiles() {
    std::vector<Rect> tiles;
    for (int32_t row = 0; row < 4; ++row)
        for (int32_t column = 0; column < 6; ++column)
            tiles.push_back({column * 320 + 136, row * 270 + 111, 48, 48});
    return tiles;
}

// Ten rows and ten columns right across the frame: 30000 pixels that cross
// the horizon, the tube and the ground wherever they are.
std::vector<Rect> sweep_lines() {
    std::vector<Rect> lines;
    for (int32_t i = 0; i < 10; ++i) {
        lines.push_back({0, i * 108 + 53, WIDTH, 1});
        lines.push_back({i * 192 + 95, 0, 1, HEIGHT});
    }
    return lines;
}

class LandscapeRender : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        gl_ = headless_gl_create(WIDTH, HEIGHT, error);
        ASSERT_TRUE(gl_) << error;
        const GlFunctions functions = headless_gl_functions();
        shipped_ = programs_build(functions, {vertex_glsl, landscape_glsl, title_glsl}, WIDTH, HEIGHT)
                       .landscape;
        literal_ = programs_build(functions, {vertex_glsl, landscape_literal_glsl, title_glsl}, WIDTH,
                                  HEIGHT)
                       .landscape;
        std::string log;
        ASSERT_TRUE(headless_gl_program_status(*gl_, shipped_, log)) << log;
        ASSERT_TRUE(headless_gl_program_status(*gl_, literal_, log)) << log;
    }

    std::vector<uint8_t> render(uint32_t program, float y, float rot, const Rect& r) {
        headless_gl_scissor(*gl_, r.x, r.y, r.width, r.height);
        program_draw(headless_gl_functions(), program, y, rot, float(WIDTH), float(HEIGHT));
        return headless_gl_read_rgba(*gl_, r.x, r.y, r.width, r.height);
    }

    HeadlessGlPtr gl_;
    uint32_t shipped_ = 0;
    uint32_t literal_ = 0;
};

struct Frame {
    const char* name;
    float y;
    float rot;
};

void PrintTo(const Frame& frame, std::ostream* out) {
    *out << "y = " << frame.y << ", rot = " << frame.rot;
}

class LandscapeFrame : public LandscapeRender, public ::testing::WithParamInterface<Frame> {};

TEST_P(LandscapeFrame, MatchesTheModel) {
    const Frame frame = GetParam();
    Picture rendered = picture_make(WIDTH, HEIGHT);
    Picture reference = picture_make(WIDTH, HEIGHT);
    PictureDifference total;
    for (const Rect& tile : model_tiles()) {
        const std::vector<uint8_t> pixels = render(shipped_, frame.y, frame.rot, tile);
        ASSERT_EQ(pixels.size(), size_t(tile.width) * size_t(tile.height) * 4);
        std::vector<uint8_t> expected(pixels.size());
        landscape_render(frame.y, frame.rot, float(WIDTH), float(HEIGHT), tile.x, tile.y, tile.width,
                         tile.height, expected);
        const PictureDifference difference = picture_compare(pixels, expected, TOLERANCE);
        total.pixels += difference.pixels;
        total.off += difference.off;
        total.largest = std::max(total.largest, difference.largest);
        picture_paste(rendered, tile.x, tile.y, tile.width, tile.height, pixels);
        picture_paste(reference, tile.x, tile.y, tile.width, tile.height, expected);
    }
    const bool close = double(total.off) <= OFF_FRACTION * double(total.pixels);
    EXPECT_TRUE(close) << total.off << " of " << total.pixels << " pixels more than " << TOLERANCE
                       << "/255 off (largest " << total.largest << ") at y = " << frame.y
                       << ", rot = " << frame.rot;
    if (!close)
        for (const std::string& path :
             picture_save(std::string("landscape-") + frame.name, rendered, reference, TOLERANCE))
            std::printf("saved %s\n", path.c_str());
}

// The tube is off while |cos(1.9 y)| <= 0.6, grey above 0.6, dark below -0.6,
// and white from y = 30 on.
INSTANTIATE_TEST_SUITE_P(
    Frames, LandscapeFrame,
    ::testing::Values(Frame{"camera_values", 1.0f, 0.0f},          // tube off, cells of 0.1
                      Frame{"small_y", 0.5f, 0.0f},                // tube off
                      Frame{"tiny_y", 0.03f, 3.0f},                // tube grey, cells of 0.003
                      Frame{"tube_grey", 3.0f, 0.0f},              //
                      Frame{"tube_dark", 1.6f, 0.0f},              //
                      Frame{"tube_off_large_cells", 20.67f, 0.0f}, //
                      Frame{"just_below_30", 29.999f, 0.0f},       // tube grey
                      Frame{"exactly_30", 30.0f, 0.0f},            // tube white
                      Frame{"large_y", 35.0f, 0.0f},               // tube white
                      Frame{"negative_y", -1.0f, 0.0f},            // camera deep in the mirrored ground
                      Frame{"negative_tube_dark", -12.0f, 0.0f},   //
                      Frame{"negative_tube_off", -20.67f, 0.0f},   // the ground seen from below
                      Frame{"negative_large_y", -38.0f, 0.0f},     // tube dark
                      Frame{"rot_before_14_5", 10.0f, 14.4f},      // tube grey
                      Frame{"rot_14_5", 10.0f, 14.5f},             // camera at the point it looks at
                      Frame{"rot_past_14_5", 10.0f, 14.6f}),       //
    [](const ::testing::TestParamInfo<Frame>& info) { return std::string(info.param.name); });

TEST_F(LandscapeRender, EveryPixelIsTheMissColourAtYZero) {
    const std::vector<uint8_t> pixels = render(shipped_, 0.0f, 0.0f, {0, 0, WIDTH, HEIGHT});
    ASSERT_EQ(pixels.size(), size_t(WIDTH) * size_t(HEIGHT) * 4);
    int64_t other = 0;
    for (size_t i = 0; i < pixels.size(); i += 4)
        if (pixels[i] != 0 || pixels[i + 1] != 0 || pixels[i + 2] != 0 || pixels[i + 3] != 255) ++other;
    EXPECT_EQ(other, 0);
}

// The shortcuts of the shipped text change no pixel: both texts render the
// same bytes on lines across the frame, for y from -40 to 40 in steps of 0.25
// with rot taking five values in turn, and for the values where something
// changes with every rot.
TEST_F(LandscapeRender, ShippedTextMatchesTheLiteralMarchByteForByte) {
    const float rots[] = {0.0f, 5.5f, 14.5f, -9.0f, 21.0f};
    std::vector<Frame> frames;
    for (int32_t step = 0; step <= 320; ++step)
        frames.push_back({"sweep", -40.0f + 0.25f * float(step), rots[step % 5]});
    for (const float y : {0.0f, 1e-3f, -1e-3f, 30.0f, -30.0f, 29.999f, -29.999f, 30.001f})
        for (const float rot : rots) frames.push_back({"special", y, rot});

    int32_t differing = 0;
    for (const Frame& frame : frames) {
        for (const Rect& line : sweep_lines()) {
            const std::vector<uint8_t> shipped = render(shipped_, frame.y, frame.rot, line);
            const std::vector<uint8_t> literal = render(literal_, frame.y, frame.rot, line);
            ASSERT_FALSE(shipped.empty());
            if (shipped != literal) {
                ADD_FAILURE() << "y = " << frame.y << ", rot = " << frame.rot << ": the texts differ on the "
                              << line.width << "x" << line.height << " line at " << line.x << "," << line.y;
                if (++differing == 10) return;
                break;
            }
        }
    }
}

// What viewers see: every 2 s of the tune, whole frames, with the camera the
// shipped tracks give.
TEST_F(LandscapeRender, ShippedTextMatchesTheLiteralMarchOverTheChoreography) {
    std::string error;
    double length = 0.0;
    ASSERT_TRUE(tune_length(std::filesystem::path(STAGE_DIR) / TUNE_FILE, length, error)) << error;
    TrackSetPtr set = trackset_create(std::string(STAGE_DIR) + "/" + TRACKSET_BASE_NAME);
    ASSERT_TRUE(set);
    const CameraTracks camera = camera_tracks_request(*set);
    int32_t frames = 0;
    for (double second = 0.0; second < length; second += 2.0) {
        const RowFrame shown = row_frame(camera, row_from_seconds(second));
        if (shown.scene != Scene::landscape) continue;
        ++frames;
        const Rect whole{0, 0, WIDTH, HEIGHT};
        const std::vector<uint8_t> shipped = render(shipped_, shown.values.y, shown.values.rot, whole);
        const std::vector<uint8_t> literal = render(literal_, shown.values.y, shown.values.rot, whole);
        ASSERT_EQ(shipped.size(), size_t(WIDTH) * size_t(HEIGHT) * 4);
        if (shipped == literal) continue;
        const PictureDifference difference = picture_compare(shipped, literal, 0);
        ADD_FAILURE() << difference.off << " pixels differ at " << second << " s (y = " << shown.values.y
                      << ", rot = " << shown.values.rot << ")";
        Picture rendered = picture_make(WIDTH, HEIGHT);
        Picture reference = picture_make(WIDTH, HEIGHT);
        picture_paste(rendered, 0, 0, WIDTH, HEIGHT, shipped);
        picture_paste(reference, 0, 0, WIDTH, HEIGHT, literal);
        for (const std::string& path :
             picture_save("landscape-choreography-" + std::to_string(int(second)), rendered, reference, 0))
            std::printf("saved %s\n", path.c_str());
    }
    EXPECT_GT(frames, 40);  // the tune's landscape frames, not an empty folder's
}

// The shipped text settles samples from bounds that allow the GL's sine 1e-3
// of error for arguments under 8192: every 0.004 from -8192 to 8192 (a
// frame's pixels in turn), the sine read back to 1/32768.
TEST_F(LandscapeRender, TheSineIsAsCloseAsTheMarchsBoundsAllow) {
    constexpr const char* SINES = R"(
uniform float y;
uniform float rot;
uniform vec2 k;
void main()
{
    float index = floor(gl_FragCoord.x) + k.x * floor(gl_FragCoord.y);
    float x = index * (2.0 * y / (k.x * k.y)) - y;
    float u = floor((sin(x) + 1.0) * 32767.5 + 0.5);
    gl_FragColor = vec4(floor(u / 256.0) / 255.0, mod(u, 256.0) / 255.0, 0.0, 1.0);
}
)";
    const GlFunctions functions = headless_gl_functions();
    const uint32_t program = programs_build(functions, {vertex_glsl, SINES, title_glsl}, WIDTH, HEIGHT).landscape;
    std::string log;
    ASSERT_TRUE(headless_gl_program_status(*gl_, program, log)) << log;
    constexpr float RANGE = 8192.0f;
    const std::vector<uint8_t> pixels = render(program, RANGE, 0.0f, {0, 0, WIDTH, HEIGHT});
    ASSERT_EQ(pixels.size(), size_t(WIDTH) * size_t(HEIGHT) * 4);
    const float step = (2.0f * RANGE) / (float(WIDTH) * float(HEIGHT));
    double worst = 0.0, worst_at = 0.0;
    for (int32_t row = 0; row < HEIGHT; ++row)
        for (int32_t column = 0; column < WIDTH; ++column) {
            const size_t at = 4 * (size_t(row) * WIDTH + size_t(column));
            const double value = (pixels[at] * 256.0 + pixels[at + 1]) / 32767.5 - 1.0;
            const float index = float(column) + float(WIDTH) * float(HEIGHT - 1 - row);
            // The GL may round the argument once (a fused multiply-add) or twice.
            const float product = index * step;
            const double once = double(std::fma(index, step, -RANGE));
            const double twice = double(product - RANGE);
            const double error = std::min(std::abs(value - std::sin(once)), std::abs(value - std::sin(twice)));
            const double argument = once;
            if (error > worst) {
                worst = error;
                worst_at = argument;
            }
        }
    EXPECT_LT(worst, 1e-3) << "at " << worst_at;
}

}  // namespace
