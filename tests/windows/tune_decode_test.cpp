// MP3 files decoded by the system's codec under Wine: the frame layout found
// from the bytes, the first sample being the tune's first (the encoder's and
// decoder's delays trimmed), the exact length, and files that are no MP3.
// The files come from make_test_tunes.sh in the working directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/windows/mp3_layout.h"
#include "platform/windows/tune_decode.h"

namespace {

std::vector<uint8_t> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

size_t frame_count(const Tune& tune) { return tune.pcm.size() / (2 * tune.channels); }

int16_t sample_at(const Tune& tune, size_t frame) {
    int16_t sample = 0;
    std::memcpy(&sample, tune.pcm.data() + frame * 2 * tune.channels, 2);
    return sample;
}

// The first frame of the first channel at half the burst's amplitude or more:
// the burst's sine reaches that within 4 samples of its start.
size_t burst_onset(const Tune& tune) {
    for (size_t frame = 0; frame < frame_count(tune); ++frame)
        if (std::abs(sample_at(tune, frame)) > 32767 / 4) return frame;
    return SIZE_MAX;
}

// A 10 ms burst at exactly 1 s into 2 s: sample-exact start and length.
void expect_click_tune(const std::string& path, uint32_t rate, uint16_t channels) {
    SCOPED_TRACE(path);
    const std::optional<Tune> tune = tune_decode(file_bytes(path));
    ASSERT_TRUE(tune);
    EXPECT_EQ(tune->sample_rate, rate);
    EXPECT_EQ(tune->channels, channels);
    EXPECT_EQ(frame_count(*tune), 2 * rate);
    const size_t onset = burst_onset(*tune);
    EXPECT_GE(onset, rate);
    EXPECT_LE(onset, rate + 4);
}

TEST(TuneDecode, ConstantBitRateIsSampleExact) { expect_click_tune("click_cbr.mp3", 44100, 2); }

// Silent stretches of a VBR file use the lowest bit rate, where little input
// makes much output: none of it may get lost.
TEST(TuneDecode, VariableBitRateIsSampleExact) { expect_click_tune("click_vbr.mp3", 44100, 2); }

TEST(TuneDecode, AnId3TagIsSkipped) { expect_click_tune("click_id3.mp3", 44100, 2); }

TEST(TuneDecode, MonoMpeg2IsSampleExact) { expect_click_tune("click_mono22.mp3", 22050, 1); }

TEST(TuneDecode, AFileCutShortDecodesAsFarAsItGoes) {
    const std::optional<Tune> tune = tune_decode(file_bytes("click_cut.mp3"));
    ASSERT_TRUE(tune);
    EXPECT_GT(frame_count(*tune), 40000u);
    EXPECT_LT(frame_count(*tune), 48000u);
}

TEST(TuneDecode, WhatIsNoMp3GivesNothing) {
    for (const char* path : {"empty.mp3", "text.mp3", "tag_only.mp3", "noise.mp3", "program.mp3"})
        EXPECT_FALSE(tune_decode(file_bytes(path))) << path;
}

// MPEG-1 layer III, 128 kbit/s, 44.1 kHz, stereo, no padding: 417 bytes.
constexpr uint8_t FRAME_HEADER[] = {0xFF, 0xFB, 0x90, 0x00};
constexpr size_t FRAME_BYTES = 417;

void append_frames(std::vector<uint8_t>& bytes, int count) {
    std::vector<uint8_t> frame(FRAME_BYTES);
    std::copy(std::begin(FRAME_HEADER), std::end(FRAME_HEADER), frame.begin());
    for (int i = 0; i < count; ++i) bytes.insert(bytes.end(), frame.begin(), frame.end());
}

TEST(Mp3Layout, ASyncPatternInJunkIsNotTakenForAFrame) {
    std::vector<uint8_t> bytes = {'j', 'u', 'n', 'k', 0xFF, 0xFB, 0x90, 0x00, 'x', 'y'};
    const size_t stream = bytes.size();
    append_frames(bytes, 3);
    const std::optional<Mp3Layout> layout = mp3_layout_read(bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->audio_begin, stream);
    EXPECT_EQ(layout->audio_end, bytes.size());
    EXPECT_EQ(layout->bitrate, 128000u);
    EXPECT_EQ(layout->frame_bytes, FRAME_BYTES);
    EXPECT_FALSE(layout->gapless);
}

TEST(Mp3Layout, TagsAtBothEndsAreLeftOut) {
    // ID3v2 with a footer: 10-byte header, 300 bytes (stored 7 bits a byte), 10-byte footer.
    constexpr uint8_t ID3V2_HEADER[] = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 2, 44};
    std::vector<uint8_t> bytes(10 + 300 + 10, 0xFF);
    std::copy(std::begin(ID3V2_HEADER), std::end(ID3V2_HEADER), bytes.begin());
    const size_t stream = bytes.size();
    append_frames(bytes, 2);
    const size_t stream_end = bytes.size();
    std::vector<uint8_t> id3v1(128);
    std::memcpy(id3v1.data(), "TAG", 3);
    bytes.insert(bytes.end(), id3v1.begin(), id3v1.end());
    const std::optional<Mp3Layout> layout = mp3_layout_read(bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->audio_begin, stream);
    EXPECT_EQ(layout->audio_end, stream_end);
}

TEST(Mp3Layout, AnInfoFrameAloneIsNoTune) {
    std::vector<uint8_t> bytes;
    append_frames(bytes, 1);
    std::memcpy(bytes.data() + 4 + 32, "Info", 4);
    EXPECT_FALSE(mp3_layout_read(bytes));
    append_frames(bytes, 1);
    const std::optional<Mp3Layout> layout = mp3_layout_read(bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->audio_begin, FRAME_BYTES);
}

}  // namespace
