// ffmpeg writing raw frames down a pipe that this process reads.
#include "tools/render/frame_reader.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/render/child.h"

namespace {

// Ends the decoder and gives the reason it failed, or empty.
std::string reader_end(FrameReader& reader) {
    if (reader.pixels >= 0) close(reader.pixels);
    reader.pixels = -1;
    if (reader.pid <= 0) return {};
    const int status = child_wait(reader.pid);
    reader.pid = -1;
    return child_failure("ffmpeg", status);
}

}  // namespace

void FrameReaderClose::operator()(FrameReader* reader) const {
    if (reader->pid > 0) kill(reader->pid, SIGKILL);
    reader_end(*reader);
    std::default_delete<FrameReader>()(reader);
}

FrameReaderPtr frame_reader_open(const std::string& ffmpeg_path, const std::string& file, int32_t width,
                                 int32_t height, std::string& error) {
    FrameReaderPtr reader(std::make_unique<FrameReader>().release());
    reader->frame_bytes = size_t(width) * size_t(height) * 4;
    const std::vector<std::string> arguments = {
        ffmpeg_path, "-nostdin", "-hide_banner", "-loglevel", "error", "-threads", "1",
        "-i", "file:" + file, "-map", "0:v:0", "-fps_mode", "passthrough",
        "-f", "rawvideo", "-pix_fmt", "rgba", "-s", std::to_string(width) + "x" + std::to_string(height), "pipe:1"};
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe from ffmpeg: ") + std::strerror(errno);
        return nullptr;
    }
    reader->pid = child_start(arguments, -1, ends[1], error);
    close(ends[1]);
    reader->pixels = ends[0];
    if (reader->pid < 0) return nullptr;
    return reader;
}

bool frame_reader_next(FrameReader& reader, std::vector<uint8_t>& rgba, std::string& error) {
    error.clear();
    rgba.resize(reader.frame_bytes);
    size_t got = 0;
    while (got < rgba.size()) {
        const ssize_t count = read(reader.pixels, rgba.data() + got, rgba.size() - got);
        if (count < 0 && errno == EINTR) {
            error = "interrupted";
            return false;
        }
        if (count <= 0) break;
        got += size_t(count);
    }
    if (got == rgba.size()) return true;
    error = reader_end(reader);
    if (error.empty() && got > 0) error = "the last frame ends early";
    return false;
}
