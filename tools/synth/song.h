// The song as the score arranges it: note events in time, and the mix of all
// of them through the instruments' gains, pans and effect sends.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "tools/synth/dsp.h"
#include "tools/synth/score.h"

struct SongEvent {
    int instrument = 0;
    double start = 0.0;     // seconds from the song's start
    double gate = 0.0;      // seconds the note is held
    double note = 0.0;      // MIDI number
    double velocity = 1.0;
    uint32_t seed = 1;      // fixes this event's noise and phases
};

// Every note of every play line, ordered by start time (then by score order).
std::vector<SongEvent> song_events(const Score& score);

// Bars times bar length, plus the tail.
double song_seconds(const Score& score);

// The value of a swept setting at a time, or `base` where no sweep covers it.
double sweep_value(const Score& score, int instrument, SweepSetting setting, double base, double seconds);

// Told the name of each instrument as its notes are rendered.
using SongProgress = std::function<void(std::string_view instrument, size_t index, size_t count)>;

// The finished mix: song_seconds long, its loudest sample at the score's peak.
// A song that is silent throughout stays silent.
StereoBuffer song_render(const Score& score, const SongProgress& progress);
