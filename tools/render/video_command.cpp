// zirbelon-render video: the presentation as a video with its music, or as
// numbered PNG frames. Frame i shows the music position from + i * M / N at
// N/M frames per second, and the row that position gives, exactly as the
// presentation would.
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
#include "tools/render/formats.h"
#include "tools/render/frame_mix.h"
#include "tools/render/interrupt.h"
#include "tools/render/options.h"
#include "tools/pictures/png.h"
#include "tools/render/progress.h"
#include "tools/render/render.h"
#include "tools/render/timeline.h"

namespace {

constexpr std::string_view COMMAND = "video";
constexpr double FPS_MAX = 1000.0;
constexpr double SECONDS_MAX = 86400.0;  // a day: far past any tune, and a count that fits
constexpr int64_t SUBFRAMES_MAX = 64;
constexpr double SHUTTER_DEFAULT = 180.0;  // degrees: half the frame interval, as film cameras expose

struct VideoOptions {
    std::string output;
    std::string png_folder;
    CliRate fps{60, 1};
    bool has_fps = false;
    double from = 0.0;
    double to = 0.0;
    bool has_to = false;
    bool quiet = false;
    FormatChoices format;
    bool has_format_choice = false;  // an option that only a video takes
    std::string ffmpeg_args;
    int32_t ssaa = 1;
    int32_t subframes = 1;
    double shutter = SHUTTER_DEFAULT;
    CommonOptions common;
};

std::string presets_help() {
    std::string help = "settings made for a purpose, which other options adjust:";
    for (const VideoPreset& preset : video_presets())
        help.append("\n").append(preset.name).append(": ").append(std::to_string(preset.width)).append("x")
            .append(std::to_string(preset.height)).append(" at ").append(timeline_rate_label(preset.fps))
            .append(" fps, ").append(preset.extension).append(":\n  ").append(preset.description);
    return help;
}

CliTake take_blur(VideoOptions& video) {
    return [&video](std::string_view text, std::string& error) {
        const size_t colon = text.find(':');
        int64_t subframes = 0;
        double shutter = SHUTTER_DEFAULT;
        const bool good = cli_integer(text.substr(0, colon), subframes) && subframes >= 1 &&
                          subframes <= SUBFRAMES_MAX &&
                          (colon == std::string_view::npos ||
                           (cli_number(text.substr(colon + 1), shutter) && shutter > 0.0 && shutter <= 360.0));
        if (!good) {
            error = "needs SUBFRAMES from 1 to 64, and :SHUTTER in degrees above 0 and at most 360 if\n"
                    "given, not '" + std::string(text) + "'";
            return false;
        }
        video.subframes = int32_t(subframes);
        video.shutter = shutter;
        return true;
    };
}

// Marks the option as one for a video, then takes its value.
CliTake for_video(VideoOptions& video, CliTake take) {
    return [&video, take](std::string_view text, std::string& error) {
        video.has_format_choice = true;
        return take(text, error);
    };
}

CliCommand video_command(VideoOptions& video, const std::string& preset_help) {
    CliCommand command{
        .tool = RENDER_TOOL,
        .name = COMMAND,
        .usage = {"-o OUT.mp4|.mkv|.mov|.webm|- [--preset NAME] [--fps F] [--from S] [--to S] [--size WxH]",
                  "-o OUT [--codec C] [--crf Q | --bitrate B] [--lossless] [--ffmpeg-args \"...\"] [--dir DIR]",
                  "--png FOLDER [--fps F] [--from S] [--to S] [--size WxH] [--dir DIR]",
                  "(-o OUT | --png FOLDER) [--ssaa N] [--blur SUBFRAMES[:SHUTTER]] ..."},
        .description = "Renders the presentation with no display, as a video with the tune (encoded\n"
                       "by ffmpeg) or as numbered PNG frames. Frame i shows the music position\n"
                       "FROM + i x M / N seconds at N/M frames per second, and so row\n"
                       "(FROM + i x M / N) x 20, as the presentation does; the tune is cut to the\n"
                       "same span, so sound and picture meet to the frame. The same command gives\n"
                       "the same bytes.\n"
                       "The container follows the output's extension: .mp4 and .mov hold H.264\n"
                       "and AAC, .mkv H.264 and FLAC (FFV1 and FLAC with --lossless), .webm VP9\n"
                       "and Opus; '-' streams Matroska to standard output (| ffplay -). Frames are\n"
                       "sRGB and tagged BT.709.\n"
                       "A progress line goes to stderr. Interrupted (Ctrl-C, a closed terminal) or\n"
                       "failed, a run leaves no video behind; a temporary file a killed run left\n"
                       "is removed by the next run.\n",
        .options =
            {
                {"-o, --output", "OUT",
                 "the video to write ('-' for standard output); a file appears\nonly once it is complete",
                 cli_take_string(video.output)},
                {"--png", "FOLDER", "write FOLDER/frame-000000.png and on instead of a video",
                 cli_take_string(video.png_folder)},
                {"--preset", "NAME", preset_help,
                 [&video](std::string_view text, std::string& error) {
                     video.format.preset = video_preset_find(text);
                     if (video.format.preset) return true;
                     error = "needs one of";
                     for (const VideoPreset& preset : video_presets()) error.append(" ").append(preset.name);
                     error += ", not '" + std::string(text) + "'";
                     return false;
                 }},
                {"--fps", "F", "frames per second: N, N.N or N/M, e.g. 60000/1001 (default\n60)",
                 [&video](std::string_view text, std::string& error) {
                     CliRate rate;
                     if (!cli_rate(text, rate) || rate.value() > FPS_MAX) {
                         error = "needs a number of frames per second above 0 and at most 1000, not '" +
                                 std::string(text) + "'";
                         return false;
                     }
                     video.fps = rate;
                     video.has_fps = true;
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
                ssaa_option(video.ssaa),
                {"--blur", "SUBFRAMES[:SHUTTER]",
                 "motion blur: the mean of SUBFRAMES renders spread over a\nshutter of SHUTTER degrees of the "
                 "frame interval, centred\non the frame's moment (default shutter 180; --blur 1 is\noff)",
                 take_blur(video)},
                {"--codec", "C", "the video codec: h264, vp9 or ffv1 (the container's\nown by default)",
                 for_video(video, cli_take_string(video.format.codec))},
                {"--lossless", "", "FFV1 and FLAC, in .mkv", for_video(video, cli_take_flag(video.format.lossless))},
                {"--crf", "Q", "constant quality instead of a bit rate (lower is better;\n0 to 51 for h264, 63 for vp9)",
                 for_video(video,
                           [&video](std::string_view text, std::string& error) {
                               int64_t value = 0;
                               if (!cli_integer(text, value) || value < 0 || value > 63) {
                                   error = "needs a whole number from 0 to 63, not '" + std::string(text) + "'";
                                   return false;
                               }
                               video.format.crf = int32_t(value);
                               return true;
                           })},
                {"--bitrate", "B", "the video's mean bit rate, bits per second or with k or M\n(e.g. 8M)",
                 for_video(video,
                           [&video](std::string_view text, std::string& error) {
                               if (bitrate_parse(text, video.format.bitrate)) return true;
                               error = "needs a rate of at least 1000 bits per second such as 8M or\n"
                                       "5000k, not '" + std::string(text) + "'";
                               return false;
                           })},
                {"--ffmpeg-args", "\"...\"",
                 "more options for ffmpeg's output, added after all of this\ntool's (quotes keep blanks in one)",
                 for_video(video, cli_take_string(video.ffmpeg_args))},
                cli_quiet_option(video.quiet),
            },
        .operand = nullptr,
    };
    common_options_add(command.options, video.common, "--size",
                       "the frames' size, which the scenes also receive as k\n(default 1920x1080, or the preset's; "
                       "even sides for\nH.264 and VP9)");
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

// What a render of the run shows: renders go frame by frame, each frame's
// being the moments of its shutter in order.
RowFrame render_shown(const SyncTracks& tracks, const VideoOptions& video, int64_t render) {
    const double seconds = timeline_seconds(video.from, video.fps, render / video.subframes);
    const double moment = timeline_shutter_seconds(seconds, video.fps, video.subframes, video.shutter,
                                                   int32_t(render % video.subframes));
    return row_frame(tracks.camera, row_from_seconds(moment));
}

}  // namespace

int command_video(std::span<const std::string_view> args) {
    VideoOptions video;
    const std::string preset_help = presets_help();
    const CliCommand command = video_command(video, preset_help);
    if (const auto done = cli_parse(command, args)) return *done;
    CommonOptions& common = video.common;
    if (video.output.empty() == video.png_folder.empty())
        return cli_usage_error(command, "say where the frames go: -o OUT.mp4 or --png FOLDER");
    if (video.has_to && !(video.to > video.from)) return cli_usage_error(command, "--to must come after --from");
    if (const VideoPreset* preset = video.format.preset) {
        if (!common.has_size) {
            common.width = preset->width;
            common.height = preset->height;
        }
        if (!video.has_fps) video.fps = preset->fps;
    }
    const bool to_png = !video.png_folder.empty();
    if (to_png && video.has_format_choice)
        return cli_usage_error(command, "--codec, --crf, --bitrate, --lossless and --ffmpeg-args are for a video");
    VideoFormat format;
    std::vector<std::string> extra;
    std::string error;
    if (!to_png) {
        if (!video_format_resolve(video.output, video.format, format, error)) return cli_usage_error(command, error);
        if (!ffmpeg_args_split(video.ffmpeg_args, extra, error)) return cli_usage_error(command, error);
        if (format.even_sides && (common.width % 2 || common.height % 2))
            return cli_usage_error(command, "a video in " + std::string(format.pixel_format) + " needs even sides, not " +
                                                std::to_string(common.width) + "x" + std::to_string(common.height));
        if (!video_size_check(common.width, common.height, error)) return cli_usage_error(command, error);
    }
    if (!render_size_check(common, video.ssaa, error)) return cli_usage_error(command, error);
    const std::filesystem::path dir = common.dir;

    Output target;
    if (!to_png) {
        if (!output_prepare(video.output, target, error)) return cli_failure(command, error);
        if (target.kind == OutputKind::in_place)
            return cli_failure(command, "cannot write " + video.output +
                                            ": a video is written to a file or to standard output ('-')");
    }
    // With the video on standard output, the report goes to stderr.
    std::FILE* report = target.kind == OutputKind::standard_output && !to_png ? stderr : stdout;
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
    RendererPtr renderer = renderer_create_from_options(common, error, video.ssaa);
    if (!renderer) return cli_failure(command, error);

    const InterruptGuard interrupt_guard;
    EncoderPtr encoder;
    if (to_png) {
        std::error_code made;
        std::filesystem::create_directories(video.png_folder, made);
        if (made) return cli_failure(command, "cannot make the folder " + video.png_folder + ": " + made.message());
    } else {
        if (target.kind == OutputKind::replaced) {
            std::vector<std::string> stale;
            output_stale_remove(target, ENCODER_TEMPORARY_SUFFIX, stale);
            for (const std::string& name : stale)
                cli_note(command, "removed " + name + ", left by a run that was killed");
        }
        const VideoEncoding encoding{target,    format, extra, common.width, common.height,
                                     video.fps, frames, tune,  video.from,   video.to - video.from};
        encoder = encoder_start(ffmpeg, encoding, error);
        if (!encoder) return cli_failure(command, error);
    }

    // Each render is submitted before the one before it is taken, so the GL
    // draws the next while a render is mixed into its frame (the renders of
    // the shutter's moments at the renderer's, possibly larger, size mixed
    // down to the frame's size) and the frame is written.
    const int64_t renders = frames * video.subframes;
    FramePipeline pipeline = frame_pipeline_start(*renderer);
    FrameMix mix;
    int64_t written = 0;
    Progress progress = progress_start("frames", frames, video.quiet);
    const auto no_pixels = [&] {
        progress_finish(progress, written);
        return cli_failure(command, "the GL gave no pixels for frame " + std::to_string(written));
    };
    for (int64_t render = 0; render <= renders; ++render) {
        if (const int signal_number = interrupt_signal()) {
            progress_finish(progress, written);
            return interrupted_status(signal_number);
        }
        if (render < renders) {
            const RowFrame shown = render_shown(tracks, video, render);
            if (!frame_pipeline_submit(pipeline, shown.scene, shown.values)) return no_pixels();
        }
        if (render == 0) continue;
        const int64_t taken = render - 1;
        if (taken % video.subframes == 0) mix = frame_mix_start(common.width, common.height, video.ssaa);
        if (!frame_mix_add(mix, frame_pipeline_take(pipeline))) return no_pixels();
        if (taken % video.subframes != video.subframes - 1) continue;
        Raster image = frame_mix_result(mix);
        const bool done =
            to_png ? png_write((std::filesystem::path(video.png_folder) / frame_name(written)).string(), image, error)
                   : encoder_write(*encoder, std::move(image.rgba), error);
        if (!done) {
            progress_finish(progress, written);
            if (const int signal_number = interrupt_signal()) return interrupted_status(signal_number);
            return cli_failure(command, error);
        }
        progress_update(progress, ++written);
    }
    if (encoder && !encoder_finish(std::move(encoder), error)) {
        progress_finish(progress, frames);
        if (const int signal_number = interrupt_signal()) return interrupted_status(signal_number);
        return cli_failure(command, error);
    }
    progress_finish(progress, frames);

    const double seconds = progress_seconds(progress);
    std::fprintf(report, "%s: %lld frames at %s fps, %s to %s, %dx%d, in %.1f s (%.1f frames/s)\n",
                 to_png ? video.png_folder.c_str() : video.output.c_str(), (long long)frames,
                 timeline_rate_label(video.fps).c_str(), timeline_label(video.from).c_str(),
                 timeline_label(video.to).c_str(), common.width, common.height, seconds,
                 seconds > 0.0 ? double(frames) / seconds : 0.0);
    return CLI_OK;
}
