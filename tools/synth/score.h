// The score: a text that says what the tune plays. Tempo and meter, the
// instruments and their settings, short patterns of steps, and an arrangement
// that places patterns on bars and sweeps settings over bars.
//
//   tempo 120                       beats per minute
//   meter 4 4                       beats per bar, steps per beat
//   bars 48                         length of the song
//   tail 1.0                        seconds rendered after the last bar
//   delay 0.75 0.4                  echo time in beats, feedback
//   reverb 0.8 0.5                  size, damping
//   drive 4                         dB the mix is raised by under a limiter
//   peak -1                         dBFS that the loudest sample is scaled to
//   instrument NAME SOURCE [SETTING VALUE]...
//   pattern NAME INSTRUMENT STEP...
//   play BARS PATTERN...            BARS is N or N-M, counted from 1
//   sweep BARS INSTRUMENT SETTING FROM TO
//
// A line that starts with a blank continues the statement above it; a '#' at
// the start of a word starts a comment (inside a word it is a sharp: c#3). SOURCE is saw, square, sine, noise, kick, snare or hat. A
// pattern's steps are '.' (rest), '-' (the previous notes go on one more step),
// '|' (ignored, marks bars for the reader), a note such as a4, c#3 or bb2, a
// chord of notes joined by ',', or for drums 'x' (a hit) and 'o' (a soft hit).
// A pattern repeats from the first bar of its play line to the end of its last.
// A sweep moves cutoff (Hz, geometrically) or gain (linearly) from FROM at the
// start of its first bar to TO at the end of its last; elsewhere the
// instrument's own value holds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/synth/voice.h"

struct PatternNote {
    int step = 0;
    int length = 1;          // in steps
    double note = 0.0;       // MIDI number; unused by drums
    double velocity = 1.0;
};

struct Pattern {
    std::string name;
    int instrument = 0;      // index into Score::instruments
    int steps = 0;
    std::vector<PatternNote> notes;
};

struct Placement {
    int first_bar = 1;       // counted from 1, both included
    int last_bar = 1;
    int pattern = 0;         // index into Score::patterns
};

enum class SweepSetting { cutoff, gain };

struct Sweep {
    int first_bar = 1;
    int last_bar = 1;
    int instrument = 0;
    SweepSetting setting = SweepSetting::cutoff;
    double from = 0.0;
    double to = 0.0;
};

struct Score {
    double tempo = 120.0;
    int beats_per_bar = 4;
    int steps_per_beat = 4;
    int bars = 0;
    double tail = 0.0;
    double delay_beats = 0.75;
    double delay_feedback = 0.4;
    double reverb_size = 0.7;
    double reverb_damp = 0.5;
    double drive_db = 0.0;
    double peak_db = -1.0;
    std::vector<Instrument> instruments;
    std::vector<Pattern> patterns;
    std::vector<Placement> placements;
    std::vector<Sweep> sweeps;
};

struct ScoreParse {
    Score score;
    int error_line = 0;  // 1-based line of the first fault; 0 when the score is good
    std::string error;
};

// Longer songs are refused: the whole mix is held in memory while it is made.
inline constexpr double SCORE_SECONDS_MAX = 1200.0;

ScoreParse score_parse(std::string_view text);

// A note name such as a4, c#3, bb2 or e-1 as a MIDI number (c4 is 60); -1 for
// anything else.
int note_parse(std::string_view name);

double score_step_seconds(const Score& score);
double score_bar_seconds(const Score& score);
