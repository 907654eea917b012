// zirbelon-render sheet and bench, run as programs, and the --shader option
// every subcommand shares: thumbnails found in the sheet in reading order at
// the right moments with their labels, figures from the bench, and fragment
// texts from files taken or refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/render/tool_test.h"
#include "tools/render/render.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t THUMB_WIDTH = 32;
constexpr int32_t THUMB_HEIGHT = 18;

struct Place {
    int32_t x;
    int32_t y;
};

// Where the picture lies in the sheet, pixel for pixel; none when nowhere.
std::optional<Place> find_in(const Raster& sheet, const Raster& picture) {
    for (int32_t y = 0; y + picture.height <= sheet.height; ++y)
        for (int32_t x = 0; x + picture.width <= sheet.width; ++x) {
            bool same = true;
            for (int32_t row = 0; row < picture.height && same; ++row) {
                const uint8_t* a = &sheet.rgba[(size_t(y + row) * size_t(sheet.width) + size_t(x)) * 4];
                const uint8_t* b = &picture.rgba[size_t(row) * size_t(picture.width) * 4];
                for (int32_t column = 0; column < picture.width * 4 && same; ++column)
                    same = column % 4 == 3 || a[column] == b[column];
            }
            if (same) return Place{x, y};
        }
    return std::nullopt;
}

// Pixels of the rectangle whose colour passes the test.
template <typename Test>
int count_pixels(const Raster& image, int32_t x, int32_t y, int32_t width, int32_t height, Test test) {
    int count = 0;
    for (int32_t j = std::max(y, 0); j < std::min(y + height, image.height); ++j)
        for (int32_t i = std::max(x, 0); i < std::min(x + width, image.width); ++i) {
            const uint8_t* pixel = &image.rgba[(size_t(j) * size_t(image.width) + size_t(i)) * 4];
            count += test(pixel[0], pixel[1], pixel[2]);
        }
    return count;
}

class SheetTool : public ToolTest {
protected:
    // cam.dist is 5 + row / 256, so that every thumbnail shows another
    // picture; cam.rot holds 0.75.
    void SetUp() override {
        ToolTest::SetUp();
        write_track(dir_ / "sync_cam.dist.track", {{0, 5.0f, 1}, {2048, 13.0f, 0}});
        write_track(dir_ / "sync_cam.rot.track", {{0, 0.75f, 0}});
    }

    Raster expected_thumb(double seconds) {
        if (!renderer_) {
            std::string error;
            renderer_ = renderer_create(THUMB_WIDTH, THUMB_HEIGHT, scene_texts_builtin(), error);
            EXPECT_TRUE(renderer_) << error;
            if (!renderer_) return {};
        }
        const double row = seconds * 20.0;
        const bool title = row >= 1280.0 && row <= 1360.0;
        return renderer_frame(*renderer_, title ? Scene::title : Scene::landscape, {float(5.0 + row / 256.0), 0.75f});
    }

    // The places of the thumbnails of the moments in the sheet.
    std::vector<Place> places(const Raster& sheet, const std::vector<double>& seconds, const std::string& name) {
        // Each thumbnail can only be found where it is if no two are alike.
        for (size_t a = 0; a < seconds.size(); ++a)
            for (size_t b = a + 1; b < seconds.size(); ++b)
                EXPECT_GT(rgb_differences(expected_thumb(seconds[a]), expected_thumb(seconds[b]), 0), 0)
                    << seconds[a] << " s and " << seconds[b] << " s look the same";
        std::vector<Place> found;
        for (const double second : seconds) {
            const std::optional<Place> place = find_in(sheet, expected_thumb(second));
            EXPECT_TRUE(place) << "no thumbnail of " << second << " s in the sheet";
            if (!place) {
                save_failure(sheet, name);
                return {};
            }
            found.push_back(*place);
        }
        return found;
    }

    RendererPtr renderer_;
};

// Six thumbnails over 66 s, four a line: 0, 11, ... 55 s, in reading order on
// a grid, each with a label beneath.
TEST_F(SheetTool, ThumbnailsInReadingOrder) {
    make_tune(dir_ / "vaxo.mp3", "synth 66 sine 440");  // into the title's seconds
    const ToolRun result = run({"sheet", "-o", "sheet.png", "--count", "6", "--cols", "4", "--thumb", "32x18"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Raster sheet = png_read(dir_ / "sheet.png");
    const std::vector<Place> found = places(sheet, {0, 11, 22, 33, 44, 55}, "sheet_reading_order");
    ASSERT_EQ(found.size(), 6u);
    for (size_t k = 1; k < found.size(); ++k) {
        if (k % 4 == 0) {
            EXPECT_GT(found[k].y, found[k - 1].y + THUMB_HEIGHT) << k;
        } else {
            EXPECT_EQ(found[k].y, found[k - 1].y) << k;
            EXPECT_GT(found[k].x, found[k - 1].x + THUMB_WIDTH - 1) << k;
        }
        EXPECT_EQ(found[k].x, found[k % 4].x) << k;
    }
    for (const Place& place : found)
        EXPECT_GT(count_pixels(sheet, place.x, place.y + THUMB_HEIGHT, THUMB_WIDTH, 12,
                               [](int r, int g, int b) { return r > 150 && g > 150 && b > 150; }),
                  10)
            << "no label beneath the thumbnail at " << place.x << "," << place.y;
}

// --every 13 over 66 s: 0, 13, 26, 39, 52 and 65 s; the last is the title's
// and has the amber label, the others do not.
TEST_F(SheetTool, EveryStepsThroughTheTuneAndMarksTheTitle) {
    make_tune(dir_ / "vaxo.mp3", "synth 66 sine 440");  // into the title's seconds
    const ToolRun result = run({"sheet", "-o", "every.png", "--every", "13", "--thumb", "32x18"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Raster sheet = png_read(dir_ / "every.png");
    const std::vector<Place> found = places(sheet, {0, 13, 26, 39, 52, 65}, "sheet_every");
    ASSERT_EQ(found.size(), 6u);
    const auto amber = [](int r, int g, int b) { return r > 200 && g > 120 && b < 110; };
    for (size_t k = 0; k < found.size(); ++k) {
        const int amber_pixels = count_pixels(sheet, found[k].x, found[k].y + THUMB_HEIGHT, THUMB_WIDTH, 12, amber);
        if (k == 5)
            EXPECT_GT(amber_pixels, 10) << "the title's label";
        else
            EXPECT_EQ(amber_pixels, 0) << "the label at " << k * 13 << " s";
    }
}

// --from and --to spread the thumbnails over a part of the tune, by count or
// by step; a part that holds no moment of the tune is refused.
TEST_F(SheetTool, FromAndToSpreadOverAPartOfTheTune) {
    make_tune(dir_ / "vaxo.mp3", "synth 66 sine 440");
    ToolRun result = run({"sheet", "-o", "part.png", "--from", "20", "--to", "50", "--count", "3", "--thumb", "32x18"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(places(png_read(dir_ / "part.png"), {20, 30, 40}, "sheet_part").size(), 3u);
    result = run({"sheet", "-o", "steps.png", "--from", "0:58", "--to", "1:04.5", "--every", "2", "--thumb", "32x18"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Raster steps = png_read(dir_ / "steps.png");
    const std::vector<Place> found = places(steps, {58, 60, 62, 64}, "sheet_steps");
    ASSERT_EQ(found.size(), 4u);
    EXPECT_FALSE(find_in(steps, expected_thumb(56))) << "a thumbnail before --from";
    EXPECT_FALSE(find_in(steps, expected_thumb(66))) << "a thumbnail at or past --to";
    for (const std::vector<std::string>& part : std::vector<std::vector<std::string>>{
             {"--from", "50", "--to", "20"}, {"--from", "70"}}) {
        std::vector<std::string> args = {"sheet", "-o", "none.png", "--thumb", "16x16"};
        args.insert(args.end(), part.begin(), part.end());
        result = run(args);
        EXPECT_EQ(result.status, 1) << part[1];
        EXPECT_NE(result.err.find("holds no thumbnail"), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "none.png"));
}

// Labels grow with the thumbnails, so that a sheet shown at half its size can
// still be read: under a 240-pixel thumbnail the time and the row take two
// lines of a font three times the small one's size.
TEST_F(SheetTool, LabelsGrowWithTheThumbnails) {
    make_tune(dir_ / "vaxo.mp3", "synth 66 sine 440");
    std::ofstream(dir_ / "flat.glsl") << "void main() { gl_FragColor = vec4(0.25, 0.5, 0.75, 1.0); }\n";
    const auto flat = [](int r, int g, int b) {
        return std::abs(r - 64) <= 1 && std::abs(g - 128) <= 1 && std::abs(b - 191) <= 1;
    };
    const auto light = [](int r, int g, int b) { return r > 150 && g > 150 && b > 150; };
    // Rows of text beneath the first thumbnail, the one at the flat colour's first pixel.
    const auto text_rows = [&](const std::string& thumb, int32_t width, int32_t height) {
        const ToolRun result = run({"sheet", "-o", "labels.png", "--count", "2", "--thumb", thumb, "--shader",
                                    "landscape=flat.glsl"});
        EXPECT_EQ(result.status, 0) << result.err;
        const Raster sheet = png_read(dir_ / "labels.png");
        for (int32_t y = 0; y < sheet.height; ++y)
            for (int32_t x = 0; x < sheet.width; ++x)
                if (count_pixels(sheet, x, y, 1, 1, flat)) {
                    int rows = 0;
                    for (int32_t row = y + height; row < y + height + 80; ++row)
                        rows += count_pixels(sheet, x, row, width, 1, light) > 0;
                    return rows;
                }
        ADD_FAILURE() << "no thumbnail in the sheet of " << thumb;
        return 0;
    };
    EXPECT_LE(text_rows("32x18", 32, 18), 8) << "one line of the small font";
    EXPECT_GE(text_rows("240x135", 240, 135), 2 * 7 * 3) << "two lines of the font at three times";
}

TEST_F(SheetTool, RefusesWhatItCannotDo) {
    const ToolRun no_tune = run({"sheet", "-o", "sheet.png", "--thumb", "16x16"});
    EXPECT_EQ(no_tune.status, 1);
    EXPECT_NE(no_tune.err.find("vaxo.mp3"), std::string::npos) << no_tune.err;
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
    const ToolRun huge = run({"sheet", "-o", "sheet.png", "--count", "4096", "--thumb", "640x360"});
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("fewer or smaller"), std::string::npos) << huge.err;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"sheet"},
             {"sheet", "-o", "sheet.png", "--count", "0"},
             {"sheet", "-o", "sheet.png", "--count", "2.5"},
             {"sheet", "-o", "sheet.png", "--count", "3", "--every", "1"},
             {"sheet", "-o", "sheet.png", "--every", "0"},
             {"sheet", "-o", "sheet.png", "--cols", "0"},
             {"sheet", "-o", "sheet.png", "--thumb", "32"},
             {"bench", "--size", "0x0"},
             {"bench", "--fps", "3"},
         }) {
        const ToolRun result = run(args);
        EXPECT_EQ(result.status, 2) << args.back();
        EXPECT_NE(result.err.find("zirbelon-render " + args[0]), std::string::npos) << result.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "sheet.png"));
}

// The bench times both scenes and the sampled run and prints its figures.
TEST_F(SheetTool, BenchReportsMillisecondsPerFrame) {
    make_tune(dir_ / "vaxo.mp3", "synth 3 sine 440");
    const ToolRun result = run({"bench", "--size", "16x16"});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* part : {"landscape mean", "title     mean", "whole presentation: 2 frames"}) {
        const size_t at = result.out.find(part);
        ASSERT_NE(at, std::string::npos) << part << " in\n" << result.out;
        const size_t mean = result.out.find("mean ", at + std::string_view(part).size() - 4);
        ASSERT_NE(mean, std::string::npos) << result.out;
        EXPECT_GT(std::strtod(result.out.c_str() + mean + 5, nullptr), 0.0) << part;
    }
}

// bench --encode times a span rendered alone and rendered and encoded, and
// takes the span options only with --encode.
TEST_F(SheetTool, BenchTimesTheEncoder) {
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
    const ToolRun result = run({"bench", "--encode", "--size", "16x16", "--to", "0.2", "--fps", "20"});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* part : {"(4 frames)", "rendering only:", "rendering, encoding:", "the encoder's overhead:"}) {
        const size_t at = result.out.find(part);
        ASSERT_NE(at, std::string::npos) << part << " in\n" << result.out;
    }
    const size_t rate = result.out.find("rendering, encoding:");
    EXPECT_GT(std::strtod(result.out.c_str() + rate + 20, nullptr), 0.0) << result.out;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"bench", "--to", "3"}, {"bench", "--preset", "party"}, {"bench", "--encode", "--from", "2", "--to", "1"}}) {
        const ToolRun wrong = run(args);
        EXPECT_EQ(wrong.status, 2) << args[1];
    }
}

// Each subcommand renders with a fragment text from a file, and refuses one
// that does not compile, showing the GL's log.
TEST_F(SheetTool, EverySubcommandTakesShaderFiles) {
    make_tune(dir_ / "vaxo.mp3", "synth 2 sine 440");
    std::ofstream(dir_ / "flat.glsl") << "void main() { gl_FragColor = vec4(0.25, 0.5, 0.75, 1.0); }\n";
    std::ofstream(dir_ / "broken.glsl") << "void main() { gl_FragColor = nonsense; }\n";
    const auto flat = [](int r, int g, int b) {
        return std::abs(r - 64) <= 1 && std::abs(g - 128) <= 1 && std::abs(b - 191) <= 1;
    };
    const std::vector<std::vector<std::string>> commands = {
        {"frame", "--row", "10", "--size", "32x18", "-o", "frame.png"},
        {"video", "--png", "frames", "--to", "0.05", "--fps", "20", "--size", "32x18"},
        {"sheet", "-o", "sheet.png", "--count", "2", "--thumb", "32x18"},
        {"bench", "--size", "8x8"},
    };
    for (std::vector<std::string> args : commands) {
        args.insert(args.end(), {"--shader", "landscape=broken.glsl"});
        const ToolRun broken = run(args);
        EXPECT_EQ(broken.status, 1) << args[0];
        EXPECT_NE(broken.err.find("nonsense"), std::string::npos) << args[0] << ": " << broken.err;
        args.back() = "landscape=flat.glsl";
        const ToolRun taken = run(args);
        EXPECT_EQ(taken.status, 0) << args[0] << ": " << taken.err;
    }
    const int all = THUMB_WIDTH * THUMB_HEIGHT;
    const Raster frame = png_read(dir_ / "frame.png");
    EXPECT_EQ(count_pixels(frame, 0, 0, frame.width, frame.height, flat), all);
    const Raster video = png_read(dir_ / "frames" / "frame-000000.png");
    EXPECT_EQ(count_pixels(video, 0, 0, video.width, video.height, flat), all);
    const Raster sheet = png_read(dir_ / "sheet.png");
    EXPECT_GE(count_pixels(sheet, 0, 0, sheet.width, sheet.height, flat), 2 * all);
}

}  // namespace
