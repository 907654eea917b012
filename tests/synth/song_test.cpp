// Arrangement and mix: where notes land in time, how sweeps move, and the
// finished song's length, level and repeatability.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/synth/measure.h"
#include "tools/synth/song.h"

namespace {

Score score_of(const std::string& text) {
    const ScoreParse parsed = score_parse(text);
    EXPECT_EQ(parsed.error_line, 0) << parsed.error;
    return parsed.score;
}

TEST(SongEvents, PatternsRepeatFromTheirFirstBarAndStopAtTheirLast) {
    // 120 BPM, four steps a beat: a step is 0.125 s, a bar 2 s.
    const Score score = score_of(
        "bars 4\n"
        "instrument k kick\ninstrument p sine\n"
        "pattern three p a4 - .\n"
        "pattern beat k . . . . x\n"
        "play 2-3 three\n"
        "play 4 beat\n");
    const std::vector<SongEvent> events = song_events(score);
    // 32 steps from bar 2 to the end of bar 3: the 3-step pattern starts 11 times.
    size_t tune = 0;
    for (const SongEvent& e : events) {
        if (e.instrument != 1) continue;
        EXPECT_NEAR(e.start, 2.0 + 0.375 * double(tune), 1e-12);
        EXPECT_NEAR(e.gate, 0.25, 1e-12);
        EXPECT_EQ(e.note, 69.0);
        ++tune;
    }
    EXPECT_EQ(tune, 11u);
    // A beat pattern of 5 steps in a 16-step bar: hits at steps 4, 9 and 14.
    std::vector<double> hits;
    for (const SongEvent& e : events)
        if (e.instrument == 0) hits.push_back(e.start);
    EXPECT_EQ(hits, (std::vector<double>{6.5, 7.125, 7.75}));
    for (size_t i = 1; i < events.size(); ++i) EXPECT_LE(events[i - 1].start, events[i].start);
    EXPECT_DOUBLE_EQ(song_seconds(score), 8.0);
}

TEST(SongEvents, EveryEventHasItsOwnSeed) {
    const Score score = score_of("bars 2\ninstrument k kick\npattern b k x x x x\nplay 1-2 b\n");
    const std::vector<SongEvent> events = song_events(score);
    ASSERT_EQ(events.size(), 32u);
    for (size_t i = 1; i < events.size(); ++i) EXPECT_NE(events[i - 1].seed, events[i].seed);
}

// The voices a score costs follow the song's length, not how its notes are
// written: a note tied far past the song's end, a chord of a thousand notes.
TEST(SongVoices, ANoteTiedPastTheSongsEndIsHeardUpToItAndNoFurther) {
    std::string steps;
    for (int i = 0; i < 100000; ++i) steps += " -";
    const Score score = score_of("bars 2\ninstrument p saw release 0.5\npattern held p c4" + steps + "\nplay 2 held\n");
    const std::vector<SongEvent> events = song_events(score);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_GT(events[0].gate, 12000.0);
    const std::vector<SongVoice> voices = song_voices(score, 0, events);
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(voices[0].at, 88200u);
    EXPECT_EQ(voices[0].frames, song_frames(score) - 88200u);
    EXPECT_EQ(voices[0].fade_from, SIZE_MAX);
    const StereoBuffer mix = song_render(score, nullptr);
    ASSERT_EQ(mix.left.size(), song_frames(score));
    EXPECT_GT(rms(std::vector<float>(mix.left.end() - 4410, mix.left.end())), 0.05) << "the note sounds to the end";
}

TEST(SongVoices, AtMostSoManyNotesOfAnInstrumentSoundAtOnce) {
    std::string chord = "c4";
    for (int i = 1; i < 1000; ++i) chord += i % 2 ? ",e4" : ",g4";
    const Score score =
        score_of("bars 2\ninstrument p saw\ninstrument q sine release 5\npattern big p " + chord +
                 " - - - - - - - - - - - - - - -\npattern run q c4 c4 c4 c4 c4 c4 c4 c4 c4 c4 c4 c4 c4 c4 c4 c4\n"
                 "play 1-2 big\nplay 1 run run run\n");
    const std::vector<SongEvent> events = song_events(score);
    // Each chord: its last SONG_VOICES_MAX notes are heard, the ones they
    // took the voices of never sound; the second chord takes the first's
    // voices while they still ring, and they fade out.
    std::vector<SongVoice> voices = song_voices(score, 0, events);
    ASSERT_EQ(voices.size(), 2000u);
    size_t heard = 0;
    for (const SongVoice& voice : voices) {
        if (voice.frames == 0) continue;
        ++heard;
        if (voice.at == 0) {
            EXPECT_EQ(voice.fade_from, 88200u);
            EXPECT_EQ(voice.frames, 88200u + SONG_STEAL_FADE_FRAMES);
        } else {
            EXPECT_EQ(voice.fade_from, SIZE_MAX);
            EXPECT_EQ(voice.frames, song_frames(score) - 88200u);
        }
    }
    EXPECT_EQ(heard, 2 * SONG_VOICES_MAX);
    // Three runs over each other, a note every step with a long release: the
    // 33rd sounding note takes the first one's voice, which fades out.
    voices = song_voices(score, 1, events);
    ASSERT_EQ(voices.size(), 48u);
    const size_t step = 5512;  // 0.125 s, rounded
    size_t sounding_most = 0;
    for (size_t at = 0; at < song_frames(score); at += 441) {
        size_t sounding = 0;
        for (const SongVoice& voice : voices) sounding += voice.at <= at && at < voice.at + voice.frames;
        sounding_most = std::max(sounding_most, sounding);
    }
    EXPECT_LE(sounding_most, SONG_VOICES_MAX + 3);  // while the taken ones fade
    const SongVoice& first = voices[0];
    EXPECT_EQ(first.fade_from, 10 * step + 5);
    EXPECT_EQ(first.frames, first.fade_from + SONG_STEAL_FADE_FRAMES);
    const StereoBuffer mix = song_render(score, nullptr);
    EXPECT_EQ(mix.left.size(), song_frames(score));
}

TEST(SweepValue, CutoffMovesGeometricallyGainLinearlyAndOnlyWithinTheirBars) {
    const Score score = score_of(
        "bars 8\ninstrument p saw\n"
        "sweep 3-4 p cutoff 100 10000\n"
        "sweep 6 p gain 1 0\n");
    EXPECT_DOUBLE_EQ(sweep_value(score, 0, SweepSetting::cutoff, 555.0, 3.99), 555.0);
    EXPECT_DOUBLE_EQ(sweep_value(score, 0, SweepSetting::cutoff, 555.0, 4.0), 100.0);
    EXPECT_NEAR(sweep_value(score, 0, SweepSetting::cutoff, 555.0, 6.0), 1000.0, 1e-9);
    EXPECT_DOUBLE_EQ(sweep_value(score, 0, SweepSetting::cutoff, 555.0, 8.0), 555.0);
    EXPECT_NEAR(sweep_value(score, 0, SweepSetting::gain, 0.5, 11.0), 0.5, 1e-12);
    EXPECT_DOUBLE_EQ(sweep_value(score, 0, SweepSetting::gain, 0.5, 12.0), 0.5);
    EXPECT_DOUBLE_EQ(sweep_value(score, 0, SweepSetting::gain, 0.5, 9.0), 0.5);
}

TEST(SongRender, SameScoreSameSamplesAtThePeakWithBeatsWhereTheScoreSays) {
    const std::string text =
        "bars 3\ntail 0.5\npeak -3\n"
        "instrument k kick\ninstrument h hat reverb 0.3\ninstrument p saw delay 0.3\n"
        "pattern beat k . . . . x . . . x . . . x . . .\n"
        "pattern hats h . . x .\n"
        "pattern chord p a3,c4,e4 - - -\n"
        "play 2 beat\nplay 3 hats chord\n";
    const Score score = score_of(text);
    size_t reported = 0;
    const StereoBuffer a = song_render(score, [&](std::string_view, size_t, size_t) { ++reported; });
    const StereoBuffer b = song_render(score, nullptr);
    EXPECT_EQ(reported, 3u);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    ASSERT_EQ(a.left.size(), size_t(6.5 * SAMPLE_RATE));
    EXPECT_NEAR(std::max(peak(a.left), peak(a.right)), std::pow(10.0, -3.0 / 20.0), 1e-5);
    // Silent until the first kick, on bar 2's second beat: 2.5 s.
    const size_t first_kick = size_t(2.5 * SAMPLE_RATE);
    EXPECT_EQ(peak(std::span<const float>(a.left).first(first_kick)), 0.0);
    EXPECT_GT(peak(std::span<const float>(a.left).subspan(first_kick, 20)), 0.01);
}

TEST(SongRender, ASilentScoreStaysSilent) {
    const StereoBuffer out = song_render(score_of("bars 1\ninstrument p saw\n"), nullptr);
    EXPECT_EQ(out.left.size(), size_t(2.0 * SAMPLE_RATE));
    EXPECT_EQ(peak(out.left), 0.0);
}

}  // namespace
