// The audio layer: plays one MP3 stream and reports its audible position, with
// the roles and failure values of the small audio library the driver was
// written against (init, stream from file, start, play, byte position, bytes to
// seconds, per-frame update, free stream, free library). Each operating system
// has its own implementation; none of their headers is included here.
#pragma once

#include <cstdint>

using AudioStream = uint32_t;  // 0 is no stream

inline constexpr int32_t AUDIO_DEFAULT_DEVICE = -1;
inline constexpr uint32_t AUDIO_STREAM_PRESCAN = 0x20000;
// What the position query gives for a stream that does not exist.
inline constexpr uint64_t AUDIO_POSITION_INVALID = UINT64_MAX;

// Opens the output device at the frequency; false when there is none.
bool audio_init(int32_t device, uint32_t frequency);
// A stream playing the whole file; 0 when the file is missing or does not decode.
AudioStream audio_stream_create_file(const char* path, uint32_t flags);
// Starts the output (after audio_init).
bool audio_start();
// Plays the stream; restart false continues from where it stands (its start at first).
bool audio_channel_play(AudioStream stream, bool restart);
// Byte position of what is audible now, in the stream's decoded PCM bytes;
// AUDIO_POSITION_INVALID for no stream. Never goes backwards, holds at the end.
uint64_t audio_channel_get_position(AudioStream stream);
// Seconds for a byte position of the stream; negative for no stream or an invalid position.
double audio_channel_bytes_to_seconds(AudioStream stream, uint64_t position);
// Bytes of the stream for seconds (down to a whole sample frame); 0 for no
// stream or a negative time.
uint64_t audio_channel_seconds_to_bytes(AudioStream stream, double seconds);
// Stops the stream where it stands; audio_channel_play(stream, false) goes on
// from there. False for no stream.
bool audio_channel_pause(AudioStream stream);
// Moves the stream to the byte position (down to a whole sample frame, at most
// its end): playing or paused, it goes on from there, and the position reads
// from there at once (going back, too). False for no stream.
bool audio_channel_set_position(AudioStream stream, uint64_t position);
// The per-frame update; may be called once a frame.
bool audio_update(uint32_t period_ms);
bool audio_stream_free(AudioStream stream);
bool audio_free();
