// Video files through Debian's ffmpeg: raw RGBA frames go down a pipe, H.264
// in yuv420p comes out, muxed with a span of the tune as AAC in an MP4. The
// same frames and tune give the same bytes. The file is written under a
// temporary name of its own beside the output ("OUT.PID-RANDOM.part") and
// renamed only when ffmpeg succeeded, so a failed or interrupted run leaves no
// broken video; ffmpeg ends with this process, so a killed run leaves nothing
// to finish in the background.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "tools/common/files.h"

// The suffix of the temporary files of encodings.
inline constexpr std::string_view ENCODER_TEMPORARY_SUFFIX = "part";

struct VideoEncoding {
    Output output;       // the MP4 to write, prepared
    int32_t width = 0;   // even, as yuv420p needs
    int32_t height = 0;
    double fps = 0.0;
    std::string tune;    // the MP3 of which the span from `from` on is muxed in
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
// False with error when ffmpeg no longer reads, or when a signal arrived
// (see interrupt.h).
bool encoder_write(Encoder& encoder, std::span<const uint8_t> rgba, std::string& error);

// Ends the input, waits for ffmpeg and gives the file its name. False with
// error when ffmpeg failed; the temporary file is gone either way.
bool encoder_finish(EncoderPtr encoder, std::string& error);

