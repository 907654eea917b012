// zirbelon-render video as people capture with it, run as a program: each
// container read back as what it claims, standard output piped into ffprobe,
// exact N/M rates, picture and sound that last as long as each other, the
// presets' settings read back from their files, and supersampled and blended
// frames against the test's own means of the library's renders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "presentation/presentation.h"
#include "tests/render/tool_test.h"
#include "tools/render/render.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t WIDTH = 32;
constexpr int32_t HEIGHT = 18;

class CaptureTool : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        write_ramp_tracks(dir_);
        make_tune(dir_ / "vaxo.mp3", "synth 1 sine 440");
        // A landscape that costs nothing, for the presets' full-size frames.
        std::ofstream(dir_ / "flat.glsl") << "void main() { gl_FragColor = vec4(0.25, 0.5, 0.75, 1.0); }\n";
    }

    // ffprobe's answers for the entries, by entry name ("stream.codec_name"
    // for the streams in order, "format.format_name").
    std::vector<std::string> probe(const std::string& file, const std::string& entries) {
        EXPECT_EQ(shell("ffprobe -v error -show_entries " + entries + " -of default=nw=1:nk=1 '" + file +
                        "' >probe.txt"),
                  0)
            << file;
        std::istringstream lines(read_file(dir_ / "probe.txt"));
        std::vector<std::string> values;
        for (std::string line; std::getline(lines, line);) values.push_back(line);
        return values;
    }

    // Runs the video command; expects success.
    void video(std::vector<std::string> args) {
        args.insert(args.begin(), {"video", "-q"});
        const ToolRun result = run(args);
        ASSERT_EQ(result.status, 0) << args[2] << ": " << result.err;
    }

    // A frame of the library's own renderer at a size.
    Raster render(int32_t width, int32_t height, Scene scene, FrameValues values) {
        auto& renderer = renderers_[{width, height}];
        if (!renderer) {
            std::string error;
            renderer = renderer_create(width, height, scene_texts_builtin(), error);
            EXPECT_TRUE(renderer) << error;
            if (!renderer) return {};
        }
        return renderer_frame(*renderer, scene, values);
    }

    // What the ramp tracks show at a music position, through the library's
    // track evaluation.
    RowFrame shown_at(double seconds) {
        if (!tracks_.set) {
            std::string error;
            EXPECT_TRUE(sync_tracks_load(dir_, tracks_, error)) << error;
        }
        return row_frame(tracks_.camera, row_from_seconds(seconds));
    }

    Raster render_at(int32_t width, int32_t height, double seconds) {
        const RowFrame shown = shown_at(seconds);
        return render(width, height, shown.scene, shown.values);
    }

    void expect_same(const Raster& got, const Raster& expected, const std::string& name) {
        const int64_t differing = rgb_differences(got, expected, 0);
        EXPECT_EQ(differing, 0) << name;
        if (differing) {
            save_failure(got, "capture_" + name);
            save_failure(expected, "capture_" + name + "_expected");
        }
    }

    std::map<std::pair<int32_t, int32_t>, RendererPtr> renderers_;
    SyncTracks tracks_;
};

// The rounded mean of each factor x factor block, and of several pictures:
// the test's own downscale and blend.
Raster mean_of(const std::vector<Raster>& large, int32_t factor) {
    Raster out;
    out.width = large.at(0).width / factor;
    out.height = large.at(0).height / factor;
    out.rgba.assign(size_t(out.width) * size_t(out.height) * 4, 255);
    const uint32_t samples = uint32_t(large.size()) * uint32_t(factor * factor);
    for (int32_t y = 0; y < out.height; ++y)
        for (int32_t x = 0; x < out.width; ++x)
            for (int channel = 0; channel < 3; ++channel) {
                uint32_t sum = 0;
                for (const Raster& picture : large)
                    for (int32_t j = 0; j < factor; ++j)
                        for (int32_t i = 0; i < factor; ++i)
                            sum += picture.rgba[(size_t(y * factor + j) * size_t(picture.width) +
                                                 size_t(x * factor + i)) * 4 + size_t(channel)];
                out.rgba[(size_t(y) * size_t(out.width) + size_t(x)) * 4 + size_t(channel)] =
                    uint8_t((sum + samples / 2) / samples);
            }
    return out;
}

double number(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

bool contains(const std::string& bytes, const std::string& part) {
    return bytes.find(part) != std::string::npos;
}

TEST_F(CaptureTool, EachContainerProbesAsWhatItClaims) {
    struct Case {
        std::string file;
        std::vector<std::string> options;
        std::string format;  // ffprobe's format_name
        std::string video;
        std::string audio;
        std::string signature;  // in the file's first bytes
    };
    const std::vector<Case> cases = {
        {"v.mp4", {}, "mov,mp4,m4a,3gp,3g2,mj2", "h264", "aac", "ftypisom"},
        {"v.mov", {}, "mov,mp4,m4a,3gp,3g2,mj2", "h264", "aac", "ftypqt"},
        {"v.mkv", {}, "matroska,webm", "h264", "flac", "matroska"},
        {"v.webm", {}, "matroska,webm", "vp9", "opus", "webm"},
        {"lossless.mkv", {"--lossless"}, "matroska,webm", "ffv1", "flac", "matroska"},
        {"vp9.mkv", {"--codec", "vp9"}, "matroska,webm", "vp9", "flac", "matroska"},
        {"upper.MP4", {}, "mov,mp4,m4a,3gp,3g2,mj2", "h264", "aac", "ftypisom"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-o", c.file, "--size", "32x18", "--fps", "10", "--to", "0.3"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        video(args);
        EXPECT_EQ(probe(c.file, "format=format_name"), std::vector<std::string>{c.format}) << c.file;
        EXPECT_EQ(probe(c.file, "stream=codec_name"), (std::vector<std::string>{c.video, c.audio})) << c.file;
        EXPECT_TRUE(contains(read_file(dir_ / c.file).substr(0, 64), c.signature)) << c.file;
        // sRGB frames, tagged so that players keep the colours.
        const std::vector<std::string> tags = probe(c.file, "stream=color_primaries,color_transfer,color_space");
        ASSERT_GE(tags.size(), 3u) << c.file;
        EXPECT_EQ(tags[0], c.video == "ffv1" ? "gbr" : "bt709") << c.file;
        EXPECT_EQ(tags[1], "bt709") << c.file;
        EXPECT_EQ(tags[2], "bt709") << c.file;
    }
}

// --crf, --bitrate and --ffmpeg-args reach the encoder and the muxer: x264
// writes its settings into the stream, and the muxer the title asked for.
TEST_F(CaptureTool, EncoderOptionsReachFfmpeg) {
    video({"-o", "crf.mp4", "--size", "32x18", "--fps", "10", "--to", "0.3", "--crf", "30"});
    EXPECT_TRUE(contains(read_file(dir_ / "crf.mp4"), "crf=30.0")) << "x264's settings name the crf";
    video({"-o", "rate.mp4", "--size", "32x18", "--fps", "10", "--to", "0.3", "--bitrate", "500k"});
    EXPECT_TRUE(contains(read_file(dir_ / "rate.mp4"), "bitrate=500 ")) << "x264's settings name the rate";
    video({"-o", "titled.mkv", "--size", "32x18", "--fps", "10", "--to", "0.3", "--ffmpeg-args",
           "-metadata title=\"two words\""});
    EXPECT_EQ(probe("titled.mkv", "format_tags=title"), std::vector<std::string>{"two words"});
}

// Combinations that cannot work are usage errors, found before any frame is
// rendered: no GL is even asked for, and nothing is written.
TEST_F(CaptureTool, RefusesCombinationsThatCannotWork) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"-o", "v.avi"}, ".mp4, .mkv, .mov or .webm"},
        {{"-o", "v"}, "cannot tell the container"},
        {{"-o", "v.mp4", "--lossless"}, "lossless video goes in .mkv"},
        {{"-o", "v.webm", "--lossless"}, "ffv1 cannot go in .webm"},
        {{"-o", "v.mp4", "--codec", "vp9"}, "vp9 cannot go in .mp4"},
        {{"-o", "v.webm", "--codec", "h264"}, "h264 cannot go in .webm"},
        {{"-o", "v.mkv", "--codec", "theora"}, "no codec 'theora'"},
        {{"-o", "v.mkv", "--codec", "vp9", "--lossless"}, "--lossless is FFV1"},
        {{"-o", "v.mp4", "--crf", "20", "--bitrate", "8M"}, "either --crf or --bitrate"},
        {{"-o", "v.mkv", "--lossless", "--crf", "20"}, "lossless"},
        {{"-o", "v.mp4", "--crf", "60"}, "0 to 51"},
        {{"-o", "v.mp4", "--bitrate", "fast"}, "--bitrate"},
        {{"-o", "v.mp4", "--preset", "master"}, "ffv1 cannot go in .mp4"},
        {{"-o", "v.webm", "--preset", "party"}, "h264 cannot go in .webm"},
        {{"-o", "v.mp4", "--preset", "cinema"}, "party"},
        {{"-o", "v.mp4", "--ffmpeg-args", "-metadata \"title"}, "unclosed"},
        {{"-o", "v.mp4", "--size", "33x18"}, "even sides"},
        {{"--png", "frames", "--codec", "h264"}, "are for a video"},
        {{"-o", "v.mp4", "--ssaa", "5"}, "--ssaa"},
        {{"-o", "v.mp4", "--blur", "0"}, "--blur"},
        {{"-o", "v.mp4", "--blur", "4:400"}, "--blur"},
        {{"-o", "v.mp4", "--blur", "4:"}, "--blur"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "video");
        const ToolRun result = run(args, "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent");
        EXPECT_EQ(result.status, 2) << c.message << ": " << result.err;
        EXPECT_TRUE(contains(result.err, c.message)) << result.err;
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_FALSE(entry.path().filename().string().starts_with("v.")) << entry.path();
        EXPECT_FALSE(fs::exists(dir_ / "frames"));
    }
    // FFV1 in RGB has no chroma to halve: odd sides are fine.
    video({"-o", "odd.mkv", "--lossless", "--size", "33x17", "--fps", "10", "--to", "0.2"});
    EXPECT_EQ(probe("odd.mkv", "stream=width,height").at(0), "33");
}

// "-o -" streams Matroska that ffprobe reads from a pipe; the report goes to
// stderr so that standard output holds the video alone.
TEST_F(CaptureTool, StandardOutputStreamsMatroska) {
    const std::string ffprobe = "ffprobe -v error -show_entries stream=codec_name:format=format_name "
                                "-of default=nw=1:nk=1 -";
    ToolRun result = run_piped({"video", "-o", "-", "--size", "32x18", "--fps", "10", "--to", "0.3"}, ffprobe);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "h264\nflac\nmatroska,webm\n");
    EXPECT_TRUE(contains(result.err, "-: 3 frames")) << result.err;
    result = run_piped({"video", "-o", "-", "-q", "--preset", "party", "--size", "32x18", "--to", "0.1"}, ffprobe);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "h264\naac\nmatroska,webm\n");
    // Decoded from the pipe, the stream has every frame.
    result = run_piped({"video", "-o", "-", "-q", "--size", "32x18", "--fps", "20", "--to", "0.5"},
                       "ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames "
                       "-of default=nw=1:nk=1 -");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "10\n");
}

// At N/M frames per second frame i shows row (from + i x M / N) x 20, and the
// file's rate is N/M itself, not a rounding of it.
TEST_F(CaptureTool, FractionalRatesAreExact) {
    video({"-o", "ntsc.mp4", "--size", "32x18", "--fps", "60000/1001", "--to", "0.2"});
    EXPECT_EQ(probe("ntsc.mp4", "stream=r_frame_rate").at(0), "60000/1001");
    EXPECT_EQ(probe("ntsc.mp4", "stream=nb_frames").at(0), "12") << "0.2 s holds i x 1001 / 60000 for i < 12";
    video({"-o", "film.mp4", "--size", "32x18", "--fps", "23.976", "--to", "0.2"});
    EXPECT_EQ(probe("film.mp4", "stream=r_frame_rate").at(0), "2997/125");

    video({"--png", "frames", "--size", "32x18", "--fps", "60000/1001", "--from", "63.9", "--to", "64.0"});
    for (int64_t i = 0; i < 6; ++i) {
        const double seconds = 63.9 + double(i * 1001) / 60000.0;
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06lld.png", (long long)i);
        expect_same(png_read(dir_ / "frames" / name), render_at(WIDTH, HEIGHT, seconds),
                    "ntsc_" + std::to_string(i));
    }
    EXPECT_FALSE(fs::exists(dir_ / "frames" / "frame-000006.png")) << "63.9 + 6 x 1001 / 60000 is past 64.0";
}

// The video lasts as long as its frames, the last cut at the span's end when
// a single frame would outlast it, and the sound as long as the span: the two
// agree within a frame at every rate, and a very slow rate makes no
// hours-long file.
TEST_F(CaptureTool, PictureAndSoundLastAsLongAsEachOther) {
    struct Rate {
        std::string text;
        int64_t n;
        int64_t m;
    };
    constexpr double SPAN = 0.35;
    for (const Rate& rate : std::vector<Rate>{{"0.0001", 1, 10000}, {"1/3", 1, 3}, {"7", 7, 1},
                                               {"60000/1001", 60000, 1001}, {"24", 24, 1}}) {
        video({"-o", "d.mp4", "--size", "16x16", "--fps", rate.text, "--to", "0.35"});
        const double interval = double(rate.m) / double(rate.n);
        int64_t frames = 0;
        while (double(frames * rate.m) / double(rate.n) < SPAN) ++frames;
        const double expected = frames == 1 && interval > SPAN ? SPAN : double(frames) * interval;
        const std::vector<std::string> durations = probe("d.mp4", "stream=duration:format=duration");
        ASSERT_EQ(durations.size(), 3u) << rate.text;
        EXPECT_NEAR(number(durations[0]), expected, 0.002) << "the picture at " << rate.text;
        EXPECT_NEAR(number(durations[1]), SPAN, 0.03) << "the sound at " << rate.text;
        EXPECT_LE(std::abs(number(durations[0]) - number(durations[1])), std::min(interval, 1.0))
            << "at " << rate.text;
        EXPECT_LT(number(durations[2]), SPAN + std::min(interval, 1.0)) << "the file at " << rate.text;
    }
}

// Every preset's settings, read back from its file: codec, profile, pixel
// format, rates, sound and colour tags, and for the master frames that decode
// to the rendered bytes.
TEST_F(CaptureTool, PresetsWriteWhatTheyPromise) {
    const std::vector<std::string> small = {"--size", "64x36", "--to", "0.5", "--shader", "landscape=flat.glsl"};
    const auto with = [&small](std::vector<std::string> args) {
        args.insert(args.end(), small.begin(), small.end());
        return args;
    };
    struct H264Preset {
        std::string name;
        std::vector<std::string> settings;  // in x264's settings string
        std::string audio_rate_floor;
    };
    for (const H264Preset& preset : std::vector<H264Preset>{
             {"party", {"bitrate=12000 ", "vbv_maxrate=12000 ", "nal_hrd=cbr"}, "128000"},
             {"web-1080p60", {"bitrate=12000 ", "vbv_maxrate=18000 ", "keyint=30 ", "bframes=2 "}, "192000"},
             {"web-2160p60", {"bitrate=60000 ", "vbv_maxrate=85000 ", "keyint=30 ", "bframes=2 "}, "192000"},
         }) {
        const std::string file = preset.name + ".mp4";
        video(with({"-o", file, "--preset", preset.name}));
        EXPECT_EQ(probe(file, "stream=codec_name,profile,pix_fmt,sample_rate,channels"),
                  (std::vector<std::string>{"h264", "High", "yuv420p", "aac", "LC", "48000", "2"}))
            << preset.name;
        EXPECT_EQ(probe(file, "stream=color_primaries,color_transfer,color_space").at(0), "bt709") << preset.name;
        EXPECT_EQ(probe(file, "stream=r_frame_rate").at(0), "60/1") << preset.name;
        const std::string bytes = read_file(dir_ / file);
        for (const std::string& setting : preset.settings)
            EXPECT_TRUE(contains(bytes, setting)) << preset.name << ": " << setting;
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << preset.name << ": the index comes first (faststart)";
        const std::vector<std::string> rates = probe(file, "stream=bit_rate");
        ASSERT_EQ(rates.size(), 2u);
        EXPECT_GE(number(rates[1]), number(preset.audio_rate_floor)) << preset.name << "'s sound";
        // The party's rate is held up by filler even for a flat picture.
        if (preset.name == "party") {
            EXPECT_GE(number(rates[0]), 8e6) << "the party's video rate";
        }
    }

    video(with({"-o", "master.mkv", "--preset", "master"}));
    EXPECT_EQ(probe("master.mkv", "stream=codec_name"), (std::vector<std::string>{"ffv1", "flac"}));
    EXPECT_EQ(probe("master.mkv", "stream=color_primaries,color_transfer,color_space"),
              (std::vector<std::string>{"gbr", "bt709", "bt709"}));
    // Lossless: the decoded frames are the rendered ones, byte for byte.
    video({"--png", "frames", "--size", "64x36", "--to", "0.1", "--fps", "60"});
    video({"-o", "lossless.mkv", "--preset", "master", "--size", "64x36", "--to", "0.1"});
    ASSERT_EQ(shell("ffmpeg -v error -i lossless.mkv -map 0:v -f image2 -pix_fmt rgba decoded-%d.png"), 0);
    for (int i = 0; i < 6; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", i);
        expect_same(png_read(dir_ / ("decoded-" + std::to_string(i + 1) + ".png")), png_read(dir_ / "frames" / name),
                    "master_" + std::to_string(i));
    }

    // Without --size a preset has its own.
    video({"-o", "full.mp4", "--preset", "web-2160p60", "--to", "0.01", "--shader", "landscape=flat.glsl"});
    EXPECT_EQ(probe("full.mp4", "stream=width,height"), (std::vector<std::string>{"3840", "2160"}));
}

// --ssaa N renders at N times the size (the scenes' k) and takes the rounded
// mean of each N x N block: the same as the test's own downscale of the
// library's large frame, exactly.
TEST_F(CaptureTool, SupersamplingIsTheRoundedMeanOfEachBlock) {
    for (const int32_t factor : {2, 3}) {
        for (const Scene scene : {Scene::landscape, Scene::title}) {
            const bool title = scene == Scene::title;
            const std::string name = std::string(title ? "title" : "landscape") + "_ssaa" + std::to_string(factor);
            // Moments with edges for the supersampling to soften.
            const FrameValues values{title ? 20.5f : 1.3f, 0.75f};
            const ToolRun result = run({"frame", "--y", title ? "20.5" : "1.3", "--rot", "0.75", "--scene",
                                        title ? "title" : "landscape", "--size", "24x14", "--ssaa",
                                        std::to_string(factor), "-o", name + ".png"});
            ASSERT_EQ(result.status, 0) << result.err;
            const Raster large = render(24 * factor, 14 * factor, scene, values);
            const Raster got = png_read(dir_ / (name + ".png"));
            expect_same(got, mean_of({large}, factor), name);
            EXPECT_GT(rgb_differences(got, render(24, 14, scene, values), 0), 0) << name << ": the same as rendering small";
        }
    }
    video({"--png", "frames", "--size", "24x14", "--ssaa", "2", "--from", "0.5", "--to", "0.55", "--fps", "20"});
    expect_same(png_read(dir_ / "frames" / "frame-000000.png"), mean_of({render_at(48, 28, 0.5)}, 2), "video_ssaa");
}

// --blur 1 is the plain frame byte for byte, in PNG frames and in a video;
// more subframes are the rounded mean of renders spread evenly over the
// shutter, centred on the frame's moment.
TEST_F(CaptureTool, BlurAveragesTheShutterAndOneSubframeIsPlain) {
    const std::vector<std::string> span = {"--size", "32x18", "--from", "0.5", "--to", "0.7", "--fps", "10"};
    const auto with = [&span](std::vector<std::string> args) {
        args.insert(args.end(), span.begin(), span.end());
        return args;
    };
    video(with({"--png", "plain"}));
    video(with({"--png", "one", "--blur", "1"}));
    for (const char* frame : {"frame-000000.png", "frame-000001.png"})
        EXPECT_EQ(read_file(dir_ / "one" / frame), read_file(dir_ / "plain" / frame)) << frame;
    video(with({"-o", "plain.mp4"}));
    video(with({"-o", "one.mp4", "--blur", "1:90"}));
    EXPECT_TRUE(read_file(dir_ / "plain.mp4") == read_file(dir_ / "one.mp4")) << "--blur 1 changed the video";

    struct Blur {
        std::string option;
        int subframes;
        double degrees;
    };
    for (const Blur& blur : std::vector<Blur>{{"4:360", 4, 360.0}, {"2", 2, 180.0}}) {
        const std::string folder = "blur" + std::to_string(blur.subframes);
        video(with({"--png", folder, "--blur", blur.option}));
        for (int frame = 0; frame < 2; ++frame) {
            // Open for degrees / 360 of the 0.1 s interval, centred on the frame.
            const double seconds = 0.5 + double(frame) / 10.0;
            const double open = blur.degrees / 360.0 * 1.0 / 10.0;
            std::vector<Raster> renders;
            for (int j = 0; j < blur.subframes; ++j)
                renders.push_back(render_at(WIDTH, HEIGHT, seconds + open * ((j + 0.5) / blur.subframes - 0.5)));
            char name[32];
            std::snprintf(name, sizeof name, "frame-%06d.png", frame);
            const Raster got = png_read(dir_ / folder / name);
            expect_same(got, mean_of(renders, 1), folder + "_" + std::to_string(frame));
            EXPECT_GT(rgb_differences(got, png_read(dir_ / "plain" / name), 0), 0) << folder << ": no blur";
        }
    }
}

}  // namespace
