// What a video is written as: the container that -o's extension names (or
// Matroska on standard output), the codecs it can hold, the presets for
// parties, video sites and masters, and the user's own choices on top of
// them, checked together before any frame is rendered.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/cli.h"

// How ffmpeg encodes and muxes: every value ends up as its arguments.
struct VideoFormat {
    std::string_view muxer{};       // ffmpeg's name: "mp4", "matroska", "mov", "webm"
    std::string_view video_codec{}; // ffmpeg's encoder: "libx264", "ffv1", "libvpx-vp9"
    std::string_view pixel_format{};// "yuv420p", or "gbrp" for lossless RGB
    std::string_view profile{};     // H.264's profile, or empty
    int32_t crf = -1;               // constant quality, or -1
    int64_t bitrate = 0;            // bits per second, or 0 for constant quality
    int64_t maxrate = 0;            // the rate's bound and its buffer, or 0
    int64_t bufsize = 0;
    bool constant_rate = false;     // filler keeps the rate at `bitrate`
    int32_t gop = 0;                // frames between key frames, or 0 for the encoder's choice
    int32_t bframes = -1;           // or -1 for the encoder's choice
    std::string_view audio_codec{}; // "aac", "flac", "libopus"
    int64_t audio_bitrate = 0;      // bits per second, or 0 (lossless)
    int32_t sample_rate = 0;        // or 0 to keep the tune's
    int32_t channels = 2;
    bool faststart = false;         // the index first, for playing while it downloads
    bool even_sides = true;         // yuv420p halves the chroma
};

// A preset: a size, a rate and a format, each set in one place.
struct VideoPreset {
    std::string_view name;
    std::string_view description;  // for --help and the README
    int32_t width;
    int32_t height;
    CliRate fps;
    std::string_view extension;  // the container it is made for
    VideoFormat format;
};

std::span<const VideoPreset> video_presets();
const VideoPreset* video_preset_find(std::string_view name);

// What the command line asks for beyond the container and the preset.
struct FormatChoices {
    const VideoPreset* preset = nullptr;
    std::string codec;     // "h264", "ffv1", "vp9", or empty
    bool lossless = false;
    std::optional<int32_t> crf;
    int64_t bitrate = 0;   // 0: not given
};

// The format for an output: its path ("-" is standard output, as Matroska)
// and the choices. False with error for a container this tool does not write
// or a combination that cannot work.
bool video_format_resolve(std::string_view output, const FormatChoices& choices, VideoFormat& format,
                          std::string& error);

// FFmpeg takes a raw picture only while 8 x (width + 128) x (height + 128)
// stays under INT_MAX (16384x16128 is the tallest at the widest), whatever the
// codec: a larger one is refused at the first frame, once it has been
// rendered. False with error for such a size.
bool video_size_check(int32_t width, int32_t height, std::string& error);

// Reads a bit rate: bits per second, or with k or M (1000, 1000000) after the
// number, e.g. "8M" or "192k".
bool bitrate_parse(std::string_view text, int64_t& bits);

// Splits --ffmpeg-args into arguments at blanks, keeping what '...' or "..."
// quotes together. False with error for an unclosed quote.
bool ffmpeg_args_split(std::string_view text, std::vector<std::string>& args, std::string& error);
