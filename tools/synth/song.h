// The song as the score arranges it: note events in time, and the mix of all
// of them through the instruments' gains, pans and effect sends.
#pragma once

#include <cstddef>
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
// The same in samples: the length of the mix.
size_t song_frames(const Score& score);

// At most this many notes of one instrument sound at once: a note that finds
// every voice busy takes the one that started first, which fades out over
// SONG_STEAL_FADE_FRAMES, or is never heard when it started on the same sample.
// However a score writes its notes (a chord of a thousand, a pattern played a
// thousand times over itself, a note tied over millions of steps), an
// instrument costs at most this many voices over the song's length.
inline constexpr size_t SONG_VOICES_MAX = 32;
inline constexpr size_t SONG_STEAL_FADE_FRAMES = size_t(SAMPLE_RATE / 200);  // 5 ms: no click

// One note as the mix plays it: where it starts, how many of its samples are
// heard (none past the song's end), and from which one it fades out because
// another note took its voice.
struct SongVoice {
    const SongEvent* event = nullptr;
    size_t at = 0;
    size_t frames = 0;
    size_t fade_from = SIZE_MAX;  // SIZE_MAX: it plays out
};

// The voices of one instrument's events (song_events), in start order.
std::vector<SongVoice> song_voices(const Score& score, int instrument, const std::vector<SongEvent>& events);

// The value of a swept setting at a time, or `base` where no sweep covers it.
double sweep_value(const Score& score, int instrument, SweepSetting setting, double base, double seconds);

// Told the name of each instrument as its notes are rendered.
using SongProgress = std::function<void(std::string_view instrument, size_t index, size_t count)>;

// The finished mix: song_seconds long, its loudest sample at the score's peak.
// A song that is silent throughout stays silent.
StereoBuffer song_render(const Score& score, const SongProgress& progress);
