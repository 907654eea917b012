// zirbelon-render bench: how long frames take. Each scene is timed on a fixed
// set of the presentation's own frames (median of 5 after a warm-up), then a
// sampled run of the whole presentation gives the mean a viewer would see.
// Times include reading the frame back, as a swap waits for it too.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "presentation/presentation.h"
#include "tools/common/tune.h"
#include "tools/render/commands.h"
#include "tools/render/encoder.h"
#include "tools/render/formats.h"
#include "tools/render/interrupt.h"
#include "tools/render/job.h"
#include "tools/render/options.h"
#include "tools/render/progress.h"
#include "tools/render/render.h"
#include "tools/render/timeline.h"
#include "tracks/track_text.h"

namespace {

constexpr std::string_view COMMAND = "bench";
constexpr int RUNS = 5;
constexpr double SAMPLE_EVERY = 2.0;  // seconds of the tune between frames of the sampled run
constexpr CliRate SAMPLE_RATE{1, 2};  // the same, as a rate

// The fixed frames, as music positions: the landscape spread over the tune
// (clear of the title), the title across its span in quarters, ends included.
constexpr double LANDSCAPE_SECONDS[] = {4.0, 20.0, 36.0, 52.0, 80.0};
constexpr double TITLE_FIRST_SECOND = TITLE_FIRST_ROW / ROWS_PER_SECOND;
constexpr double TITLE_QUARTER = (TITLE_LAST_ROW - TITLE_FIRST_ROW) / ROWS_PER_SECOND / 4.0;
constexpr double TITLE_SECONDS[] = {TITLE_FIRST_SECOND, TITLE_FIRST_SECOND + TITLE_QUARTER,
                                    TITLE_FIRST_SECOND + 2.0 * TITLE_QUARTER,
                                    TITLE_FIRST_SECOND + 3.0 * TITLE_QUARTER,
                                    TITLE_FIRST_SECOND + 4.0 * TITLE_QUARTER};

// Milliseconds to render the row's frame and read it back.
double frame_ms(Renderer& renderer, const RowFrame& shown) {
    const auto start = std::chrono::steady_clock::now();
    const Raster image = renderer_frame(renderer, shown.scene, shown.values);
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Renders the frames of the sampled run take for each text, one text after
// the other frame by frame, so that both see the machine alike.
constexpr int SIDE_BY_SIDE_RUNS = 3;

double median_of(Renderer& renderer, const RowFrame& shown, int runs) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) times.push_back(frame_ms(renderer, shown));
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

// Times the scene's fixed frames, prints a line for each and their mean.
void bench_scene(Renderer& renderer, const SyncTracks& tracks, std::span<const double> seconds) {
    double sum = 0.0;
    std::string name;
    for (const double second : seconds) {
        const RowFrame shown = row_frame(tracks.camera, row_from_seconds(second));
        frame_ms(renderer, shown);  // warm-up
        const double ms = median_of(renderer, shown, RUNS);
        std::printf("  %-9s %s  row %6.1f  y %8.3f  rot %8.3f  %9.2f ms\n", scene_name(shown.scene),
                    timeline_label(second).c_str(), row_from_seconds(second), double(shown.values.y),
                    double(shown.values.rot), ms);
        std::fflush(stdout);
        sum += ms;
        name = scene_name(shown.scene);
    }
    std::printf("  %-9s mean %.2f ms per frame (%.2f frames/s)\n\n", name.c_str(), sum / double(seconds.size()),
                1000.0 * double(seconds.size()) / sum);
}

struct Capture {
    bool encode = false;  // time the video command's loop instead of single frames
    double from = 0.0;
    double to = 10.0;
    CliRate fps{60, 1};
    const VideoPreset* preset = nullptr;
    bool given = false;  // a span, rate or preset was asked for
    bool from_given = false;  // for --against, which also takes a span
    bool to_given = false;
};

// Marks the capture as asked for, then takes the option's value.
CliTake for_capture(Capture& capture, CliTake take) {
    return [&capture, take](std::string_view text, std::string& error) {
        capture.given = true;
        return take(text, error);
    };
}

// Marks the span's end as asked for, then takes the option's value.
CliTake for_span(bool& given, CliTake take) {
    return [&given, take](std::string_view text, std::string& error) {
        given = true;
        return take(text, error);
    };
}

// Renders the span's frames as the video command does, handing each to the
// encoder when there is one; the seconds taken, or a negative number with
// error.
double span_seconds(Renderer& renderer, const SyncTracks& tracks, const Capture& capture, int64_t frames,
                    Encoder* encoder, std::string& error) {
    const auto start = std::chrono::steady_clock::now();
    FramePipeline pipeline = frame_pipeline_start(renderer);
    // Frame N + 1 is submitted before frame N is taken, as in the video command.
    for (int64_t frame = 0; frame <= frames; ++frame) {
        const RowFrame shown =
            row_frame(tracks.camera, row_from_seconds(timeline_seconds(capture.from, capture.fps, frame)));
        if (frame < frames && !frame_pipeline_submit(pipeline, shown.scene, shown.values)) {
            error = "the GL gave no pixels";
            return -1.0;
        }
        if (frame == 0) continue;
        Raster image = frame_pipeline_take(pipeline);
        if (encoder && !encoder_write(*encoder, std::move(image.rgba), error)) return -1.0;
        if (interrupt_signal()) {
            error = "interrupted";
            return -1.0;
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Frames per second over the span without and with encoding, and what the
// encoding costs the run.
int bench_capture(const CliCommand& command, const CommonOptions& bench, const Capture& capture,
                  Renderer& renderer, const SyncTracks& tracks) {
    std::string error, ffmpeg;
    if (!encoder_find(ffmpeg, error)) return cli_failure(command, error);
    FormatChoices choices;
    choices.preset = capture.preset;
    const std::string file =
        (std::filesystem::temp_directory_path() / ("zirbelon-bench-" + std::to_string(getpid()) + ".mp4")).string();
    VideoFormat format;
    Output target;
    if (!video_format_resolve(file, choices, format, error) || !output_prepare(file, target, error))
        return cli_failure(command, error);
    const int64_t frames = timeline_frame_count(capture.from, capture.to, capture.fps);
    const InterruptGuard interrupt_guard;
    const double rendered = span_seconds(renderer, tracks, capture, frames, nullptr, error);
    if (rendered < 0.0) return cli_failure(command, error);
    const std::string tune = (std::filesystem::path(bench.dir) / TUNE_FILE).string();
    const VideoEncoding encoding{target,      format, {},   bench.width,  bench.height,
                                 capture.fps, frames, tune, capture.from, capture.to - capture.from};
    EncoderPtr encoder = encoder_start(ffmpeg, encoding, error);
    if (!encoder) return cli_failure(command, error);
    const auto start = std::chrono::steady_clock::now();
    const double looped = span_seconds(renderer, tracks, capture, frames, encoder.get(), error);
    if (looped < 0.0 || !encoder_finish(std::move(encoder), error)) return cli_failure(command, error);
    const double encoded = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    // A job's render writes lossless chunks and leaves the video's encoding
    // to the end: what the encoder costs the rendering then.
    const std::string chunk_file = file.substr(0, file.size() - 4) + ".mkv";
    Output chunk_target;
    if (!output_prepare(chunk_file, chunk_target, error)) return cli_failure(command, error);
    EncoderPtr chunk_encoder =
        encoder_start(ffmpeg, job_chunk_encoding(chunk_target, bench.width, bench.height, capture.fps, frames), error);
    if (!chunk_encoder) return cli_failure(command, error);
    const auto chunk_start = std::chrono::steady_clock::now();
    if (span_seconds(renderer, tracks, capture, frames, chunk_encoder.get(), error) < 0.0 ||
        !encoder_finish(std::move(chunk_encoder), error))
        return cli_failure(command, error);
    const double chunked = std::chrono::duration<double>(std::chrono::steady_clock::now() - chunk_start).count();
    std::filesystem::remove(chunk_file, ignored);
    std::printf("zirbelon-render bench --encode at %dx%d, %s fps, %s to %s (%lld frames), %s:\n", bench.width,
                bench.height, timeline_rate_label(capture.fps).c_str(), timeline_label(capture.from).c_str(),
                timeline_label(capture.to).c_str(), (long long)frames,
                capture.preset ? std::string(capture.preset->name).c_str() : "the .mp4 default");
    std::printf("  rendering only:      %.2f frames/s (%.1f s)\n", double(frames) / rendered, rendered);
    std::printf("  rendering, encoding: %.2f frames/s (%.1f s)\n", double(frames) / encoded, encoded);
    std::printf("  the encoder's overhead: %.1f%%\n", 100.0 * (encoded - rendered) / rendered);
    std::printf("  rendering into a job's lossless chunks: %.2f frames/s (%.1f s), an overhead of %.1f%%\n",
                double(frames) / chunked, chunked, 100.0 * (chunked - rendered) / rendered);
    return CLI_OK;
}

struct Slowest {
    double ms = 0.0;
    double second = 0.0;
};

void slowest_update(Slowest& slowest, double ms, double second) {
    if (ms > slowest.ms) slowest = {ms, second};
}

// The whole presentation's sampled frames with both renderers, a line for
// each frame and the means, the slowest frames and the ratio.
void bench_side_by_side(Renderer& renderer, Renderer& other, const SyncTracks& tracks, double from, double to,
                        const std::string& other_name) {
    const int64_t samples = timeline_frame_count(from, to, SAMPLE_RATE);
    std::printf("  side by side, median of %d renders each: these texts (A) and %s (B)\n", SIDE_BY_SIDE_RUNS,
                other_name.c_str());
    std::printf("  %-6s %-9s %8s %9s %10s %10s %7s\n", "time", "scene", "y", "rot", "A ms", "B ms", "B/A");
    std::fflush(stdout);
    // Each frame's line shows the progress.
    double sum = 0.0, other_sum = 0.0;
    Slowest slowest, other_slowest;
    for (int64_t frame = 0; frame < samples; ++frame) {
        const double second = timeline_seconds(from, SAMPLE_RATE, frame);
        const RowFrame shown = row_frame(tracks.camera, row_from_seconds(second));
        const double ms = median_of(renderer, shown, SIDE_BY_SIDE_RUNS);
        const double other_ms = median_of(other, shown, SIDE_BY_SIDE_RUNS);
        sum += ms;
        other_sum += other_ms;
        slowest_update(slowest, ms, second);
        slowest_update(other_slowest, other_ms, second);
        std::printf("  %-6s %-9s %8.3f %9.3f %10.2f %10.2f %6.2fx\n", timeline_label(second).c_str(),
                    scene_name(shown.scene), double(shown.values.y), double(shown.values.rot), ms, other_ms,
                    other_ms / ms);
        std::fflush(stdout);
    }
    const double mean = sum / double(samples), other_mean = other_sum / double(samples);
    std::printf("  %s to %s, %lld frames: A mean %.2f ms, slowest %.2f ms at %s; B mean %.2f ms, "
                "slowest %.2f ms at %s; B/A %.2fx\n",
                timeline_label(from).c_str(), timeline_label(to).c_str(), (long long)samples, mean, slowest.ms,
                timeline_label(slowest.second).c_str(), other_mean,
                other_slowest.ms, timeline_label(other_slowest.second).c_str(), other_mean / mean);
}

}  // namespace

int command_bench(std::span<const std::string_view> args) {
    CommonOptions bench;
    Capture capture;
    bool quiet = false;
    ShaderFiles against;
    CliCommand command{
        .tool = RENDER_TOOL,
        .name = COMMAND,
        .usage = {"[--size WxH] [--dir DIR] [--against SCENE=FILE]", "--encode [--from S] [--to S] [--fps F] [--preset NAME] [--size WxH]"},
        .description = "Times frames with no display. For each scene, the median of 5 renders\n"
                       "(after one to warm up) of each of five fixed frames of the presentation:\n"
                       "the landscape at 0:04, 0:20, 0:36, 0:52 and 1:20, the title at the start,\n"
                       "the quarters and the end of its span. Then the mean over the whole\n"
                       "presentation, one frame every 2 s of the tune. Times include reading the\n"
                       "frame back. With --against, the whole presentation is timed frame by\n"
                       "frame with the texts and, side by side, with FILE in the scene's place.\n"
                       "With --encode, frames per second of a span rendered as the video command\n"
                       "renders it, first alone, then encoded, then into a job's lossless chunks,\n"
                       "and what the encoders cost.\n",
        .options = {cli_quiet_option(quiet),
                    {"--against", "SCENE=FILE",
                     "also time every frame of the whole presentation with the\nscene's text from FILE, side by "
                     "side",
                     cli_take_shader(against)},
                    {"--encode", "", "time a span rendered and encoded", cli_take_flag(capture.encode)},
                    {"--from", "S", "the span's start with --encode (default 0) or --against",
                     for_span(capture.from_given, cli_take_time(capture.from, 0.0, 86400.0,
                                                     "a music position from 0 to 86400 seconds"))},
                    {"--to", "S", "the span's end with --encode (default 10) or --against\n(default: the tune's end)",
                     for_span(capture.to_given, cli_take_time(capture.to, 0.0, 86400.0,
                                                     "a music position from 0 to 86400 seconds"))},
                    {"--fps", "F", "frames per second with --encode (default 60)",
                     for_capture(capture, [&capture](std::string_view text, std::string& error) {
                         if (cli_rate(text, capture.fps) && capture.fps.value() <= 1000.0) return true;
                         error = "needs a rate above 0 and at most 1000, not " + text_quote(text);
                         return false;
                     })},
                    {"--preset", "NAME", "encode as the preset does, at its size unless --size",
                     for_capture(capture, [&capture](std::string_view text, std::string& error) {
                         capture.preset = video_preset_find(text);
                         if (capture.preset) return true;
                         error = "names no preset: " + text_quote(text);
                         return false;
                     })}},
        .operand = nullptr,
    };
    common_options_add(command.options, bench, "--size", "the frames' size (default 1920x1080)");
    if (const auto done = cli_parse(command, args)) return *done;
    const bool side_by_side = !against.landscape.empty() || !against.title.empty();
    if (side_by_side && capture.encode) return cli_usage_error(command, "--against times frames, not --encode");
    if (!capture.encode && capture.given)
        return cli_usage_error(command, "--fps and --preset time a span: add --encode");
    if (!capture.encode && !side_by_side && (capture.from_given || capture.to_given))
        return cli_usage_error(command, "--from and --to time a span: add --encode or --against");
    if (capture.encode && !(capture.to > capture.from))
        return cli_usage_error(command, "--to must come after --from");
    if (capture.preset && !bench.has_size) {
        bench.width = capture.preset->width;
        bench.height = capture.preset->height;
    }
    std::string error;
    const std::filesystem::path dir = bench.dir;
    SyncTracks tracks;
    if (!sync_tracks_load(dir, tracks, error)) return cli_failure(command, error);
    double length = 0.0;
    if (!tune_length(dir / TUNE_FILE, length, error)) return cli_failure(command, error);
    RendererPtr renderer = renderer_create_from_options(bench, error);
    if (!renderer) return cli_failure(command, error);
    if (capture.encode) return bench_capture(command, bench, capture, *renderer, tracks);
    RendererPtr other;
    if (side_by_side) {
        ShaderFiles files = bench.shaders;
        if (!against.landscape.empty()) files.landscape = against.landscape;
        if (!against.title.empty()) files.title = against.title;
        other = renderer_create_from_files(bench.width, bench.height, files, error);
        if (!other) return cli_failure(command, error);
    }

    std::printf("zirbelon-render bench at %dx%d: median of %d renders after a warm-up\n", bench.width,
                bench.height, RUNS);
    // Each fixed frame's line shows the progress; the sampled run has a bar.
    bench_scene(*renderer, tracks, LANDSCAPE_SECONDS);
    bench_scene(*renderer, tracks, TITLE_SECONDS);

    if (other) {
        const double to = capture.to_given ? std::min(capture.to, length) : length;
        const double from = capture.from;
        if (!(to > from)) return cli_usage_error(command, "--to must come after --from, within the tune");
        bench_side_by_side(*renderer, *other, tracks, from, to,
                           against.landscape.empty() ? against.title : against.landscape);
        return CLI_OK;
    }
    const int64_t samples = timeline_frame_count(0.0, length, SAMPLE_RATE);
    Progress progress = progress_start("frames", samples, quiet);

    double sum = 0.0, slowest = 0.0, slowest_at = 0.0;
    for (int64_t frame = 0; frame < samples; ++frame) {
        const double second = timeline_seconds(0.0, SAMPLE_RATE, frame);
        const double ms = frame_ms(*renderer, row_frame(tracks.camera, row_from_seconds(second)));
        sum += ms;
        if (ms > slowest) {
            slowest = ms;
            slowest_at = second;
        }
        progress_update(progress, frame + 1);
    }
    progress_finish(progress, samples);
    const double mean = sum / double(samples);
    std::printf("  whole presentation: %lld frames, one every %g s of %s: mean %.2f ms per frame "
                "(%.2f frames/s), slowest %.2f ms at %s\n",
                (long long)samples, SAMPLE_EVERY, timeline_label(length).c_str(), mean, 1000.0 / mean, slowest,
                timeline_label(slowest_at).c_str());
    return 0;
}
