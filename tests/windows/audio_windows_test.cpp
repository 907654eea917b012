// The Windows audio layer under Wine, through audio.h: failures as the driver
// expects them, and a tune played on a real-time silent device from its start
// to its end, where the position holds. The files come from make_test_tunes.sh
// in the working directory; the device from sound_server.sh, except for the
// tests without one.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/audio.h"

namespace {

using namespace std::chrono_literals;

// Closes the layer at the end of a test, whatever happened in it.
struct Layer {
    bool ready = audio_init(AUDIO_DEFAULT_DEVICE, 44100);
    ~Layer() { audio_free(); }
};

// Plays the file and reads the position every 2 ms until it has stood at the
// tune's end for half a second (or 20 s have passed); fails on any step back.
uint64_t play_to_the_end(AudioStream stream, uint64_t end_bytes) {
    EXPECT_EQ(audio_channel_get_position(stream), 0u) << "before playing";
    EXPECT_TRUE(audio_start());
    EXPECT_TRUE(audio_channel_play(stream, false));
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    auto held_since = deadline;
    uint64_t position = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const uint64_t now = audio_channel_get_position(stream);
        EXPECT_GE(now, position) << "the position went back";
        position = now;
        if (position < end_bytes) {
            held_since = deadline;
        } else if (held_since == deadline) {
            held_since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - held_since > 500ms) {
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    return position;
}

TEST(AudioLayer, OpensOnceAndAStreamNeedsTheDevice) {
    EXPECT_EQ(audio_stream_create_file("click_cbr.mp3", AUDIO_STREAM_PRESCAN), 0u);
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, 44100));
    EXPECT_FALSE(audio_init(AUDIO_DEFAULT_DEVICE, 44100));
    EXPECT_TRUE(audio_update(0));
    EXPECT_TRUE(audio_free());
    EXPECT_FALSE(audio_free());
}

TEST(AudioLayer, WhatIsNoTuneGivesNoStreamAndANegativeClock) {
    const Layer layer;
    ASSERT_TRUE(layer.ready);
    for (const char* path : {"missing.mp3", "empty.mp3", "text.mp3", "tag_only.mp3", "noise.mp3",
                             "program.mp3"})
        EXPECT_EQ(audio_stream_create_file(path, AUDIO_STREAM_PRESCAN), 0u) << path;
    EXPECT_EQ(audio_channel_get_position(0), AUDIO_POSITION_INVALID);
    EXPECT_LT(audio_channel_bytes_to_seconds(0, AUDIO_POSITION_INVALID), 0.0);
    EXPECT_FALSE(audio_channel_play(0, false));
    EXPECT_FALSE(audio_stream_free(0));
}

// Never given a per-frame update: the playback thread alone keeps the music going.
TEST(AudioLayer, PlaysToTheEndAndHoldsThere) {
    const Layer layer;
    ASSERT_TRUE(layer.ready);
    const AudioStream stream = audio_stream_create_file("click_cbr.mp3", AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    const uint64_t end_bytes = 2 * 44100 * 4;
    EXPECT_EQ(play_to_the_end(stream, end_bytes), end_bytes);
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(stream, end_bytes), 2.0);
    EXPECT_TRUE(audio_stream_free(stream));
    EXPECT_EQ(audio_channel_get_position(stream), AUDIO_POSITION_INVALID);
}

// A tune in another format than the device was opened with.
TEST(AudioLayer, PlaysAMonoTuneAtItsOwnRate) {
    const Layer layer;
    ASSERT_TRUE(layer.ready);
    const AudioStream stream = audio_stream_create_file("click_mono22.mp3", AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    const uint64_t end_bytes = 2 * 22050 * 2;
    EXPECT_EQ(play_to_the_end(stream, end_bytes), end_bytes);
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(stream, end_bytes), 2.0);
}

TEST(AudioLayerWithoutDevice, InitFailsAndNoStreamOpens) {
    EXPECT_FALSE(audio_init(AUDIO_DEFAULT_DEVICE, 44100));
    EXPECT_EQ(audio_stream_create_file("click_cbr.mp3", AUDIO_STREAM_PRESCAN), 0u);
    EXPECT_FALSE(audio_start());
    EXPECT_FALSE(audio_free());
}

}  // namespace
