// ffmpeg as a child process fed through a pipe. Its settings are chosen for
// repeatable bytes: one encoder thread (x264's output depends on its thread
// count), bit-exact muxer and codec flags (no version strings or dates), and
// no metadata copied from the tune.
#include "tools/render/encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "tools/render/interrupt.h"

extern char** environ;

struct Encoder {
    pid_t pid = -1;
    int input = -1;  // the write end of ffmpeg's stdin
    std::string temporary;
    Output output;
};

namespace {

// The shortest text that reads back as the same double.
std::string number_text(double value) {
    char text[32];
    const auto [end, problem] = std::to_chars(text, text + sizeof text, value);
    return problem == std::errc() ? std::string(text, end) : std::string("0");
}

// Names go in as "file:" URLs, so that no name is taken for another protocol.
std::vector<std::string> ffmpeg_arguments(const std::string& ffmpeg_path, const VideoEncoding& encoding,
                                          const std::string& temporary) {
    const std::string size = std::to_string(encoding.width) + "x" + std::to_string(encoding.height);
    return {
        ffmpeg_path, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        // The frames: raw RGBA as the screen shows them, the top row first.
        "-f", "rawvideo", "-pix_fmt", "rgba", "-video_size", size,
        "-framerate", number_text(encoding.fps), "-i", "pipe:0",
        // The tune from the run's first frame on, for as long as the run.
        "-ss", number_text(encoding.from), "-t", number_text(encoding.span), "-i", "file:" + encoding.tune,
        "-map", "0:v:0", "-map", "1:a:0",
        // BT.709 limited range, converted and tagged, as players expect of HD.
        "-filter_threads", "1", "-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
        "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
        "-color_range", "tv",
        "-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p",
        "-c:a", "aac", "-b:a", "192k",
        "-threads", "1", "-map_metadata", "-1", "-fflags", "+bitexact", "-flags", "+bitexact",
        "-movflags", "+faststart", "-f", "mp4", "file:" + temporary,
    };
}

// Waits for the child; a signal that arrives meanwhile ends it at once.
int child_wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
        if (interrupt_signal()) kill(pid, SIGKILL);
    }
    return status;
}

void input_close(Encoder& encoder) {
    if (encoder.input >= 0) close(encoder.input);
    encoder.input = -1;
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
    input_close(*encoder);
    if (encoder->pid > 0) {
        // Its output is thrown away: no need to let it finish the file.
        kill(encoder->pid, SIGKILL);
        child_wait(encoder->pid);
    }
    if (!encoder->temporary.empty()) unlink(encoder->temporary.c_str());
    std::default_delete<Encoder>()(encoder);
}

EncoderPtr encoder_start(const std::string& ffmpeg_path, const VideoEncoding& encoding,
                         std::string& error) {
    EncoderPtr encoder(std::make_unique<Encoder>().release());
    encoder->output = encoding.output;
    if (!output_temporary_create(encoding.output, ENCODER_TEMPORARY_SUFFIX, encoder->temporary, error))
        return nullptr;
    const std::vector<std::string> arguments = ffmpeg_arguments(ffmpeg_path, encoding, encoder->temporary);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        return nullptr;
    }
    // A closed pipe is reported by write, as EPIPE, rather than by a signal.
    signal(SIGPIPE, SIG_IGN);
    const pid_t parent = getpid();
    const int null_output = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        // Only what is safe between fork and exec. ffmpeg gets the usual
        // SIGPIPE back; in a process group of its own it does not see the
        // terminal's Ctrl-C (this process decides what becomes of an
        // interrupted encoding); and it is killed when this process ends in
        // any way, SIGKILL included, so no orphan finishes the file.
        signal(SIGPIPE, SIG_DFL);
        setpgid(0, 0);
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
        dup2(ends[0], STDIN_FILENO);
        if (null_output >= 0) dup2(null_output, STDOUT_FILENO);
        execve(ffmpeg_path.c_str(), argv.data(), environ);
        _exit(127);
    }
    const int fork_errno = errno;
    if (null_output >= 0) close(null_output);
    close(ends[0]);
    encoder->input = ends[1];
    if (pid < 0) {
        error = "cannot start " + ffmpeg_path + ": " + std::strerror(fork_errno);
        return nullptr;
    }
    encoder->pid = pid;
    return encoder;
}

bool encoder_write(Encoder& encoder, std::span<const uint8_t> rgba, std::string& error) {
    while (!rgba.empty()) {
        if (interrupt_signal()) {
            error = "interrupted";
            return false;
        }
        const ssize_t written = write(encoder.input, rgba.data(), rgba.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno == EPIPE ? "ffmpeg stopped reading the frames"
                                   : std::string("cannot write to ffmpeg: ") + std::strerror(errno);
            return false;
        }
        rgba = rgba.subspan(size_t(written));
    }
    return true;
}

bool encoder_finish(EncoderPtr encoder, std::string& error) {
    input_close(*encoder);
    const int status = child_wait(encoder->pid);
    encoder->pid = -1;
    if (interrupt_signal()) {
        error = "interrupted";
        return false;  // the deleter removes the temporary file
    }
    if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = status >= 0 && WIFEXITED(status)
                    ? "ffmpeg failed with exit status " + std::to_string(WEXITSTATUS(status))
                    : std::string("ffmpeg ended abnormally");
        return false;
    }
    if (!output_commit(encoder->output, encoder->temporary, error)) return false;
    encoder->temporary.clear();
    return true;
}
