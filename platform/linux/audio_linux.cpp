// The audio layer on Linux: SDL2 plays, libmpg123 decodes.
//
// The whole tune is decoded when the stream is opened (90 s take about 50 ms
// and 16 MB): opening then proves that the file really holds audio, the exact
// length is known without a scan (a scan of a damaged file would switch off
// gapless decoding), and the device's callback only copies bytes, so nothing
// slow or failing ever runs on the audio thread.
//
// Threads: SDL calls audio_fill on its own thread while holding the device's
// lock. Everything the callback reads or writes (the Playback record) is
// guarded by that lock, which the other functions take through
// SDL_LockAudioDevice only to switch the stream, to move or stop it, or to copy
// the clock's line. The rest of the layer is used from the driver's thread alone.
//
// A seek or a pause starts the clock afresh from the frame it leaves the tune
// at (the stream's base): the position reads from there at once, stands still
// while nothing of the tune is handed out, and moves on from the first request
// that carries the tune again.
#include "platform/audio.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <utility>
#include <span>
#include <vector>

#include "platform/audio_clock.h"
#include "platform/linux/alsa_quiet.h"
#include "platform/mp3_decode.h"

namespace {

constexpr int CHANNELS = 2;
constexpr uint32_t FRAME_BYTES = MP3_FRAME_BYTES;  // what the decoder gives
// 23 ms at 44.1 kHz: the request size and the device buffer the position
// allows for, since SDL2 does not tell the output latency.
constexpr uint16_t BUFFER_FRAMES = 1024;

// Interleaved signed 16-bit stereo at the layer's frequency.
struct Tune {
    std::vector<uint8_t> pcm;
};

struct Stream {
    AudioStream handle = 0;
    Tune tune;
    uint64_t base_frames = 0;  // where the clock's count starts in the tune
    AudioClockReader reader;
};

// Shared with the device's thread under the device's lock.
struct Playback {
    const Tune* tune = nullptr;
    size_t cursor = 0;  // bytes of the tune handed to the device
    bool playing = false;
    AudioClock clock;
};

struct Layer {
    SDL_AudioDeviceID device = 0;
    uint32_t frequency = 0;
    AudioStream last_handle = 0;
    std::optional<Stream> stream;
    Playback playback;
};

Layer layer;

int64_t monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void audio_fill(void* userdata, Uint8* bytes, int length) {
    const int64_t now = monotonic_ns();
    Playback& playback = *static_cast<Playback*>(userdata);
    const std::span<Uint8> out(bytes, size_t(length));
    size_t copied = 0;
    const bool carries_tune = playback.playing && playback.tune &&
                              playback.cursor < playback.tune->pcm.size();
    if (carries_tune) {
        const std::span<const uint8_t> rest = std::span(playback.tune->pcm).subspan(playback.cursor);
        copied = std::min(out.size(), rest.size());
        std::memcpy(out.data(), rest.data(), copied);
        playback.cursor += copied;
    }
    std::memset(out.data() + copied, 0, out.size() - copied);  // silence in signed 16-bit
    audio_clock_request(playback.clock, now, uint32_t(out.size() / FRAME_BYTES), carries_tune);
}

// The whole file as 16-bit stereo at the frequency, or nothing when it is not
// an MP3 that yields audio.
std::optional<Tune> tune_decode(const char* path, uint32_t frequency) {
    std::optional<std::vector<uint8_t>> pcm = mp3_decode(path, frequency);
    if (!pcm) return std::nullopt;
    return Tune{std::move(*pcm)};
}

bool stream_valid(AudioStream stream) {
    return stream != 0 && layer.stream && layer.stream->handle == stream;
}

// Playback from the start of the tune (or of nothing) with a fresh clock;
// called with the device locked or stopped.
void playback_reset(const Tune* tune) {
    layer.playback = Playback{tune, 0, false, audio_clock_create(layer.frequency, BUFFER_FRAMES)};
}

uint64_t stream_end_frames(const Stream& stream) { return stream.tune.pcm.size() / FRAME_BYTES; }

// The stream goes on from the frame (playing or not) with a fresh clock.
void stream_move(Stream& stream, uint64_t frames, bool playing) {
    SDL_LockAudioDevice(layer.device);
    layer.playback.cursor = size_t(frames * FRAME_BYTES);
    layer.playback.playing = playing;
    layer.playback.clock = audio_clock_create(layer.frequency, BUFFER_FRAMES);
    SDL_UnlockAudioDevice(layer.device);
    stream.base_frames = frames;
    stream.reader = {};
}

}  // namespace

bool audio_init(int32_t device, uint32_t frequency) {
    if (layer.device || device != AUDIO_DEFAULT_DEVICE || frequency == 0) return false;
    alsa_errors_silence();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;

    SDL_AudioSpec wanted{};
    wanted.freq = int(frequency);
    wanted.format = AUDIO_S16SYS;
    wanted.channels = CHANNELS;
    wanted.samples = BUFFER_FRAMES;
    wanted.callback = audio_fill;
    wanted.userdata = &layer.playback;
    layer.frequency = frequency;
    playback_reset(nullptr);
    // No changes allowed: SDL converts to whatever the device really takes, so
    // the callback always sees this format, rate and request size. The device
    // opens paused.
    layer.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (!layer.device) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

AudioStream audio_stream_create_file(const char* path, uint32_t) {
    // The flags ask at most for a prescan, and the whole tune is decoded anyway.
    // One stream at a time: the presentation plays one tune.
    if (!layer.device || layer.stream || !path) return 0;
    std::optional<Tune> tune;
    try {
        tune = tune_decode(path, layer.frequency);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!tune) return 0;

    layer.stream.emplace(Stream{++layer.last_handle, std::move(*tune), 0, {}});
    SDL_LockAudioDevice(layer.device);
    playback_reset(&layer.stream->tune);
    SDL_UnlockAudioDevice(layer.device);
    return layer.stream->handle;
}

bool audio_start() {
    if (!layer.device) return false;
    SDL_PauseAudioDevice(layer.device, 0);
    return true;
}

bool audio_channel_play(AudioStream stream, bool restart) {
    if (!stream_valid(stream)) return false;
    SDL_LockAudioDevice(layer.device);
    if (restart) playback_reset(&layer.stream->tune);
    layer.playback.playing = true;
    SDL_UnlockAudioDevice(layer.device);
    if (restart) {
        layer.stream->base_frames = 0;
        layer.stream->reader = {};
    }
    return true;
}

uint64_t audio_channel_get_position(AudioStream stream) {
    if (!stream_valid(stream)) return AUDIO_POSITION_INVALID;
    Stream& s = *layer.stream;
    SDL_LockAudioDevice(layer.device);
    const AudioClockLine line = layer.playback.clock.line;
    SDL_UnlockAudioDevice(layer.device);
    const uint64_t heard = audio_clock_read(line, monotonic_ns(), stream_end_frames(s) - s.base_frames, s.reader);
    return (s.base_frames + heard) * FRAME_BYTES;
}

double audio_channel_bytes_to_seconds(AudioStream stream, uint64_t position) {
    if (!stream_valid(stream) || position == AUDIO_POSITION_INVALID) return -1.0;
    return double(position) / (double(FRAME_BYTES) * double(layer.frequency));
}

uint64_t audio_channel_seconds_to_bytes(AudioStream stream, double seconds) {
    if (!stream_valid(stream)) return 0;
    return audio_clock_frames(seconds, layer.frequency) * FRAME_BYTES;
}

// What the device already holds of the tune is handed out again on resuming:
// the music goes on from what was heard, not from what was handed out.
bool audio_channel_pause(AudioStream stream) {
    if (!stream_valid(stream)) return false;
    stream_move(*layer.stream, audio_channel_get_position(stream) / FRAME_BYTES, false);
    return true;
}

bool audio_channel_set_position(AudioStream stream, uint64_t position) {
    if (!stream_valid(stream)) return false;
    // Only this thread changes whether the stream plays.
    Stream& s = *layer.stream;
    stream_move(s, std::min(position / FRAME_BYTES, stream_end_frames(s)), layer.playback.playing);
    return true;
}

bool audio_update(uint32_t) {
    // SDL pulls data from its own thread; there is nothing to top up per frame.
    return layer.device != 0;
}

bool audio_stream_free(AudioStream stream) {
    if (!stream_valid(stream)) return false;
    SDL_LockAudioDevice(layer.device);
    playback_reset(nullptr);
    SDL_UnlockAudioDevice(layer.device);
    layer.stream.reset();
    return true;
}

bool audio_free() {
    if (!layer.device) return false;
    SDL_CloseAudioDevice(layer.device);  // joins the device's thread
    layer.device = 0;
    layer.stream.reset();
    playback_reset(nullptr);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return true;
}
