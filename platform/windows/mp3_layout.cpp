// Reading an MP3 file's frame layout and info tag (see mp3_layout.h).
#include "platform/windows/mp3_layout.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Every MP3 decoder's synthesis filter puts this many samples of its own in
// front of the sound; the encoder's info tag counts only the encoder's delay.
constexpr uint64_t DECODER_DELAY = 529;

struct FrameHeader {
    uint8_t version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    uint32_t sample_rate = 0;
    uint16_t channels = 0;
    uint32_t bitrate = 0;
    uint32_t samples = 0;
    uint32_t length = 0;     // bytes, with padding
    uint32_t side_info = 0;  // bytes between the header and the main data
};

constexpr std::array<uint16_t, 16> KBITS_MPEG1 = {0,   32,  40,  48,  56,  64,  80,  96,
                                                  112, 128, 160, 192, 224, 256, 320, 0};
constexpr std::array<uint16_t, 16> KBITS_MPEG2 = {0,  8,  16, 24,  32,  40,  48,  56,
                                                  64, 80, 96, 112, 128, 144, 160, 0};
constexpr std::array<uint32_t, 3> RATES_MPEG1 = {44100, 48000, 32000};

uint32_t big_endian_32(std::span<const uint8_t> bytes, size_t at) {
    return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 |
           uint32_t(bytes[at + 3]);
}

bool text_at(std::span<const uint8_t> bytes, size_t at, std::string_view text) {
    return at + text.size() <= bytes.size() &&
           std::equal(text.begin(), text.end(), bytes.begin() + ptrdiff_t(at));
}

// A layer III frame header at `at`; free-format and reserved values are refused.
std::optional<FrameHeader> header_read(std::span<const uint8_t> bytes, size_t at) {
    if (at + 4 > bytes.size()) return std::nullopt;
    const uint8_t b1 = bytes[at + 1], b2 = bytes[at + 2], b3 = bytes[at + 3];
    if (bytes[at] != 0xFF || (b1 & 0xE0) != 0xE0) return std::nullopt;
    FrameHeader header;
    header.version = (b1 >> 3) & 3;
    const unsigned layer = (b1 >> 1) & 3, bitrate_index = b2 >> 4, rate_index = (b2 >> 2) & 3;
    if (header.version == 1 || layer != 1 || bitrate_index == 0 || bitrate_index == 15 ||
        rate_index == 3 || (b3 & 3) == 2)
        return std::nullopt;
    const bool mpeg1 = header.version == 3;
    const bool mono = (b3 >> 6) == 3;
    header.sample_rate = RATES_MPEG1[rate_index] >> (mpeg1 ? 0 : header.version == 2 ? 1 : 2);
    header.channels = mono ? 1 : 2;
    header.bitrate = uint32_t(mpeg1 ? KBITS_MPEG1[bitrate_index] : KBITS_MPEG2[bitrate_index]) * 1000;
    header.samples = mpeg1 ? 1152 : 576;
    header.length = header.samples / 8 * header.bitrate / header.sample_rate + ((b2 >> 1) & 1);
    header.side_info = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return header;
}

bool same_stream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.sample_rate == b.sample_rate && a.channels == b.channels;
}

// A frame at `at` whose successor starts right after it (or the data ends
// there): a lone sync pattern inside other data is not taken for a frame.
std::optional<FrameHeader> frame_confirmed(std::span<const uint8_t> bytes, size_t at, size_t end) {
    const std::optional<FrameHeader> header = header_read(bytes.first(end), at);
    if (!header || at + header->length > end) return std::nullopt;
    if (at + header->length == end) return header;
    const std::optional<FrameHeader> next = header_read(bytes.first(end), at + header->length);
    if (!next || !same_stream(*header, *next)) return std::nullopt;
    return header;
}

// Past any ID3v2 tags at the start (their size is stored 7 bits a byte).
size_t id3v2_skip(std::span<const uint8_t> bytes) {
    size_t at = 0;
    while (text_at(bytes, at, "ID3") && at + 10 <= bytes.size()) {
        const std::span<const uint8_t> size = bytes.subspan(at + 6, 4);
        if (std::any_of(size.begin(), size.end(), [](uint8_t b) { return b & 0x80; })) break;
        const size_t body = size_t(size[0]) << 21 | size_t(size[1]) << 14 | size_t(size[2]) << 7 | size[3];
        const bool footer = bytes[at + 5] & 0x10;
        at += 10 + body + (footer ? 10 : 0);
    }
    return std::min(at, bytes.size());
}

// The encoder's info frame (Xing, or Info for constant bit rates) with its
// frame count and the delay and padding of the LAME extension.
struct InfoTag {
    bool gapless = false;
    uint64_t skip_samples = 0;
    uint64_t length_samples = 0;
};

std::optional<InfoTag> info_tag_read(std::span<const uint8_t> frame, const FrameHeader& header) {
    const size_t at = 4 + header.side_info;
    if (text_at(frame, 4 + 32, "VBRI")) return InfoTag{};
    if (!text_at(frame, at, "Xing") && !text_at(frame, at, "Info")) return std::nullopt;
    InfoTag tag;
    if (at + 8 > frame.size()) return tag;
    const uint32_t flags = big_endian_32(frame, at + 4);
    size_t field = at + 8;
    uint64_t frames = 0;
    if (flags & 1) {
        if (field + 4 > frame.size()) return tag;
        frames = big_endian_32(frame, field);
        field += 4;
    }
    if (flags & 2) field += 4;    // byte count
    if (flags & 4) field += 100;  // seek table
    if (flags & 8) field += 4;    // quality
    // The LAME extension: encoder name (9 bytes), then 12 bytes of other
    // fields, then the delay and the padding, 12 bits each.
    const bool extension = text_at(frame, field, "LAME") || text_at(frame, field, "Lavc") ||
                           text_at(frame, field, "Lavf");
    if (!extension || field + 24 > frame.size() || frames == 0) return tag;
    const uint64_t delay = uint64_t(frame[field + 21]) << 4 | frame[field + 22] >> 4;
    const uint64_t padding = uint64_t(frame[field + 22] & 0x0F) << 8 | frame[field + 23];
    const uint64_t total = frames * header.samples;
    if (total <= delay + padding) return tag;
    tag.gapless = true;
    tag.skip_samples = delay + DECODER_DELAY;
    tag.length_samples = total - delay - padding;
    return tag;
}

}  // namespace

std::optional<Mp3Layout> mp3_layout_read(std::span<const uint8_t> file) {
    size_t end = file.size();
    if (end >= 128 && text_at(file, end - 128, "TAG")) end -= 128;

    size_t at = id3v2_skip(file);
    std::optional<FrameHeader> header;
    for (; at + 4 <= end; ++at) {
        header = frame_confirmed(file, at, end);
        if (header) break;
    }
    if (!header) return std::nullopt;

    Mp3Layout layout;
    if (const std::optional<InfoTag> tag = info_tag_read(file.subspan(at, header->length), *header)) {
        layout.gapless = tag->gapless;
        layout.skip_samples = tag->skip_samples;
        layout.length_samples = tag->length_samples;
        at += header->length;
        header = frame_confirmed(file, at, end);
        if (!header) return std::nullopt;  // an info frame and nothing to play
    }
    layout.audio_begin = at;
    layout.audio_end = end;
    layout.sample_rate = header->sample_rate;
    layout.channels = header->channels;
    layout.bitrate = header->bitrate;
    layout.frame_bytes = header->samples / 8 * header->bitrate / header->sample_rate;
    layout.samples_per_frame = header->samples;
    return layout;
}
