// The transport on made-up monotonic times: it runs at its speed while
// playing, holds while paused, seeks within the tune, wraps inside its loop,
// and stops at the end of the tune.
#include "tools/studio/model/transport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int64_t SECOND = 1'000'000'000;
constexpr int64_t MS = 1'000'000;
// Somewhere far from zero, as a monotonic clock stands.
constexpr int64_t T0 = 123'456 * SECOND;

TEST(Transport, StartsPausedAtTheBeginning) {
    const Transport transport = transport_create(90.0);
    EXPECT_FALSE(transport.playing);
    EXPECT_DOUBLE_EQ(transport.length, 90.0);
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0), 0.0);
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0 + 10 * SECOND), 0.0);
    EXPECT_DOUBLE_EQ(transport_create(-3.0).length, 0.0);
    EXPECT_DOUBLE_EQ(transport_create(std::nan("")).length, 0.0);
}

TEST(Transport, TheSilentClockAdvancesWithTime) {
    Transport transport = transport_create(90.0);
    transport_play(transport, T0);
    EXPECT_TRUE(transport.playing);
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0), 0.0);
    EXPECT_NEAR(transport_seconds(transport, T0 + 1500 * MS), 1.5, 1e-9);
    EXPECT_NEAR(transport_seconds(transport, T0 + 60 * SECOND + 1), 60.000000001, 1e-12);
    // A reading taken just before the play holds at its position.
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0 - MS), 0.0);
    // Playing again changes nothing.
    transport_play(transport, T0 + 2 * SECOND);
    EXPECT_NEAR(transport_seconds(transport, T0 + 3 * SECOND), 3.0, 1e-9);
}

TEST(Transport, PauseHoldsAndPlayGoesOnFromThere) {
    Transport transport = transport_create(90.0);
    transport_play(transport, T0);
    transport_pause(transport, T0 + 2 * SECOND);
    EXPECT_FALSE(transport.playing);
    EXPECT_NEAR(transport_seconds(transport, T0 + 2 * SECOND), 2.0, 1e-9);
    EXPECT_NEAR(transport_seconds(transport, T0 + 20 * SECOND), 2.0, 1e-9);
    transport_pause(transport, T0 + 30 * SECOND);  // pausing again changes nothing
    EXPECT_NEAR(transport_seconds(transport, T0 + 30 * SECOND), 2.0, 1e-9);
    transport_play(transport, T0 + 40 * SECOND);
    EXPECT_NEAR(transport_seconds(transport, T0 + 41 * SECOND), 3.0, 1e-9);
}

TEST(Transport, SeeksWithinTheTune) {
    Transport transport = transport_create(90.0);
    transport_seek(transport, 30.0, T0);
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0 + SECOND), 30.0) << "paused, it stays there";
    transport_play(transport, T0 + SECOND);
    transport_seek(transport, 10.0, T0 + 3 * SECOND);
    EXPECT_TRUE(transport.playing);
    EXPECT_NEAR(transport_seconds(transport, T0 + 4 * SECOND), 11.0, 1e-9) << "playing goes on from the seek";
    transport_seek(transport, -5.0, T0 + 4 * SECOND);
    EXPECT_NEAR(transport_seconds(transport, T0 + 4 * SECOND), 0.0, 1e-9);
    transport_seek(transport, 500.0, T0 + 4 * SECOND);
    EXPECT_NEAR(transport_seconds(transport, T0 + 4 * SECOND), 90.0, 1e-9);
    transport_seek(transport, 20.0, T0 + 5 * SECOND);
    transport_seek(transport, std::nan(""), T0 + 5 * SECOND);
    EXPECT_NEAR(transport_seconds(transport, T0 + 5 * SECOND), 20.0, 1e-9) << "no position is no seek";
}

TEST(Transport, RunsAtItsSpeedWithoutAJumpWhenItChanges) {
    Transport transport = transport_create(90.0);
    transport_play(transport, T0);
    ASSERT_TRUE(transport_set_speed(transport, 2.0, T0 + SECOND));
    EXPECT_NEAR(transport_seconds(transport, T0 + SECOND), 1.0, 1e-9);
    EXPECT_NEAR(transport_seconds(transport, T0 + 3 * SECOND), 5.0, 1e-9);
    ASSERT_TRUE(transport_set_speed(transport, 0.5, T0 + 3 * SECOND));
    EXPECT_NEAR(transport_seconds(transport, T0 + 3 * SECOND), 5.0, 1e-9);
    EXPECT_NEAR(transport_seconds(transport, T0 + 7 * SECOND), 7.0, 1e-9);
    ASSERT_TRUE(transport_set_speed(transport, 1.0, T0 + 7 * SECOND));
    EXPECT_NEAR(transport_seconds(transport, T0 + 8 * SECOND), 8.0, 1e-9);

    for (double speed : {0.0, -1.0, 1.5, 4.0, std::nan("")}) {
        EXPECT_FALSE(transport_set_speed(transport, speed, T0 + 9 * SECOND)) << speed;
        EXPECT_DOUBLE_EQ(transport.speed, 1.0);
    }
    EXPECT_NEAR(transport_seconds(transport, T0 + 10 * SECOND), 10.0, 1e-9);
}

TEST(Transport, SpeedHoldsWhilePaused) {
    Transport transport = transport_create(90.0);
    ASSERT_TRUE(transport_set_speed(transport, 2.0, T0));
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0 + SECOND), 0.0);
    transport_play(transport, T0 + SECOND);
    EXPECT_NEAR(transport_seconds(transport, T0 + 2 * SECOND), 2.0, 1e-9);
}

TEST(Transport, StopsAtTheEndOfTheTune) {
    Transport transport = transport_create(10.0);
    transport_seek(transport, 9.0, T0);
    transport_play(transport, T0);
    EXPECT_FALSE(transport_update(transport, T0 + 500 * MS)) << "not there yet";
    EXPECT_TRUE(transport.playing);
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0 + 5 * SECOND), 10.0) << "never past the end";
    EXPECT_TRUE(transport_update(transport, T0 + 5 * SECOND));
    EXPECT_FALSE(transport.playing);
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0 + 9 * SECOND), 10.0);
    EXPECT_FALSE(transport_update(transport, T0 + 9 * SECOND)) << "it paused once";
    // Play at the end starts over.
    transport_play(transport, T0 + 10 * SECOND);
    EXPECT_NEAR(transport_seconds(transport, T0 + 11 * SECOND), 1.0, 1e-9);
}

TEST(Transport, PlayBeforeTheEndDoesNotStartOver) {
    Transport transport = transport_create(10.0);
    transport_seek(transport, 9.999, T0);
    transport_play(transport, T0);
    EXPECT_NEAR(transport_seconds(transport, T0), 9.999, 1e-9);
}

TEST(Transport, LoopsInsideItsSpan) {
    Transport transport = transport_create(90.0);
    ASSERT_TRUE(transport_set_loop(transport, 10.0, 12.0, T0));
    transport_seek(transport, 11.0, T0);
    transport_play(transport, T0);
    EXPECT_NEAR(transport_seconds(transport, T0 + 500 * MS), 11.5, 1e-9);
    EXPECT_NEAR(transport_seconds(transport, T0 + 1000 * MS), 10.0, 1e-9) << "the loop's end is its start";
    EXPECT_NEAR(transport_seconds(transport, T0 + 1500 * MS), 10.5, 1e-9);
    // A thousand wraps later it is still in step.
    EXPECT_NEAR(transport_seconds(transport, T0 + 2000 * SECOND + 250 * MS), 11.25, 1e-6);
    for (int64_t t = 0; t < 10 * SECOND; t += 37 * MS) {
        const double seconds = transport_seconds(transport, T0 + t);
        EXPECT_GE(seconds, 10.0);
        EXPECT_LT(seconds, 12.0);
    }
    EXPECT_FALSE(transport_update(transport, T0 + 1000 * SECOND)) << "a loop never reaches the end";
}

TEST(Transport, RunsIntoTheLoopFromBeforeIt) {
    Transport transport = transport_create(90.0);
    ASSERT_TRUE(transport_set_loop(transport, 10.0, 12.0, T0));
    transport_seek(transport, 5.0, T0);
    transport_play(transport, T0);
    EXPECT_NEAR(transport_seconds(transport, T0 + 4 * SECOND), 9.0, 1e-9) << "before the loop it plays on";
    EXPECT_NEAR(transport_seconds(transport, T0 + 7500 * MS), 10.5, 1e-9);
}

TEST(Transport, PlaysOnToTheEndFromPastTheLoop) {
    Transport transport = transport_create(20.0);
    ASSERT_TRUE(transport_set_loop(transport, 10.0, 12.0, T0));
    transport_seek(transport, 15.0, T0);
    transport_play(transport, T0);
    EXPECT_NEAR(transport_seconds(transport, T0 + 3 * SECOND), 18.0, 1e-9);
    EXPECT_TRUE(transport_update(transport, T0 + 6 * SECOND));
    EXPECT_DOUBLE_EQ(transport_seconds(transport, T0 + 6 * SECOND), 20.0);
}

TEST(Transport, LoopsToTheEndOfTheTuneWithoutStopping) {
    Transport transport = transport_create(20.0);
    ASSERT_TRUE(transport_set_loop(transport, 18.0, 20.0, T0));
    transport_seek(transport, 19.0, T0);
    transport_play(transport, T0);
    EXPECT_FALSE(transport_update(transport, T0 + SECOND));
    EXPECT_NEAR(transport_seconds(transport, T0 + 1500 * MS), 18.5, 1e-9);
}

TEST(Transport, RefusesALoopOutsideTheTuneOrBackwards) {
    Transport transport = transport_create(20.0);
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [in, out] : {std::pair{5.0, 5.0}, {6.0, 5.0}, {-1.0, 5.0}, {5.0, 20.5}, {nan, 5.0}, {5.0, nan},
                           {5.0, inf}}) {
        EXPECT_FALSE(transport_set_loop(transport, in, out, T0)) << in << " " << out;
        EXPECT_FALSE(transport.loop);
    }
    EXPECT_TRUE(transport_set_loop(transport, 0.0, 20.0, T0)) << "the whole tune is a loop";
}

TEST(Transport, SettingOrClearingTheLoopWhilePlayingKeepsThePosition) {
    Transport transport = transport_create(90.0);
    transport_play(transport, T0);
    ASSERT_TRUE(transport_set_loop(transport, 4.0, 8.0, T0 + 5 * SECOND));
    EXPECT_NEAR(transport_seconds(transport, T0 + 5 * SECOND), 5.0, 1e-9);
    EXPECT_NEAR(transport_seconds(transport, T0 + 8 * SECOND), 4.0, 1e-9);
    transport_clear_loop(transport, T0 + 9 * SECOND);
    EXPECT_FALSE(transport.loop);
    EXPECT_DOUBLE_EQ(transport.loop_in, 4.0) << "the span stays for later";
    EXPECT_DOUBLE_EQ(transport.loop_out, 8.0);
    EXPECT_NEAR(transport_seconds(transport, T0 + 9 * SECOND), 5.0, 1e-9);
    EXPECT_NEAR(transport_seconds(transport, T0 + 13 * SECOND), 9.0, 1e-9) << "past the old loop's end";
}

TEST(Transport, LoopsAtEverySpeed) {
    Transport transport = transport_create(90.0);
    ASSERT_TRUE(transport_set_loop(transport, 10.0, 12.0, T0));
    transport_seek(transport, 10.0, T0);
    ASSERT_TRUE(transport_set_speed(transport, 2.0, T0));
    transport_play(transport, T0);
    EXPECT_NEAR(transport_seconds(transport, T0 + 1250 * MS), 10.5, 1e-9);
    ASSERT_TRUE(transport_set_speed(transport, 0.5, T0 + 1250 * MS));
    EXPECT_NEAR(transport_seconds(transport, T0 + 5250 * MS), 10.5, 1e-9);
}

TEST(Transport, WrapsARunOnPositionIntoTheLoop) {
    Transport transport = transport_create(90.0);
    EXPECT_DOUBLE_EQ(transport_wrap(transport, 30.0), 30.0) << "no loop: as it is";
    EXPECT_DOUBLE_EQ(transport_wrap(transport, 95.0), 90.0) << "no loop: within the tune";
    ASSERT_TRUE(transport_set_loop(transport, 10.0, 12.0, T0));
    EXPECT_DOUBLE_EQ(transport_wrap(transport, 5.0), 5.0);
    EXPECT_DOUBLE_EQ(transport_wrap(transport, 11.0), 11.0);
    EXPECT_DOUBLE_EQ(transport_wrap(transport, 12.0), 10.0);
    EXPECT_DOUBLE_EQ(transport_wrap(transport, 13.5), 11.5);
    EXPECT_DOUBLE_EQ(transport_wrap(transport, 16.25), 10.25);
}

TEST(Transport, AWrapRoundingOntoTheLoopsEndIsItsStart) {
    Transport transport = transport_create(90.0);
    // Seventeen laps less a hair: the remainder is a hair below the span, and
    // adding the loop's start rounds it up onto the loop's end.
    ASSERT_TRUE(transport_set_loop(transport, 3.4, 4.1, 0));
    const double wrapped = transport_wrap(transport, 15.299999999999995);
    EXPECT_LT(wrapped, 4.1);
    EXPECT_NEAR(wrapped, 3.4, 1e-9);
}

// Toggling the loop, moving its span, pausing and changing the speed in any
// order, at any moment (near the loop's end too), never moves the clock but
// along its line: from one frame to the next it runs on by the frame's time at
// the speed it had, wraps from the loop's end to its start, or stops at the
// end of the tune. A jump of seconds between frames cannot come from it.
TEST(Transport, NoChangeButASeekMovesTheClockOffItsLine) {
    uint32_t random = 12345;
    const auto next = [&random](uint32_t below) {
        random = random * 1664525u + 1013904223u;
        return (random >> 8) % below;
    };
    Transport transport = transport_create(40.0);
    int64_t now = T0;
    ASSERT_TRUE(transport_set_loop(transport, 30.0, 36.75, now));
    transport_seek(transport, 29.0, now);
    transport_play(transport, now);
    for (int frame = 0; frame < 20'000; ++frame) {
        const double before = transport_seconds(transport, now);
        const double speed = transport.playing ? transport.speed : 0.0;
        const double loop_in = transport.loop_in;
        switch (next(12)) {
            case 0: transport.loop ? transport_clear_loop(transport, now)
                                   : void(transport_set_loop(transport, transport.loop_in, transport.loop_out, now));
                    break;
            case 1: transport_set_span(transport, 28.0 + next(40) / 10.0, 34.0 + next(60) / 10.0, now); break;
            case 2: transport.playing ? transport_pause(transport, now) : transport_play(transport, now); break;
            case 3: transport_set_speed(transport, next(2) ? 0.5 : 2.0, now); break;
            default: break;
        }
        EXPECT_DOUBLE_EQ(transport_seconds(transport, now), before) << "a change at frame " << frame << " moved the clock";
        const int64_t step = int64_t(next(40) + 1) * MS;
        const double playing_speed = transport.playing ? transport.speed : 0.0;
        const double held = transport_seconds(transport, now);
        now += step;
        transport_update(transport, now);
        const double after = transport_seconds(transport, now);
        const double ran = held + double(step) * 1e-9 * playing_speed;
        const bool along = std::abs(after - ran) < 1e-6;
        const bool wrapped = transport.loop && after >= transport.loop_in && after < ran && ran >= transport.loop_out;
        const bool stopped = after == transport.length && ran >= transport.length;
        EXPECT_TRUE(along || wrapped || stopped)
            << "frame " << frame << ": " << held << " -> " << after << " (speed " << speed << ", loop in " << loop_in << ")";
        if (transport.anchor_seconds >= transport.length) transport_seek(transport, 29.0, now);
    }
}

}  // namespace
