// The studio's transport and clock, without any device: play, pause, seek, a
// loop span and a speed, on a monotonic clock given in nanoseconds, so tests
// drive it with made-up times. When sound plays, the audible position feeds
// the same rules (studio_audio.h); without sound this is the clock.
//
// The loop catches the position when it runs into the loop's end from before
// it: a run that starts past the loop's end (a seek there) plays on to the end
// of the tune. Every speed also holds with sound: the sound is resampled, so
// the audible clock stays exact (studio_audio.h).
#pragma once

#include <cstdint>

struct Transport {
    double length = 0.0;  // seconds of the tune; the end of the timeline
    bool playing = false;
    double speed = 1.0;   // 0.5, 1 or 2
    bool loop = false;    // playback wraps inside [loop_in, loop_out)
    double loop_in = 0.0;
    double loop_out = 0.0;
    // Where the clock was at anchor_ns; it runs at speed from there while playing.
    double anchor_seconds = 0.0;
    int64_t anchor_ns = 0;
};

Transport transport_create(double length);
// Play at the end of the tune starts it over from the beginning.
void transport_play(Transport& transport, int64_t now_ns);
void transport_pause(Transport& transport, int64_t now_ns);
// Seeks to seconds, clamped to [0, length]; playing goes on from there.
void transport_seek(Transport& transport, double seconds, int64_t now_ns);
// A loop from in to out (in < out, within the tune); false and no change otherwise.
bool transport_set_loop(Transport& transport, double in, double out, int64_t now_ns);
// The loop's span alone, looping or not as before; false and no change for a
// span transport_set_loop would refuse.
bool transport_set_span(Transport& transport, double in, double out, int64_t now_ns);
// Stops looping; the span stays in loop_in and loop_out for a later transport_set_loop.
void transport_clear_loop(Transport& transport, int64_t now_ns);
// False and no change for a speed other than 0.5, 1 or 2.
bool transport_set_speed(Transport& transport, double speed, int64_t now_ns);

// Pauses the transport once it has run to the end of the tune, so that the
// studio shows it stopped there; true when it paused. Call it once a frame.
bool transport_update(Transport& transport, int64_t now_ns);

// The position at now_ns: it holds while paused, stops at the end of the tune
// (transport_update then pauses there), and wraps inside the loop span while
// looping.
double transport_seconds(const Transport& transport, int64_t now_ns);
// A position run on from the loop's start: where it shows inside the loop.
double transport_wrap(const Transport& transport, double seconds);
