// zirbelon-render frame, run as a program: the scene and values it takes from
// a folder's tracks at a row, its PNG against the library's own picture, the
// full-size default without a display, and its answers to wrong command lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/render/tool_test.h"
#include "tools/render/render.h"

namespace {

namespace fs = std::filesystem;

class FrameTool : public ToolTest {
protected:
    // Renders to NAME.png in the folder and returns the file's bytes.
    std::string render(const std::string& name, std::vector<std::string> args) {
        args.insert(args.begin(), "frame");
        args.insert(args.end(), {"--size", "48x27", "-o", name + ".png"});
        const ToolRun result = run(args);
        EXPECT_EQ(result.status, 0) << result.err;
        return read_file(dir_ / (name + ".png"));
    }

    // Keeps two pictures that should have been the same.
    void save_pair(const std::string& a, const std::string& b) {
        const fs::path failures = RENDER_TEST_FAILURES;
        std::error_code ignored;
        fs::create_directories(failures, ignored);
        for (const std::string& name : {a, b})
            fs::copy_file(dir_ / (name + ".png"), failures / ("frame_tool_" + name + ".png"),
                          fs::copy_options::overwrite_existing, ignored);
        ADD_FAILURE() << a << " and " << b << " differ; both are in " << failures;
    }
};

// cam.dist rises linearly by 1/64 per row, so y at row 1300.5 is exactly
// 20.3203125; cam.rot holds 0.75. A frame at a row must equal the frame for
// the values and scene the presentation would pick there.
TEST_F(FrameTool, RowTakesSceneAndValuesFromTheTracks) {
    write_ramp_tracks(dir_);

    const std::string title = render("title", {"--y", "20.3203125", "--rot", "0.75", "--scene", "title"});
    const std::string title_row = render("title_row", {"--row", "1300.5"});
    EXPECT_EQ(title_row, title);
    if (title_row != title) save_pair("title_row", "title");

    // Would differ from the title above if the two tracks were swapped.
    EXPECT_NE(render("swapped", {"--y", "0.75", "--rot", "20.3203125", "--scene", "title"}), title);

    const std::string landscape = render("landscape", {"--y", "1.5625", "--rot", "0.75"});
    const std::string landscape_row = render("landscape_row", {"--row", "100", "--dir", "."});
    EXPECT_EQ(landscape_row, landscape);
    if (landscape_row != landscape) save_pair("landscape_row", "landscape");
    EXPECT_NE(render("landscape_as_title", {"--y", "1.5625", "--rot", "0.75", "--scene", "title"}),
              landscape);

    // The title's rows include both ends; the rows just outside are landscape.
    for (const char* row : {"1280", "1360"})
        EXPECT_EQ(render("at", {"--row", row}),
                  render("expected", {"--y", std::to_string(std::stod(row) / 64.0), "--rot", "0.75",
                                      "--scene", "title"}))
            << "row " << row;
    for (const char* row : {"1279.95", "1360.05"}) {
        const ToolRun at = run({"frame", "--row", row, "--size", "48x27", "-o", "at.png"});
        EXPECT_NE(at.out.find("landscape"), std::string::npos) << "row " << row << ": " << at.out;
    }
}

// The tracks can also live in another folder, named by --dir.
TEST_F(FrameTool, DirNamesTheFolderOfTheTracks) {
    fs::create_directory(dir_ / "tracks");
    write_track(dir_ / "tracks" / "sync_cam.dist.track", {{0, 4.0f, 0}});
    write_track(dir_ / "tracks" / "sync_cam.rot.track", {{0, -2.0f, 0}});
    EXPECT_EQ(render("row", {"--row", "10", "--dir", "tracks"}),
              render("values", {"--y", "4", "--rot", "-2"}));
}

// The PNG holds the renderer's pixels unchanged, top row first.
TEST_F(FrameTool, PngHoldsTheRenderedPixels) {
    ASSERT_FALSE(render("frame", {"--y", "2", "--rot", "-3.3", "--scene", "landscape"}).empty());
    const Raster png = png_read(dir_ / "frame.png");
    ASSERT_EQ(png.width, 48);
    ASSERT_EQ(png.height, 27);

    std::string error;
    RendererPtr renderer = renderer_create(48, 27, scene_texts_builtin(), error);
    ASSERT_TRUE(renderer) << error;
    const Raster expected = renderer_frame(*renderer, Scene::landscape, {2.0f, -3.3f});
    const int64_t differing = rgb_differences(png, expected, 0);
    EXPECT_EQ(differing, 0) << "channels of the PNG that differ from the renderer's picture";
    if (differing) save_pair("frame", "frame");
}

// With no size given, both scenes come out at 1920x1080, with no display.
TEST_F(FrameTool, DefaultsToTheFullScreenSize) {
    for (const char* scene : {"landscape", "title"}) {
        const ToolRun result = run({"frame", "--y", "1", "--scene", scene, "-o", "full.png"});
        ASSERT_EQ(result.status, 0) << result.err;
        const Raster full = png_read(dir_ / "full.png");
        EXPECT_EQ(full.width, 1920) << scene;
        EXPECT_EQ(full.height, 1080) << scene;
    }
}

// Wrong command lines end with status 2 and a message, and write nothing.
TEST_F(FrameTool, RejectsWrongCommandLines) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"paint"},
        {"frame"},
        {"frame", "-o", "x.png"},
        {"frame", "--y", "1"},
        {"frame", "--y", "-o", "x.png"},
        {"frame", "-o", "x.png", "--y"},
        {"frame", "--y", "one", "-o", "x.png"},
        {"frame", "--y", "1.5x", "-o", "x.png"},
        {"frame", "--y", "nan", "-o", "x.png"},
        {"frame", "--y", "inf", "-o", "x.png"},
        {"frame", "--y", "1e39", "-o", "x.png"},
        {"frame", "--row", "", "-o", "x.png"},
        {"frame", "--y", "1", "--scene", "sky", "-o", "x.png"},
        {"frame", "--y", "1", "--row", "3", "-o", "x.png"},
        {"frame", "--y", "1", "--dir", ".", "-o", "x.png"},
        {"frame", "--y", "1", "--size", "0x10", "-o", "x.png"},
        {"frame", "--y", "1", "--size", "100", "-o", "x.png"},
        {"frame", "--y", "1", "--size", "100x", "-o", "x.png"},
        {"frame", "--y", "1", "--size", "-4x4", "-o", "x.png"},
        {"frame", "--y", "1", "--size", "16385x16", "-o", "x.png"},
        {"frame", "--y", "1", "--size", "4x4x4", "-o", "x.png"},
        {"frame", "--y", "1", "--frobnicate", "-o", "x.png"},
        {"frame", "--y", "1", "extra", "-o", "x.png"},
    };
    for (const auto& args : wrong) {
        std::string shown;
        for (const std::string& arg : args) shown += " '" + arg + "'";
        const ToolRun result = run(args);
        EXPECT_EQ(result.status, 2) << shown;
        EXPECT_NE(result.err.find("zirbelon-render"), std::string::npos) << shown << ": " << result.err;
        EXPECT_FALSE(fs::exists(dir_ / "x.png")) << shown;
    }
}

// Failures of the work itself end with status 1 and say why.
TEST_F(FrameTool, ReportsWhatItCannotDo) {
    struct Case {
        std::vector<std::string> args;
        std::string environment;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--row", "5"}, "", "sync_cam.dist.track"},
        {{"--row", "5", "--dir", "nowhere"}, "", "nowhere"},
        {{"--y", "1", "-o", "missing/x.png"}, "", "missing/x.png"},
        // No EGL vendor library: no GL at all.
        {{"--y", "1"}, "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent", "EGL"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"frame", "--size", "8x8", "-o", "x.png"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun result = run(args, c.environment);
        EXPECT_EQ(result.status, 1) << c.message << ": " << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(dir_ / "x.png")) << c.message;
    }
}

TEST_F(FrameTool, HelpDescribesTheOptions) {
    const ToolRun top = run({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("frame"), std::string::npos) << top.out;
    const ToolRun frame = run({"frame", "--help"});
    EXPECT_EQ(frame.status, 0);
    for (const char* option : {"--y", "--rot", "--scene", "--row", "--dir", "--size", "-o"})
        EXPECT_NE(frame.out.find(option), std::string::npos) << option;
}

}  // namespace
