// A whole MP3 file decoded to PCM by the system's own MP3 codec (through the
// Audio Compression Manager), trimmed by the encoder's info tag so that the
// first sample is the tune's first and the length is exact.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Interleaved signed 16-bit samples at the file's own rate.
struct Tune {
    uint32_t sample_rate = 0;
    uint16_t channels = 0;
    std::vector<uint8_t> pcm;
};

// Nothing when the bytes are not an MP3 that yields audio. A file cut short
// decodes as far as it goes. May throw std::bad_alloc.
std::optional<Tune> tune_decode(std::span<const uint8_t> file);
