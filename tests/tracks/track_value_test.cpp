// Evaluation of a track at fractional rows: the four kinds, the ends, the
// bisection, and rows no presentation reaches.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tracks/tracks.h"

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NAN_ROW = std::numeric_limits<double>::quiet_NaN();

Track track_of(std::vector<Keyframe> keys) { return Track{"t", std::move(keys)}; }

// The worked pair: (row 0, value 0, KIND) and (row 10, value 10).
Track pair_of(int32_t kind) { return track_of({{0, 0.0f, kind}, {10, 10.0f, INTERP_HOLD}}); }

TEST(TrackValueTest, TrackWithoutKeysIsZeroEverywhere) {
    const Track empty = track_of({});
    for (double row : {-1e300, -3.0, 0.0, 0.5, 1e9, INF, -INF, NAN_ROW}) EXPECT_EQ(track_value(empty, row), 0.0);
}

TEST(TrackValueTest, OneKeyGivesItsValueEverywhereWhateverItsKind) {
    for (int32_t kind : {0, 1, 2, 3, 7, -1}) {
        const Track one = track_of({{4, 2.5f, kind}});
        for (double row : {-1e300, 3.0, 4.0, 4.5, 1e9, INF, -INF, NAN_ROW})
            EXPECT_EQ(track_value(one, row), 2.5) << "kind " << kind << ", row " << row;
    }
}

TEST(TrackValueTest, LinearPairGivesTheWorkedValues) {
    const Track linear = pair_of(INTERP_LINEAR);
    EXPECT_DOUBLE_EQ(track_value(linear, 5.5), 5.5);
    EXPECT_EQ(track_value(linear, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(track_value(linear, 9.99), 9.99);
    EXPECT_EQ(track_value(linear, 10.0), 10.0);
    EXPECT_EQ(track_value(linear, -3.0), 0.0);
    EXPECT_EQ(track_value(linear, 1000.0), 10.0);
    EXPECT_DOUBLE_EQ(track_value(linear, 0.25), 0.25) << "the fraction of the row counts";
}

TEST(TrackValueTest, SmoothstepQuadraticAndHoldShapeTheInterval) {
    const Track smooth = pair_of(INTERP_SMOOTHSTEP);
    EXPECT_DOUBLE_EQ(track_value(smooth, 5.0), 5.0);
    EXPECT_DOUBLE_EQ(track_value(smooth, 2.5), 1.5625);
    EXPECT_DOUBLE_EQ(track_value(smooth, 7.5), 8.4375);

    const Track quadratic = pair_of(INTERP_QUADRATIC);
    EXPECT_DOUBLE_EQ(track_value(quadratic, 5.0), 2.5);
    EXPECT_DOUBLE_EQ(track_value(quadratic, 2.5), 0.625);

    const Track hold = pair_of(INTERP_HOLD);
    for (double row : {0.0, 0.5, 5.0, 9.0, 9.999}) EXPECT_EQ(track_value(hold, row), 0.0) << row;
    EXPECT_EQ(track_value(hold, 10.0), 10.0);
}

TEST(TrackValueTest, OtherKindsMakeTheirIntervalZeroButNotTheEnds) {
    const Track odd = track_of({{0, 4.0f, 7}, {10, 6.0f, INTERP_LINEAR}, {20, 8.0f, -1}, {30, 9.0f, 7}});
    EXPECT_EQ(track_value(odd, 0.0), 0.0);
    EXPECT_EQ(track_value(odd, 5.0), 0.0);
    EXPECT_DOUBLE_EQ(track_value(odd, 15.0), 7.0);
    EXPECT_EQ(track_value(odd, 25.0), 0.0);
    EXPECT_EQ(track_value(odd, -1.0), 4.0);
    EXPECT_EQ(track_value(odd, 30.0), 9.0);
    EXPECT_EQ(track_value(odd, 31.5), 9.0);
}

// The difference of the two values is a float: 1e8f - 0.1f rounds to 1e8f,
// where a double difference would keep the 0.1.
TEST(TrackValueTest, ValueDifferenceIsFormedInSinglePrecision) {
    const Track far = track_of({{0, 0.1f, INTERP_LINEAR}, {2, 1e8f, INTERP_HOLD}});
    EXPECT_EQ(track_value(far, 1.0), double(0.1f) + 0.5 * 1e8);
}

TEST(TrackValueTest, ZeroLengthIntervalFollowsIeeeRules) {
    // Bisection lands on the middle key at row 3, whose interval has length zero.
    const Track linear = track_of({{3, 0.0f, INTERP_LINEAR}, {3, 1.0f, INTERP_LINEAR}, {3, 2.0f, INTERP_LINEAR}});
    EXPECT_EQ(track_value(linear, 3.5), INF);
    EXPECT_TRUE(std::isnan(track_value(linear, 3.0)));
    const Track hold = track_of({{3, 0.0f, INTERP_LINEAR}, {3, 1.0f, INTERP_HOLD}, {3, 2.0f, INTERP_LINEAR}});
    EXPECT_EQ(track_value(hold, 3.5), 1.0);
}

// Hold keys valued by their index show which key the bisection chose; a plain
// scan says which it should have been.
TEST(TrackValueTest, BisectionFindsTheLastKeyAtOrBeforeTheRow) {
    for (int n = 1; n <= 40; ++n) {
        std::vector<Keyframe> keys;
        for (int i = 0; i < n; ++i) keys.push_back({3 * i - 2 * n, float(i), INTERP_HOLD});
        const Track track = track_of(keys);
        for (double row = -3.0 * n; row <= 3.0 * n; row += 0.5) {
            int expected = 0;
            for (int i = 0; i < n; ++i)
                if (keys[i].row <= std::floor(row)) expected = i;
            ASSERT_EQ(track_value(track, row), double(expected)) << n << " keys, row " << row;
        }
    }
}

TEST(TrackValueTest, KeysOutOfOrderStillGiveOneOfTheirValues) {
    const Track shuffled = track_of({{5, 0.0f, 0}, {1, 1.0f, 0}, {9, 2.0f, 0}, {3, 3.0f, 0}, {7, 4.0f, 0}});
    for (double row = -10.0; row <= 20.0; row += 0.25) {
        const double value = track_value(shuffled, row);
        EXPECT_TRUE(value == 0 || value == 1 || value == 2 || value == 3 || value == 4) << row;
    }
}

// Below the 32-bit range and -inf act as before the first key, above it and
// +inf as after the last; NaN gives the first key's value.
TEST(TrackValueTest, RowsBeyondTheIntegerRangeGiveTheEnds) {
    const Track widest = track_of({{INT32_MIN, 1.0f, INTERP_LINEAR}, {INT32_MAX, 3.0f, INTERP_LINEAR}});
    EXPECT_EQ(track_value(widest, double(INT32_MIN)), 1.0);
    EXPECT_EQ(track_value(widest, double(INT32_MIN) - 0.5), 1.0);
    EXPECT_EQ(track_value(widest, -1e300), 1.0);
    EXPECT_EQ(track_value(widest, -INF), 1.0);
    EXPECT_EQ(track_value(widest, NAN_ROW), 1.0);
    EXPECT_EQ(track_value(widest, double(INT32_MAX)), 3.0);
    EXPECT_EQ(track_value(widest, double(INT32_MAX) + 0.5), 3.0);
    EXPECT_EQ(track_value(widest, 1e300), 3.0);
    EXPECT_EQ(track_value(widest, INF), 3.0);
    // The interval spans 2^32 - 1 rows, more than a 32-bit difference holds.
    EXPECT_DOUBLE_EQ(track_value(widest, 0.0), 1.0 + 2.0 * 2147483648.0 / 4294967295.0);

    const Track narrow = track_of({{-5, 1.0f, INTERP_SMOOTHSTEP}, {5, 3.0f, INTERP_SMOOTHSTEP}});
    EXPECT_EQ(track_value(narrow, -3e9), 1.0);
    EXPECT_EQ(track_value(narrow, 3e9), 3.0);
    EXPECT_EQ(track_value(narrow, NAN_ROW), 1.0);
    EXPECT_EQ(track_value(narrow, -NAN_ROW), 1.0);
}

}  // namespace
