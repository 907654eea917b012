// Where the audio of an MP3 file lies and how long it really is, read from the
// bytes alone (no platform header): the system's MP3 codec is handed only whole
// audio frames, and the encoder's info tag tells how much of the decoded sound
// is the encoder's and decoder's delay and padding rather than the tune.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

struct Mp3Layout {
    size_t audio_begin = 0;  // the first audio frame, after any ID3v2 tag and info frame
    size_t audio_end = 0;    // past the last audio byte, before any ID3v1 tag
    uint32_t sample_rate = 0;
    uint16_t channels = 0;
    uint32_t bitrate = 0;             // bits per second of the first audio frame
    uint32_t frame_bytes = 0;         // length of the first audio frame, without padding
    uint32_t samples_per_frame = 0;   // 1152 for MPEG-1, 576 for MPEG-2 and 2.5
    // From the encoder's info tag, when it has one: the decoded samples to drop
    // at the start (encoder delay and decoder delay) and the tune's exact
    // length in samples per channel.
    bool gapless = false;
    uint64_t skip_samples = 0;
    uint64_t length_samples = 0;
};

// A layer III stream of at least one frame, or nothing: an empty file, text, a
// tag alone or any other binary gives nothing.
std::optional<Mp3Layout> mp3_layout_read(std::span<const uint8_t> file);
