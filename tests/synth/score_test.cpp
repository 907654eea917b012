// The score text: what each statement sets, and where faults are reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/synth/score.h"

namespace {

constexpr const char* SMALL_SCORE = R"(# a small song
tempo 140
meter 3 2
bars 4
tail 0.5
delay 0.5 0.3
reverb 0.6 0.2
drive 3
peak -2

instrument kick kick decay 0.2 gain 0.8
instrument keys square detune 7 attack 0.01
                       release 0.4 pan -0.5     # continued on a second line
pattern beat kick  x . o - | x .
pattern tune keys  a4 - - c5,e5 . bb3
play 1-2 beat tune
play 4 beat
sweep 2-3 keys cutoff 200 4000
sweep 3 kick gain 0.8 0
)";

TEST(NoteParse, NamesToMidiNumbers) {
    EXPECT_EQ(note_parse("a4"), 69);
    EXPECT_EQ(note_parse("c4"), 60);
    EXPECT_EQ(note_parse("c#3"), 49);
    EXPECT_EQ(note_parse("bb2"), 46);
    EXPECT_EQ(note_parse("b2"), 47);
    EXPECT_EQ(note_parse("c-1"), 0);
    EXPECT_EQ(note_parse("g9"), 127);
    for (const char* bad : {"", "a", "h4", "A4", "a10", "g#9", "cb-1", "a4x", "bb", "a#", "c--1"})
        EXPECT_EQ(note_parse(bad), -1) << bad;
}

TEST(ScoreParse, ReadsEveryStatement) {
    const ScoreParse parsed = score_parse(SMALL_SCORE);
    ASSERT_EQ(parsed.error_line, 0) << parsed.error;
    const Score& s = parsed.score;
    EXPECT_EQ(s.tempo, 140.0);
    EXPECT_EQ(s.beats_per_bar, 3);
    EXPECT_EQ(s.steps_per_beat, 2);
    EXPECT_EQ(s.bars, 4);
    EXPECT_EQ(s.tail, 0.5);
    EXPECT_EQ(s.delay_beats, 0.5);
    EXPECT_EQ(s.delay_feedback, 0.3);
    EXPECT_EQ(s.reverb_size, 0.6);
    EXPECT_EQ(s.reverb_damp, 0.2);
    EXPECT_EQ(s.drive_db, 3.0);
    EXPECT_EQ(s.peak_db, -2.0);

    ASSERT_EQ(s.instruments.size(), 2u);
    EXPECT_EQ(s.instruments[0].source, Source::kick);
    EXPECT_EQ(s.instruments[0].adsr.decay, 0.2);
    EXPECT_EQ(s.instruments[0].gain, 0.8);
    EXPECT_EQ(s.instruments[1].source, Source::square);
    EXPECT_EQ(s.instruments[1].detune, 7.0);
    EXPECT_EQ(s.instruments[1].adsr.attack, 0.01);
    EXPECT_EQ(s.instruments[1].adsr.release, 0.4);
    EXPECT_EQ(s.instruments[1].pan, -0.5);

    ASSERT_EQ(s.patterns.size(), 2u);
    const Pattern& beat = s.patterns[0];
    EXPECT_EQ(beat.steps, 6);  // '|' is not a step
    ASSERT_EQ(beat.notes.size(), 3u);
    EXPECT_EQ(beat.notes[1].step, 2);
    EXPECT_EQ(beat.notes[1].velocity, 0.5);
    EXPECT_EQ(beat.notes[1].length, 2);
    EXPECT_EQ(beat.notes[2].step, 4);

    const Pattern& tune = s.patterns[1];
    EXPECT_EQ(tune.instrument, 1);
    EXPECT_EQ(tune.steps, 6);
    ASSERT_EQ(tune.notes.size(), 4u);
    EXPECT_EQ(tune.notes[0].note, 69.0);
    EXPECT_EQ(tune.notes[0].length, 3);
    EXPECT_EQ(tune.notes[1].note, 72.0);  // the chord: two notes on one step
    EXPECT_EQ(tune.notes[2].note, 76.0);
    EXPECT_EQ(tune.notes[2].step, 3);
    EXPECT_EQ(tune.notes[3].note, 58.0);
    EXPECT_EQ(tune.notes[3].step, 5);

    ASSERT_EQ(s.placements.size(), 3u);
    EXPECT_EQ(s.placements[1].pattern, 1);
    EXPECT_EQ(s.placements[1].first_bar, 1);
    EXPECT_EQ(s.placements[1].last_bar, 2);
    EXPECT_EQ(s.placements[2].first_bar, 4);
    EXPECT_EQ(s.placements[2].last_bar, 4);

    ASSERT_EQ(s.sweeps.size(), 2u);
    EXPECT_EQ(s.sweeps[0].setting, SweepSetting::cutoff);
    EXPECT_EQ(s.sweeps[0].from, 200.0);
    EXPECT_EQ(s.sweeps[0].to, 4000.0);
    EXPECT_EQ(s.sweeps[1].setting, SweepSetting::gain);
    EXPECT_EQ(s.sweeps[1].first_bar, 3);
    EXPECT_EQ(s.sweeps[1].last_bar, 3);
}

TEST(ScoreParse, DrumsGetDrumDefaults) {
    const ScoreParse parsed = score_parse("bars 1\ninstrument h hat\ninstrument s snare\ninstrument l saw\n");
    ASSERT_EQ(parsed.error_line, 0) << parsed.error;
    EXPECT_GT(parsed.score.instruments[0].cutoff, 2000.0);  // a high-pass for hats
    EXPECT_LT(parsed.score.instruments[0].adsr.decay, 0.1);
    EXPECT_LT(parsed.score.instruments[1].cutoff, parsed.score.instruments[0].cutoff);
    EXPECT_EQ(parsed.score.instruments[2].adsr.decay, Adsr{}.decay);
}

struct Fault {
    const char* text;
    int line;
    const char* says;  // a piece of the message
};

TEST(ScoreParse, FaultsNameTheirLine) {
    const std::string head = "bars 2\ninstrument k kick\ninstrument p saw\n";  // lines 1 to 3
    const Fault faults[] = {
        {"  x\n", 1, "continues nothing"},
        {"tempo\n", 1, "tempo takes"},
        {"tempo fast\n", 1, "not a number"},
        {"tempo 1000\n", 1, "outside"},
        {"meter 4 2.5\n", 1, "whole number"},
        {"bars 2\nbars 3\n", 2, "already given"},
        {"instrument k kick\n", 1, "how many bars"},
        {"hello 1\n", 1, "unknown statement"},
        {"bars 1\n\n\ninstrument x organ\n", 4, "unknown sound source"},
        {"bars 1\ninstrument x saw cutoff\n", 2, "has no value"},
        {"bars 1\ninstrument x saw wobble 3\n", 2, "unknown setting"},
        {"bars 1\ninstrument x saw pan 2\n", 2, "outside"},
        {"bars 1\ninstrument x saw\ninstrument x sine\n", 3, "already defined"},
        {"bars 1\ninstrument x! saw\n", 2, "plain word"},
        {"play 1 a\n", 1, "how many bars"},
    };
    for (const Fault& fault : faults) {
        const ScoreParse parsed = score_parse(fault.text);
        EXPECT_EQ(parsed.error_line, fault.line) << fault.text << " gave: " << parsed.error;
        EXPECT_NE(parsed.error.find(fault.says), std::string::npos) << fault.text << " gave: " << parsed.error;
    }
    const Fault later[] = {
        {"pattern a q x\n", 4, "no instrument"},
        {"pattern a k a4\n", 4, "drum step"},
        {"pattern a p x\n", 4, "not a note"},
        {"pattern a p - a4\n", 4, "holds nothing"},
        {"pattern a p a4 . -\n", 4, "holds nothing"},
        {"pattern a p a4,h2\n", 4, "not a note"},
        {"pattern a p |\n", 4, "no steps"},
        {"pattern a p a4\npattern a p a4\n", 5, "already defined"},
        {"play 1 nothing\n", 4, "no pattern"},
        {"pattern a p a4\nplay 3 a\n", 5, "outside"},
        {"pattern a p a4\nplay 2-1 a\n", 5, "outside"},
        {"pattern a p a4\nplay 0 a\n", 5, "outside"},
        {"sweep 1 p cutoff 100\n", 4, "sweep takes"},
        {"sweep 1 p pan 0 1\n", 4, "only cutoff and gain"},
        {"sweep 1 q gain 0 1\n", 4, "no instrument"},
        {"sweep 1 p cutoff 0 1000\n", 4, "outside"},
    };
    for (const Fault& fault : later) {
        const ScoreParse parsed = score_parse(head + fault.text);
        EXPECT_EQ(parsed.error_line, fault.line) << fault.text << " gave: " << parsed.error;
        EXPECT_NE(parsed.error.find(fault.says), std::string::npos) << fault.text << " gave: " << parsed.error;
    }
}

TEST(ScoreParse, RefusesSongsTooLongToHoldInMemory) {
    EXPECT_EQ(score_parse("tempo 120\nbars 600\n").error_line, 0);  // 1200 s exactly
    const ScoreParse parsed = score_parse("tempo 20\nmeter 16 1\nbars 1000\n");
    EXPECT_NE(parsed.error_line, 0);
    EXPECT_NE(parsed.error.find("at most"), std::string::npos) << parsed.error;
}

// A '#' starts a comment only where it starts a word: inside one it is the
// sharp of a note, so every note name the fault message offers as an example
// can be written in a pattern.
TEST(ScoreParse, SharpsAreNotesAndCommentsStartWords) {
    const ScoreParse parsed = score_parse(
        "bars 1 #the length\n"
        "instrument p saw   # a comment after a blank\n"
        "#a line of comment\n"
        "pattern tune p c#3 a4 bb2 f#4,c#5,g#5 - #the rest: c#4\n");
    ASSERT_EQ(parsed.error_line, 0) << parsed.error;
    ASSERT_EQ(parsed.score.patterns.size(), 1u);
    const Pattern& tune = parsed.score.patterns[0];
    EXPECT_EQ(tune.steps, 5);
    std::vector<double> notes;
    for (const PatternNote& note : tune.notes) notes.push_back(note.note);
    EXPECT_EQ(notes, (std::vector<double>{49, 69, 46, 66, 73, 80}));
    EXPECT_EQ(tune.notes.back().length, 2);

    const ScoreParse bad = score_parse("bars 1\ninstrument p saw\npattern tune p c4 h#2\n");
    EXPECT_EQ(bad.error_line, 3);
    EXPECT_NE(bad.error.find("'h#2' is not a note (such as a4, c#3, bb2)"), std::string::npos) << bad.error;
}

TEST(ScoreParse, EmptyAndCommentOnlyTextsLackALength) {
    EXPECT_NE(score_parse("").error_line, 0);
    EXPECT_NE(score_parse("# nothing\n\n   \n").error_line, 0);
}

}  // namespace
