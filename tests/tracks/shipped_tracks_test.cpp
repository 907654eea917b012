// The shipped choreography, read the way the presentation reads it from its
// stage folder: exactly the tracks it requests are there, the clock never rests
// at 0 on screen (a flat frame), the dolly stays short of the focus point, and
// the title bars pass through a white flash, black outlines and grey bands
// before the finale goes past y = 30.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "presentation/frame.h"
#include "tools/common/tune.h"
#include "tracks/track_file.h"
#include "tracks/tracks.h"

namespace {

constexpr double STEP = 0.25;

class ShippedTracks : public testing::Test {
protected:
    void SetUp() override {
        double seconds = 0.0;
        std::string error;
        ASSERT_TRUE(tune_length(std::filesystem::path(STAGE_DIR) / TUNE_FILE, seconds, error)) << error;
        last_row_ = row_from_seconds(seconds);
        set_ = trackset_create(std::string(STAGE_DIR) + "/" + TRACKSET_BASE_NAME);
        ASSERT_NE(set_, nullptr);
        const CameraTracks camera = camera_tracks_request(*set_);
        for (const auto& track : set_->tracks)
            ASSERT_FALSE(track->keys.empty()) << track->name << " is missing from " << STAGE_DIR;
        cam_dist_ = camera.cam_dist;
        cam_rot_ = camera.cam_rot;
        ASSERT_TRUE(cam_dist_ && cam_rot_);
    }
    void TearDown() override { trackset_destroy(std::move(set_)); }

    double last_row_ = 0.0;  // the tune's end
    TrackSetPtr set_;
    const Track* cam_dist_ = nullptr;
    const Track* cam_rot_ = nullptr;
};

TEST_F(ShippedTracks, TheStageHoldsExactlyTheTracksThePresentationRequests) {
    std::set<std::string> requested, staged;
    for (const char* name : TRACK_NAMES) requested.insert(*track_file_path(TRACKSET_BASE_NAME, name));
    for (const auto& entry : std::filesystem::directory_iterator(STAGE_DIR))
        if (entry.path().extension() == ".track") staged.insert(entry.path().filename().string());
    EXPECT_EQ(staged, requested);
}

TEST_F(ShippedTracks, KeysAscendSoBisectionFindsThem) {
    for (const auto& track : set_->tracks)
        for (size_t i = 1; i < track->keys.size(); ++i)
            EXPECT_LT(track->keys[i - 1].row, track->keys[i].row) << track->name << " key " << i;
}

TEST_F(ShippedTracks, TheClockNeverRestsAtZeroAndTheDollyStaysShortOfTheFocus) {
    for (double row = 0.0; row <= last_row_; row += STEP) {
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
    for (double row = 1360.0; row <= last_row_; row += STEP)
        past_thirty |= track_value(*cam_dist_, row) > 30.0;
    EXPECT_TRUE(past_thirty);
}

}  // namespace
