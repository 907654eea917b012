// Placing pattern notes on the timeline and mixing their sounds.
#include "tools/synth/song.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/synth/effects.h"
#include "tools/synth/master.h"

std::vector<SongEvent> song_events(const Score& score) {
    std::vector<SongEvent> events;
    const double step_seconds = score_step_seconds(score);
    const int steps_per_bar = score.beats_per_bar * score.steps_per_beat;
    for (const Placement& placement : score.placements) {
        const Pattern& pattern = score.patterns[size_t(placement.pattern)];
        const int first = (placement.first_bar - 1) * steps_per_bar;
        const int end = placement.last_bar * steps_per_bar;
        for (int start = first; start < end; start += pattern.steps) {
            for (const PatternNote& note : pattern.notes) {
                const int step = start + note.step;
                if (step >= end) continue;
                events.push_back({pattern.instrument, step * step_seconds, note.length * step_seconds, note.note,
                                  note.velocity, 0});
            }
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const SongEvent& a, const SongEvent& b) { return a.start < b.start; });
    // Seeds from the event's place in the song: the same score always makes the same noise.
    uint32_t seed = 0x1234567u;
    for (SongEvent& event : events) {
        seed = seed * 1664525u + 1013904223u;
        event.seed = seed | 1u;
    }
    return events;
}

double song_seconds(const Score& score) { return score.bars * score_bar_seconds(score) + score.tail; }

double sweep_value(const Score& score, int instrument, SweepSetting setting, double base, double seconds) {
    const double bar = score_bar_seconds(score);
    for (const Sweep& sweep : score.sweeps) {
        if (sweep.instrument != instrument || sweep.setting != setting) continue;
        const double from = (sweep.first_bar - 1) * bar;
        const double to = sweep.last_bar * bar;
        if (seconds < from || seconds >= to) continue;
        const double t = (seconds - from) / (to - from);
        if (setting == SweepSetting::cutoff) return sweep.from * std::pow(sweep.to / sweep.from, t);
        return sweep.from + (sweep.to - sweep.from) * t;
    }
    return base;
}

size_t song_frames(const Score& score) { return size_t(std::lround(song_seconds(score) * SAMPLE_RATE)); }

std::vector<SongVoice> song_voices(const Score& score, int index, const std::vector<SongEvent>& events) {
    const Instrument& ins = score.instruments[size_t(index)];
    const size_t frames = song_frames(score);
    std::vector<SongVoice> voices;
    std::vector<size_t> sounding;  // indices into voices, in start order
    for (const SongEvent& event : events) {
        if (event.instrument != index) continue;
        const size_t at = size_t(std::lround(event.start * SAMPLE_RATE));
        if (at >= frames) continue;
        std::erase_if(sounding, [&](size_t i) { return voices[i].at + voices[i].frames <= at; });
        if (sounding.size() >= SONG_VOICES_MAX) {
            SongVoice& taken = voices[sounding.front()];
            sounding.erase(sounding.begin());
            const size_t cut = at - taken.at;
            taken.frames = cut == 0 ? 0 : std::min(taken.frames, cut + SONG_STEAL_FADE_FRAMES);
            taken.fade_from = cut;
        }
        sounding.push_back(voices.size());
        voices.push_back({&event, at, std::min(voice_frames(ins, event.gate), frames - at)});
    }
    return voices;
}

namespace {

void buffer_add(StereoBuffer& into, const StereoBuffer& from, double gain) {
    for (size_t i = 0; i < into.left.size(); ++i) {
        into.left[i] += float(gain * from.left[i]);
        into.right[i] += float(gain * from.right[i]);
    }
}

// One instrument's notes, panned, with its gain and gain sweeps applied.
StereoBuffer instrument_render(const Score& score, int index, const std::vector<SongEvent>& events, size_t frames) {
    const Instrument& ins = score.instruments[size_t(index)];
    StereoBuffer bus = stereo_make(frames);
    const double angle = (std::clamp(ins.pan, -1.0, 1.0) + 1.0) * std::numbers::pi / 4.0;
    const double pan_left = std::cos(angle) * std::numbers::sqrt2;
    const double pan_right = std::sin(angle) * std::numbers::sqrt2;
    for (const SongVoice& voice : song_voices(score, index, events)) {
        if (voice.frames == 0) continue;
        const SongEvent& event = *voice.event;
        const CutoffCurve cutoff = [&](double note_seconds) {
            return sweep_value(score, index, SweepSetting::cutoff, ins.cutoff, event.start + note_seconds);
        };
        const StereoBuffer sound =
            voice_render(ins, event.note, event.gate, event.velocity, event.seed, cutoff, voice.frames);
        for (size_t i = 0; i < sound.left.size(); ++i) {
            const double fade =
                i < voice.fade_from ? 1.0 : 1.0 - double(i - voice.fade_from) / double(SONG_STEAL_FADE_FRAMES);
            bus.left[voice.at + i] += float(pan_left * sound.left[i] * fade);
            bus.right[voice.at + i] += float(pan_right * sound.right[i] * fade);
        }
    }
    for (size_t i = 0; i < frames; ++i) {
        const double gain = sweep_value(score, index, SweepSetting::gain, ins.gain, double(i) / SAMPLE_RATE);
        bus.left[i] = float(bus.left[i] * gain);
        bus.right[i] = float(bus.right[i] * gain);
    }
    return bus;
}

}  // namespace

StereoBuffer song_render(const Score& score, const SongProgress& progress) {
    const size_t frames = song_frames(score);
    const std::vector<SongEvent> events = song_events(score);
    StereoBuffer mix = stereo_make(frames);
    StereoBuffer delay_send = stereo_make(frames);
    StereoBuffer reverb_send = stereo_make(frames);
    for (size_t i = 0; i < score.instruments.size(); ++i) {
        const Instrument& ins = score.instruments[i];
        if (progress) progress(ins.name, i, score.instruments.size());
        const StereoBuffer bus = instrument_render(score, int(i), events, frames);
        buffer_add(mix, bus, 1.0);
        if (ins.delay > 0.0) buffer_add(delay_send, bus, ins.delay);
        if (ins.reverb > 0.0) buffer_add(reverb_send, bus, ins.reverb);
    }
    const double beat_seconds = 60.0 / score.tempo;
    const StereoBuffer echoes = delay_process(delay_send, score.delay_beats * beat_seconds, score.delay_feedback);
    buffer_add(mix, echoes, 1.0);
    // The echoes go into the room too, so they blur into it rather than stand apart.
    buffer_add(reverb_send, echoes, 0.5);
    buffer_add(mix, reverb_process(reverb_send, score.reverb_size, score.reverb_damp), 1.0);

    master_process(mix, score.drive_db, score.peak_db);
    return mix;
}
