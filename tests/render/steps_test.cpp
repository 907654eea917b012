// The loop-counting variant of a fragment text: which loops it counts, the
// counts it reads back from Mesa's software GL, the cost of a group of lanes,
// and zirbelon-render frame --steps as a program.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tests/render/tool_test.h"
#include "tools/render/render.h"
#include "tools/render/steps.h"

namespace {

int count_of(std::string_view text, std::string_view part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(StepsVariant, CountsEveryLoopButNotWordsThatLookLikeOne) {
    const std::string text = R"(#version 120
// a for (comment) { is no loop
float helper(float v)
{
    for (int i = 0; i < 3; i++) { v += 1.0; }
    return v;
}
void main ( )
{
    float format = 0.0; /* while (x) { */
    int j = 0;
    while (j < 2) {
        j++;
        do {
            format += 1.0;
        } while (format < 1.0);
    }
    gl_FragColor = vec4(helper(format));
}
)";
    std::string variant, error;
    ASSERT_TRUE(steps_variant(text, variant, error)) << error;
    EXPECT_EQ(count_of(variant, "steps_count += 1.0;"), 3) << variant;
    EXPECT_TRUE(variant.starts_with("#version 120\n")) << variant;
    EXPECT_EQ(count_of(variant, "void main()"), 1);
    EXPECT_EQ(count_of(variant, "void steps_main ( )"), 1) << variant;
    // The counter is declared before the helper that counts into it.
    EXPECT_LT(variant.find("float steps_count = 0.0;"), variant.find("float helper"));
}

TEST(StepsVariant, RefusesWhatItCannotCount) {
    std::string variant, error;
    EXPECT_FALSE(steps_variant("void helper() {}\n", variant, error));
    EXPECT_NE(error.find("main"), std::string::npos) << error;
    EXPECT_FALSE(steps_variant("void main()\n{\n    for (int i = 0; i < 2; i++)\n        x += 1.0;\n}\n", variant,
                               error));
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_FALSE(steps_variant("void main() { for (int i = 0; i < 2; i++ { } }", variant, error));
}

// Counts laid out as the raster holds them (the first row at the top).
TEST(StepsGroups, EachPixelPaysItsGroupsLongest) {
    // 5 x 3: the window's rows 0 and 1 (the raster's rows 2 and 1) form one
    // band of groups, the window's row 2 (the raster's row 0) the next; columns
    // 0-3 and 4 are the groups of a band.
    const std::vector<uint32_t> counts = {
        1, 2, 3, 4, 5,    // raster row 0
        6, 0, 0, 0, 7,    // raster row 1
        0, 0, 9, 0, 8,    // raster row 2
    };
    const std::vector<uint32_t> expected = {
        4, 4, 4, 4, 5,
        9, 9, 9, 9, 8,
        9, 9, 9, 9, 8,
    };
    EXPECT_EQ(steps_group_counts(counts, 5, 3), expected);
    const StepsSummary summary = steps_summarize(counts, 5, 3);
    EXPECT_EQ(summary.largest, 9u);
    EXPECT_DOUBLE_EQ(summary.mean, 45.0 / 15.0);
    EXPECT_DOUBLE_EQ(summary.group_mean, (4.0 * 4 + 5 + 9 * 8 + 8 * 2) / 15.0);
}

TEST(StepsPicture, RampRunsFromItsBottomToItsTopAndStaysThere) {
    const std::vector<uint32_t> counts = {0, 50, 100, 400};
    const Raster picture = steps_picture(counts, 4, 1, 100);
    ASSERT_EQ(picture.rgba.size(), 16u);
    const auto brightness = [&](int pixel) {
        return int(picture.rgba[4 * pixel]) + picture.rgba[4 * pixel + 1] + picture.rgba[4 * pixel + 2];
    };
    EXPECT_LT(brightness(0), brightness(1));
    EXPECT_LT(brightness(1), brightness(2));
    EXPECT_EQ(brightness(2), brightness(3));
}

// A text whose loop runs a known number of trips per pixel: the column, and
// 300 more in the top row (past one byte).
TEST(StepsOnGl, CountsReadBackExactly) {
    constexpr int32_t WIDTH = 12, HEIGHT = 3;
    const std::string text = R"(
uniform float y;
uniform float rot;
uniform vec2 k;
void main()
{
    float trips = floor(gl_FragCoord.x) + (floor(gl_FragCoord.y) == 2.0 ? 300.0 : 0.0);
    float sum = 0.0;
    for (float i = 0.0; i < trips; i += 1.0) {
        sum += sin(i);
    }
    gl_FragColor = vec4(sum);
}
)";
    SceneTexts texts;
    std::string error;
    ASSERT_TRUE(scene_texts_read({}, texts, error)) << error;
    ASSERT_TRUE(steps_variant(text, texts.landscape, error)) << error;
    ASSERT_TRUE(steps_variant(std::string(texts.title), texts.title, error)) << error;
    RendererPtr renderer = renderer_create_from_texts(WIDTH, HEIGHT, texts, {}, error);
    ASSERT_TRUE(renderer) << error;
    const std::vector<uint32_t> counts = steps_counts(renderer_frame(*renderer, Scene::landscape, {1.0f, 0.0f}));
    ASSERT_EQ(counts.size(), size_t(WIDTH * HEIGHT));
    for (int32_t row = 0; row < HEIGHT; ++row)
        for (int32_t column = 0; column < WIDTH; ++column)
            EXPECT_EQ(counts[size_t(row * WIDTH + column)], uint32_t(column + (row == 0 ? 300 : 0)))
                << "column " << column << ", raster row " << row;
}

class StepsTool : public ToolTest {};

TEST_F(StepsTool, FramePicturesTheTripsAndSaysWhatTheyCost) {
    const ToolRun result = run({"frame", "--y", "12", "--size", "64x36", "--steps", "group", "-o", "steps.png"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("loop trips per pixel"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("groups of 4x2 lanes"), std::string::npos) << result.out;
    const Raster picture = png_read(dir_ / "steps.png");
    EXPECT_EQ(picture.width, 64);
    EXPECT_EQ(picture.height, 36);

    EXPECT_EQ(run({"frame", "--y", "1", "--steps", "pixel", "--ssaa", "2", "-o", "a.png"}).status, 2);
    EXPECT_EQ(run({"frame", "--y", "1", "--steps-scale", "9", "-o", "a.png"}).status, 2);
    EXPECT_EQ(run({"frame", "--y", "1", "--steps", "lanes", "-o", "a.png"}).status, 2);
}

// The trips a frame --steps report gives: per pixel on average, and the most.
struct Trips {
    double mean = -1.0;
    double most = -1.0;
};

Trips trips_reported(const std::string& report) {
    Trips trips;
    const size_t mean = report.find("loop trips per pixel ");
    const size_t most = report.find("(most ");
    if (mean != std::string::npos) trips.mean = std::stod(report.substr(mean + 21));
    if (most != std::string::npos) trips.most = std::stod(report.substr(most + 6));
    return trips;
}

// Whatever the camera's values (they reach the presentation from track files,
// so they come here the same way), the shipped landscape costs no more than
// the march without shortcuts, 200 samples a pixel; at finite values it shows
// what that march shows. Each frame looks at the landscape from row 10.
TEST_F(StepsTool, OddCameraValuesCostNoMoreThanTheLiteralMarchAndShowWhatItShows) {
    constexpr float NAN_VALUE = std::numeric_limits<float>::quiet_NaN();
    constexpr float INF = std::numeric_limits<float>::infinity();
    struct Camera {
        float y, rot;
    };
    const Camera cameras[] = {
        {NAN_VALUE, 5.5f}, {INF, 5.5f},  {-INF, 5.5f},   {1e30f, 5.5f},  {-1e30f, 5.5f},     {1e-30f, 5.5f},
        {0.0f, 5.5f},      {-2.5f, 5.5f}, {2.5f, NAN_VALUE}, {2.5f, INF}, {2.5f, -INF},       {2.5f, 1e30f},
        {2.5f, -1e30f},    {2.5f, 300.0f}, {7.0f, -1e5f},  {1e30f, 1e30f}, {NAN_VALUE, NAN_VALUE},
    };
    const std::string literal = "landscape=" LANDSCAPE_LITERAL;
    for (const Camera& camera : cameras) {
        char shown[64];
        std::snprintf(shown, sizeof shown, "y %g, rot %g", double(camera.y), double(camera.rot));
        write_track(dir_ / "sync_cam.dist.track", {{0, camera.y, 0}});
        write_track(dir_ / "sync_cam.rot.track", {{0, camera.rot, 0}});
        const std::vector<std::string> frame = {"frame", "--row", "10", "--dir", ".", "--size", "96x54"};
        std::vector<std::string> args = frame;
        args.insert(args.end(), {"--steps", "pixel", "-o", "steps.png"});
        const ToolRun shipped_steps = run(args);
        args.insert(args.end(), {"--shader", literal});
        const ToolRun literal_steps = run(args);
        ASSERT_EQ(shipped_steps.status, 0) << shown << ": " << shipped_steps.err;
        ASSERT_EQ(literal_steps.status, 0) << shown << ": " << literal_steps.err;
        const Trips shipped = trips_reported(shipped_steps.out), marched = trips_reported(literal_steps.out);
        ASSERT_GE(shipped.most, 0.0) << shipped_steps.out;
        ASSERT_GE(marched.most, 0.0) << literal_steps.out;
        EXPECT_LE(shipped.most, 200.0) << shown;
        // Its loops take two trips before its first full sample.
        EXPECT_LE(shipped.mean, marched.mean + 2.0) << shown << ": " << shipped.mean << " against " << marched.mean;

        if (!std::isfinite(camera.y) || !std::isfinite(camera.rot)) continue;
        args = frame;
        args.insert(args.end(), {"-o", "shipped.png"});
        ASSERT_EQ(run(args).status, 0) << shown;
        args = frame;
        args.insert(args.end(), {"--shader", literal, "-o", "literal.png"});
        ASSERT_EQ(run(args).status, 0) << shown;
        const Raster shipped_picture = png_read(dir_ / "shipped.png"), literal_picture = png_read(dir_ / "literal.png");
        EXPECT_EQ(rgb_differences(shipped_picture, literal_picture, 0), 0) << shown;
    }
}

}  // namespace
