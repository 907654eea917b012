// libFuzzer target: the MP3 frame layout reader of the Windows tune decoder,
// built for Linux (it needs no platform header).
//
// Besides the sanitizers, it checks the layout against frame headers decoded
// here on their own: the audio lies inside the file and ends at its end or
// before its ID3v1 tag, a whole layer III frame starts at audio_begin with the
// reported rate, channels, bit rate and length and is followed by a frame of
// the same stream or by the audio's end, so no frame overlaps another or the
// end; a gapless layout comes from an info frame right before the audio and
// only then has delays and a length. And it checks that tags move the audio
// and nothing else: an ID3v2 tag or zero bytes put in front shift it by their
// size, an ID3v1 tag put behind leaves it where it was.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/windows/mp3_layout.h"

namespace {

// Names the failing check's line: the checks are inlined, so the stack trace
// does not.
void check(bool holds, int line = __builtin_LINE()) {
    if (holds) return;
    std::fprintf(stderr, "check failed: %s line %d\n", __FILE__, line);
    std::abort();
}

struct Frame {
    int version = 0;  // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
    uint32_t sample_rate = 0;
    uint16_t channels = 0;
    uint32_t bitrate = 0;
    uint32_t samples = 0;
    uint32_t bytes = 0;  // without padding
    uint32_t padding = 0;
    uint32_t side_info = 0;
};

std::optional<Frame> frame_at(std::span<const uint8_t> file, size_t at) {
    if (at > file.size() || file.size() - at < 4) return std::nullopt;
    const uint8_t* h = file.data() + at;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return std::nullopt;
    constexpr std::array<int, 4> VERSIONS{25, 0, 2, 1};
    Frame frame;
    frame.version = VERSIONS[(h[1] >> 3) & 3];
    const bool layer3 = ((h[1] >> 1) & 3) == 1;
    const unsigned bitrate_index = h[2] >> 4, rate_index = (h[2] >> 2) & 3;
    if (frame.version == 0 || !layer3 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3 ||
        (h[3] & 3) == 2)
        return std::nullopt;
    constexpr std::array<std::array<uint32_t, 3>, 3> RATES{{{44100, 48000, 32000},
                                                            {22050, 24000, 16000},
                                                            {11025, 12000, 8000}}};
    constexpr std::array<uint32_t, 15> KBITS_1{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    constexpr std::array<uint32_t, 15> KBITS_2{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const bool mpeg1 = frame.version == 1;
    const bool mono = (h[3] >> 6) == 3;
    frame.sample_rate = RATES[mpeg1 ? 0 : frame.version == 2 ? 1 : 2][rate_index];
    frame.channels = mono ? 1 : 2;
    frame.bitrate = (mpeg1 ? KBITS_1 : KBITS_2)[bitrate_index] * 1000;
    frame.samples = mpeg1 ? 1152 : 576;
    frame.bytes = (mpeg1 ? 144 : 72) * frame.bitrate / frame.sample_rate;
    frame.padding = (h[2] >> 1) & 1;
    frame.side_info = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return frame;
}

bool same_stream(const Frame& a, const Frame& b) {
    return a.version == b.version && a.sample_rate == b.sample_rate && a.channels == b.channels;
}

bool text_at(std::span<const uint8_t> file, size_t at, std::string_view text) {
    return at <= file.size() && file.size() - at >= text.size() &&
           std::equal(text.begin(), text.end(), file.begin() + ptrdiff_t(at));
}

bool ends_in_id3v1(std::span<const uint8_t> file) {
    return file.size() >= 128 && text_at(file, file.size() - 128, "TAG");
}

// An info frame (Xing or Info) that ends right where the audio begins.
bool info_frame_before(std::span<const uint8_t> file, size_t audio_begin, const Frame& audio) {
    constexpr size_t LONGEST_FRAME = 144 * 320000 / 32000 + 1;
    for (size_t at = audio_begin - std::min(audio_begin, LONGEST_FRAME); at < audio_begin; ++at) {
        const std::optional<Frame> frame = frame_at(file, at);
        if (!frame || at + frame->bytes + frame->padding != audio_begin || !same_stream(*frame, audio)) continue;
        const size_t tag = at + 4 + frame->side_info;
        if (text_at(file, tag, "Xing") || text_at(file, tag, "Info")) return true;
    }
    return false;
}

void check_layout(std::span<const uint8_t> file, const Mp3Layout& layout) {
    check(layout.audio_end == file.size() || (ends_in_id3v1(file) && layout.audio_end == file.size() - 128));
    check(layout.audio_begin < layout.audio_end);

    const std::optional<Frame> first = frame_at(file, layout.audio_begin);
    check(first.has_value());
    check(layout.sample_rate == first->sample_rate && layout.channels == first->channels);
    check(layout.bitrate == first->bitrate && layout.samples_per_frame == first->samples);
    check(layout.frame_bytes == first->bytes);
    const size_t first_end = layout.audio_begin + first->bytes + first->padding;
    check(first_end <= layout.audio_end);
    if (first_end < layout.audio_end) {
        const std::optional<Frame> second = frame_at(file.first(layout.audio_end), first_end);
        check(second && same_stream(*first, *second));
    }

    if (layout.gapless) {
        check(info_frame_before(file, layout.audio_begin, *first));
        check(layout.length_samples > 0);
        check(layout.skip_samples >= 529 && layout.skip_samples <= 529 + 4095);
    } else {
        check(layout.skip_samples == 0 && layout.length_samples == 0);
    }
}

bool same_layout(const std::optional<Mp3Layout>& a, const std::optional<Mp3Layout>& b, size_t shift) {
    if (!a || !b) return !a && !b;
    return a->audio_begin + shift == b->audio_begin && a->audio_end + shift == b->audio_end &&
           a->sample_rate == b->sample_rate && a->channels == b->channels && a->bitrate == b->bitrate &&
           a->frame_bytes == b->frame_bytes && a->samples_per_frame == b->samples_per_frame &&
           a->gapless == b->gapless && a->skip_samples == b->skip_samples && a->length_samples == b->length_samples;
}

std::vector<uint8_t> joined(std::span<const uint8_t> front, std::span<const uint8_t> file,
                            std::span<const uint8_t> back) {
    std::vector<uint8_t> out(front.begin(), front.end());
    out.insert(out.end(), file.begin(), file.end());
    out.insert(out.end(), back.begin(), back.end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> file(data, size);
    const std::optional<Mp3Layout> layout = mp3_layout_read(file);
    if (layout) check_layout(file, *layout);

    // A 16-byte ID3v2.4 tag, its size stored 7 bits a byte; no byte of it can
    // start an ID3v1 tag or a frame.
    std::array<uint8_t, 26> id3v2{'I', 'D', '3', 4, 0, 0, 0, 0, 0, 16};
    check(same_layout(layout, mp3_layout_read(joined(id3v2, file, {})), id3v2.size()));

    if (!text_at(file, 0, "ID3")) {
        constexpr std::array<uint8_t, 7> zeros{};
        check(same_layout(layout, mp3_layout_read(joined(zeros, file, {})), zeros.size()));
    }
    if (!ends_in_id3v1(file)) {
        std::array<uint8_t, 128> id3v1{'T', 'A', 'G'};
        check(same_layout(layout, mp3_layout_read(joined({}, file, id3v1)), 0));
    }
    return 0;
}
