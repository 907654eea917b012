// ffmpeg as a child process fed through a pipe by a writer thread. Its
// settings are chosen for repeatable bytes: one encoder thread (x264's output
// depends on its thread count), bit-exact muxer and codec flags (no version
// strings or dates), and no metadata copied from the tune.
#include "tools/render/encoder.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <utility>

#include "tools/render/child.h"
#include "tools/render/interrupt.h"

struct Encoder {
    pid_t pid = -1;
    int input = -1;  // the write end of ffmpeg's stdin
    std::string temporary;  // empty when writing to standard output
    Output output;
    // The writer thread and the one frame queued for it while it writes another.
    std::thread writer;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<uint8_t> queued;
    bool has_queued = false;
    bool closing = false;     // no more frames will come
    bool writer_done = false;
    std::string failure;      // why the writer stopped early; empty while it works
};

namespace {

// How often a wait for the writer looks at the interrupt flag.
constexpr auto INTERRUPT_POLL = std::chrono::milliseconds(50);

std::string rate_text(CliRate rate) {
    return std::to_string(rate.numerator) + "/" + std::to_string(rate.denominator);
}

void add(std::vector<std::string>& arguments, std::initializer_list<std::string> more) {
    arguments.insert(arguments.end(), more);
}

void video_codec_arguments(const VideoFormat& format, std::vector<std::string>& arguments) {
    add(arguments, {"-c:v", std::string(format.video_codec), "-pix_fmt", std::string(format.pixel_format)});
    if (format.video_codec == "ffv1") {
        // Version 3, every frame a key frame: a master any frame of which can be cut at.
        add(arguments, {"-level", "3", "-g", "1", "-slicecrc", "1"});
        return;
    }
    if (format.video_codec == "libx264") add(arguments, {"-preset", "medium"});
    // cpu-used 2 is libvpx's usual trade of a little size for much time.
    if (format.video_codec == "libvpx-vp9") add(arguments, {"-deadline", "good", "-cpu-used", "2"});
    if (!format.profile.empty()) add(arguments, {"-profile:v", std::string(format.profile)});
    if (format.crf >= 0) {
        add(arguments, {"-crf", std::to_string(format.crf)});
        // libvpx takes a crf as a bound on quality unless the rate is free.
        if (format.video_codec == "libvpx-vp9") add(arguments, {"-b:v", "0"});
    }
    if (format.bitrate > 0) add(arguments, {"-b:v", std::to_string(format.bitrate)});
    if (format.maxrate > 0) add(arguments, {"-maxrate", std::to_string(format.maxrate)});
    if (format.bufsize > 0) add(arguments, {"-bufsize", std::to_string(format.bufsize)});
    if (format.constant_rate) {
        add(arguments, {"-minrate", std::to_string(format.bitrate)});
        // Filler data holds the rate even where the picture needs fewer bits.
        if (format.video_codec == "libx264") add(arguments, {"-x264-params", "nal-hrd=cbr"});
    }
    if (format.gop > 0) add(arguments, {"-g", std::to_string(format.gop)});
    if (format.bframes >= 0) add(arguments, {"-bf", std::to_string(format.bframes)});
}

// Names go in as "file:" URLs, so that no name is taken for another protocol.
std::vector<std::string> ffmpeg_arguments(const std::string& ffmpeg_path, const VideoEncoding& encoding,
                                          const std::string& temporary) {
    const VideoFormat& format = encoding.format;
    const std::string size = std::to_string(encoding.width) + "x" + std::to_string(encoding.height);
    std::vector<std::string> arguments = {
        ffmpeg_path, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        // The frames: raw RGBA as the screen shows them, the top row first.
        "-f", "rawvideo", "-pix_fmt", "rgba", "-video_size", size,
        "-framerate", rate_text(encoding.fps), "-i", "pipe:0",
    };
    // The tune from the run's first frame on, for as long as the run.
    const bool sound = !encoding.tune.empty();
    if (sound)
        add(arguments, {"-ss", cli_number_text(encoding.from), "-t", cli_number_text(encoding.span), "-i",
                        "file:" + encoding.tune, "-map", "0:v:0", "-map", "1:a:0"});
    add(arguments, {"-filter_threads", "1"});
    // The frames are sRGB: BT.709 primaries and transfer, tagged so that
    // players keep the colours. In YUV they are converted with the BT.709
    // matrix to limited range, as players expect of HD; lossless RGB keeps
    // its bytes and says it is RGB.
    if (format.pixel_format == "gbrp")
        add(arguments, {"-vf", "format=gbrp", "-colorspace", "rgb", "-color_range", "pc"});
    else
        add(arguments, {"-vf", "scale=out_color_matrix=bt709:out_range=tv,format=" + std::string(format.pixel_format),
                        "-colorspace", "bt709", "-color_range", "tv"});
    add(arguments, {"-color_primaries", "bt709", "-color_trc", "bt709"});
    video_codec_arguments(format, arguments);
    // A lone frame longer than the span (a very low rate) would last its
    // whole interval: it is given the span's length instead, so that picture
    // and sound end together.
    const double interval = double(encoding.fps.denominator) / double(encoding.fps.numerator);
    if (encoding.frames == 1 && interval > encoding.span) {
        const long long micros = std::max(1LL, (long long)std::llround(encoding.span * 1e6));
        add(arguments, {"-r", "1000000/" + std::to_string(micros), "-fps_mode", "passthrough"});
    }
    if (sound) {
        add(arguments, {"-c:a", std::string(format.audio_codec)});
        if (format.audio_bitrate > 0) add(arguments, {"-b:a", std::to_string(format.audio_bitrate)});
        if (format.sample_rate > 0) add(arguments, {"-ar", std::to_string(format.sample_rate)});
        if (format.channels > 0) add(arguments, {"-ac", std::to_string(format.channels)});
    }
    add(arguments, {"-threads", "1", "-map_metadata", "-1", "-fflags", "+bitexact", "-flags", "+bitexact"});
    if (format.faststart) add(arguments, {"-movflags", "+faststart"});
    add(arguments, {"-f", std::string(format.muxer)});
    arguments.insert(arguments.end(), encoding.extra.begin(), encoding.extra.end());
    arguments.push_back(temporary.empty() ? std::string("pipe:1") : "file:" + temporary);
    return arguments;
}

void input_close(Encoder& encoder) {
    if (encoder.input >= 0) close(encoder.input);
    encoder.input = -1;
}

// The whole buffer down the pipe; the reason when ffmpeg does not take it.
std::string pipe_write(int input, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(input, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno == EPIPE ? "ffmpeg stopped reading the frames"
                                  : std::string("cannot write to ffmpeg: ") + std::strerror(errno);
        }
        bytes = bytes.subspan(size_t(written));
    }
    return {};
}

// The writer thread: takes each queued frame and writes it while the next
// one renders. The signals that end a run are left to the main thread, which
// decides what becomes of the encoding.
void writer_run(Encoder& encoder) {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&signals, signal_number);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::unique_lock<std::mutex> hold(encoder.lock);
    while (true) {
        encoder.changed.wait(hold, [&encoder] { return encoder.has_queued || encoder.closing; });
        if (!encoder.has_queued) break;
        const std::vector<uint8_t> frame = std::move(encoder.queued);
        encoder.has_queued = false;
        encoder.changed.notify_all();
        hold.unlock();
        std::string failure = pipe_write(encoder.input, frame);
        hold.lock();
        if (!failure.empty()) {
            encoder.failure = std::move(failure);
            break;
        }
    }
    encoder.writer_done = true;
    encoder.changed.notify_all();
}

// Waits, under the lock, until done() holds; false when a signal arrives first.
template <typename Done>
bool wait_unless_interrupted(Encoder& encoder, std::unique_lock<std::mutex>& hold, Done done) {
    while (!done()) {
        if (interrupt_signal()) return false;
        encoder.changed.wait_for(hold, INTERRUPT_POLL);
    }
    return true;
}

void writer_stop(Encoder& encoder) {
    if (!encoder.writer.joinable()) return;
    {
        const std::lock_guard<std::mutex> hold(encoder.lock);
        encoder.closing = true;
    }
    encoder.changed.notify_all();
    encoder.writer.join();
}

}  // namespace

bool encoder_find(std::string& path, std::string& error) {
    const char* search = std::getenv("PATH");
    std::string_view rest = search ? search : "";
    while (true) {
        const size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        const std::string candidate = (folder.empty() ? std::string(".") : std::string(folder)) + "/ffmpeg";
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            path = candidate;
            return true;
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    error = "no ffmpeg on PATH: the video is encoded by ffmpeg (Debian's package ffmpeg)";
    return false;
}

void encoder_destroy(Encoder* encoder) {
    if (!encoder) return;
    // Its output is thrown away: no need to let it finish the file. Killed,
    // it also frees a writer blocked on the pipe.
    if (encoder->pid > 0) kill(encoder->pid, SIGKILL);
    writer_stop(*encoder);
    input_close(*encoder);
    if (encoder->pid > 0) child_wait(encoder->pid);
    if (!encoder->temporary.empty()) unlink(encoder->temporary.c_str());
    std::default_delete<Encoder>()(encoder);
}

EncoderPtr encoder_start(const std::string& ffmpeg_path, const VideoEncoding& encoding,
                         std::string& error) {
    EncoderPtr encoder(std::make_unique<Encoder>().release());
    encoder->output = encoding.output;
    const bool to_standard_output = encoding.output.kind == OutputKind::standard_output;
    if (!to_standard_output &&
        !output_temporary_create(encoding.output, ENCODER_TEMPORARY_SUFFIX, encoder->temporary, error))
        return nullptr;
    const std::vector<std::string> arguments = ffmpeg_arguments(ffmpeg_path, encoding, encoder->temporary);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        return nullptr;
    }
    // ffmpeg's standard output is the video, or nothing.
    const pid_t pid = child_start(arguments, ends[0], to_standard_output ? STDOUT_FILENO : -1, error);
    close(ends[0]);
    encoder->input = ends[1];
    if (pid < 0) return nullptr;
    encoder->pid = pid;
    Encoder& started = *encoder;
    encoder->writer = std::thread([&started] { writer_run(started); });
    return encoder;
}

bool encoder_write(Encoder& encoder, std::vector<uint8_t> rgba, std::string& error) {
    std::unique_lock<std::mutex> hold(encoder.lock);
    const bool room = wait_unless_interrupted(
        encoder, hold, [&encoder] { return !encoder.has_queued || !encoder.failure.empty(); });
    if (!room) {
        error = "interrupted";
        return false;
    }
    if (!encoder.failure.empty()) {
        error = encoder.failure;
        return false;
    }
    encoder.queued = std::move(rgba);
    encoder.has_queued = true;
    encoder.changed.notify_all();
    return true;
}

bool encoder_finish(EncoderPtr encoder, std::string& error) {
    {
        std::unique_lock<std::mutex> hold(encoder->lock);
        encoder->closing = true;
        encoder->changed.notify_all();
        if (!wait_unless_interrupted(*encoder, hold, [&encoder] { return encoder->writer_done; })) {
            error = "interrupted";
            return false;  // the deleter stops ffmpeg and removes the temporary file
        }
        if (!encoder->failure.empty()) {
            error = encoder->failure;
            return false;
        }
    }
    writer_stop(*encoder);
    input_close(*encoder);
    const int status = child_wait(encoder->pid);
    encoder->pid = -1;
    if (interrupt_signal()) {
        error = "interrupted";
        return false;  // the deleter removes the temporary file
    }
    error = child_failure("ffmpeg", status);
    if (!error.empty()) return false;
    if (encoder->temporary.empty()) return true;
    if (!output_commit(encoder->output, encoder->temporary, error)) return false;
    encoder->temporary.clear();
    return true;
}
