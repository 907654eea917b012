// The shipped score keeps the grid that the presentation's tracks are cut to.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "presentation/presentation.h"
#include "tools/synth/song.h"

namespace {

// The presentation's title takes rows 1280 to 1360, seconds 64 to 68: the
// shipped tune must keep the tempo and bar grid that the tracks are cut to.
TEST(ShippedScore, KeepsTheGridTheChoreographyIsCutTo) {
    std::ifstream file(ZIRBELON_ASSETS_DIR "/vaxo.score");
    ASSERT_TRUE(file) << "cannot read " ZIRBELON_ASSETS_DIR "/vaxo.score";
    std::stringstream text;
    text << file.rdbuf();
    const ScoreParse parsed = score_parse(text.str());
    ASSERT_EQ(parsed.error_line, 0) << parsed.error;
    const Score& score = parsed.score;
    EXPECT_EQ(score.tempo, 120.0);
    EXPECT_EQ(score.beats_per_bar, 4);
    EXPECT_EQ(score.bars, 48);
    EXPECT_NEAR(song_seconds(score), 96.0, 2.0);
    EXPECT_LE(score.peak_db, -1.0);
    bool title_hit = false;
    for (const SongEvent& e : song_events(score)) {
        if (score.instruments[size_t(e.instrument)].source != Source::kick) continue;
        EXPECT_NEAR(std::remainder(e.start, 0.5), 0.0, 1e-9) << "a kick off the beat at " << e.start << " s";
        title_hit |= e.start == 64.0;
    }
    EXPECT_TRUE(title_hit) << "no kick lands on the title's first row";
}

// The tools draw beats and bars from the presentation's tempo; the score is
// where the tune gets it.
TEST(ShippedScore, DeclaresThePresentationsTempo) {
    std::ifstream file(ZIRBELON_ASSETS_DIR "/vaxo.score");
    std::stringstream text;
    text << file.rdbuf();
    const ScoreParse parsed = score_parse(text.str());
    ASSERT_EQ(parsed.error_line, 0) << parsed.error;
    EXPECT_EQ(parsed.score.tempo, TUNE_BEATS_PER_MINUTE);
    EXPECT_EQ(parsed.score.beats_per_bar, TUNE_BEATS_PER_BAR);
}

}  // namespace
