// The audible-position clock on made-up device timings: a device that asks for
// 1024 frames at a time, on time or with scheduler jitter, at its nominal rate
// or off it, starting late, stalling, and running past the end of the tune.
#include "platform/audio_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr uint32_t RATE = 44100;
constexpr uint32_t BUFFER = 1024;
constexpr int64_t MS = 1'000'000;
constexpr double NOMINAL_NS_PER_FRAME = 1e9 / RATE;
constexpr double ONE_MS_OF_FRAMES = RATE / 1000.0;
constexpr uint64_t NO_END = UINT64_MAX;

struct Request {
    int64_t at_ns;
    bool carries_tune;
};

// Request times of a device that drains one buffer every BUFFER frames at its
// own pace, beginning at start_ns, each request moved by up to jitter_ns either
// way (a fixed pseudo-random sequence, so runs repeat exactly).
std::vector<Request> device_requests(int64_t start_ns, double ns_per_frame, int64_t jitter_ns,
                                     int count, int first_tune_request = 0) {
    std::vector<Request> requests;
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int k = 0; k < count; ++k) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const double unit = double(state >> 11) / double(1ull << 53) * 2.0 - 1.0;  // -1 to 1
        const double ideal = double(start_ns) + double(k) * BUFFER * ns_per_frame;
        requests.push_back({int64_t(ideal + unit * double(jitter_ns)), k >= first_tune_request});
    }
    return requests;
}

struct Reading {
    int64_t at_ns;
    uint64_t frames;
};

// Feeds the requests to a clock and reads it every step_ns from from_ns to
// to_ns, each reading after the requests that came before it.
std::vector<Reading> clock_run(const std::vector<Request>& requests, int64_t from_ns, int64_t to_ns,
                               int64_t step_ns, uint64_t end_frames = NO_END) {
    AudioClock clock = audio_clock_create(RATE, BUFFER);
    AudioClockReader reader;
    std::vector<Reading> readings;
    size_t next = 0;
    for (int64_t t = from_ns; t <= to_ns; t += step_ns) {
        for (; next < requests.size() && requests[next].at_ns <= t; ++next)
            audio_clock_request(clock, requests[next].at_ns, BUFFER, requests[next].carries_tune);
        readings.push_back({t, audio_clock_read(clock.line, t, end_frames, reader)});
    }
    return readings;
}

void expect_never_backwards(const std::vector<Reading>& readings) {
    for (size_t i = 1; i < readings.size(); ++i)
        ASSERT_GE(readings[i].frames, readings[i - 1].frames) << "at " << readings[i].at_ns / MS << " ms";
}

// No reading runs ahead of the one before it by more than the time between
// them and `slack_frames`: the position slides, it does not jump.
void expect_no_jumps(const std::vector<Reading>& readings, double slack_frames) {
    for (size_t i = 1; i < readings.size(); ++i) {
        const double elapsed = double(readings[i].at_ns - readings[i - 1].at_ns) / NOMINAL_NS_PER_FRAME;
        ASSERT_LE(double(readings[i].frames - readings[i - 1].frames), elapsed + slack_frames)
            << "at " << readings[i].at_ns / MS << " ms";
    }
}

// Largest distance, in frames, between the readings from settled_ns on and the
// true audible position.
double largest_distance(const std::vector<Reading>& readings, int64_t settled_ns,
                        const std::function<double(int64_t)>& truth) {
    double largest = 0.0;
    for (const Reading& r : readings)
        if (r.at_ns >= settled_ns) largest = std::max(largest, std::abs(double(r.frames) - truth(r.at_ns)));
    return largest;
}

TEST(AudioClock, FollowsAJitteryDeviceWithinAMillisecondAndNeverGoesBack) {
    // Requests up to 2 ms early or late, read every 0.7 ms for 20 s.
    const int64_t start = 5'000 * MS;
    const auto requests = device_requests(start, NOMINAL_NS_PER_FRAME, 2 * MS, 900);
    const auto readings = clock_run(requests, start - 100 * MS, start + 20'000 * MS, 700'000);
    expect_never_backwards(readings);
    expect_no_jumps(readings, 0.25 * ONE_MS_OF_FRAMES);
    const double anchor = double(start);  // where the requests are due, jitter aside
    const auto truth = [&](int64_t t) { return (double(t) - anchor) / NOMINAL_NS_PER_FRAME; };
    // The anchor itself may be 2 ms off; the loop pulls the line onto the
    // device's average within a few seconds.
    EXPECT_LT(largest_distance(readings, start, truth), 3.5 * ONE_MS_OF_FRAMES);
    EXPECT_LT(largest_distance(readings, start + 5'000 * MS, truth), 1.0 * ONE_MS_OF_FRAMES);
}

TEST(AudioClock, LearnsADeviceThatRunsOffItsRate) {
    for (const double pace : {1.046, 0.97}) {
        SCOPED_TRACE(pace);
        const double ns_per_frame = NOMINAL_NS_PER_FRAME / pace;
        const int64_t start = 1'000 * MS;
        const auto requests = device_requests(start, ns_per_frame, MS / 2, 900);
        const auto readings = clock_run(requests, start, start + 20'000 * MS, 1 * MS);
        expect_never_backwards(readings);
        const double anchor = double(start);  // where the requests are due, jitter aside
        const auto truth = [&](int64_t t) { return (double(t) - anchor) / ns_per_frame; };
        EXPECT_LT(largest_distance(readings, start + 5'000 * MS, truth), 1.0 * ONE_MS_OF_FRAMES);
    }
}

TEST(AudioClock, AnchorsOnTheFirstRequestThatCarriesTheTune) {
    // Ten requests of silence, then the tune: nothing counts before it, and the
    // tune's first frame is audible at that request.
    const int64_t start = 2'000 * MS;
    const auto requests = device_requests(start, NOMINAL_NS_PER_FRAME, 0, 300, 10);
    const int64_t anchor = requests[10].at_ns;
    const auto readings = clock_run(requests, start, start + 6'000 * MS, 1 * MS);
    for (const Reading& r : readings) {
        if (r.at_ns < anchor) {
            EXPECT_EQ(r.frames, 0u) << r.at_ns / MS;
        }
    }
    expect_never_backwards(readings);
    const auto truth = [&](int64_t t) { return std::max(0.0, double(t - anchor) / NOMINAL_NS_PER_FRAME); };
    EXPECT_LT(largest_distance(readings, start, truth), 1.0 * ONE_MS_OF_FRAMES);
}

TEST(AudioClock, SlidesOntoTheDeviceWhenItsFirstRequestsAreOff) {
    // As seen on a sound server that has just woken: the tune's first request
    // 4 ms late, the next one 4 ms early, then steady.
    const int64_t start = 1'000 * MS;
    auto requests = device_requests(start, NOMINAL_NS_PER_FRAME, 0, 200);
    requests[0].at_ns += 4 * MS;
    requests[1].at_ns -= 4 * MS;
    const auto readings = clock_run(requests, start, start + 4'000 * MS, 1 * MS);
    expect_never_backwards(readings);
    expect_no_jumps(readings, 0.25 * ONE_MS_OF_FRAMES);
    const auto truth = [&](int64_t t) { return double(t - start) / NOMINAL_NS_PER_FRAME; };
    EXPECT_LT(largest_distance(readings, start + 1'500 * MS, truth), 0.5 * ONE_MS_OF_FRAMES);
}

TEST(AudioClock, HoldsAtTheEndOfTheTune) {
    const uint64_t end = RATE;  // a tune of one second; the device goes on with silence
    const int64_t start = 0;
    const auto requests = device_requests(start, NOMINAL_NS_PER_FRAME, 1 * MS, 200);
    const auto readings = clock_run(requests, start, start + 4'000 * MS, 1 * MS, end);
    expect_never_backwards(readings);
    for (const Reading& r : readings) {
        EXPECT_LE(r.frames, end);
        if (r.at_ns >= 1'100 * MS) {
            EXPECT_EQ(r.frames, end) << r.at_ns / MS;
        }
    }
}

TEST(AudioClock, WaitsForADeviceThatIsSlowToWake) {
    // An idle sound server takes the first buffer, then asks again only 1.5 s
    // later: the reading goes little further than that buffer until it does,
    // then follows the device without stepping back.
    const int64_t start = 100 * MS;
    const int64_t wake = start + 1'500 * MS;
    std::vector<Request> requests{{start, true}};
    for (const Request& r : device_requests(wake, NOMINAL_NS_PER_FRAME, MS / 2, 200)) requests.push_back(r);
    const auto readings = clock_run(requests, start, wake + 4'000 * MS, 1 * MS);
    expect_never_backwards(readings);
    for (const Reading& r : readings) {
        if (r.at_ns < wake) {
            EXPECT_LE(r.frames, BUFFER + BUFFER / 4) << r.at_ns / MS;
        }
    }
    // The first buffer is taken as played when the device asks again.
    const auto truth = [&](int64_t t) { return BUFFER + double(t - wake) / NOMINAL_NS_PER_FRAME; };
    EXPECT_LT(largest_distance(readings, wake + 2'000 * MS, truth), 1.0 * ONE_MS_OF_FRAMES);
}

TEST(AudioClock, StopsWithAStalledDeviceAndResumesWithIt) {
    // The device stops asking for 400 ms after two seconds of play, then goes on.
    const int64_t start = 0;
    const int64_t stall = 400 * MS;
    auto requests = device_requests(start, NOMINAL_NS_PER_FRAME, MS / 2, 400);
    const size_t resumed = 87;  // about two seconds in
    for (size_t k = resumed; k < requests.size(); ++k) requests[k].at_ns += stall;
    const auto readings = clock_run(requests, start, start + 9'000 * MS, 1 * MS);
    expect_never_backwards(readings);
    // While stalled the reading runs on by at most two buffers past the last request.
    const double last_before = double(resumed - 1) * BUFFER;
    for (const Reading& r : readings) {
        if (r.at_ns < requests[resumed].at_ns) {
            EXPECT_LE(double(r.frames), last_before + 2 * BUFFER) << r.at_ns / MS;
        }
    }
    const auto truth = [&](int64_t t) { return double(t - start - stall) / NOMINAL_NS_PER_FRAME; };
    EXPECT_LT(largest_distance(readings, requests[resumed].at_ns + 3'000 * MS, truth),
              1.0 * ONE_MS_OF_FRAMES);
}

TEST(AudioClock, ReadsNothingBeforeAnyTune) {
    const auto requests = device_requests(0, NOMINAL_NS_PER_FRAME, 0, 50, 1'000);
    for (const Reading& r : clock_run(requests, 0, 1'000 * MS, 10 * MS)) EXPECT_EQ(r.frames, 0u);
}

// A seek goes to the time the driver read off a position, so that time must
// give back the very frame it was made from, at every rate.
TEST(AudioClockFrames, GivesBackTheFrameATimeWasMadeOf) {
    for (const uint32_t rate : {22050u, 44100u, 48000u}) {
        for (uint64_t frames = 0; frames < 3'000'000; frames += 7)
            ASSERT_EQ(audio_clock_frames(double(frames * 4) / (4.0 * rate), rate), frames) << rate;
    }
}

TEST(AudioClockFrames, RoundsDownToAWholeFrameAndRefusesNegativeTimes) {
    EXPECT_EQ(audio_clock_frames(1.5, RATE), 66'150u);
    EXPECT_EQ(audio_clock_frames((100.0 + 0.999) / RATE, RATE), 100u);
    EXPECT_EQ(audio_clock_frames(0.5 / RATE, RATE), 0u);
    EXPECT_EQ(audio_clock_frames(-0.5, RATE), 0u);
    EXPECT_EQ(audio_clock_frames(-1e-300, RATE), 0u);
    EXPECT_EQ(audio_clock_frames(std::numeric_limits<double>::quiet_NaN(), RATE), 0u);
    // Past any tune, yet a count that bytes can still be made of.
    const uint64_t far = audio_clock_frames(std::numeric_limits<double>::infinity(), RATE);
    EXPECT_GT(far, uint64_t(1e9 * RATE));
    EXPECT_LT(far, UINT64_MAX / 8);
}

}  // namespace
