// The shipped choreography, read the way the presentation reads it: the clock
// never rests at 0 on screen (a flat frame), the dolly stays short of the focus
// point, and the title bars pass through a white flash, black outlines and grey
// bands before the finale goes past y = 30.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tracks.h"

namespace {

constexpr double LAST_ROW = 97.5 * 20.0;  // the tune's length
constexpr double STEP = 0.25;

class ShippedTracks : public testing::Test {
protected:
    void SetUp() override {
        set_ = trackset_create(std::string(STAGE_DIR) + "/sync");
        ASSERT_NE(set_, nullptr);
        for (const char* name : {"clear.r", "clear.g", "clear.b", "cam.rot", "cam.dist"}) {
            Track* track = trackset_get_track(*set_, name);
            ASSERT_NE(track, nullptr);
            ASSERT_FALSE(track->keys.empty()) << name << " is missing from " << STAGE_DIR;
        }
        cam_dist_ = trackset_get_track(*set_, "cam.dist");
        cam_rot_ = trackset_get_track(*set_, "cam.rot");
    }
    void TearDown() override { trackset_destroy(std::move(set_)); }

    TrackSetPtr set_;
    const Track* cam_dist_ = nullptr;
    const Track* cam_rot_ = nullptr;
};

TEST_F(ShippedTracks, KeysAscendSoBisectionFindsThem) {
    for (const auto& track : set_->tracks)
        for (size_t i = 1; i < track->keys.size(); ++i)
            EXPECT_LT(track->keys[i - 1].row, track->keys[i].row) << track->name << " key " << i;
}

TEST_F(ShippedTracks, TheClockNeverRestsAtZeroAndTheDollyStaysShortOfTheFocus) {
    for (double row = 0.0; row <= LAST_ROW; row += STEP) {
        const float y = float(track_value(*cam_dist_, row));
        const float rot = float(track_value(*cam_rot_, row));
        ASSERT_TRUE(std::isfinite(y) && std::isfinite(rot)) << "row " << row;
        ASSERT_GE(std::fabs(y), 0.1f) << "row " << row;
        ASSERT_LT(rot, 14.5f) << "row " << row;
    }
}

TEST_F(ShippedTracks, TheTitleFlashesWhiteOnItsFirstBeatThenShowsOutlinesAndBands) {
    const auto tan_at = [&](double row) { return std::tan(double(float(track_value(*cam_dist_, row)))); };
    EXPECT_GE(tan_at(1280.0), 2.3375);
    bool outlines = false, bands = false;
    for (double row = 1280.0; row <= 1360.0; row += STEP) {
        const double t = tan_at(row);
        outlines |= t < -2.6625 && t > -35.5;
        bands |= std::fabs(t) < 1.0;
    }
    EXPECT_TRUE(outlines);
    EXPECT_TRUE(bands);
}

TEST_F(ShippedTracks, TheFinaleRunsPastThirty) {
    bool past_thirty = false;
    for (double row = 1360.0; row <= LAST_ROW; row += STEP)
        past_thirty |= track_value(*cam_dist_, row) > 30.0;
    EXPECT_TRUE(past_thirty);
}

}  // namespace
