// The WAV file's header and its 16-bit samples.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "tools/synth/wav.h"

namespace {

uint32_t u32_at(const std::vector<unsigned char>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t u16_at(const std::vector<unsigned char>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
int16_t s16_at(const std::vector<unsigned char>& b, size_t at) { return int16_t(u16_at(b, at)); }
bool tag_at(const std::vector<unsigned char>& b, size_t at, const char* tag) {
    return std::memcmp(b.data() + at, tag, 4) == 0;
}

TEST(Wav, HeaderDescribes16BitStereoAt44100) {
    StereoBuffer audio = stereo_make(3);
    const std::vector<unsigned char> file = wav_encode(audio);
    ASSERT_EQ(file.size(), 44u + 12u);
    EXPECT_TRUE(tag_at(file, 0, "RIFF"));
    EXPECT_EQ(u32_at(file, 4), file.size() - 8);
    EXPECT_TRUE(tag_at(file, 8, "WAVE"));
    EXPECT_TRUE(tag_at(file, 12, "fmt "));
    EXPECT_EQ(u32_at(file, 16), 16u);
    EXPECT_EQ(u16_at(file, 20), 1);  // PCM
    EXPECT_EQ(u16_at(file, 22), 2);
    EXPECT_EQ(u32_at(file, 24), 44100u);
    EXPECT_EQ(u32_at(file, 28), 44100u * 4);
    EXPECT_EQ(u16_at(file, 32), 4);
    EXPECT_EQ(u16_at(file, 34), 16);
    EXPECT_TRUE(tag_at(file, 36, "data"));
    EXPECT_EQ(u32_at(file, 40), 12u);
}

TEST(Wav, SamplesInterleaveRoundAndClip) {
    StereoBuffer audio = stereo_make(4);
    audio.left = {1.0f, -1.0f, 2.0f, 0.5f};
    audio.right = {0.0f, -2.0f, 1.0f / 32767.0f, -0.5f};
    const std::vector<unsigned char> file = wav_encode(audio);
    const int16_t expected[] = {32767, 0, -32767, -32768, 32767, 1, 16384, -16384};
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(s16_at(file, 44 + 2 * i), expected[i]) << i;
}

TEST(Wav, EmptyAudioIsAValidEmptyFile) {
    const std::vector<unsigned char> file = wav_encode(StereoBuffer{});
    EXPECT_EQ(file.size(), 44u);
    EXPECT_EQ(u32_at(file, 40), 0u);
}

}  // namespace
