// The containers, codecs and presets as tables, so that each setting is
// written once and the README's table can be read off them.
#include "tools/render/formats.h"

#include <algorithm>
#include <cctype>

namespace {

struct Codec {
    std::string_view name;     // as --codec takes it
    std::string_view encoder;  // ffmpeg's
    std::string_view pixel_format;
    int32_t crf;      // the default quality, or -1 for a lossless codec
    int32_t crf_max;
    bool even_sides;
};

constexpr Codec CODECS[] = {
    {"h264", "libx264", "yuv420p", 18, 51, true},
    // Lossless RGB: the frames' own bytes, with no colour conversion at all.
    {"ffv1", "ffv1", "gbrp", -1, 0, false},
    {"vp9", "libvpx-vp9", "yuv420p", 31, 63, true},
};

struct Container {
    std::string_view extension;
    std::string_view muxer;
    std::string_view video_codecs[3];  // the first is the default
    std::string_view audio_codecs[3];  // encoders; the first is the default
    int64_t audio_bitrate;             // of the default audio codec
    bool faststart;
};

constexpr Container CONTAINERS[] = {
    {".mp4", "mp4", {"h264"}, {"aac"}, 192'000, true},
    {".mov", "mov", {"h264"}, {"aac"}, 192'000, true},
    {".mkv", "matroska", {"h264", "ffv1", "vp9"}, {"flac", "aac", "libopus"}, 0, false},
    {".webm", "webm", {"vp9"}, {"libopus"}, 192'000, false},
};

constexpr std::string_view STANDARD_OUTPUT_EXTENSION = ".mkv";  // Matroska streams without seeking back

constexpr VideoFormat H264_HIGH{
    .muxer = "mp4",
    .video_codec = "libx264",
    .pixel_format = "yuv420p",
    .profile = "high",
    .audio_codec = "aac",
    .sample_rate = 48'000,
    .channels = 2,
    .faststart = true,
};

// The party's: comfortably above the usual ">= 6 Mbit/s at 1080p", held there by
// filler, with AAC at 48 kHz.
constexpr VideoFormat party_format() {
    VideoFormat format = H264_HIGH;
    format.bitrate = 12'000'000;
    format.maxrate = 12'000'000;
    format.bufsize = 6'000'000;
    format.constant_rate = true;
    format.audio_bitrate = 192'000;
    return format;
}

// A video site's recommendations for uploads: a variable rate around the
// figure for the size at 60 frames per second, two B-frames, key frames every
// half second, AAC at 384 kbit/s.
constexpr VideoFormat web_format(int64_t bitrate, int64_t maxrate) {
    VideoFormat format = H264_HIGH;
    format.bitrate = bitrate;
    format.maxrate = maxrate;
    format.bufsize = 2 * maxrate;
    format.gop = 30;
    format.bframes = 2;
    format.audio_bitrate = 384'000;
    return format;
}

constexpr VideoFormat master_format() {
    return {
        .muxer = "matroska",
        .video_codec = "ffv1",
        .pixel_format = "gbrp",
        .audio_codec = "flac",
        .channels = 0,
        .even_sides = false,
    };
}

constexpr VideoPreset PRESETS[] = {
    {"party", "H.264 High, 12 Mbit/s constant; AAC 192 kbit/s, 48 kHz stereo", 1920, 1080,
     {60, 1}, ".mp4", party_format()},
    {"web-1080p60", "H.264 High, 12 Mbit/s (at most 18); AAC 384 kbit/s, 48 kHz", 1920, 1080, {60, 1},
     ".mp4", web_format(12'000'000, 18'000'000)},
    {"web-2160p60", "H.264 High, 60 Mbit/s (at most 85); AAC 384 kbit/s, 48 kHz", 3840, 2160, {60, 1},
     ".mp4", web_format(60'000'000, 85'000'000)},
    {"master", "FFV1 in RGB and FLAC: lossless", 1920, 1080, {60, 1}, ".mkv", master_format()},
};

const Codec* codec_by_name(std::string_view name) {
    for (const Codec& codec : CODECS)
        if (codec.name == name) return &codec;
    return nullptr;
}

const Codec* codec_by_encoder(std::string_view encoder) {
    for (const Codec& codec : CODECS)
        if (codec.encoder == encoder) return &codec;
    return nullptr;
}

const Container* container_of(std::string_view output) {
    std::string extension(STANDARD_OUTPUT_EXTENSION);
    if (output != "-") {
        const size_t dot = output.rfind('.');
        const size_t slash = output.rfind('/');
        extension = dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)
                        ? std::string()
                        : std::string(output.substr(dot));
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
    }
    for (const Container& container : CONTAINERS)
        if (container.extension == extension) return &container;
    return nullptr;
}

template <size_t N>
bool holds(const std::string_view (&names)[N], std::string_view name) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The codec's own defaults, in place of the preset's rate settings.
void codec_apply(const Codec& codec, VideoFormat& format) {
    format.video_codec = codec.encoder;
    format.pixel_format = codec.pixel_format;
    format.even_sides = codec.even_sides;
    format.profile = {};
    format.crf = codec.crf;
    format.bitrate = format.maxrate = format.bufsize = 0;
    format.constant_rate = false;
}

// "a", "a or b", "a, b or c".
template <size_t N>
std::string names_text(const std::string_view (&names)[N]) {
    size_t count = 0;
    while (count < N && !names[count].empty()) ++count;
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text.append(i == 0 ? "" : i + 1 == count ? " or " : ", ").append(names[i]);
    return text;
}

std::string where(std::string_view output, const Container& container) {
    return output == "-" ? "Matroska on standard output" : std::string(container.extension);
}

}  // namespace

std::span<const VideoPreset> video_presets() {
    return PRESETS;
}

const VideoPreset* video_preset_find(std::string_view name) {
    for (const VideoPreset& preset : PRESETS)
        if (preset.name == name) return &preset;
    return nullptr;
}

bool video_size_check(int32_t width, int32_t height, std::string& error) {
    constexpr int64_t MARGIN = 128;
    if (8 * (int64_t(width) + MARGIN) * (int64_t(height) + MARGIN) < INT32_MAX) return true;
    error = "ffmpeg takes no video frame of " + std::to_string(width) + "x" + std::to_string(height) +
            ": 8 x (width + 128) x (height + 128) must stay under " + std::to_string(INT32_MAX);
    return false;
}

bool video_format_resolve(std::string_view output, const FormatChoices& choices, VideoFormat& format,
                          std::string& error) {
    const Container* container = container_of(output);
    if (!container) {
        error = "cannot tell the container from '" + std::string(output) +
                "': name the video .mp4, .mkv, .mov or .webm, or '-' for Matroska on standard output";
        return false;
    }
    if (choices.preset) {
        format = choices.preset->format;
    } else {
        format = {.audio_codec = container->audio_codecs[0],
                  .audio_bitrate = container->audio_bitrate,
                  .channels = 0};
        codec_apply(*codec_by_name(container->video_codecs[0]), format);
    }
    format.muxer = container->muxer;
    format.faststart = container->faststart;

    std::string codec_name = choices.codec;
    if (choices.lossless) {
        if (!codec_name.empty() && codec_name != "ffv1") {
            error = "--lossless is FFV1, not --codec " + codec_name;
            return false;
        }
        codec_name = "ffv1";
    }
    if (!codec_name.empty()) {
        const Codec* codec = codec_by_name(codec_name);
        if (!codec) {
            error = "no codec '" + codec_name + "': h264, ffv1 or vp9";
            return false;
        }
        codec_apply(*codec, format);
    }
    const Codec& codec = *codec_by_encoder(format.video_codec);
    if (!holds(container->video_codecs, codec.name)) {
        error = std::string(codec.name) + " cannot go in " + where(output, *container) + ": it takes " +
                names_text(container->video_codecs);
        if (codec.name == "ffv1") error += "; a lossless video goes in .mkv";
        return false;
    }
    // A lossless picture deserves lossless sound, where the container has it.
    if (codec.crf < 0 && holds(container->audio_codecs, "flac")) {
        format.audio_codec = "flac";
        format.audio_bitrate = 0;
    }
    if (!holds(container->audio_codecs, format.audio_codec)) {
        format.audio_codec = container->audio_codecs[0];
        format.audio_bitrate = container->audio_bitrate;
    }
    // Opus is coded at 48 kHz.
    if (format.audio_codec == "libopus") format.sample_rate = 48'000;

    if (choices.crf && choices.bitrate) {
        error = "give either --crf or --bitrate";
        return false;
    }
    if ((choices.crf || choices.bitrate) && codec.crf < 0) {
        error = std::string(codec.name) + " is lossless: it takes neither --crf nor --bitrate";
        return false;
    }
    if (choices.crf) {
        if (*choices.crf < 0 || *choices.crf > codec.crf_max) {
            error = "--crf for " + std::string(codec.name) + " goes from 0 to " + std::to_string(codec.crf_max);
            return false;
        }
        format.crf = *choices.crf;
        format.bitrate = format.maxrate = format.bufsize = 0;
        format.constant_rate = false;
    }
    if (choices.bitrate) {
        format.crf = -1;
        format.bitrate = choices.bitrate;
        format.maxrate = format.bufsize = 0;
        format.constant_rate = false;
    }
    return true;
}

bool bitrate_parse(std::string_view text, int64_t& bits) {
    int64_t scale = 1;
    if (text.ends_with('k') || text.ends_with('K')) scale = 1000;
    if (text.ends_with('M') || text.ends_with('m')) scale = 1'000'000;
    if (scale > 1) text.remove_suffix(1);
    double number = 0.0;
    if (!cli_number(text, number) || !(number > 0.0) || number * double(scale) > 1e10) return false;
    bits = int64_t(number * double(scale) + 0.5);
    return bits >= 1000;
}

bool ffmpeg_args_split(std::string_view text, std::vector<std::string>& args, std::string& error) {
    std::string current;
    bool in_word = false;
    char quote = 0;
    for (const char c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                current += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (in_word) args.push_back(current);
            current.clear();
            in_word = false;
        } else {
            current += c;
            in_word = true;
        }
    }
    if (quote) {
        error = "an unclosed " + std::string(1, quote) + " in --ffmpeg-args";
        return false;
    }
    if (in_word) args.push_back(current);
    return true;
}
