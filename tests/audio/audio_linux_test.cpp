// The Linux audio layer end to end on SDL's disk driver, which plays into a
// file at the pace of a real device: which files open, the position while a
// short tune made with sox and lame plays, seeking and pausing in a longer one,
// what reaches the device, and the answers when there is no stream or no
// device. Waits have generous deadlines and nothing asserts how fast anything
// happens.
#include "platform/audio.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t FREQUENCY = 44100;
constexpr uint64_t BYTES_PER_SECOND = FREQUENCY * 4;
// The test tune: half a second of a 441 Hz sine, 22050 stereo frames.
constexpr uint64_t TONE_FRAMES = 22050;
constexpr double TONE_HZ = 441.0;
// The longer tune for seeking: two seconds of the same sine.
constexpr uint64_t LONG_FRAMES = 88200;
// A position read at once after a seek is within one picture of the place.
constexpr uint64_t PICTURE_BYTES = FREQUENCY / 60 * 4;
// What the layer asks SDL for at a time.
constexpr double DEVICE_BUFFER_FRAMES = 1024;

using Clock = std::chrono::steady_clock;

class AudioLayer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("zirbelon-audio-" + std::to_string(getpid()));
        fs::create_directories(dir);
        tune_make("tone.mp3", "0.5");
        tune_make("long.mp3", "2");
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }

    void SetUp() override {
        // The disk driver writes what it plays to a file and sleeps one
        // buffer's time between requests, like a device.
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", path("played.raw").c_str(), 1);
    }
    void TearDown() override { audio_free(); }

    static std::string path(const char* name) { return (dir / name).string(); }

    static void tune_make(const char* name, const char* seconds) {
        const std::string wav = (dir / "tone.wav").string();
        const std::string command = "sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth " + seconds +
                                    " sine 441 gain -6 && lame --quiet -q 2 -b 192 '" + wav + "' '" + path(name) + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << "sox and lame make the test tunes (scripts/setup installs them)";
    }

    // The long tune, open and playing on a started device.
    static AudioStream long_tune_play() {
        if (!audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY)) return 0;
        const AudioStream stream = audio_stream_create_file(path("long.mp3").c_str(), AUDIO_STREAM_PRESCAN);
        if (stream == 0 || !audio_start() || !audio_channel_play(stream, false)) return 0;
        return stream;
    }

    // The left channel of what the device played, once audio_free closed the file.
    static std::vector<int16_t> played_left() {
        std::ifstream in(path("played.raw"), std::ios::binary);
        std::vector<int16_t> left;
        int16_t frame[2] = {};
        while (in.read(reinterpret_cast<char*>(frame), sizeof frame)) left.push_back(frame[0]);
        return left;
    }

    static std::string write_file(const char* name, const std::string& bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    static std::string tune_bytes() {
        std::ifstream in(path("tone.mp3"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    static inline fs::path dir;
};

// Polls the position every millisecond until it passes `until` or the deadline
// ends, failing on any step backwards; gives the readings.
std::vector<uint64_t> positions_until(AudioStream stream, uint64_t until, std::chrono::seconds deadline) {
    std::vector<uint64_t> positions;
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        const uint64_t position = audio_channel_get_position(stream);
        if (!positions.empty()) {
            EXPECT_GE(position, positions.back()) << "went backwards";
        }
        positions.push_back(position);
        if (position >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return positions;
}

// After the stream was moved to `place` (at `moved_at`, taken just before),
// polls the position every millisecond until it passes `until` or 30 s have
// passed; fails on any step backwards and on any reading ahead of all that can
// have been heard since the move. A slow machine only makes the position lag,
// so that bound holds anywhere; an earlier reading that held the position up
// would show as a jump past it.
std::vector<uint64_t> positions_from(AudioStream stream, uint64_t place, Clock::time_point moved_at,
                                     uint64_t until) {
    std::vector<uint64_t> positions;
    while (Clock::now() < moved_at + std::chrono::seconds(30)) {
        const uint64_t position = audio_channel_get_position(stream);
        const double since = std::chrono::duration<double>(Clock::now() - moved_at).count();
        // The clock's pace stays within 5% of the rate; it may run one
        // device buffer past a request that is late.
        const double reach = double(place) + (since * FREQUENCY * 1.05 + 2 * DEVICE_BUFFER_FRAMES) * 4;
        EXPECT_LE(double(position), reach) << "ahead of what can have been heard, " << since << " s after the move";
        EXPECT_GE(position, positions.empty() ? place : positions.back()) << "went backwards";
        positions.push_back(position);
        if (position >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return positions;
}

// Right after a move the position reads the place, or a little past it if the
// device asked for the tune in between.
void expect_at_once(AudioStream stream, uint64_t place) {
    const uint64_t position = audio_channel_get_position(stream);
    EXPECT_GE(position, place);
    EXPECT_LT(position, place + PICTURE_BYTES);
}

// The first and the last audible frame: the sounding span.
std::pair<size_t, size_t> sounding_span(const std::vector<int16_t>& left) {
    size_t first = left.size(), last = 0;
    for (size_t f = 0; f < left.size(); ++f) {
        if (std::abs(left[f]) > 300) {
            first = std::min(first, f);
            last = f;
        }
    }
    return {first, last};
}

// Reads the position `times` times over about `times` milliseconds.
std::vector<uint64_t> positions_over(AudioStream stream, int times) {
    std::vector<uint64_t> positions;
    for (int i = 0; i < times; ++i) {
        positions.push_back(audio_channel_get_position(stream));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return positions;
}

TEST_F(AudioLayer, OpensNoFileWithoutAudio) {
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    const std::string tune = tune_bytes();
    // The info-tag frame of the tune alone: the format reads and a length is
    // announced, but no audio frame follows.
    const std::string truncated = write_file("truncated.mp3", tune.substr(0, 700));
    const std::string empty = write_file("empty.mp3", "");
    const std::string text = write_file("text.mp3", "ID3 is not enough: this is a text file.\n");
    // Executables often pass for MPEG layer 1 and decode as noise.
    std::ifstream self("/proc/self/exe", std::ios::binary);
    const std::string binary = write_file("binary.mp3", {std::istreambuf_iterator<char>(self), {}});
    for (const std::string& file : {path("missing.mp3"), empty, text, truncated, binary, dir.string()}) {
        EXPECT_EQ(audio_stream_create_file(file.c_str(), AUDIO_STREAM_PRESCAN), 0u) << file;
    }
    // A tune cut in the middle plays as far as it goes.
    const std::string half = write_file("half.mp3", tune.substr(0, tune.size() / 2));
    const AudioStream stream = audio_stream_create_file(half.c_str(), AUDIO_STREAM_PRESCAN);
    EXPECT_NE(stream, 0u);
    EXPECT_TRUE(audio_stream_free(stream));
}

TEST_F(AudioLayer, NoStreamGivesAnInvalidPositionAndNegativeSeconds) {
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    const AudioStream none = audio_stream_create_file(path("missing.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_EQ(none, 0u);
    EXPECT_TRUE(audio_start());
    EXPECT_FALSE(audio_channel_play(none, false));
    EXPECT_EQ(audio_channel_get_position(none), AUDIO_POSITION_INVALID);
    EXPECT_LT(audio_channel_bytes_to_seconds(none, audio_channel_get_position(none)), 0.0);
    EXPECT_FALSE(audio_channel_pause(none));
    EXPECT_FALSE(audio_channel_set_position(none, 0));

    // A freed stream is no stream.
    const AudioStream freed = audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(freed, 0u);
    EXPECT_TRUE(audio_stream_free(freed));
    EXPECT_FALSE(audio_stream_free(freed));
    EXPECT_EQ(audio_channel_get_position(freed), AUDIO_POSITION_INVALID);
    EXPECT_LT(audio_channel_bytes_to_seconds(freed, 0), 0.0);
    EXPECT_FALSE(audio_channel_pause(freed));
    EXPECT_FALSE(audio_channel_set_position(freed, 0));
    EXPECT_EQ(audio_channel_seconds_to_bytes(freed, 1.0), 0u);
}

TEST_F(AudioLayer, PlaysTheTuneFromItsStartAndHoldsAtItsEnd) {
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    const AudioStream stream = audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audio_channel_get_position(stream), 0u);  // not yet playing
    ASSERT_TRUE(audio_start());
    ASSERT_TRUE(audio_channel_play(stream, false));

    const uint64_t end = TONE_FRAMES * 4;
    const std::vector<uint64_t> positions = positions_until(stream, end, std::chrono::seconds(30));
    ASSERT_EQ(positions.back(), end) << "the position reaches the tune's exact length (gapless decoding)";
    // It moved through the tune in small steps, not only at its ends.
    size_t inside = 0;
    for (uint64_t p : positions) inside += p > 0 && p < end;
    EXPECT_GT(inside, 3u);
    for (uint64_t p : positions) EXPECT_EQ(p % 4, 0u) << "whole frames";
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(audio_update(0));
        ASSERT_EQ(audio_channel_get_position(stream), end) << "holds at the end";
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(stream, end), 0.5);
    EXPECT_DOUBLE_EQ(audio_channel_bytes_to_seconds(stream, positions[positions.size() / 2]),
                     double(positions[positions.size() / 2]) / BYTES_PER_SECOND);

    // Played from the beginning again: the position starts over.
    ASSERT_TRUE(audio_channel_play(stream, true));
    EXPECT_LT(audio_channel_get_position(stream), end);
    EXPECT_TRUE(audio_stream_free(stream));
}

TEST_F(AudioLayer, HandsTheDecodedToneToTheDevice) {
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    const AudioStream stream = audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(audio_start());
    ASSERT_TRUE(audio_channel_play(stream, false));
    positions_until(stream, TONE_FRAMES * 4, std::chrono::seconds(30));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(audio_free());  // closes the file

    // Silence, the tone, silence again: the sounding span is the tone's length
    // (the sine starts at zero, hence a few frames of slack), and the left
    // channel crosses zero twice per period.
    const std::vector<int16_t> left = played_left();
    const auto [first, last] = sounding_span(left);
    ASSERT_LT(first, last) << "nothing audible was played";
    EXPECT_NEAR(double(last - first), double(TONE_FRAMES), 64.0);
    int crossings = 0;
    for (size_t f = first + 1; f <= last; ++f) crossings += (left[f - 1] < 0) != (left[f] < 0);
    EXPECT_NEAR(crossings, 2.0 * TONE_HZ * double(last - first) / FREQUENCY, 3.0);
}

TEST_F(AudioLayer, ConvertsSecondsToWholeFramesOfTheStream) {
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    const AudioStream stream = audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, 1.5), 66150u * 4);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, 1.0 / FREQUENCY * 2.5), 2u * 4);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, -0.25), 0u);
    const uint64_t bytes = 12345 * 4;
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream, audio_channel_bytes_to_seconds(stream, bytes)), bytes);
    EXPECT_EQ(audio_channel_seconds_to_bytes(0, 1.0), 0u);
    EXPECT_EQ(audio_channel_seconds_to_bytes(stream + 1, 1.0), 0u);
}

TEST_F(AudioLayer, ASeekReadsTheNewPlaceAtOnceThenMovesOnFromIt) {
    const AudioStream stream = long_tune_play();
    ASSERT_NE(stream, 0u);
    positions_until(stream, audio_channel_seconds_to_bytes(stream, 0.1), std::chrono::seconds(30));

    const uint64_t later = audio_channel_seconds_to_bytes(stream, 1.5);
    auto moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_set_position(stream, later));
    expect_at_once(stream, later);
    const uint64_t further = later + audio_channel_seconds_to_bytes(stream, 0.2);
    EXPECT_GE(positions_from(stream, later, moved_at, further).back(), further);

    // Back, to before anything read so far: no earlier reading holds it up.
    const uint64_t earlier = audio_channel_seconds_to_bytes(stream, 0.05);
    moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_set_position(stream, earlier + 3));  // down to a whole frame
    expect_at_once(stream, earlier);
    const std::vector<uint64_t> positions = positions_from(stream, earlier, moved_at, later);
    EXPECT_GE(positions.back(), later);
    for (uint64_t p : positions) EXPECT_EQ(p % 4, 0u) << "whole frames";
}

TEST_F(AudioLayer, APauseHoldsThePositionAndPlayGoesOnFromIt) {
    const AudioStream stream = long_tune_play();
    ASSERT_NE(stream, 0u);
    const uint64_t heard = positions_until(stream, audio_channel_seconds_to_bytes(stream, 0.3),
                                           std::chrono::seconds(30)).back();
    ASSERT_TRUE(audio_channel_pause(stream));
    const uint64_t held = audio_channel_get_position(stream);
    EXPECT_GE(held, heard) << "a pause does not go back";
    for (uint64_t p : positions_over(stream, 200)) ASSERT_EQ(p, held) << "a paused position stands still";
    EXPECT_TRUE(audio_channel_pause(stream)) << "pausing twice changes nothing";
    EXPECT_EQ(audio_channel_get_position(stream), held);

    auto moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_play(stream, false));
    expect_at_once(stream, held);
    const uint64_t further = held + audio_channel_seconds_to_bytes(stream, 0.2);
    EXPECT_GE(positions_from(stream, held, moved_at, further).back(), further);

    // A paused seek moves the still position, and play goes on from there.
    ASSERT_TRUE(audio_channel_pause(stream));
    const uint64_t place = audio_channel_seconds_to_bytes(stream, 0.1);
    ASSERT_TRUE(audio_channel_set_position(stream, place));
    for (uint64_t p : positions_over(stream, 100)) ASSERT_EQ(p, place);
    moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_play(stream, false));
    EXPECT_GE(positions_from(stream, place, moved_at, further).back(), further);
}

TEST_F(AudioLayer, ASeekPastTheEndHoldsAtTheEnd) {
    const AudioStream stream = long_tune_play();
    ASSERT_NE(stream, 0u);
    const uint64_t end = LONG_FRAMES * 4;
    ASSERT_TRUE(audio_channel_set_position(stream, audio_channel_seconds_to_bytes(stream, 60.0)));
    for (uint64_t p : positions_over(stream, 100)) ASSERT_EQ(p, end);
    ASSERT_TRUE(audio_channel_set_position(stream, AUDIO_POSITION_INVALID));
    EXPECT_EQ(audio_channel_get_position(stream), end);
    // From the end the tune plays again after a seek back into it.
    const uint64_t place = audio_channel_seconds_to_bytes(stream, 1.0);
    const auto moved_at = Clock::now();
    ASSERT_TRUE(audio_channel_set_position(stream, place));
    const uint64_t further = place + audio_channel_seconds_to_bytes(stream, 0.2);
    EXPECT_GE(positions_from(stream, place, moved_at, further).back(), further);
}

// The device plays from the place sought, not only the position reads it:
// a seek before play to 1.5 s leaves half a second of the two-second tone.
TEST_F(AudioLayer, HandsTheToneFromThePlaceSoughtToTheDevice) {
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    const AudioStream stream = audio_stream_create_file(path("long.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    const uint64_t place = audio_channel_seconds_to_bytes(stream, 1.5);
    ASSERT_TRUE(audio_channel_set_position(stream, place));
    EXPECT_EQ(audio_channel_get_position(stream), place) << "not yet playing";
    ASSERT_TRUE(audio_start());
    ASSERT_TRUE(audio_channel_play(stream, false));
    positions_until(stream, LONG_FRAMES * 4, std::chrono::seconds(30));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(audio_free());

    const auto [first, last] = sounding_span(played_left());
    ASSERT_LT(first, last) << "nothing audible was played";
    EXPECT_NEAR(double(last - first), double(LONG_FRAMES - place / 4), 64.0);
}

TEST_F(AudioLayer, RefusesCallsOutOfOrder) {
    EXPECT_FALSE(audio_start());
    EXPECT_FALSE(audio_update(0));
    EXPECT_FALSE(audio_free());
    // Like the library it stands in for, a stream needs an initialised device.
    EXPECT_EQ(audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN), 0u);
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    EXPECT_FALSE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    const AudioStream stream = audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN), 0u) << "one stream at a time";
    // Freeing the library frees its stream; it can be initialised again.
    EXPECT_TRUE(audio_free());
    EXPECT_EQ(audio_channel_get_position(stream), AUDIO_POSITION_INVALID);
    EXPECT_FALSE(audio_free());
    ASSERT_TRUE(audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY));
    EXPECT_NE(audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN), 0u);
}

TEST_F(AudioLayer, FailsQuietlyWithoutAnOutputDevice) {
    // ALSA with an empty configuration has no default device, as on a machine
    // without a sound card; alsa-lib would complain on stderr.
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("ALSA_CONFIG_PATH", write_file("empty.conf", "").c_str(), 1);
    testing::internal::CaptureStderr();
    const bool opened = audio_init(AUDIO_DEFAULT_DEVICE, FREQUENCY);
    const std::string noise = testing::internal::GetCapturedStderr();
    unsetenv("ALSA_CONFIG_PATH");
    EXPECT_FALSE(opened);
    EXPECT_EQ(noise, "");
    EXPECT_EQ(audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN), 0u);
}

}  // namespace
