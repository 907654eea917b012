// MP3 files decoded whole with libmpg123, the one decoder of the Linux side:
// the audio layer plays what it gives, and the tools take the tune's length
// from it, so both agree on every sample.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Bytes of one sample frame of the decoded audio: signed 16-bit stereo.
inline constexpr uint32_t MP3_FRAME_BYTES = 4;

// The whole file as interleaved signed 16-bit stereo at the frequency, or
// nothing when it is not an MP3 that yields audio. Gapless: with the encoder's
// info tag the first sample is the first audible one and the length is exact.
// A file cut short, or damaged past the decoder's resync limit, gives as much
// as decodes. May throw std::bad_alloc.
std::optional<std::vector<uint8_t>> mp3_decode(const char* path, uint32_t frequency);
// The same from an open file descriptor, which stays open.
std::optional<std::vector<uint8_t>> mp3_decode_fd(int fd, uint32_t frequency);
