// Writing a stereo buffer as a 16-bit PCM WAV file.
#include "tools/synth/wav.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

void put_u32(std::vector<unsigned char>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void put_u16(std::vector<unsigned char>& out, uint16_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void put_tag(std::vector<unsigned char>& out, std::string_view tag) {
    for (char c : tag) out.push_back(static_cast<unsigned char>(c));
}

int16_t sample_quantise(float sample) {
    const double scaled = std::round(double(sample) * 32767.0);
    return int16_t(std::clamp(scaled, -32768.0, 32767.0));
}

}  // namespace

std::vector<unsigned char> wav_encode(const StereoBuffer& audio) {
    constexpr uint16_t CHANNELS = 2;
    constexpr uint16_t BITS = 16;
    constexpr uint32_t RATE = uint32_t(SAMPLE_RATE);
    const size_t frames = std::min(audio.left.size(), audio.right.size());
    const uint32_t data_bytes = uint32_t(frames * CHANNELS * (BITS / 8));
    std::vector<unsigned char> out;
    out.reserve(44 + data_bytes);
    put_tag(out, "RIFF");
    put_u32(out, 36 + data_bytes);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put_u32(out, 16);
    put_u16(out, 1);  // PCM
    put_u16(out, CHANNELS);
    put_u32(out, RATE);
    put_u32(out, RATE * CHANNELS * (BITS / 8));
    put_u16(out, CHANNELS * (BITS / 8));
    put_u16(out, BITS);
    put_tag(out, "data");
    put_u32(out, data_bytes);
    for (size_t i = 0; i < frames; ++i) {
        put_u16(out, uint16_t(sample_quantise(audio.left[i])));
        put_u16(out, uint16_t(sample_quantise(audio.right[i])));
    }
    return out;
}
