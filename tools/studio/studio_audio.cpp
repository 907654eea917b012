// The studio's sound on SDL2 (studio_audio.h).
//
// Positions in the tune are counted in half frames, so that speed 0.5 moves on
// by a whole number per frame handed and every speed is exact integer
// arithmetic: the callback's read position and the clock's reading agree to the
// sample, across any number of loop wraps.
//
// Threads: SDL calls studio_audio_fill on its own thread with the device's lock
// held. The Playback record is all it touches besides the tune's samples, which
// never change after opening; the studio's thread takes the lock through
// SDL_LockAudioDevice only to start a run or to copy the clock's line.
#include "tools/studio/studio_audio.h"

#include <SDL.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "platform/audio_clock.h"
#include "platform/linux/alsa_quiet.h"

namespace {

constexpr int CHANNELS = 2;

// One stretch of playing from a position at a speed, as it starts; the
// callback moves only `cursor` on.
struct Run {
    bool playing = false;
    uint64_t cursor = 0;  // half frames
    uint64_t step = 2;    // half frames a handed frame moves on: speed * 2
    bool wraps = false;   // the loop catches this run
    uint64_t loop_in = 0;   // half frames, even
    uint64_t loop_out = 0;  // half frames, even, above loop_in
    uint64_t end = 0;       // half frames: twice the tune's frames
};

// Shared with the device's thread under the device's lock.
struct Playback {
    const int16_t* samples = nullptr;
    uint64_t frames = 0;
    Run run;
    AudioClock clock;
};

// The tune's frame after `frame`, as this run plays it: across the loop's end
// to its start, and held at the tune's last frame.
uint64_t frame_next(const Playback& playback, uint64_t frame) {
    const Run& run = playback.run;
    if (run.wraps && frame + 1 == run.loop_out / 2) return run.loop_in / 2;
    return std::min(frame + 1, playback.frames - 1);
}

// Half frames run on from the run's start, wrapped into the loop when it
// catches them.
uint64_t run_wrap(const Run& run, uint64_t position) {
    if (!run.wraps || position < run.loop_out) return std::min(position, run.end);
    return run.loop_in + (position - run.loop_in) % (run.loop_out - run.loop_in);
}

// Averages a frame with the next: linear interpolation halfway at speed 0.5,
// and at speed 2 a filter against the aliasing of dropping every other frame.
void frame_blend(const int16_t* samples, uint64_t a, uint64_t b, int16_t* out) {
    for (int channel = 0; channel < CHANNELS; ++channel) {
        const int32_t sum = int32_t(samples[a * CHANNELS + channel]) + int32_t(samples[b * CHANNELS + channel]);
        out[channel] = int16_t(sum >> 1);
    }
}

void studio_audio_fill(void* userdata, Uint8* bytes, int length) {
    const int64_t now = studio_monotonic_ns();
    Playback& playback = *static_cast<Playback*>(userdata);
    Run& run = playback.run;
    int16_t* out = reinterpret_cast<int16_t*>(bytes);
    const uint32_t frames = uint32_t(length) / (CHANNELS * sizeof(int16_t));
    const bool carries_tune = run.playing && run.cursor < run.end;
    uint32_t handed = 0;
    for (; carries_tune && handed < frames && run.cursor < run.end; ++handed) {
        const uint64_t frame = run.cursor / 2;
        int16_t* to = out + size_t(handed) * CHANNELS;
        if (run.step == 4 || run.cursor % 2 == 1) {
            frame_blend(playback.samples, frame, frame_next(playback, frame), to);
        } else {
            to[0] = playback.samples[frame * CHANNELS];
            to[1] = playback.samples[frame * CHANNELS + 1];
        }
        run.cursor = run_wrap(run, run.cursor + run.step);
    }
    std::fill(out + size_t(handed) * CHANNELS, out + size_t(frames) * CHANNELS, int16_t(0));
    audio_clock_request(playback.clock, now, frames, carries_tune);
}
}  // namespace

struct StudioAudio {
    SDL_AudioDeviceID device = 0;
    uint32_t frequency = 0;
    std::vector<int16_t> samples;
    Playback playback;  // under the device's lock once the device is open
    // The studio's side: the transport as last followed, the run as it
    // started, and the reader of the run's clock.
    bool followed_any = false;
    Transport followed;
    Run start;
    AudioClockReader reader;
};

namespace {

bool transport_same(const Transport& a, const Transport& b) {
    return a.length == b.length && a.playing == b.playing && a.speed == b.speed && a.loop == b.loop &&
           a.loop_in == b.loop_in && a.loop_out == b.loop_out && a.anchor_seconds == b.anchor_seconds &&
           a.anchor_ns == b.anchor_ns;
}

uint64_t frame_at(const StudioAudio& audio, double seconds, uint64_t most) {
    const double frame = std::round(seconds * double(audio.frequency));
    if (!(frame > 0.0)) return 0;
    return std::min(uint64_t(frame), most);
}

// The run that plays the transport from now.
Run run_from(const StudioAudio& audio, const Transport& transport, int64_t now_ns) {
    const uint64_t frames = audio.playback.frames;
    Run run;
    run.end = frames * 2;
    run.playing = transport.playing;
    run.step = uint64_t(std::lround(transport.speed * 2.0));
    if (run.step != 1 && run.step != 4) run.step = 2;
    const double seconds = transport_seconds(transport, now_ns);
    run.cursor = frame_at(audio, seconds, frames) * 2;
    run.wraps = transport.loop && seconds < transport.loop_out;
    if (run.wraps) {
        const uint64_t in = frame_at(audio, transport.loop_in, frames - 1);
        const uint64_t out = std::max(frame_at(audio, transport.loop_out, frames), in + 1);
        run.loop_in = in * 2;
        run.loop_out = out * 2;
        // A position a hair before the loop's end may round onto it.
        run.cursor = run_wrap(run, run.cursor);
    }
    return run;
}

}  // namespace

StudioAudioPtr studio_audio_open(const TunePcm& tune, std::string& error) {
    if (tune.frequency == 0 || tune.samples.size() < CHANNELS) {
        error = "the tune holds no samples";
        return nullptr;
    }
    StudioAudioPtr audio(new (std::nothrow) StudioAudio);
    if (!audio) {
        error = "out of memory for the sound";
        return nullptr;
    }
    try {
        audio->samples = tune.samples;
    } catch (const std::bad_alloc&) {
        error = "out of memory for the tune's samples";
        return nullptr;
    }
    audio->frequency = tune.frequency;
    audio->playback.samples = audio->samples.data();
    audio->playback.frames = audio->samples.size() / CHANNELS;
    audio->playback.run.end = audio->playback.frames * 2;
    audio->playback.clock = audio_clock_create(audio->frequency, STUDIO_AUDIO_BUFFER_FRAMES);
    audio->start = audio->playback.run;

    alsa_errors_silence();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = std::string("no sound: ") + SDL_GetError();
        return nullptr;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = int(audio->frequency);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = CHANNELS;
    wanted.samples = STUDIO_AUDIO_BUFFER_FRAMES;
    wanted.callback = studio_audio_fill;
    wanted.userdata = &audio->playback;
    // No changes allowed: SDL converts to whatever the device takes, so the
    // callback always sees this format, rate and request size.
    audio->device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (!audio->device) {
        error = std::string("no audio device: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    // Running from the start, silent until something plays: a play then costs
    // one buffer, not the device's start-up.
    SDL_PauseAudioDevice(audio->device, 0);
    return audio;
}

void studio_audio_destroy(StudioAudio* audio) {
    if (!audio) return;
    if (audio->device) {
        SDL_CloseAudioDevice(audio->device);  // joins the device's thread
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    delete audio;
}

void studio_audio_follow(StudioAudio& audio, const Transport& transport, int64_t now_ns) {
    if (audio.followed_any && transport_same(audio.followed, transport)) return;
    audio.followed_any = true;
    audio.followed = transport;
    const Run run = run_from(audio, transport, now_ns);
    SDL_LockAudioDevice(audio.device);
    audio.playback.run = run;
    audio.playback.clock = audio_clock_create(audio.frequency, STUDIO_AUDIO_BUFFER_FRAMES);
    SDL_UnlockAudioDevice(audio.device);
    audio.start = run;
    audio.reader = {};
}

double studio_audio_seconds(StudioAudio& audio, const Transport& transport, int64_t now_ns) {
    studio_audio_follow(audio, transport, now_ns);
    if (!audio.start.playing) return transport_seconds(transport, now_ns);
    SDL_LockAudioDevice(audio.device);
    const AudioClockLine line = audio.playback.clock.line;
    SDL_UnlockAudioDevice(audio.device);
    const Run& run = audio.start;
    // No end for the clock: run_wrap holds the position at the tune's end.
    const uint64_t handed = audio_clock_read(line, now_ns, UINT64_MAX, audio.reader);
    const uint64_t position = run_wrap(run, run.cursor + handed * run.step);
    const double seconds = double(position) / (2.0 * double(audio.frequency));
    // The run's loop stands on whole frames, the transport's anywhere between.
    if (run.wraps) return transport_wrap(transport, seconds);
    return std::min(seconds, transport.length);
}

void studio_audio_sync(StudioAudio& audio, Transport& transport, int64_t now_ns) {
    if (!transport.playing) return;
    const double seconds = studio_audio_seconds(audio, transport, now_ns);
    transport.anchor_seconds = seconds;
    transport.anchor_ns = now_ns;
    audio.followed = transport;
}

int64_t studio_monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

double studio_audio_seek_heard_ms(StudioAudio& audio, Transport& transport, double target, double& held) {
    const int64_t seek = studio_monotonic_ns();
    transport_seek(transport, target, seek);
    studio_audio_follow(audio, transport, seek);
    held = studio_audio_seconds(audio, transport, studio_monotonic_ns());
    const int64_t give_up = seek + 2'000'000'000;
    int64_t moved = 0;
    while ((moved = studio_monotonic_ns()) < give_up) {
        if (studio_audio_seconds(audio, transport, moved) > held) break;
        const timespec pause{0, 100'000};
        nanosleep(&pause, nullptr);
    }
    return double(moved - seek) / 1e6;
}
