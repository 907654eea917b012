// The studio's sound end to end on SDL's disk driver, which plays into a file
// at the pace of a real device. The tune is a ramp: the left sample of each
// frame is twice the frame's number plus two (no frame of it is silence, and a
// halfway frame has a value of its own) and the right its negative, so the
// file tells exactly which frames were played in which order: from a seek, across a loop's
// end, at each speed, and none while paused. Waits have generous deadlines and
// nothing asserts how fast anything happens.
#include "tools/studio/studio_audio.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t FREQUENCY = 44100;
// A third of a second and a bit: every frame's mark fits a sample.
constexpr uint64_t TUNE_FRAMES = 16000;
constexpr double TUNE_SECONDS = double(TUNE_FRAMES) / FREQUENCY;
constexpr auto DEADLINE = std::chrono::seconds(30);

int16_t mark(uint64_t frame) { return int16_t(2 * frame + 2); }

TunePcm ramp_tune() {
    TunePcm tune;
    tune.frequency = FREQUENCY;
    for (uint64_t frame = 0; frame < TUNE_FRAMES; ++frame) {
        tune.samples.push_back(mark(frame));
        tune.samples.push_back(int16_t(-mark(frame)));
    }
    return tune;
}

struct Frame {
    int16_t left;
    int16_t right;
};

class StudioAudioTest : public testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zirbelon-studio-audio-" + std::to_string(getpid()));
        fs::create_directories(dir);
        played = dir / "played.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", played.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Opens the sound for the ramp, failing the test when it does not open.
    StudioAudioPtr open() {
        std::string error;
        StudioAudioPtr audio = studio_audio_open(ramp_tune(), error);
        EXPECT_TRUE(audio) << error;
        return audio;
    }

    // Waits until the device has taken a few more requests. The audible
    // position may run up to one buffer ahead of the requests made, so a
    // position seen is in the file only after the next one or two; the disk
    // driver writes one buffer per request through a buffer of the same size.
    void device_runs_on() const {
        const uintmax_t bytes_per_request = STUDIO_AUDIO_BUFFER_FRAMES * sizeof(Frame);
        const uintmax_t from = played_bytes();
        const auto end = std::chrono::steady_clock::now() + DEADLINE;
        while (played_bytes() < from + 3 * bytes_per_request && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    uintmax_t played_bytes() const {
        std::error_code error;
        const uintmax_t bytes = fs::file_size(played, error);
        return error ? 0 : bytes;
    }

    // What the device played, once the sound is closed.
    std::vector<Frame> played_frames() const {
        std::ifstream in(played, std::ios::binary);
        std::vector<Frame> frames;
        for (Frame frame{}; in.read(reinterpret_cast<char*>(&frame), sizeof frame);) frames.push_back(frame);
        return frames;
    }

    fs::path dir;
    fs::path played;
};

// Reads the audible position every millisecond until done says so or the
// deadline passes; gives the readings.
std::vector<double> positions_until(StudioAudio& audio, const Transport& transport,
                                    const std::function<bool(double)>& done) {
    std::vector<double> positions;
    const auto end = std::chrono::steady_clock::now() + DEADLINE;
    while (std::chrono::steady_clock::now() < end) {
        positions.push_back(studio_audio_seconds(audio, transport, studio_monotonic_ns()));
        if (done(positions.back())) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return positions;
}

void expect_forwards(const std::vector<double>& positions) {
    for (size_t i = 1; i < positions.size(); ++i) ASSERT_GE(positions[i], positions[i - 1]) << "went backwards at " << i;
}

// Where the played frames stop being silence.
size_t first_sound(const std::vector<Frame>& frames) {
    size_t i = 0;
    while (i < frames.size() && frames[i].left == 0 && frames[i].right == 0) ++i;
    return i;
}

bool is_silence(const Frame& frame) { return frame.left == 0 && frame.right == 0; }

TEST_F(StudioAudioTest, RefusesATuneWithoutSamples) {
    std::string error;
    EXPECT_FALSE(studio_audio_open(TunePcm{}, error));
    EXPECT_FALSE(error.empty());
    TunePcm unrated = ramp_tune();
    unrated.frequency = 0;
    error.clear();
    EXPECT_FALSE(studio_audio_open(unrated, error));
    EXPECT_FALSE(error.empty());
}

TEST_F(StudioAudioTest, SaysWhyWithoutAnOutputDevice) {
    // ALSA with an empty configuration has no default device, as on a machine
    // without a sound card; alsa-lib would complain on stderr.
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    std::ofstream(dir / "empty.conf").flush();
    setenv("ALSA_CONFIG_PATH", (dir / "empty.conf").c_str(), 1);
    testing::internal::CaptureStderr();
    std::string error;
    const StudioAudioPtr audio = studio_audio_open(ramp_tune(), error);
    const std::string noise = testing::internal::GetCapturedStderr();
    unsetenv("ALSA_CONFIG_PATH");
    EXPECT_FALSE(audio);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(noise, "");
}

TEST_F(StudioAudioTest, PlaysFromTheSeekToTheEndThenSilence) {
    StudioAudioPtr audio = open();
    ASSERT_TRUE(audio);
    Transport transport = transport_create(TUNE_SECONDS);
    const int64_t now = studio_monotonic_ns();
    transport_seek(transport, 0.25, now);
    transport_play(transport, now);
    studio_audio_follow(*audio, transport, now);
    const std::vector<double> positions =
        positions_until(*audio, transport, [](double seconds) { return seconds >= TUNE_SECONDS; });
    expect_forwards(positions);
    EXPECT_GE(positions.front(), 0.25);
    ASSERT_DOUBLE_EQ(positions.back(), TUNE_SECONDS) << "the position reaches the tune's end";
    size_t inside = 0;
    for (double p : positions) inside += p > 0.25 && p < TUNE_SECONDS;
    EXPECT_GT(inside, 3u) << "it moved through the tune, not only at its ends";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_DOUBLE_EQ(studio_audio_seconds(*audio, transport, studio_monotonic_ns()), TUNE_SECONDS) << "and holds";
    device_runs_on();
    audio.reset();

    const std::vector<Frame> frames = played_frames();
    const size_t start = first_sound(frames);
    ASSERT_LT(start, frames.size()) << "nothing was played";
    EXPECT_EQ(start % STUDIO_AUDIO_BUFFER_FRAMES, 0u) << "the run begins with a request";
    const uint64_t from = 11025;  // 0.25 s
    ASSERT_GE(frames.size(), start + (TUNE_FRAMES - from));
    for (uint64_t k = 0; k < TUNE_FRAMES - from; ++k) {
        ASSERT_EQ(frames[start + k].left, mark(from + k)) << k;
        ASSERT_EQ(frames[start + k].right, int16_t(-mark(from + k))) << k;
    }
    for (size_t i = start + (TUNE_FRAMES - from); i < frames.size(); ++i) ASSERT_TRUE(is_silence(frames[i])) << i;
}

TEST_F(StudioAudioTest, ASeekRestartsTheSoundAtTheNewPositionOnTheNextRequest) {
    StudioAudioPtr audio = open();
    ASSERT_TRUE(audio);
    Transport transport = transport_create(TUNE_SECONDS);
    transport_play(transport, studio_monotonic_ns());
    studio_audio_follow(*audio, transport, studio_monotonic_ns());
    positions_until(*audio, transport, [](double seconds) { return seconds > 0.1; });

    const int64_t now = studio_monotonic_ns();
    transport_seek(transport, 0.3, now);
    studio_audio_follow(*audio, transport, now);
    const double after = studio_audio_seconds(*audio, transport, studio_monotonic_ns());
    EXPECT_GE(after, 0.3) << "the clock moved with the seek";
    EXPECT_LT(after, 0.35);
    positions_until(*audio, transport, [](double seconds) { return seconds >= TUNE_SECONDS; });
    device_runs_on();
    audio.reset();

    const std::vector<Frame> frames = played_frames();
    const size_t start = first_sound(frames);
    ASSERT_LT(start, frames.size());
    // The ramp from 0 up to where the seek came, then at once the ramp from 0.3 s.
    size_t i = start;
    while (i + 1 < frames.size() && frames[i + 1].left == frames[i].left + 2) ++i;
    ++i;
    ASSERT_LT(i, frames.size());
    EXPECT_EQ(frames[start].left, mark(0));
    EXPECT_GT(frames[i - 1].left, mark(4410)) << "past 0.1 s";
    EXPECT_EQ((i - start) % STUDIO_AUDIO_BUFFER_FRAMES, 0u) << "the old run ends with a request";
    const uint64_t from = 13230;  // 0.3 s
    ASSERT_GE(frames.size(), i + (TUNE_FRAMES - from));
    for (uint64_t k = 0; k < TUNE_FRAMES - from; ++k) ASSERT_EQ(frames[i + k].left, mark(from + k)) << k;
}

TEST_F(StudioAudioTest, LoopsWithoutAGap) {
    StudioAudioPtr audio = open();
    ASSERT_TRUE(audio);
    Transport transport = transport_create(TUNE_SECONDS);
    int64_t now = studio_monotonic_ns();
    ASSERT_TRUE(transport_set_loop(transport, 0.1, 0.2, now));
    transport_seek(transport, 0.1, now);
    transport_play(transport, now);
    studio_audio_follow(*audio, transport, now);
    // Until it has wrapped three times.
    int wraps = 0;
    double last = 0.0;
    const std::vector<double> positions = positions_until(*audio, transport, [&](double seconds) {
        wraps += seconds < last;
        last = seconds;
        return wraps >= 3;
    });
    EXPECT_EQ(wraps, 3);
    for (double p : positions) {
        EXPECT_GE(p, 0.1);
        EXPECT_LT(p, 0.2);
    }
    device_runs_on();
    now = studio_monotonic_ns();
    transport_pause(transport, now);
    studio_audio_follow(*audio, transport, now);
    device_runs_on();
    audio.reset();

    const std::vector<Frame> frames = played_frames();
    const size_t start = first_sound(frames);
    ASSERT_LT(start, frames.size());
    const uint64_t in = 4410, out = 8820;
    // Frame after frame through the loop, its end followed by its start, until
    // the pause; silence from there.
    size_t i = start;
    uint64_t expected = in;
    for (; i < frames.size() && !is_silence(frames[i]); ++i) {
        ASSERT_EQ(frames[i].left, mark(expected)) << i - start;
        expected = expected + 1 == out ? in : expected + 1;
    }
    EXPECT_GT(i - start, 3 * (out - in)) << "three times round";
    for (; i < frames.size(); ++i) ASSERT_TRUE(is_silence(frames[i])) << i;
}

TEST_F(StudioAudioTest, LoopsAtHalfSpeedHalfwayAcrossItsEnd) {
    StudioAudioPtr audio = open();
    ASSERT_TRUE(audio);
    Transport transport = transport_create(TUNE_SECONDS);
    const int64_t now = studio_monotonic_ns();
    ASSERT_TRUE(transport_set_loop(transport, 0.1, 0.12, now));
    transport_seek(transport, 0.1, now);
    ASSERT_TRUE(transport_set_speed(transport, 0.5, now));
    transport_play(transport, now);
    int wraps = 0;
    double last = 0.0;
    positions_until(*audio, transport, [&](double seconds) {
        wraps += seconds < last;
        last = seconds;
        return wraps >= 2;
    });
    device_runs_on();
    audio.reset();

    const std::vector<Frame> frames = played_frames();
    const size_t start = first_sound(frames);
    const uint64_t in = 4410, out = 5292;
    const size_t lap = 2 * (out - in);
    ASSERT_GE(frames.size(), start + 2 * lap);
    for (size_t k = 0; k < 2 * lap; ++k) {
        const uint64_t frame = in + (k / 2) % (out - in);
        const uint64_t next = frame + 1 == out ? in : frame + 1;
        const int16_t expected = k % 2 == 0 ? mark(frame) : int16_t((mark(frame) + mark(next)) / 2);
        ASSERT_EQ(frames[start + k].left, expected) << k;
    }
}

TEST_F(StudioAudioTest, PlaysAtDoubleAndHalfSpeedWithTheClockInStep) {
    for (double speed : {2.0, 0.5}) {
        StudioAudioPtr audio = open();
        ASSERT_TRUE(audio);
        Transport transport = transport_create(TUNE_SECONDS);
        const int64_t now = studio_monotonic_ns();
        transport_seek(transport, 0.2, now);
        ASSERT_TRUE(transport_set_speed(transport, speed, now));
        transport_play(transport, now);
        studio_audio_follow(*audio, transport, now);
        const std::vector<double> positions =
            positions_until(*audio, transport, [](double seconds) { return seconds >= TUNE_SECONDS; });
        expect_forwards(positions);
        EXPECT_DOUBLE_EQ(positions.back(), TUNE_SECONDS) << speed;
        device_runs_on();
        audio.reset();

        const std::vector<Frame> frames = played_frames();
        const size_t start = first_sound(frames);
        ASSERT_LT(start, frames.size());
        size_t end = start;
        while (end < frames.size() && !is_silence(frames[end])) ++end;
        const uint64_t from = 8820;  // 0.2 s
        const double span = double(TUNE_FRAMES - from) / speed;
        ASSERT_NEAR(double(end - start), span, 2.0) << speed;
        // Each frame handed moves the tune on by the speed: at 2 every other
        // frame, averaged with the next against aliasing (half a frame on); at
        // 0.5 every frame, and halfway between each two. The tune's last frame
        // holds, with nothing after it to go halfway to.
        for (size_t i = start; i + 1 < end; ++i) {
            const double tune_frame = double(from) + double(i - start) * speed + (speed == 2.0 ? 0.5 : 0.0);
            ASSERT_EQ(frames[i].left, int16_t(2.0 * tune_frame + 2.0)) << speed << " at " << i - start;
            ASSERT_EQ(frames[i].right, int16_t(-frames[i].left)) << speed << " at " << i - start;
        }
        EXPECT_EQ(frames[end - 1].left, speed == 2.0 ? mark(TUNE_FRAMES - 2) + 1 : mark(TUNE_FRAMES - 1));
    }
}

TEST_F(StudioAudioTest, PausedItIsSilentAndTheTransportHolds) {
    StudioAudioPtr audio = open();
    ASSERT_TRUE(audio);
    Transport transport = transport_create(TUNE_SECONDS);
    transport_seek(transport, 0.2, studio_monotonic_ns());
    studio_audio_follow(*audio, transport, studio_monotonic_ns());
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_DOUBLE_EQ(studio_audio_seconds(*audio, transport, studio_monotonic_ns()), 0.2);
    device_runs_on();
    audio.reset();
    const std::vector<Frame> frames = played_frames();
    EXPECT_FALSE(frames.empty()) << "the device ran";
    EXPECT_EQ(first_sound(frames), frames.size()) << "and played nothing";
}

TEST_F(StudioAudioTest, FollowsAChangedTransportWhenAskedForThePosition) {
    StudioAudioPtr audio = open();
    ASSERT_TRUE(audio);
    Transport transport = transport_create(TUNE_SECONDS);
    const int64_t now = studio_monotonic_ns();
    transport_seek(transport, 0.3, now);
    transport_play(transport, now);
    const std::vector<double> positions =
        positions_until(*audio, transport, [](double seconds) { return seconds >= TUNE_SECONDS; });
    EXPECT_GE(positions.front(), 0.3);
    EXPECT_DOUBLE_EQ(positions.back(), TUNE_SECONDS);
    device_runs_on();
    audio.reset();
    const std::vector<Frame> frames = played_frames();
    const size_t start = first_sound(frames);
    ASSERT_LT(start, frames.size());
    EXPECT_EQ(frames[start].left, mark(13230));  // 0.3 s
}

TEST_F(StudioAudioTest, SyncMovesTheTransportToTheSoundWithoutDisturbingIt) {
    StudioAudioPtr audio = open();
    ASSERT_TRUE(audio);
    Transport transport = transport_create(TUNE_SECONDS);
    transport_play(transport, studio_monotonic_ns());
    studio_audio_follow(*audio, transport, studio_monotonic_ns());
    // Synced every reading, as the studio does once a frame.
    double last = 0.0;
    const auto end = std::chrono::steady_clock::now() + DEADLINE;
    while (last < TUNE_SECONDS && std::chrono::steady_clock::now() < end) {
        const int64_t now = studio_monotonic_ns();
        const double heard = studio_audio_seconds(*audio, transport, now);
        studio_audio_sync(*audio, transport, now);
        ASSERT_EQ(transport.anchor_ns, now);
        // The same reading again, or a later one when a request came between.
        ASSERT_GE(transport.anchor_seconds, heard);
        ASSERT_LE(transport.anchor_seconds, heard + double(STUDIO_AUDIO_BUFFER_FRAMES) / FREQUENCY);
        ASSERT_GE(heard, last);
        last = heard;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_DOUBLE_EQ(last, TUNE_SECONDS);
    device_runs_on();
    audio.reset();

    const std::vector<Frame> frames = played_frames();
    const size_t start = first_sound(frames);
    ASSERT_LE(start + TUNE_FRAMES, frames.size()) << "the whole tune";
    for (uint64_t k = 0; k < TUNE_FRAMES; ++k) ASSERT_EQ(frames[start + k].left, mark(k)) << "unbroken at " << k;
}

TEST_F(StudioAudioTest, TheMonotonicClockMovesOn) {
    const int64_t before = studio_monotonic_ns();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_GT(studio_monotonic_ns(), before);
}

}  // namespace
