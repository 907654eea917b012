// zirbelon-render video: the presentation as a video with its music, or as
// numbered PNG frames. Frame i shows the music position from + i / fps, and
// the row that position gives, exactly as the presentation would.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "presentation/presentation.h"
#include "tools/common/tune.h"
#include "tools/render/commands.h"
#include "tools/render/encoder.h"
#include "tools/render/interrupt.h"
#include "tools/render/options.h"
#include "tools/render/png.h"
#include "tools/render/progress.h"
#include "tools/render/render.h"
#include "tools/render/timeline.h"

namespace {

constexpr std::string_view COMMAND = "video";
constexpr double FPS_MAX = 1000.0;
constexpr double SECONDS_MAX = 86400.0;  // a day: far past any tune, and a count that fits

struct VideoOptions {
    std::string output;
    std::string png_folder;
    double fps = 60.0;
    double from = 0.0;
    double to = 0.0;
    bool has_to = false;
    bool quiet = false;
    CommonOptions common;
};

CliCommand video_command(VideoOptions& video) {
    CliCommand command{
        .tool = RENDER_TOOL,
        .name = COMMAND,
        .usage = {"-o OUT.mp4 [--fps F] [--from S] [--to S] [--size WxH] [--dir DIR]",
                  "--png FOLDER [--fps F] [--from S] [--to S] [--size WxH] [--dir DIR]"},
        .description = "Renders the presentation with no display, as an MP4 video (H.264 and the\n"
                       "tune as AAC, encoded by ffmpeg) or as numbered PNG frames. Frame i shows\n"
                       "the music position FROM + i / FPS seconds, and so row (FROM + i / FPS) x 20,\n"
                       "as the presentation does; the tune is cut to the same span, so sound and\n"
                       "picture meet to the frame. The same command gives the same bytes.\n"
                       "A progress line goes to stderr. Interrupted (Ctrl-C, a closed terminal) or\n"
                       "failed, a run leaves no video behind; a temporary file a killed run left\n"
                       "is removed by the next run.\n",
        .options =
            {
                {"-o, --output", "OUT", "the MP4 to write; it appears only once it is complete",
                 cli_take_string(video.output)},
                {"--png", "FOLDER", "write FOLDER/frame-000000.png and on instead of a video",
                 cli_take_string(video.png_folder)},
                {"--fps", "F", "frames per second: N, N.N or N/M (default 60)",
                 [&video](std::string_view text, std::string& error) {
                     CliRate rate;
                     if (!cli_rate(text, rate) || rate.value() > FPS_MAX) {
                         error = "needs a number of frames per second above 0 and at most 1000, not '" +
                                 std::string(text) + "'";
                         return false;
                     }
                     video.fps = rate.value();
                     return true;
                 }},
                {"--from", "S", "the music position of the first frame (S.s or M:SS.s;\ndefault 0)",
                 cli_take_time(video.from, 0.0, SECONDS_MAX, "a music position from 0 to 86400 seconds")},
                {"--to", "S",
                 "the end of the span, not included (default: the end of the\ntune); past the tune's end the "
                 "picture goes on and the\nsound has ended",
                 [&video](std::string_view text, std::string& error) {
                     video.has_to = true;
                     return cli_take_time(video.to, 0.0, SECONDS_MAX,
                                          "a music position from 0 to 86400 seconds")(text, error);
                 }},
                cli_quiet_option(video.quiet),
            },
        .operand = nullptr,
    };
    common_options_add(command.options, video.common, "--size",
                       "the frames' size, which the scenes also receive as k\n(default 1920x1080; even sides for a "
                       "video)");
    return command;
}

std::string frame_name(int64_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", (long long)frame);
    return name;
}

// Exit status of a run ended by a signal, as a shell reports it.
int interrupted_status(int signal_number) {
    std::fprintf(stderr, "%.*s %.*s: interrupted\n", int(RENDER_TOOL.size()), RENDER_TOOL.data(),
                 int(COMMAND.size()), COMMAND.data());
    return cli_signal_status(signal_number);
}

}  // namespace

int command_video(std::span<const std::string_view> args) {
    VideoOptions video;
    const CliCommand command = video_command(video);
    if (const auto done = cli_parse(command, args)) return *done;
    const CommonOptions& common = video.common;
    if (video.output.empty() == video.png_folder.empty())
        return cli_usage_error(command, "say where the frames go: -o OUT.mp4 or --png FOLDER");
    if (video.has_to && !(video.to > video.from)) return cli_usage_error(command, "--to must come after --from");
    if (!video.output.empty() && (common.width % 2 || common.height % 2))
        return cli_usage_error(command, "a video needs even sides (H.264 in yuv420p), not " +
                                            std::to_string(common.width) + "x" + std::to_string(common.height));
    const bool to_png = !video.png_folder.empty();
    const std::filesystem::path dir = common.dir;
    std::string error;

    Output target;
    if (!to_png) {
        if (!output_prepare(video.output, target, error)) return cli_failure(command, error);
        if (target.kind != OutputKind::replaced)
            return cli_failure(command, "cannot write " + video.output + ": a video is written to a file");
    }
    SyncTracks tracks;
    if (!sync_tracks_load(dir, tracks, error)) return cli_failure(command, error);

    // The tune gives the default span and the sound of a video; PNG frames of
    // a given span need neither.
    const std::string tune = (dir / TUNE_FILE).string();
    double tune_seconds = 0.0;
    if ((!to_png || !video.has_to) && !tune_length(tune, tune_seconds, error)) return cli_failure(command, error);
    if (!video.has_to) video.to = tune_seconds;
    if ((!to_png || !video.has_to) && video.from >= tune_seconds)
        return cli_failure(command, "--from " + timeline_label(video.from) + " is at or past the end of the tune (" +
                                        timeline_label(tune_seconds) + ")");
    std::string ffmpeg;
    if (!to_png && !encoder_find(ffmpeg, error)) return cli_failure(command, error);

    const int64_t frames = timeline_frame_count(video.from, video.to, video.fps);
    RendererPtr renderer = renderer_create_from_options(common, error);
    if (!renderer) return cli_failure(command, error);

    const InterruptGuard interrupt_guard;
    EncoderPtr encoder;
    if (to_png) {
        std::error_code made;
        std::filesystem::create_directories(video.png_folder, made);
        if (made) return cli_failure(command, "cannot make the folder " + video.png_folder + ": " + made.message());
    } else {
        std::vector<std::string> stale;
        output_stale_remove(target, ENCODER_TEMPORARY_SUFFIX, stale);
        for (const std::string& name : stale) cli_note(command, "removed " + name + ", left by a run that was killed");
        const VideoEncoding encoding{target, common.width, common.height, video.fps,
                                     tune,   video.from,   video.to - video.from};
        encoder = encoder_start(ffmpeg, encoding, error);
        if (!encoder) return cli_failure(command, error);
    }

    Progress progress = progress_start("frames", frames, video.quiet);
    for (int64_t frame = 0; frame < frames; ++frame) {
        if (const int signal_number = interrupt_signal()) {
            progress_finish(progress, frame);
            return interrupted_status(signal_number);
        }
        const RowFrame shown = row_frame(tracks.camera, row_from_seconds(timeline_seconds(video.from, video.fps, frame)));
        const Raster image = renderer_frame(*renderer, shown.scene, shown.values);
        const bool written =
            to_png ? png_write((std::filesystem::path(video.png_folder) / frame_name(frame)).string(), image, error)
                   : encoder_write(*encoder, image.rgba, error);
        if (!written) {
            progress_finish(progress, frame);
            if (const int signal_number = interrupt_signal()) return interrupted_status(signal_number);
            return cli_failure(command, error);
        }
        progress_update(progress, frame + 1);
    }
    if (encoder && !encoder_finish(std::move(encoder), error)) {
        progress_finish(progress, frames);
        if (const int signal_number = interrupt_signal()) return interrupted_status(signal_number);
        return cli_failure(command, error);
    }
    progress_finish(progress, frames);

    const double seconds = progress_seconds(progress);
    std::printf("%s: %lld frames at %g fps, %s to %s, %dx%d, in %.1f s (%.1f frames/s)\n",
                to_png ? video.png_folder.c_str() : video.output.c_str(), (long long)frames, video.fps,
                timeline_label(video.from).c_str(), timeline_label(video.to).c_str(), common.width, common.height,
                seconds, seconds > 0.0 ? double(frames) / seconds : 0.0);
    return CLI_OK;
}
