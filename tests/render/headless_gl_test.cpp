// The headless GL backend and the render library on Mesa: the presentation's
// own texts build, broken texts are reported, pixels come back as the screen
// shows them, a read split in two keeps the pixels of its start, a scissored
// tile matches the whole frame, and a pipeline's renders come back in order
// as the renders made one at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "presentation/presentation.h"
#include "tools/gl/headless_gl.h"
#include "tools/pictures/png.h"
#include "tools/render/render.h"

namespace {

// Not square, so swapped axes show.
constexpr int32_t WIDTH = 64;
constexpr int32_t HEIGHT = 48;

const char* const GRADIENT_FRAGMENT =
    "uniform float y;\n"
    "uniform float rot;\n"
    "uniform vec2 k;\n"
    "void main()\n"
    "{\n"
    "    gl_FragColor = vec4(gl_FragCoord.x / k.x, gl_FragCoord.y / k.y, y, rot);\n"
    "}\n";

// Saves a picture that failed its comparison, for a person to look at.
void save_failure(const Raster& image, const std::string& name) {
    const std::filesystem::path dir = RENDER_TEST_FAILURES;
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    const std::string path = (dir / (name + ".png")).string();
    std::string error;
    if (png_write(path, image, error))
        ADD_FAILURE() << "the differing picture is in " << path;
    else
        ADD_FAILURE() << error;
}

HeadlessGlPtr create_gl(int32_t width, int32_t height) {
    std::string error;
    HeadlessGlPtr gl = headless_gl_create(width, height, error);
    EXPECT_TRUE(gl) << error;
    return gl;
}

TEST(HeadlessGl, BuildsThePresentationsProgramsFromTheirEmbeddedTexts) {
    HeadlessGlPtr gl = create_gl(WIDTH, HEIGHT);
    ASSERT_TRUE(gl);
    const ScenePrograms programs = programs_build(
        headless_gl_functions(),
        {vertex_glsl, landscape_glsl, title_glsl}, float(SCREEN_WIDTH), float(SCREEN_HEIGHT));
    for (const auto& [name, program] : {std::pair{"landscape", programs.landscape},
                                        std::pair{"title", programs.title}}) {
        std::string log;
        EXPECT_TRUE(headless_gl_shaders_compiled(*gl, program)) << name;
        EXPECT_TRUE(headless_gl_program_status(*gl, program, log)) << name << ":\n" << log;
    }
    EXPECT_NE(programs.landscape, programs.title);
}

TEST(HeadlessGl, ReportsATextThatDoesNotCompileWithItsLog) {
    HeadlessGlPtr gl = create_gl(WIDTH, HEIGHT);
    ASSERT_TRUE(gl);
    // GLSL 1.10 has no implicit int to float conversion.
    const char* const broken = "uniform float y;\nvoid main() { float a = 1; gl_FragColor = vec4(a); }\n";
    const ScenePrograms programs = programs_build(
        headless_gl_functions(), {vertex_glsl, GRADIENT_FRAGMENT, broken}, 1.0f, 1.0f);
    std::string log;
    EXPECT_FALSE(headless_gl_shaders_compiled(*gl, programs.title));
    EXPECT_FALSE(headless_gl_program_status(*gl, programs.title, log));
    EXPECT_NE(log.find("fragment shader did not compile"), std::string::npos) << log;
    EXPECT_NE(log.find("program did not link"), std::string::npos) << log;
    EXPECT_TRUE(headless_gl_program_status(*gl, programs.landscape, log)) << log;
}

// The gradient puts x / width into red and y / height (from the bottom) into
// green. Row 0 of the read-back must be the top of the screen, every pixel
// must be shaded, and 8 bits per channel come back within rounding.
// The GL's own message for a broken text gets the line it names written under
// it; lines that name none stay as they are.
TEST(HeadlessGl, ABuildLogShowsTheFailingSourceLine) {
    HeadlessGlPtr gl = create_gl(WIDTH, HEIGHT);
    ASSERT_TRUE(gl);
    const std::string broken = "uniform float y;\nvoid main() {\n    gl_FragColor = nonsense;\n}\n";
    const SceneBuild build = scene_build(headless_gl_functions(), {broken, broken}, 1.0f, 1.0f);
    ASSERT_FALSE(build.landscape);
    const std::string shown = shader_log_with_source(build.landscape_log, broken);
    EXPECT_NE(shown.find("     3 |     gl_FragColor = nonsense;"), std::string::npos) << shown;
    scene_programs_delete(build.programs);
    EXPECT_EQ(shader_log_with_source("no line here\n0:2(7): error: x\n", "a\nb\n"),
              "no line here\n0:2(7): error: x\n     2 | b\n");
}

TEST(HeadlessGl, ReadsBackEveryPixelTopRowFirst) {
    HeadlessGlPtr gl = create_gl(WIDTH, HEIGHT);
    ASSERT_TRUE(gl);
    const GlFunctions functions = headless_gl_functions();
    const ScenePrograms programs = programs_build(
        functions, {vertex_glsl, GRADIENT_FRAGMENT, GRADIENT_FRAGMENT}, WIDTH, HEIGHT);
    headless_gl_clear(*gl, 1.0f, 0.0f, 1.0f, 1.0f);
    program_draw(functions, programs.landscape, 0.25f, 1.0f, WIDTH, HEIGHT);
    Raster image{WIDTH, HEIGHT, headless_gl_read_rgba(*gl, 0, 0, WIDTH, HEIGHT)};
    ASSERT_EQ(image.rgba.size(), size_t(WIDTH * HEIGHT * 4));

    // Independent reference: pixel centres at +0.5, rounded to 8 bits; 1 step apart is allowed.
    const auto unorm = [](double value) { return int(std::lround(value * 255.0)); };
    int worst = 0;
    for (int32_t row = 0; row < HEIGHT; ++row) {
        for (int32_t column = 0; column < WIDTH; ++column) {
            const uint8_t* pixel = &image.rgba[size_t(row * WIDTH + column) * 4];
            const int expected[4] = {unorm((column + 0.5) / WIDTH),
                                     unorm((HEIGHT - 1 - row + 0.5) / HEIGHT), unorm(0.25), 255};
            for (int channel = 0; channel < 4; ++channel)
                worst = std::max(worst, std::abs(int(pixel[channel]) - expected[channel]));
        }
    }
    EXPECT_LE(worst, 1) << "largest difference from the gradient, in 8-bit steps";
    if (worst > 1) save_failure(image, "headless_gradient");
}

TEST(HeadlessGl, RefusesSizesItCannotHave) {
    for (const auto& [width, height] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{1 << 20, 16}}) {
        std::string error;
        EXPECT_FALSE(headless_gl_create(width, height, error)) << width << "x" << height;
        EXPECT_FALSE(error.empty()) << width << "x" << height;
    }
    HeadlessGlPtr gl = create_gl(8, 8);
    ASSERT_TRUE(gl);
    EXPECT_TRUE(headless_gl_read_rgba(*gl, 4, 4, 5, 1).empty()) << "a rectangle past the right edge";
    EXPECT_TRUE(headless_gl_read_rgba(*gl, -1, 0, 2, 2).empty());
    EXPECT_EQ(headless_gl_read_rgba(*gl, 4, 4, 4, 4).size(), 64u);
}

// Counts the bytes in which two pictures differ; all of them when their sizes do.
int64_t bytes_differing(const Raster& a, const Raster& b) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size())
        return int64_t(std::max(a.rgba.size(), b.rgba.size()));
    int64_t differing = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i) differing += a.rgba[i] != b.rgba[i];
    return differing;
}

// A read in two halves gives what the read in one call gives, for the
// rectangle as it was when the read started: drawing over the framebuffer
// before the read is finished changes nothing in it. A larger rectangle
// after a smaller one grows the pack buffer.
TEST(HeadlessGl, ReadInTwoHalvesKeepsThePixelsOfItsStart) {
    HeadlessGlPtr gl = create_gl(WIDTH, HEIGHT);
    ASSERT_TRUE(gl);
    const GlFunctions functions = headless_gl_functions();
    const ScenePrograms programs = programs_build(
        functions, {vertex_glsl, GRADIENT_FRAGMENT, GRADIENT_FRAGMENT}, WIDTH, HEIGHT);
    EXPECT_TRUE(headless_gl_read_finish(*gl).empty()) << "no read was started";
    for (const Tile& tile : {Tile{3, 5, 7, 4}, Tile{0, 0, WIDTH, HEIGHT}, Tile{10, 2, 30, 40}}) {
        program_draw(functions, programs.landscape, 0.25f, 1.0f, WIDTH, HEIGHT);
        const std::vector<uint8_t> whole = headless_gl_read_rgba(*gl, tile.x, tile.y, tile.width, tile.height);
        ASSERT_TRUE(headless_gl_read_start(*gl, tile.x, tile.y, tile.width, tile.height));
        headless_gl_clear(*gl, 1.0f, 0.0f, 1.0f, 1.0f);
        program_draw(functions, programs.landscape, 0.75f, 0.5f, WIDTH, HEIGHT);
        headless_gl_flush(*gl);
        const std::vector<uint8_t> halves = headless_gl_read_finish(*gl);
        const Raster expected{tile.width, tile.height, whole};
        const Raster got{tile.width, tile.height, halves};
        EXPECT_EQ(bytes_differing(got, expected), 0) << tile.width << "x" << tile.height << " at " << tile.x;
        EXPECT_GT(bytes_differing(got, {tile.width, tile.height,
                                        headless_gl_read_rgba(*gl, tile.x, tile.y, tile.width, tile.height)}),
                  0)
            << "the second drawing does not differ from the first";
        EXPECT_TRUE(headless_gl_read_finish(*gl).empty()) << "a read given twice";
    }
    EXPECT_FALSE(headless_gl_read_start(*gl, 60, 0, 5, 1)) << "a rectangle past the right edge";
    EXPECT_FALSE(headless_gl_read_start(*gl, 0, -1, 2, 2));
    EXPECT_TRUE(headless_gl_read_finish(*gl).empty()) << "a refused read left pixels behind";
}

// A tile is given in window coordinates (from the lower left); in the top-down
// picture it starts at row height - (y + tile height). With the real title
// scene, whose every pixel depends on its position.
TEST(Renderer, TileMatchesTheSameRectangleOfTheWholeFrame) {
    std::string error;
    RendererPtr renderer = renderer_create(WIDTH, HEIGHT, scene_texts_builtin(), error);
    ASSERT_TRUE(renderer) << error;
    for (const Scene scene : {Scene::title, Scene::landscape}) {
        const FrameValues values{3.0f, 0.5f};
        const Raster frame = renderer_frame(*renderer, scene, values);
        const Tile tile{10, 5, 20, 12};
        const Raster part = renderer_tile(*renderer, scene, values, tile);
        ASSERT_EQ(part.width, tile.width);
        ASSERT_EQ(part.height, tile.height);
        int differing = 0;
        for (int32_t row = 0; row < tile.height; ++row) {
            const int32_t frame_row = HEIGHT - (tile.y + tile.height) + row;
            for (int32_t byte = 0; byte < tile.width * 4; ++byte)
                differing += part.rgba[size_t(row * tile.width * 4 + byte)] !=
                             frame.rgba[size_t((frame_row * WIDTH + tile.x) * 4 + byte)];
        }
        EXPECT_EQ(differing, 0) << "bytes of the tile that differ from the frame";
        if (differing) {
            save_failure(frame, "renderer_frame");
            save_failure(part, "renderer_tile");
        }
    }
}

// Renders taken from the pipeline, each submitted before the one before it
// is taken, come back in order and byte for byte as renderer_frame gives
// them; between the two scenes too, and with a lone render at the end.
TEST(Renderer, PipelineGivesTheRendersInOrderAsRenderedOneByOne) {
    std::string error;
    RendererPtr renderer = renderer_create(WIDTH, HEIGHT, scene_texts_builtin(), error);
    ASSERT_TRUE(renderer) << error;
    struct Render {
        Scene scene;
        FrameValues values;
    };
    const std::vector<Render> renders = {{Scene::landscape, {1.3f, 0.75f}}, {Scene::landscape, {2.6f, 0.25f}},
                                         {Scene::title, {20.5f, 0.75f}},    {Scene::title, {3.0f, 0.5f}},
                                         {Scene::landscape, {0.4f, 0.5f}}};
    std::vector<Raster> expected;
    for (const Render& render : renders) expected.push_back(renderer_frame(*renderer, render.scene, render.values));
    for (size_t i = 1; i < expected.size(); ++i)
        ASSERT_GT(bytes_differing(expected[i - 1], expected[i]), 0) << "renders " << i - 1 << " and " << i << " alike";

    FramePipeline pipeline = frame_pipeline_start(*renderer);
    EXPECT_TRUE(frame_pipeline_take(pipeline).rgba.empty()) << "nothing was submitted";
    std::vector<Raster> taken;
    for (size_t i = 0; i < renders.size(); ++i) {
        ASSERT_TRUE(frame_pipeline_submit(pipeline, renders[i].scene, renders[i].values)) << i;
        if (i == 0) continue;
        // Full: a third render is refused and disturbs neither of the two.
        EXPECT_FALSE(frame_pipeline_submit(pipeline, Scene::none, {}));
        taken.push_back(frame_pipeline_take(pipeline));
    }
    taken.push_back(frame_pipeline_take(pipeline));
    EXPECT_TRUE(frame_pipeline_take(pipeline).rgba.empty()) << "all were taken";
    ASSERT_EQ(taken.size(), expected.size());
    for (size_t i = 0; i < taken.size(); ++i) {
        const int64_t differing = bytes_differing(taken[i], expected[i]);
        EXPECT_EQ(differing, 0) << "render " << i;
        if (differing) {
            save_failure(taken[i], "pipeline_" + std::to_string(i));
            save_failure(expected[i], "pipeline_" + std::to_string(i) + "_expected");
        }
    }

    // A lone render, submitted and taken at once.
    ASSERT_TRUE(frame_pipeline_submit(pipeline, renders[2].scene, renders[2].values));
    EXPECT_EQ(bytes_differing(frame_pipeline_take(pipeline), expected[2]), 0) << "a lone render";
}

}  // namespace
