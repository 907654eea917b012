// The Linux audio layer end to end on SDL's disk driver, which plays into a
// file at the pace of a real device: which files open, the position while a
// short tune made with sox and lame plays, what reaches the device, and the
// answers when there is no stream or no device. Waits have generous deadlines
// and nothing asserts how fast anything happens.
#include "platform/audio.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t FREQUENCY = 44100;
constexpr uint64_t BYTES_PER_SECOND = FREQUENCY * 4;
// The test tune: half a second of a 441 Hz sine, 22050 stereo frames.
constexpr uint64_t TONE_FRAMES = 22050;
constexpr double TONE_HZ = 441.0;

class AudioLayer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("zirbelon-audio-" + std::to_string(getpid()));
        fs::create_directories(dir);
        const std::string wav = (dir / "tone.wav").string();
        const std::string command = "sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth 0.5 sine 441 gain -6 && "
                                    "lame --quiet -q 2 -b 192 '" + wav + "' '" + path("tone.mp3") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << "sox and lame make the test tune (scripts/setup installs them)";
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

    // A freed stream is no stream.
    const AudioStream freed = audio_stream_create_file(path("tone.mp3").c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(freed, 0u);
    EXPECT_TRUE(audio_stream_free(freed));
    EXPECT_FALSE(audio_stream_free(freed));
    EXPECT_EQ(audio_channel_get_position(freed), AUDIO_POSITION_INVALID);
    EXPECT_LT(audio_channel_bytes_to_seconds(freed, 0), 0.0);
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

    std::ifstream in(path("played.raw"), std::ios::binary);
    std::vector<int16_t> samples;
    for (int16_t sample = 0; in.read(reinterpret_cast<char*>(&sample), sizeof sample);) samples.push_back(sample);
    // Silence, the tone, silence again: the sounding span is the tone's length
    // (the sine starts at zero, hence a few frames of slack), and the left
    // channel crosses zero twice per period.
    size_t first = samples.size(), last = 0;
    for (size_t i = 0; i < samples.size(); i += 2) {
        if (std::abs(samples[i]) > 300) {
            first = std::min(first, i / 2);
            last = i / 2;
        }
    }
    ASSERT_LT(first, last) << "nothing audible was played";
    EXPECT_NEAR(double(last - first), double(TONE_FRAMES), 64.0);
    int crossings = 0;
    for (size_t f = first + 1; f <= last; ++f) crossings += (samples[2 * f - 2] < 0) != (samples[2 * f] < 0);
    EXPECT_NEAR(crossings, 2.0 * TONE_HZ * double(last - first) / FREQUENCY, 3.0);
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
