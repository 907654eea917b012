// A PulseAudio daemon with only a null sink, for the audio benchmarks: a
// device that paces itself as real hardware does, on a machine without a sound
// card, on a private socket so that no other sound server is touched.
#pragma once

#include <sys/types.h>

#include <filesystem>

// Stopped (by its own process id) when this goes out of scope.
struct NullSink {
    pid_t pid = 0;
    NullSink() = default;
    NullSink(const NullSink&) = delete;
    NullSink& operator=(const NullSink&) = delete;
    ~NullSink();
};

// Starts the daemon on a socket in dir and points SDL at it (PULSE_SERVER,
// SDL_AUDIODRIVER); false when it cannot be started within 10 s.
bool null_sink_start(NullSink& sink, const std::filesystem::path& dir);
