// zirbelon-render bench: how long frames take. Each scene is timed on a fixed
// set of the presentation's own frames (median of 5 after a warm-up), then a
// sampled run of the whole presentation gives the mean a viewer would see.
// Times include reading the frame back, as a swap waits for it too.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "presentation/presentation.h"
#include "tools/common/tune.h"
#include "tools/render/commands.h"
#include "tools/render/options.h"
#include "tools/render/progress.h"
#include "tools/render/render.h"
#include "tools/render/timeline.h"

namespace {

constexpr std::string_view COMMAND = "bench";
constexpr int RUNS = 5;
constexpr double SAMPLE_EVERY = 2.0;  // seconds of the tune between frames of the sampled run

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

double median_ms(Renderer& renderer, const RowFrame& shown) {
    frame_ms(renderer, shown);  // warm-up
    std::vector<double> times;
    for (int run = 0; run < RUNS; ++run) times.push_back(frame_ms(renderer, shown));
    std::nth_element(times.begin(), times.begin() + RUNS / 2, times.end());
    return times[RUNS / 2];
}

const char* scene_name(Scene scene) {
    return scene == Scene::title ? "title" : scene == Scene::landscape ? "landscape" : "nothing";
}

// Times the scene's fixed frames, prints a line for each and their mean.
void bench_scene(Renderer& renderer, const SyncTracks& tracks, std::span<const double> seconds) {
    double sum = 0.0;
    std::string name;
    for (const double second : seconds) {
        const RowFrame shown = row_frame(tracks.camera, row_from_seconds(second));
        const double ms = median_ms(renderer, shown);
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

}  // namespace

int command_bench(std::span<const std::string_view> args) {
    CommonOptions bench;
    bool quiet = false;
    CliCommand command{
        .tool = RENDER_TOOL,
        .name = COMMAND,
        .usage = {"[--size WxH] [--dir DIR]"},
        .description = "Times frames with no display. For each scene, the median of 5 renders\n"
                       "(after one to warm up) of each of five fixed frames of the presentation:\n"
                       "the landscape at 0:04, 0:20, 0:36, 0:52 and 1:20, the title at the start,\n"
                       "the quarters and the end of its span. Then the mean over the whole\n"
                       "presentation, one frame every 2 s of the tune. Times include reading the\n"
                       "frame back.\n",
        .options = {cli_quiet_option(quiet)},
        .operand = nullptr,
    };
    common_options_add(command.options, bench, "--size", "the frames' size (default 1920x1080)");
    if (const auto done = cli_parse(command, args)) return *done;
    std::string error;
    const std::filesystem::path dir = bench.dir;
    SyncTracks tracks;
    if (!sync_tracks_load(dir, tracks, error)) return cli_failure(command, error);
    double length = 0.0;
    if (!tune_length(dir / TUNE_FILE, length, error)) return cli_failure(command, error);
    RendererPtr renderer = renderer_create_from_options(bench, error);
    if (!renderer) return cli_failure(command, error);

    std::printf("zirbelon-render bench at %dx%d: median of %d renders after a warm-up\n", bench.width,
                bench.height, RUNS);
    // Each fixed frame's line shows the progress; the sampled run has a bar.
    bench_scene(*renderer, tracks, LANDSCAPE_SECONDS);
    bench_scene(*renderer, tracks, TITLE_SECONDS);

    const int64_t samples = timeline_frame_count(0.0, length, 1.0 / SAMPLE_EVERY);
    Progress progress = progress_start("frames", samples, quiet);

    double sum = 0.0, slowest = 0.0, slowest_at = 0.0;
    for (int64_t frame = 0; frame < samples; ++frame) {
        const double second = timeline_seconds(0.0, 1.0 / SAMPLE_EVERY, frame);
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
