// zirbelon-render video: the presentation as a video with its music, or as
// numbered PNG frames. Frame i shows the music position from + i / fps, and
// the row that position gives, exactly as the presentation would.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

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

constexpr const char* HELP =
    "Usage: zirbelon-render video -o OUT.mp4 [--fps F] [--from S] [--to S] [--size WxH] [--dir DIR]\n"
    "       zirbelon-render video --png FOLDER [--fps F] [--from S] [--to S] [--size WxH] [--dir DIR]\n"
    "\n"
    "Renders the presentation with no display, as an MP4 video (H.264 and the\n"
    "tune as AAC, encoded by ffmpeg) or as numbered PNG frames. Frame i shows\n"
    "the music position FROM + i / FPS seconds, and so row (FROM + i / FPS) x 20,\n"
    "as the presentation does; the tune is cut to the same span, so sound and\n"
    "picture meet to the frame. The same command gives the same bytes.\n"
    "\n"
    "  -o, --output OUT the MP4 to write; it appears only once it is complete\n"
    "  --png FOLDER     write FOLDER/frame-000000.png and on instead of a video\n"
    "  --fps F          frames per second (default 60)\n"
    "  --from S         the music position of the first frame, in seconds\n"
    "                   (default 0)\n"
    "  --to S           the end of the span, in seconds, not included (default:\n"
    "                   the end of the tune); past the tune's end the picture\n"
    "                   goes on and the sound has ended\n"
    "  --size WxH       the frames' size, which the scenes also receive as k\n"
    "                   (default 1920x1080; even sides for a video)\n"
    "  --dir DIR        the folder of \"vaxo.mp3\" and the track files sync_*.track\n"
    "                   (default: the working directory)\n"
    "%s"
    "  -h, --help       this help\n"
    "\n"
    "A progress line goes to stderr. Interrupted (Ctrl-C) or failed, a run\n"
    "leaves no video behind.\n";

struct VideoOptions {
    std::string output;
    std::string png_folder;
    double fps = 60.0;
    double from = 0.0;
    double to = 0.0;
    bool has_to = false;
    CommonOptions common;
};

bool parse(std::span<const std::string_view> args, VideoOptions& video, std::string& error) {
    ArgCursor cursor{args};
    while (!video.common.help && cursor_next(cursor)) {
        const std::string_view name = cursor.name;
        bool ok = true;
        if (name == "-o" || name == "--output") {
            ok = cursor_string(cursor, video.output, error);
        } else if (name == "--png") {
            ok = cursor_string(cursor, video.png_folder, error);
        } else if (name == "--fps") {
            ok = cursor_double(cursor, video.fps, error);
            if (ok && !(video.fps > 0.0 && video.fps <= FPS_MAX)) {
                error = "--fps needs a number of frames per second above 0 and at most 1000";
                return false;
            }
        } else if (name == "--from" || name == "--to") {
            double& seconds = name == "--from" ? video.from : video.to;
            ok = cursor_double(cursor, seconds, error);
            if (ok && !(seconds >= 0.0 && seconds <= SECONDS_MAX)) {
                error = std::string(name) + " needs a music position from 0 to 86400 seconds";
                return false;
            }
            video.has_to = video.has_to || name == "--to";
        } else {
            ok = cursor_common(cursor, video.common, error);
        }
        if (!ok) return false;
    }
    if (video.common.help) return true;
    if (video.output.empty() == video.png_folder.empty()) {
        error = "say where the frames go: -o OUT.mp4 or --png FOLDER";
        return false;
    }
    if (video.has_to && !(video.to > video.from)) {
        error = "--to must come after --from";
        return false;
    }
    const CommonOptions& common = video.common;
    if (!video.output.empty() && (common.width % 2 || common.height % 2)) {
        error = "a video needs even sides (H.264 in yuv420p), not " + std::to_string(common.width) + "x" +
                std::to_string(common.height);
        return false;
    }
    return true;
}

std::string frame_name(int64_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", (long long)frame);
    return name;
}

// Exit status of a run ended by a signal, as a shell reports it.
int interrupted_status(int signal_number) {
    std::fprintf(stderr, "zirbelon-render %.*s: interrupted\n", int(COMMAND.size()), COMMAND.data());
    return 128 + signal_number;
}

}  // namespace

int command_video(std::span<const std::string_view> args) {
    VideoOptions video;
    std::string error;
    if (!parse(args, video, error)) return usage_error(COMMAND, error);
    if (video.common.help) return help_print(HELP);
    const CommonOptions& common = video.common;
    const bool to_png = !video.png_folder.empty();
    const std::filesystem::path dir = common.dir;

    SyncTracks tracks;
    if (!sync_tracks_load(dir, tracks, error)) return run_error(COMMAND, error);

    // The tune gives the default span and the sound of a video; PNG frames of
    // a given span need neither.
    const std::string tune = (dir / TUNE_FILE).string();
    double tune_seconds = 0.0;
    if ((!to_png || !video.has_to) && !tune_length(tune, tune_seconds, error))
        return run_error(COMMAND, error);
    if (!video.has_to) video.to = tune_seconds;
    if ((!to_png || !video.has_to) && video.from >= tune_seconds)
        return run_error(COMMAND, "--from " + timeline_label(video.from) + " is at or past the end of the tune (" +
                                      timeline_label(tune_seconds) + ")");
    std::string ffmpeg;
    if (!to_png) {
        if (!encoder_find(ffmpeg, error)) return run_error(COMMAND, error);
        const std::filesystem::path folder = std::filesystem::path(video.output).parent_path();
        std::error_code ignored;
        if (!folder.empty() && !std::filesystem::is_directory(folder, ignored))
            return run_error(COMMAND, "no folder " + folder.string() + " for " + video.output);
    }

    const int64_t frames = timeline_frame_count(video.from, video.to, video.fps);
    RendererPtr renderer = renderer_create_from_options(common, error);
    if (!renderer) return run_error(COMMAND, error);

    const InterruptGuard interrupt_guard;
    EncoderPtr encoder;
    if (to_png) {
        std::error_code made;
        std::filesystem::create_directories(video.png_folder, made);
        if (made) return run_error(COMMAND, "cannot make the folder " + video.png_folder + ": " + made.message());
    } else {
        const VideoEncoding encoding{video.output, common.width, common.height, video.fps,
                                     tune,         video.from,   video.to - video.from};
        encoder = encoder_start(ffmpeg, encoding, error);
        if (!encoder) return run_error(COMMAND, error);
    }

    Progress progress = progress_start("frames", frames);
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
            return run_error(COMMAND, error);
        }
        progress_update(progress, frame + 1);
    }
    if (encoder && !encoder_finish(std::move(encoder), error)) {
        progress_finish(progress, frames);
        if (const int signal_number = interrupt_signal()) return interrupted_status(signal_number);
        return run_error(COMMAND, error);
    }
    progress_finish(progress, frames);

    const double seconds = progress_seconds(progress);
    std::printf("%s: %lld frames at %g fps, %s to %s, %dx%d, in %.1f s (%.1f frames/s)\n",
                to_png ? video.png_folder.c_str() : video.output.c_str(), (long long)frames, video.fps,
                timeline_label(video.from).c_str(), timeline_label(video.to).c_str(), common.width, common.height,
                seconds, seconds > 0.0 ? double(frames) / seconds : 0.0);
    return 0;
}
