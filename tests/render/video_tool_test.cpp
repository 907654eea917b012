// zirbelon-render video, run as a program: the row each frame shows, frames
// drawn while the one before is read back that equal renders made one at a
// time, the number of frames of a span, the tune muxed in at the right offset
// and length, repeatable bytes, no video left by a run that was interrupted
// or could not be done, and the command line other programs compose for a
// video taken as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/render/tool_test.h"
#include "tools/common/render_call.h"
#include "tools/render/frame_mix.h"
#include "tools/render/render.h"
#include "tools/render/timeline.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t WIDTH = 48;
constexpr int32_t HEIGHT = 28;

class VideoTool : public ToolTest {
protected:
    // The picture the presentation shows at a row of the ramp tracks, from the
    // render library itself.
    Raster expected_frame(double row) {
        if (!renderer_) {
            std::string error;
            renderer_ = renderer_create(WIDTH, HEIGHT, scene_texts_builtin(), error);
            EXPECT_TRUE(renderer_) << error;
            if (!renderer_) return {};
        }
        const bool title = row >= 1280.0 && row <= 1360.0;
        return renderer_frame(*renderer_, title ? Scene::title : Scene::landscape,
                              {float(row / 64.0), 0.75f});
    }

    // Renders the span as PNG frames into a new folder; the frames' files.
    std::vector<fs::path> png_frames(const std::string& folder, std::vector<std::string> span) {
        std::vector<std::string> args = {"video", "--png", folder, "--size", "48x28"};
        args.insert(args.end(), span.begin(), span.end());
        const ToolRun result = run(args);
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<fs::path> frames;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(dir_ / folder, ignored)) frames.push_back(entry.path());
        std::sort(frames.begin(), frames.end());
        return frames;
    }

    // ffprobe's answer for the entries (e.g. "stream=codec_name"), one value a line.
    std::vector<std::string> probe(const std::string& file, const std::string& entries) {
        EXPECT_EQ(shell("ffprobe -v error -show_entries " + entries + " -of default=nw=1:nk=1 '" + file +
                        "' >probe.txt"),
                  0);
        std::istringstream lines(read_file(dir_ / "probe.txt"));
        std::vector<std::string> values;
        for (std::string line; std::getline(lines, line);) values.push_back(line);
        return values;
    }

    RendererPtr renderer_;
};

double number(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// Frame i shows row (from + i / fps) x 20. With cam.dist at row / 64 every
// frame is told apart from its neighbours, and the title's first and last
// rows, 1280 and 1360, land exactly on frames.
TEST_F(VideoTool, FramesShowTheRowsOfTheirMusicPositions) {
    write_ramp_tracks(dir_);
    struct Span {
        std::vector<std::string> options;
        std::vector<double> rows;
    };
    const std::vector<Span> spans = {
        {{"--from", "63.5", "--to", "64.25", "--fps", "4"}, {1270.0, 1275.0, 1280.0}},
        {{"--from", "67.75", "--to", "68.5", "--fps", "4"}, {1355.0, 1360.0, 1365.0}},
        // Decimal positions too: 63.9 + 1 / 10 is row 1280 itself.
        {{"--from", "63.9", "--to", "64.15", "--fps", "10"}, {1278.0, 1280.0, 1282.0}},
        {{"--from", "0", "--to", "0.05", "--fps", "60"}, {0.0, 1.0 / 3.0, 2.0 / 3.0}},
    };
    int folder = 0;
    for (const Span& span : spans) {
        const std::string name = "frames" + std::to_string(folder++);
        const std::vector<fs::path> frames = png_frames(name, span.options);
        ASSERT_EQ(frames.size(), span.rows.size()) << span.options[1];
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].filename(), "frame-00000" + std::to_string(i) + ".png");
            const Raster frame = png_read(frames[i]);
            const Raster expected = expected_frame(span.rows[i]);
            // The same program and values on the same GL: no tolerance.
            const int64_t differing = rgb_differences(frame, expected, 0);
            EXPECT_EQ(differing, 0) << "frame " << i << " from " << span.options[1] << ", row " << span.rows[i];
            if (differing) {
                save_failure(frame, "video_" + name + "_" + std::to_string(i));
                save_failure(expected, "video_" + name + "_" + std::to_string(i) + "_expected");
            }
        }
    }
    // The rows beside the title's ends are landscape, and differ from the title.
    EXPECT_GT(rgb_differences(expected_frame(1275.0), expected_frame(1280.0), 0), 0);
}

// The video draws each render while the one before it is still read back,
// mixed and written: every frame of a run, supersampled and blended over a
// shutter, across the title's start, as PNG frames and as a lossless video,
// is the mix of the same renders made one at a time.
TEST_F(VideoTool, PipelinedFramesEqualFramesRenderedOneByOne) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
    SyncTracks tracks;
    std::string error;
    ASSERT_TRUE(sync_tracks_load(dir_, tracks, error)) << error;
    constexpr int32_t width = 16, height = 10;
    struct Run {
        std::string output;  // a folder of PNG frames, or a video
        double from;
        int32_t ssaa;
        int32_t subframes;
        double shutter;
    };
    const CliRate fps{10, 1};
    const int64_t frames = 4;
    const std::vector<Run> runs = {
        // The title starts at 64 s: frame 2's shutter opens on the landscape,
        // the plain run's last frame is the title's first.
        {"mixed", 63.8, 2, 3, 270.0},
        {"plain", 63.7, 1, 1, 180.0},
        // A video needs the tune, which ends at 1 s.
        {"mixed.mkv", 0.2, 2, 2, 180.0},
        {"plain.mkv", 0.2, 1, 1, 180.0},
    };
    std::map<int32_t, RendererPtr> renderers;
    for (const Run& run_case : runs) {
        RendererPtr& renderer = renderers[run_case.ssaa];
        if (!renderer) renderer = renderer_create(width * run_case.ssaa, height * run_case.ssaa,
                                                  scene_texts_builtin(), error);
        ASSERT_TRUE(renderer) << error;
        std::vector<Raster> expected;
        for (int64_t frame = 0; frame < frames; ++frame) {
            const double seconds = timeline_seconds(run_case.from, fps, frame);
            FrameMix mix = frame_mix_start(width, height, run_case.ssaa);
            for (int32_t subframe = 0; subframe < run_case.subframes; ++subframe) {
                const double moment =
                    timeline_shutter_seconds(seconds, fps, run_case.subframes, run_case.shutter, subframe);
                const RowFrame shown = row_frame(tracks.camera, row_from_seconds(moment));
                ASSERT_TRUE(frame_mix_add(mix, renderer_frame(*renderer, shown.scene, shown.values)));
            }
            expected.push_back(frame_mix_result(mix));
            if (frame > 0) {
                ASSERT_GT(rgb_differences(expected[size_t(frame) - 1], expected.back(), 0), 0)
                    << run_case.output << ": frames " << frame - 1 << " and " << frame << " alike";
            }
        }

        const bool to_video = run_case.output.ends_with(".mkv");
        std::vector<std::string> args = {"video", "-q", to_video ? "-o" : "--png", run_case.output,
                                         "--size", "16x10", "--fps", "10", "--from", std::to_string(run_case.from),
                                         "--to", std::to_string(run_case.from + 0.35), "--ssaa",
                                         std::to_string(run_case.ssaa), "--blur",
                                         std::to_string(run_case.subframes) + ":" + std::to_string(run_case.shutter)};
        if (to_video) args.push_back("--lossless");
        const ToolRun result = run(args);
        ASSERT_EQ(result.status, 0) << run_case.output << ": " << result.err;
        // FFV1 in RGB gives the frames back exactly.
        if (to_video) {
            ASSERT_EQ(shell("mkdir decoded-" + run_case.output + " && ffmpeg -v error -i " + run_case.output +
                            " -start_number 0 decoded-" + run_case.output + "/frame-%06d.png"),
                      0);
        }
        const fs::path folder = dir_ / (to_video ? "decoded-" + run_case.output : run_case.output);
        for (int64_t frame = 0; frame <= frames; ++frame) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%06lld.png", (long long)frame);
            if (frame == frames) {
                EXPECT_FALSE(fs::exists(folder / name)) << run_case.output << ": more frames than the span's";
                break;
            }
            const Raster got = png_read(folder / name);
            const int64_t differing = rgb_differences(got, expected[size_t(frame)], 0);
            EXPECT_EQ(differing, 0) << run_case.output << ", frame " << frame;
            if (differing) {
                const std::string base = "video_pipelined_" + run_case.output + "_" + std::to_string(frame);
                save_failure(got, base);
                save_failure(expected[size_t(frame)], base + "_expected");
            }
        }
    }
}

// A span holds the frames whose positions lie in it; one landing exactly on
// its end is left out.
TEST_F(VideoTool, SpanGivesTheFrameCount) {
    write_ramp_tracks(dir_);
    EXPECT_EQ(png_frames("a", {"--from", "1", "--to", "2", "--fps", "30"}).size(), 30u);
    EXPECT_EQ(png_frames("b", {"--from", "1", "--to", "2.01", "--fps", "30"}).size(), 31u);
    EXPECT_EQ(png_frames("c", {"--from", "63.5", "--to", "64", "--fps", "4"}).size(), 2u);
    EXPECT_EQ(png_frames("d", {"--from", "2", "--to", "2.001", "--fps", "24"}).size(), 1u);
}

// A tune of a second of silence, a second of tone and a second of silence.
// Cut from 0.5 s to 2.5 s, the video's sound holds the tone from 0.5 s to
// 1.5 s; uncut, the video lasts as long as the tune.
TEST_F(VideoTool, VideoCarriesTheTuneCutToTheSpan) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 1000 gain -6 pad 1 1");

    ToolRun result = run({"video", "-o", "cut.mp4", "--from", "0.5", "--to", "2.5", "--fps", "10", "--size", "64x36"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(probe("cut.mp4", "stream=codec_name,pix_fmt,width,height"),
              (std::vector<std::string>{"h264", "64", "36", "yuv420p", "aac"}));
    EXPECT_EQ(probe("cut.mp4", "stream=nb_frames").at(0), "20");
    for (const std::string& duration : probe("cut.mp4", "stream=duration:format=duration"))
        EXPECT_NEAR(number(duration), 2.0, 0.03);

    // The sound itself, decoded: where the tone starts and ends.
    ASSERT_EQ(shell("ffmpeg -v error -i cut.mp4 -map 0:a -ac 1 -ar 44100 -f s16le sound.raw"), 0);
    const std::string sound = read_file(dir_ / "sound.raw");
    const auto* samples = reinterpret_cast<const int16_t*>(sound.data());
    const size_t count = sound.size() / 2;
    size_t first = count, last = 0;
    for (size_t i = 0; i < count; ++i)
        if (std::abs(samples[i]) > 8000) {
            first = std::min(first, i);
            last = i;
        }
    EXPECT_NEAR(double(first) / 44100.0, 0.5, 0.003) << "the tone's start, in seconds of the video";
    EXPECT_NEAR(double(last) / 44100.0, 1.5, 0.003) << "the tone's end, in seconds of the video";

    result = run({"video", "-o", "whole.mp4", "--fps", "10", "--size", "64x36"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(probe("whole.mp4", "stream=nb_frames").at(0), "30");
    for (const std::string& duration : probe("whole.mp4", "stream=duration:format=duration"))
        EXPECT_NEAR(number(duration), 3.0, 0.03);
}

TEST_F(VideoTool, SameCommandGivesTheSameBytes) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 2 sine 300:900");
    const std::vector<std::string> args = {"video", "--fps", "15", "--size", "64x36", "--from", "0.25"};
    std::vector<std::string> first = args, second = args;
    first.insert(first.end(), {"-o", "first.mp4"});
    second.insert(second.end(), {"-o", "second.mp4"});
    ASSERT_EQ(run(first).status, 0);
    ASSERT_EQ(run(second).status, 0);
    const std::string a = read_file(dir_ / "first.mp4");
    EXPECT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == read_file(dir_ / "second.mp4")) << "two runs of one command gave different videos";
}

// The studio's V key starts the tool with render_video_arguments: a folder
// elsewhere, a span and a shader file.
TEST_F(VideoTool, TakesTheCommandLineOtherProgramsCompose) {
    fs::create_directories(dir_ / "show");
    write_ramp_tracks(dir_ / "show");
    make_tune(dir_ / "show" / "vaxo.mp3", "synth 1 sine 440");
    std::ofstream(dir_ / "landscape.glsl") << landscape_glsl;
    const RenderVideoCall call{(dir_ / "show").string(), 0.25, 0.5, "call.mp4",
                               {(dir_ / "landscape.glsl").string(), ""}};
    std::vector<std::string> args = {"video", "--size", "32x18", "--fps", "8"};
    const std::vector<std::string> composed = render_video_arguments(call);
    args.insert(args.end(), composed.begin(), composed.end());
    const ToolRun result = run(args);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_GT(read_file(dir_ / "call.mp4").size(), 1000u);
}

// Stopped by SIGTERM halfway, the run removes its temporary file and ends
// with the signal's status; the video's name never appears.
TEST_F(VideoTool, InterruptedRunLeavesNoVideo) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
    const ToolRun result = run({"video", "-o", "long.mp4", "--to", "3600", "--size", "64x36"}, "",
                               "timeout --preserve-status -k 10 2");
    EXPECT_EQ(result.status, 128 + 15) << result.err;
    EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find("long.mp4"), std::string::npos) << entry.path();
}

// Failures of the work end with status 1, say why, and leave no video.
TEST_F(VideoTool, ReportsWhatItCannotDo) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
    fs::create_directories(dir_ / "no_tune");
    write_ramp_tracks(dir_ / "no_tune");
    fs::create_directories(dir_ / "bad_tune");
    write_ramp_tracks(dir_ / "bad_tune");
    std::ofstream(dir_ / "bad_tune" / "vaxo.mp3") << "not a tune\n";
    fs::create_directories(dir_ / "no_tracks");
    fs::copy_file(dir_ / "vaxo.mp3", dir_ / "no_tracks" / "vaxo.mp3");
    std::ofstream(dir_ / "broken.glsl") << "void main() { gl_FragColor = vec4(1.0) + nonsense; }\n";
    // Compiles, but the function it calls is nowhere: the program does not link.
    std::ofstream(dir_ / "unlinked.glsl") << "vec4 elsewhere();\nvoid main() { gl_FragColor = elsewhere(); }\n";

    struct Case {
        std::vector<std::string> args;
        std::string environment;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {{}, "PATH=/nonexistent", {"ffmpeg"}},
        {{"--dir", "no_tune"}, "", {"no_tune/vaxo.mp3"}},
        {{"--dir", "bad_tune"}, "", {"bad_tune/vaxo.mp3", "MP3"}},
        {{"--dir", "no_tracks"}, "", {"sync_cam.dist.track"}},
        {{"--from", "1.5"}, "", {"past the end of the tune"}},
        {{"--shader", "landscape=broken.glsl"}, "", {"broken.glsl", "landscape", "nonsense"}},
        {{"--shader", "title=unlinked.glsl"}, "", {"unlinked.glsl", "title", "elsewhere"}},
        {{"--shader", "title=absent.glsl"}, "", {"absent.glsl"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"video", "--size", "16x16", "-o", "out.mp4"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun result = run(args, c.environment);
        EXPECT_EQ(result.status, 1) << c.messages[0] << ": " << result.err;
        for (const std::string& message : c.messages)
            EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(dir_ / "out.mp4")) << c.messages[0];
        EXPECT_FALSE(fs::exists(dir_ / "out.mp4.part")) << c.messages[0];
    }
    // Without the tune PNG frames of a given span can still be made.
    EXPECT_EQ(png_frames("frames", {"--dir", "no_tune", "--to", "0.1", "--fps", "20"}).size(), 2u);
}

// Wrong command lines end with status 2 and a message, and write nothing.
TEST_F(VideoTool, RejectsWrongCommandLines) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"--fps", "30"},
        {"-o", "x.mp4", "--png", "frames"},
        {"-o", "x.mp4", "--fps", "0"},
        {"-o", "x.mp4", "--fps", "-30"},
        {"-o", "x.mp4", "--fps", "1001"},
        {"-o", "x.mp4", "--fps", "sixty"},
        {"-o", "x.mp4", "--from", "-1"},
        {"-o", "x.mp4", "--from", "5", "--to", "5"},
        {"-o", "x.mp4", "--to", "2", "--from", "3"},
        {"-o", "x.mp4", "--to", "nan"},
        {"-o", "x.mp4", "--to", "1e300"},
        {"-o", "x.mp4", "--from", "90000"},
        {"-o", "x.mp4", "--size", "63x36"},
        {"-o", "x.mp4", "--size", "64x35"},
        {"-o", "x.mp4", "--shader", "sky=x.glsl"},
        {"-o", "x.mp4", "--shader", "landscape="},
        {"-o", "x.mp4", "--shader", "landscape"},
        {"-o", "x.mp4", "--count", "3"},
        {"-o", "x.mp4", "extra"},
        {"-o"},
    };
    for (std::vector<std::string> args : wrong) {
        args.insert(args.begin(), "video");
        std::string shown;
        for (const std::string& arg : args) shown += " '" + arg + "'";
        const ToolRun result = run(args);
        EXPECT_EQ(result.status, 2) << shown;
        EXPECT_NE(result.err.find("zirbelon-render video"), std::string::npos) << shown << ": " << result.err;
        EXPECT_FALSE(fs::exists(dir_ / "x.mp4")) << shown;
        EXPECT_FALSE(fs::exists(dir_ / "frames")) << shown;
    }
}

// Sizes that the encoder or the renderer cannot take are usage errors found
// before any work: with no GL to be had, the refusal shows that none was even
// asked for (a 16384x16384 video rendered its first frame for 51 s before
// ffmpeg refused it).
TEST_F(VideoTool, SizesNoEncoderOrRendererTakesAreRefusedBeforeAnyWork) {
    write_ramp_tracks(dir_);
    make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"video", "--size", "16384x16384", "-o", "x.mp4"}, "ffmpeg takes no video frame of 16384x16384"},
        {{"video", "--size", "16384x16384", "-o", "x.mkv", "--lossless"}, "ffmpeg takes no video frame"},
        {{"video", "--size", "16384x16130", "-o", "x.webm"}, "ffmpeg takes no video frame"},
        {{"video", "--size", "16384x16129", "-o", "x.mkv", "--lossless"}, "ffmpeg takes no video frame"},
        {{"video", "--size", "16384x2", "--ssaa", "4", "-o", "x.mp4"}, "would render 65536x8 pixels"},
        {{"video", "--size", "2x16384", "--ssaa", "2", "--png", "frames", "--to", "1"}, "would render 4x32768"},
        {{"frame", "--size", "16384x2", "--ssaa", "4", "--y", "1", "-o", "x.png"}, "would render 65536x8"},
    };
    for (const auto& [args, says] : cases) {
        std::string shown;
        for (const std::string& arg : args) shown += " " + arg;
        const ToolRun result = run(args, "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent");
        EXPECT_EQ(result.status, 2) << shown << ": " << result.err;
        EXPECT_NE(result.err.find(says), std::string::npos) << shown << ": " << result.err;
        EXPECT_FALSE(fs::exists(dir_ / "x.mp4") || fs::exists(dir_ / "x.png") || fs::exists(dir_ / "frames")) << shown;
    }
}

TEST_F(VideoTool, HelpDescribesTheOptions) {
    const ToolRun top = run({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* command : {"video", "sheet", "bench"}) EXPECT_NE(top.out.find(command), std::string::npos);
    const ToolRun video = run({"video", "--help"});
    EXPECT_EQ(video.status, 0);
    for (const char* option : {"-o", "--png", "--fps", "--from", "--to", "--size", "--dir", "--shader", "--help"})
        EXPECT_NE(video.out.find(option), std::string::npos) << option;
}

}  // namespace
