// The studio's sound: the tune played through SDL2 from any position, with the
// presentation's kind of audible-position clock (platform/audio_clock.h): a
// delay-locked loop on the device's requests, read with the monotonic clock,
// within a millisecond of a straight line while playing. A seek restarts the
// sound at the new position on the device's next request (one buffer, about
// 23 ms). No device, or no tune: the studio runs silent on its transport.
//
// Speeds 0.5 and 2 play too, resampled like tape (the pitch moves with the
// speed): each frame handed to the device moves the tune on by exactly `speed`
// frames, so the audible clock stays as exact as at speed 1. A loop wraps
// inside the device's buffers, without a gap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/common/tune.h"
#include "tools/studio/model/transport.h"

// 23 ms at 44.1 kHz, as the presentation's own audio layer asks for.
inline constexpr uint16_t STUDIO_AUDIO_BUFFER_FRAMES = 1024;

struct StudioAudio;
void studio_audio_destroy(StudioAudio* audio);
struct StudioAudioDeleter {
    void operator()(StudioAudio* audio) const { studio_audio_destroy(audio); }
};
using StudioAudioPtr = std::unique_ptr<StudioAudio, StudioAudioDeleter>;

// Opens the default output device for the tune (which it copies); null with
// the reason in error when there is none or the tune holds no samples (the
// studio then says "silent: REASON").
StudioAudioPtr studio_audio_open(const TunePcm& tune, std::string& error);

// Makes the sound follow the transport after any change to it (play, pause,
// seek, loop, speed): it starts, stops or restarts at the transport's position.
// Nothing happens when the transport is as it was last followed, so calling it
// once a frame is fine.
void studio_audio_follow(StudioAudio& audio, const Transport& transport, int64_t now_ns);

// The audible position in the tune now, in seconds, wrapped in the loop as the
// transport wraps it; the picture follows this while sound plays. Follows the
// transport first if it changed. Paused, it is the transport's position.
double studio_audio_seconds(StudioAudio& audio, const Transport& transport, int64_t now_ns);

// Moves the transport's anchor to the audible position, leaving the sound
// undisturbed, so that a pause, a speed change or a loop set next goes on from
// what was heard rather than from the monotonic clock (which a device's own
// pace leaves behind by up to a few percent). Call it once a frame while
// playing; it does nothing paused.
void studio_audio_sync(StudioAudio& audio, Transport& transport, int64_t now_ns);

// The monotonic clock the studio runs on, in nanoseconds.
int64_t studio_monotonic_ns();

// One seek of a playing transport to target, timed until the audible position
// leaves where the seek put it: how soon a seek is heard, in ms (at most 2 s).
// held receives the audible position right after the seek.
double studio_audio_seek_heard_ms(StudioAudio& audio, Transport& transport, double target, double& held);
