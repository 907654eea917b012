// Video files through Debian's ffmpeg: raw RGBA frames go down a pipe and come
// out encoded and muxed with a span of the tune as the format says (formats.h).
// The same frames and tune give the same bytes. A file is written under a
// temporary name of its own beside the output ("OUT.PID-RANDOM.part") and
// renamed only when ffmpeg succeeded, so a failed or interrupted run leaves no
// broken video; standard output is written as ffmpeg goes. ffmpeg ends with
// this process, so a killed run leaves nothing to finish in the background.
// Frames are handed to ffmpeg by a thread of the encoder's own, so the next
// frame renders while the last one is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/common/cli.h"
#include "tools/common/files.h"
#include "tools/render/formats.h"

// The suffix of the temporary files of encodings.
inline constexpr std::string_view ENCODER_TEMPORARY_SUFFIX = "part";

struct VideoEncoding {
    Output output;       // a replaced file or standard output, prepared
    VideoFormat format;
    std::vector<std::string> extra;  // ffmpeg's output options, after the format's
    int32_t width = 0;   // even where the format needs it
    int32_t height = 0;
    CliRate fps;
    int64_t frames = 0;  // that will be written
    std::string tune;    // the MP3 of which the span from `from` on is muxed in; empty for none
    double from = 0.0;   // seconds
    double span = 0.0;   // seconds
};

// The ffmpeg found on PATH; false with error when there is none.
bool encoder_find(std::string& path, std::string& error);

struct Encoder;
// Abandons the encoding: stops ffmpeg and removes the temporary file.
void encoder_destroy(Encoder* encoder);
struct EncoderDeleter {
    void operator()(Encoder* encoder) const { encoder_destroy(encoder); }
};
using EncoderPtr = std::unique_ptr<Encoder, EncoderDeleter>;

// Starts ffmpeg (the one at ffmpeg_path) for the encoding; null with error
// when it cannot be started.
EncoderPtr encoder_start(const std::string& ffmpeg_path, const VideoEncoding& encoding,
                         std::string& error);

// Hands one frame to ffmpeg: width x height RGBA pixels, the top row first.
// Returns once the frame is queued, waiting while an earlier one still is.
// False with error when ffmpeg no longer reads, or when a signal arrived
// (see interrupt.h).
bool encoder_write(Encoder& encoder, std::vector<uint8_t> rgba, std::string& error);

// Ends the input, waits for ffmpeg and gives the file its name. False with
// error when ffmpeg failed; the temporary file is gone either way.
bool encoder_finish(EncoderPtr encoder, std::string& error);

