// The Windows audio layer under Wine, through audio.h: failures as the driver
// expects them, a tune played on a real-time silent device from its start to
// its end, where the position holds, and moved and paused on the way. The files come from make_test_tunes.sh
// in the working directory; the device from sound_server.sh, except for the
// tests without one.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/audio.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The stereo test tune at 44.1 kHz: two seconds.
constexpr uint64_t END_BYTES = 2 * 44100 * 4;
// A position read at once after a move is within one picture of the place.
constexpr uint64_t PICTURE_BYTES = 44100 / 60 * 4;
// How far the position may run ahead of the time since a move: what the sound
// server takes in ahead of playing it, which waveOut may count as played.
constexpr double LEAD_SECONDS = 0.25;

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

// After the stereo stream was moved to `place` (at `moved_at`, taken just
// before), reads the position every 2 ms until it passes `until` or 20 s have
// passed; fails on any step back and on a reading further ahead of the place
// than the time since the move allows. A slow machine only makes the position
// lag, so that bound holds anywhere; an earlier reading that held the position
// up would show as a jump past it.
uint64_t position_from(AudioStream stream, uint64_t place, Clock::time_point moved_at, uint64_t until) {
    uint64_t position = place;
    while (Clock::now() < moved_at + 20s) {
        const uint64_t now = audio_channel_get_position(stream);
        const double since = std::chrono::duration<double>(Clock::now() - moved_at).count();
        EXPECT_GE(now, position) << "the position went back";
        EXPECT_LE(double(now), double(place) + (since * 1.05 + LEAD_SECONDS) * 44100 * 4)
            << "ahead of what can have been heard, " << since << " s after the move";
        position = now;
        if (position >= until) break;
        std::this_thread::sleep_for(2ms);
    }
    return position;
}

// Right after a move the position reads the place, or a little past it if the
// device went on in between.
void expect_at_once(AudioStream stream, uint64_t place) {
    const uint64_t position = audio_channel_get_position(stream);
    EXPECT_GE(position, place);
    EXPECT_LT(position, place + PICTURE_BYTES);
}

// Reads the position every 2 ms for about `ms` milliseconds.
std::vector<uint64_t> positions_over(AudioStream stream, int ms) {
    std::vector<uint64_t> positions;
    for (int waited = 0; waited < ms; waited += 2) {
        positions.push_back(audio_channel_get_position(stream));
        std::this_thread::sleep_for(2ms);
    }
    return positions;
}

// The stereo tune, open and playing.
AudioStream stereo_tune_play() {
    const AudioStream stream = audio_stream_create_file("click_cbr.mp3", AUDIO_STREAM_PRESCAN);
    if (stream == 0 || !audio_start() || !audio_channel_play(stream, false)) return 0;
    return stream;
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
    EXPECT_FALSE(audio_channel_pause(0));
    EXPECT_FALSE(audio_channel_set_position(0, 0));
    EXPECT_EQ(audio_channel_seconds_to_bytes(0, 1.0), 0u);
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

// Bytes count the stream's own frames: two bytes each for the mono tune.
TEST(AudioLayer, ConvertsSecondsToWholeFramesOfTheStream) {
    const Layer layer;
    ASSERT_TRUE(layer.ready);
    const AudioStream stream = audio_stream_create_file("click_mono22.mp3", AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, 1.5), 33075u * 2);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, 2.5 / 22050), 2u * 2);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, -1.0), 0u);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, audio_channel_bytes_to_seconds(stream, 12346)), 12346u);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream + 1, 1.0), 0u);
}

TEST(AudioLayer, ASeekReadsTheNewPlaceAtOnceThenMovesOnFromIt) {
    const Layer layer;
    ASSERT_TRUE(layer.ready);
    const AudioStream stream = stereo_tune_play();
    ASSERT_NE(stream, 0u);
    const uint64_t later = audio_channel_seconds_to_bytes(stream, 1.0);
    ASSERT_GE(position_from(stream, 0, Clock::now(), later), later);

    const uint64_t near_end = audio_channel_seconds_to_bytes(stream, 1.5);
    auto moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_set_position(stream, near_end));
    expect_at_once(stream, near_end);
    EXPECT_EQ(position_from(stream, near_end, moved_at, END_BYTES), END_BYTES);

    // Back, from the end to before anything read so far: no earlier reading
    // holds it up.
    const uint64_t start = audio_channel_seconds_to_bytes(stream, 0.05);
    moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_set_position(stream, start + 3));  // down to a whole frame
    expect_at_once(stream, start);
    const uint64_t further = audio_channel_seconds_to_bytes(stream, 0.5);
    EXPECT_GE(position_from(stream, start, moved_at, further), further);
}

TEST(AudioLayer, APauseHoldsThePositionAndPlayGoesOnFromIt) {
    const Layer layer;
    ASSERT_TRUE(layer.ready);
    const AudioStream stream = stereo_tune_play();
    ASSERT_NE(stream, 0u);
    const uint64_t heard = position_from(stream, 0, Clock::now(), audio_channel_seconds_to_bytes(stream, 0.3));
    ASSERT_TRUE(audio_channel_pause(stream));
    const uint64_t held = audio_channel_get_position(stream);
    EXPECT_GE(held, heard) << "a pause does not go back";
    for (uint64_t p : positions_over(stream, 300)) ASSERT_EQ(p, held) << "a paused position stands still";
    EXPECT_TRUE(audio_channel_pause(stream)) << "pausing twice changes nothing";
    EXPECT_EQ(audio_channel_get_position(stream), held);

    auto moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_play(stream, false));
    expect_at_once(stream, held);
    const uint64_t further = held + audio_channel_seconds_to_bytes(stream, 0.3);
    EXPECT_GE(position_from(stream, held, moved_at, further), further);

    // A paused seek moves the still position, and play goes on from there.
    ASSERT_TRUE(audio_channel_pause(stream));
    const uint64_t place = audio_channel_seconds_to_bytes(stream, 0.1);
    ASSERT_TRUE(audio_channel_set_position(stream, place));
    for (uint64_t p : positions_over(stream, 100)) ASSERT_EQ(p, place);
    moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_play(stream, false));
    EXPECT_GE(position_from(stream, place, moved_at, further), further);
}

TEST(AudioLayer, ASeekPastTheEndHoldsAtTheEnd) {
    const Layer layer;
    ASSERT_TRUE(layer.ready);
    const AudioStream stream = stereo_tune_play();
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(audio_channel_set_position(stream, audio_channel_seconds_to_bytes(stream, 60.0)));
    for (uint64_t p : positions_over(stream, 100)) ASSERT_EQ(p, END_BYTES);
    ASSERT_TRUE(audio_channel_set_position(stream, AUDIO_POSITION_INVALID));
    EXPECT_EQ(audio_channel_get_position(stream), END_BYTES);
    // From the end the tune plays again after a seek back into it.
    const uint64_t place = audio_channel_seconds_to_bytes(stream, 1.0);
    const auto moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_set_position(stream, place));
    const uint64_t further = place + audio_channel_seconds_to_bytes(stream, 0.3);
    EXPECT_GE(position_from(stream, place, moved_at, further), further);
}

TEST(AudioLayerWithoutDevice, InitFailsAndNoStreamOpens) {
    EXPECT_FALSE(audio_init(AUDIO_DEFAULT_DEVICE, 44100));
    EXPECT_EQ(audio_stream_create_file("click_cbr.mp3", AUDIO_STREAM_PRESCAN), 0u);
    EXPECT_FALSE(audio_start());
    EXPECT_FALSE(audio_free());
}

}  // namespace
