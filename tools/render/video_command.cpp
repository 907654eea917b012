// zirbelon-render video: the presentation as a video with its music, or as
// numbered PNG frames. Frame i shows the music position from + i * M / N at
// N/M frames per second, and the row that position gives, exactly as the
// presentation would. With a job folder (job.h) the frames go to lossless
// chunks first and the video is encoded from them once all are there, so
// whole, resumed and joined runs feed the encoder the same frames.
#include <cstdio>
#include <filesystem>
#include <functional>
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
#include "tools/render/frame_reader.h"
#include "tools/render/interrupt.h"
#include "tools/render/job.h"
#include "tools/render/options.h"
#include "tools/pictures/png.h"
#include "tools/render/progress.h"
#include "tools/render/render.h"
#include "tools/render/timeline.h"
#include "tracks/track_text.h"

namespace {

constexpr std::string_view COMMAND = "video";
constexpr double FPS_MAX = 1000.0;
constexpr double SECONDS_MAX = 86400.0;  // a day: far past any tune, and a count that fits
constexpr int64_t SUBFRAMES_MAX = 64;
constexpr double SHUTTER_DEFAULT = 180.0;  // degrees: half the frame interval, as film cameras expose
// Ten seconds at 60 fps: a stopped run loses at most that much work, and a
// part is not much shorter than a share of the whole.
constexpr int64_t CHUNK_FRAMES_DEFAULT = 600;
constexpr int64_t CHUNK_FRAMES_MAX = 1'000'000;
constexpr int64_t PARTS_MAX = 10'000;

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
    std::string job;                        // the job folder, or empty
    std::vector<std::string> join_folders;  // more folders whose chunks count (join)
    int32_t part = 0;                       // this run's part of `parts`, from 1; 0 for all
    int32_t parts = 0;
    int64_t chunk_frames = CHUNK_FRAMES_DEFAULT;
    bool has_chunk = false;
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
                    "given, not " + text_quote(text);
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
                  "(-o OUT | --png FOLDER) [--ssaa N] [--blur SUBFRAMES[:SHUTTER]] ...",
                  "(-o OUT | --part I/N) --job FOLDER [--chunk FRAMES] ..."},
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
                     error += ", not " + text_quote(text);
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
                                   error = "needs a whole number from 0 to 63, not " + text_quote(text);
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
                                       "5000k, not " + text_quote(text);
                               return false;
                           })},
                {"--ffmpeg-args", "\"...\"",
                 "more options for ffmpeg's output, added after all of this\ntool's (quotes keep blanks in one)",
                 for_video(video, cli_take_string(video.ffmpeg_args))},
                {"--job", "FOLDER",
                 "keep the frames in FOLDER as lossless chunks and encode the\nvideo from them: run again, "
                 "a stopped run goes on where it\nstopped; chunks made from other inputs are thrown away",
                 cli_take_string(video.job)},
                {"--part", "I/N",
                 "with --job: render only the I-th of N shares of the chunks\n(no video); join the parts "
                 "with zirbelon-render join",
                 [&video](std::string_view text, std::string& error) {
                     const size_t slash = text.find('/');
                     int64_t part = 0, parts = 0;
                     if (slash == std::string_view::npos || !cli_integer(text.substr(0, slash), part) ||
                         !cli_integer(text.substr(slash + 1), parts) || parts < 1 || parts > PARTS_MAX ||
                         part < 1 || part > parts) {
                         error = "needs I/N with 1 <= I <= N <= 10000, not " + text_quote(text);
                         return false;
                     }
                     video.part = int32_t(part);
                     video.parts = int32_t(parts);
                     return true;
                 }},
                {"--chunk", "FRAMES", "with --job: frames per chunk (default 600)",
                 [&video](std::string_view text, std::string& error) {
                     video.has_chunk = true;
                     return cli_take_integer(video.chunk_frames, 1, CHUNK_FRAMES_MAX)(text, error);
                 }},
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

// What the frames of a run go to: a PNG file, the video's encoder or a chunk's.
using FrameSink = std::function<bool(Raster image, std::string& error)>;

struct RenderRun {
    const CliCommand& command;
    const VideoOptions& video;
    Renderer* renderer;  // null when nothing is to be rendered
    const SyncTracks& tracks;
    Progress& progress;
    int64_t done = 0;  // frames rendered by this run
};

// The status a run ends with when a step failed: the signal's, if one came.
int failed_status(RenderRun& run, const std::string& error) {
    progress_finish(run.progress, run.done);
    if (const int signal_number = interrupt_signal()) return interrupted_status(signal_number);
    return cli_failure(run.command, error);
}

// Renders frames [first, end) in order into the sink. Each render is
// submitted before the one before it is taken, so the GL draws the next while
// a render is mixed into its frame (the renders of the shutter's moments at
// the renderer's, possibly larger, size mixed down to the frame's size) and
// the frame is written. CLI_OK, or the status to end with.
int frames_render(RenderRun& run, int64_t first, int64_t end, const FrameSink& sink) {
    const VideoOptions& video = run.video;
    const int64_t subframes = video.subframes;
    const int64_t renders = (end - first) * subframes;
    FramePipeline pipeline = frame_pipeline_start(*run.renderer);
    FrameMix mix;
    std::string error;
    for (int64_t render = 0; render <= renders; ++render) {
        if (interrupt_signal()) return failed_status(run, "interrupted");
        if (render < renders) {
            const RowFrame shown = render_shown(run.tracks, video, first * subframes + render);
            if (!frame_pipeline_submit(pipeline, shown.scene, shown.values))
                return failed_status(run, "the GL gave no pixels for frame " + std::to_string(first + render / subframes));
        }
        if (render == 0) continue;
        const int64_t taken = render - 1;
        if (taken % subframes == 0) mix = frame_mix_start(run.video.common.width, run.video.common.height, video.ssaa);
        if (!frame_mix_add(mix, frame_pipeline_take(pipeline)))
            return failed_status(run, "the GL gave no pixels for frame " + std::to_string(first + taken / subframes));
        if (taken % subframes != subframes - 1) continue;
        if (!sink(frame_mix_result(mix), error)) return failed_status(run, error);
        progress_update(run.progress, ++run.done);
    }
    return CLI_OK;
}

// The settings that shape the frames, as text for the job's inputs.
std::string picture_settings(const VideoOptions& video) {
    char text[256];
    std::snprintf(text, sizeof text, "%dx%d fps %lld/%lld from %.17g to %.17g ssaa %d blur %d:%.17g chunk %lld",
                  video.common.width, video.common.height, (long long)video.fps.numerator,
                  (long long)video.fps.denominator, video.from, video.to, video.ssaa, video.subframes,
                  video.shutter, (long long)video.chunk_frames);
    return text;
}

// The command's arguments without those naming where this run's work goes
// and whether it shows progress, which join gives anew.
std::vector<std::string> job_arguments(std::span<const std::string_view> args) {
    std::vector<std::string> kept;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        bool own = arg == "-q" || arg == "--quiet";
        for (const std::string_view flag : {"-o", "--output", "--job", "--part"}) {
            if (arg == flag) {
                own = true;
                ++i;  // and its value
            } else if (arg.starts_with(std::string(flag) + "=")) {
                own = true;
            }
        }
        if (!own) kept.emplace_back(arg);
    }
    return kept;
}

struct JobChunk {
    int64_t index;
    int64_t first;  // frames [first, end)
    int64_t end;
};

// Makes the job folder hold this run's inputs: chunks made from others go,
// with a note that says what changed. The key of the chunks, or empty.
std::string job_prepare(const CliCommand& command, const VideoOptions& video,
                        std::span<const std::string_view> args, std::string& error) {
    std::error_code made;
    std::filesystem::create_directories(video.job, made);
    if (made) {
        error = "cannot make the job folder " + video.job + ": " + made.message();
        return {};
    }
    JobManifest now;
    if (!job_inputs_read(video.common.dir, video.common.shaders, picture_settings(video), now.inputs, error))
        return {};
    const std::string key = job_key(now.inputs);
    // A manifest cut short by a crash is written anew: the chunks' names
    // still say what they were made from.
    JobManifest before;
    if (!job_manifest_read(video.job, before, error) && !error.empty()) {
        cli_note(command, error + ": writing it anew");
        before = {};
    }
    // A join keeps the arguments the parts recorded.
    now.arguments = video.join_folders.empty() ? job_arguments(args) : before.arguments;
    if (!before.inputs.empty() && job_key(before.inputs) != key)
        cli_note(command, video.job + " holds frames made from other inputs (" +
                              job_changes(before.inputs, now.inputs) + "): starting over");
    job_stale_chunks_remove(video.job, key);
    if (!job_manifest_write(video.job, now, error)) return {};
    for (const std::string& folder : video.join_folders) {
        JobManifest other;
        std::string problem;
        if (!job_manifest_read(folder, other, problem))
            cli_note(command, problem.empty() ? folder + " holds no job" : problem);
        else if (job_key(other.inputs) != key)
            cli_note(command, folder + " holds frames made from other inputs (" +
                                  job_changes(other.inputs, now.inputs) + "): they are not used");
    }
    return key;
}

// The chunks that must be rendered: missing or damaged in every folder of the job.
std::vector<JobChunk> job_chunks_to_render(const CliCommand& command, const VideoOptions& video,
                                           const std::string& key, int64_t frames) {
    const int64_t count = (frames + video.chunk_frames - 1) / video.chunk_frames;
    const ChunkRange range = video.part ? job_part_chunks(count, video.part, video.parts) : ChunkRange{0, count};
    std::vector<std::string> folders = {video.job};
    folders.insert(folders.end(), video.join_folders.begin(), video.join_folders.end());
    std::vector<JobChunk> chunks;
    for (int64_t index = range.first; index < range.end; ++index) {
        std::string path;
        std::vector<std::string> damaged;
        const ChunkState state = job_chunk_find(folders, key, index, path, damaged);
        for (const std::string& file : damaged) {
            cli_note(command, file + " is damaged: " +
                                  (state == ChunkState::intact ? "another copy is used" : "rendering it again"));
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
        }
        if (state != ChunkState::intact)
            chunks.push_back({index, index * video.chunk_frames, std::min(frames, (index + 1) * video.chunk_frames)});
    }
    return chunks;
}

// Renders one chunk to a lossless file of the job and gives it its sealed name.
int chunk_render(RenderRun& run, const std::string& ffmpeg, const std::string& key, const JobChunk& chunk) {
    const VideoOptions& video = run.video;
    std::string error;
    Output target;
    const std::string unsealed = job_chunk_unsealed(video.job, key, chunk.index);
    if (!output_prepare(unsealed, target, error)) return failed_status(run, error);
    std::vector<std::string> stale;
    output_stale_remove(target, ENCODER_TEMPORARY_SUFFIX, stale);
    EncoderPtr encoder = encoder_start(
        ffmpeg, job_chunk_encoding(target, video.common.width, video.common.height, video.fps, chunk.end - chunk.first),
        error);
    if (!encoder) return failed_status(run, error);
    const int status = frames_render(run, chunk.first, chunk.end, [&encoder](Raster image, std::string& failure) {
        return encoder_write(*encoder, std::move(image.rgba), failure);
    });
    if (status != CLI_OK) return status;
    if (!encoder_finish(std::move(encoder), error) || !job_chunk_seal(video.job, key, chunk.index, error))
        return failed_status(run, error);
    return CLI_OK;
}

// The one encoding of the video, from every chunk in order. Each chunk must
// be there, intact, with exactly its frames.
int job_encode(const RenderRun& rendered, const std::string& ffmpeg, const std::string& key,
               const VideoEncoding& encoding) {
    const VideoOptions& video = rendered.video;
    // The encoding of a long video takes minutes of its own: a progress line of its own.
    Progress progress = progress_start("frames encoded", encoding.frames, video.quiet);
    RenderRun run{rendered.command, video, nullptr, rendered.tracks, progress};
    std::string error;
    std::vector<std::string> folders = {video.job};
    folders.insert(folders.end(), video.join_folders.begin(), video.join_folders.end());
    EncoderPtr encoder = encoder_start(ffmpeg, encoding, error);
    if (!encoder) return failed_status(run, error);
    std::vector<uint8_t> rgba;
    for (int64_t first = 0, index = 0; first < encoding.frames; first += video.chunk_frames, ++index) {
        std::string path;
        std::vector<std::string> damaged;
        if (job_chunk_find(folders, key, index, path, damaged) != ChunkState::intact)
            return failed_status(run, "chunk " + std::to_string(index) + " went missing or was damaged");
        FrameReaderPtr reader =
            frame_reader_open(ffmpeg, path, video.common.width, video.common.height, error);
        if (!reader) return failed_status(run, error);
        const int64_t wanted = std::min(video.chunk_frames, encoding.frames - first);
        int64_t got = 0;
        while (frame_reader_next(*reader, rgba, error)) {
            if (++got > wanted) break;
            if (!encoder_write(*encoder, std::move(rgba), error)) return failed_status(run, error);
            progress_update(progress, ++run.done);
        }
        if (!error.empty()) return failed_status(run, path + ": " + error);
        if (got != wanted)
            return failed_status(run, path + " holds " + std::to_string(got) + " frames, not " +
                                          std::to_string(wanted));
    }
    if (!encoder_finish(std::move(encoder), error)) return failed_status(run, error);
    progress_finish(progress, run.done);
    return CLI_OK;
}

}  // namespace

int video_run(std::span<const std::string_view> args, const std::vector<std::string>& join_folders) {
    VideoOptions video;
    const std::string preset_help = presets_help();
    const CliCommand command = video_command(video, preset_help);
    if (const auto done = cli_parse(command, args)) return *done;
    video.join_folders = join_folders;
    CommonOptions& common = video.common;
    const bool to_job = !video.job.empty();
    if (video.part && !to_job) return cli_usage_error(command, "--part renders into a job: add --job FOLDER");
    if (video.has_chunk && !to_job) return cli_usage_error(command, "--chunk is for a job: add --job FOLDER");
    if (to_job && !video.png_folder.empty()) return cli_usage_error(command, "--job is for a video, not --png");
    if (video.part && !video.output.empty())
        return cli_usage_error(command, "a part is not encoded: join the parts with " + std::string(RENDER_TOOL) +
                                            " join, without -o here");
    if (video.output.empty() == video.png_folder.empty() && !video.part)
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
    const bool encodes = !to_png && !video.part;
    if (to_png && video.has_format_choice)
        return cli_usage_error(command, "--codec, --crf, --bitrate, --lossless and --ffmpeg-args are for a video");
    VideoFormat format;
    std::vector<std::string> extra;
    std::string error;
    if (encodes) {
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
    if (encodes) {
        if (!output_prepare(video.output, target, error)) return cli_failure(command, error);
        if (target.kind == OutputKind::in_place)
            return cli_failure(command, "cannot write " + video.output +
                                            ": a video is written to a file or to standard output ('-')");
    }
    // With the video on standard output, the report goes to stderr.
    std::FILE* report = target.kind == OutputKind::standard_output && encodes ? stderr : stdout;
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
    std::string key;
    std::vector<JobChunk> chunks;
    if (to_job) {
        key = job_prepare(command, video, args, error);
        if (key.empty()) return cli_failure(command, error);
        chunks = job_chunks_to_render(command, video, key, frames);
    }
    int64_t to_render = frames;
    if (to_job) {
        to_render = 0;
        for (const JobChunk& chunk : chunks) to_render += chunk.end - chunk.first;
    }
    // A job whose frames are all there needs no GL.
    RendererPtr renderer;
    if (to_render > 0) {
        renderer = renderer_create_from_options(common, error, video.ssaa);
        if (!renderer) return cli_failure(command, error);
    }

    const InterruptGuard interrupt_guard;
    EncoderPtr encoder;
    if (to_png) {
        std::error_code made;
        std::filesystem::create_directories(video.png_folder, made);
        if (made) return cli_failure(command, "cannot make the folder " + video.png_folder + ": " + made.message());
    } else if (encodes && target.kind == OutputKind::replaced) {
        std::vector<std::string> stale;
        output_stale_remove(target, ENCODER_TEMPORARY_SUFFIX, stale);
        for (const std::string& name : stale) cli_note(command, "removed " + name + ", left by a run that was killed");
    }
    const VideoEncoding encoding{target,    format, extra, common.width, common.height,
                                 video.fps, frames, tune,  video.from,   video.to - video.from};
    if (encodes && !to_job) {
        encoder = encoder_start(ffmpeg, encoding, error);
        if (!encoder) return cli_failure(command, error);
    }

    Progress progress = progress_start("frames", to_render, video.quiet);
    RenderRun run{command, video, renderer.get(), tracks, progress};
    double seconds = 0.0;  // the rendering's, a job's final encoding not counted
    if (to_job) {
        for (const JobChunk& chunk : chunks)
            if (const int status = chunk_render(run, ffmpeg, key, chunk); status != CLI_OK) return status;
        progress_finish(progress, to_render);
        seconds = progress_seconds(progress);
        if (encodes)
            if (const int status = job_encode(run, ffmpeg, key, encoding); status != CLI_OK) return status;
    } else {
        int64_t written = 0;
        const int status = frames_render(run, 0, frames, [&](Raster image, std::string& failure) {
            const std::filesystem::path png = std::filesystem::path(video.png_folder) / frame_name(written++);
            return to_png ? png_write(png.string(), image, failure)
                          : encoder_write(*encoder, std::move(image.rgba), failure);
        });
        if (status != CLI_OK) return status;
        if (encoder && !encoder_finish(std::move(encoder), error)) return failed_status(run, error);
        progress_finish(progress, to_render);
        seconds = progress_seconds(progress);
    }

    const std::string made = to_png ? video.png_folder : encodes ? video.output : video.job;
    std::fprintf(report, "%s: %lld frames at %s fps, %s to %s, %dx%d, %lld rendered in %.1f s (%.1f frames/s)\n",
                 made.c_str(), (long long)frames, timeline_rate_label(video.fps).c_str(),
                 timeline_label(video.from).c_str(), timeline_label(video.to).c_str(), common.width, common.height,
                 (long long)to_render, seconds, seconds > 0.0 ? double(to_render) / seconds : 0.0);
    return CLI_OK;
}

int command_video(std::span<const std::string_view> args) {
    return video_run(args, {});
}
