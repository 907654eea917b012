// The frames of a video file read back as RGBA through ffmpeg, as they went
// into the encoder: the chunks of a job (job.h) on their way to the one
// final encoding.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct FrameReader {
    pid_t pid = -1;
    int pixels = -1;  // the read end of ffmpeg's standard output
    size_t frame_bytes = 0;
};

struct FrameReaderClose {
    void operator()(FrameReader* reader) const;  // kills a decoder not yet finished
};
using FrameReaderPtr = std::unique_ptr<FrameReader, FrameReaderClose>;

// Starts decoding the file's first video stream as width x height RGBA
// frames, each as it was stored (no frame repeated or dropped for timing).
// Null with error.
FrameReaderPtr frame_reader_open(const std::string& ffmpeg_path, const std::string& file, int32_t width,
                                 int32_t height, std::string& error);

// The next frame; false at the end of the file (error empty) or with error
// when ffmpeg failed or the last frame was cut short.
bool frame_reader_next(FrameReader& reader, std::vector<uint8_t>& rgba, std::string& error);
