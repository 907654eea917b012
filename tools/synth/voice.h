// Instruments and the sound of one note or drum hit, rendered on its own from
// its start to the moment it falls silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/synth/dsp.h"

// What makes an instrument's sound: a pitched oscillator or one of the drums,
// which are built from noise and pitch envelopes.
enum class Source { saw, square, sine, noise, kick, snare, hat };

bool source_is_drum(Source source);

// Every setting has a value that sounds; a score changes only what it needs.
struct Instrument {
    std::string name;
    Source source = Source::saw;
    Adsr adsr;
    double detune = 0.0;       // cents between a pair of oscillators; 0 plays one
    double spread = 0.0;       // 0 keeps the pair in the middle, 1 puts one left and one right
    double sub = 0.0;          // level of a sine one octave below the note
    double cutoff = 18000.0;   // Hz, low-pass for pitched sounds, high-pass for snare noise and hats
    double resonance = 0.0;    // 0 to 1
    double envmod = 0.0;       // Hz added to the cutoff as a note starts, fading over fdecay
    double fdecay = 0.2;       // seconds
    double gain = 0.5;
    double pan = 0.0;          // -1 left to 1 right
    double delay = 0.0;        // send to the echo
    double reverb = 0.0;       // send to the reverb
    double pitch = 160.0;      // kick: frequency at the hit, Hz
    double tone = 48.0;        // kick: frequency it falls to; snare: its body's frequency, Hz
    double drop = 0.035;       // kick: seconds for the pitch to fall most of the way
};

// The cutoff at a given second of the note, for sweeps that change it while
// notes sound; it replaces the instrument's own cutoff.
using CutoffCurve = std::function<double(double note_seconds)>;

// Samples from a note's start until it falls silent: the gate and the release
// for pitched sounds, the decay for drums.
size_t voice_frames(const Instrument& instrument, double gate);

// One note: `note` a MIDI number (69 is A4, fractions allowed), held for `gate`
// seconds, `velocity` from 0 to 1. Drums ignore the note and the gate. `seed`
// fixes the noise and the oscillators' starting phases. The result runs until
// the sound is silent (voice_frames), or for frames_max samples when that is
// fewer: what a mixer will not hear is never made; gain and pan are left to it.
StereoBuffer voice_render(const Instrument& instrument, double note, double gate, double velocity, uint32_t seed,
                          const CutoffCurve& cutoff, size_t frames_max = SIZE_MAX);
