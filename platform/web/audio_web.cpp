// The audio layer in a browser: the tune is decoded by the browser and played by
// Web Audio (page.js); its audible position is read off the AudioContext's
// output timestamp, which already allows for the output latency, and smoothed
// by the same delay-locked loop as on the desktop.
//
// The browser reports the audible position in steps of its own callback, seen
// only when the page's frame comes. Each block of BLOCK_FRAMES becomes the
// request a desktop device would have made when the block before it became
// audible, timed on the straight line through the latest timestamp: the loop
// then sees a device with a one-block buffer, its requests as regular as
// those of a device, and a tab that was hidden catches up in one burst of
// requests on the same line.
//
// A tune the browser cannot decode plays as silence on the page's own clock,
// and the page says so; a tune that is not there at all gives no stream.
// `?row=R` gives a paused stream at that row.
//
// A seek or a pause stops the tune's source and starts the clock afresh from
// the frame it leaves the tune at (the base); a seek while playing, or play
// after a pause, starts a new source at that offset into the tune.
#include "platform/audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include <emscripten/emscripten.h>

#include "platform/audio_clock.h"
#include "platform/web/page.h"
#include "presentation/presentation.h"

namespace {

constexpr uint32_t FRAME_BYTES = 4;  // positions count 16-bit stereo bytes, as on the desktop
constexpr uint32_t BLOCK_FRAMES = 1024;
constexpr AudioStream STREAM = 1;  // one tune at a time

struct Layer {
    bool open = false;
    uint32_t frequency = 0;
    bool stream = false;
    bool playing = false;      // a source plays (or the silent clock runs)
    bool paused = false;       // ?row=R
    double paused_frames = 0.0;
    uint64_t end_frames = UINT64_MAX;  // no end for the silent clock
    AudioClock clock;
    AudioClockReader reader;
    uint64_t base_frames = 0;  // where the clock's count starts in the tune
    double blocks_fed = 0.0;   // frames since the base already made requests of
};

Layer layer;

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

// The tune's bytes from the program's folder (the page's embedded files).
bool file_read(const char* path, std::vector<uint8_t>& bytes) {
    const File file(std::fopen(path, "rb"));
    if (!file) return false;
    uint8_t buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return !std::ferror(file.get());
}

// Feeds the loop the requests of every block that has become audible by the
// latest timestamp.
void clock_feed() {
    double frames = 0.0, now_ms = 0.0;
    if (!page_audio_audible(&frames, &now_ms)) return;
    const double ns_per_frame = 1e9 / double(layer.frequency);
    while (frames >= layer.blocks_fed) {
        const double at_ms = now_ms - (frames - layer.blocks_fed) * ns_per_frame * 1e-6;
        const bool carries_tune = layer.blocks_fed < double(layer.end_frames - layer.base_frames);
        audio_clock_request(layer.clock, int64_t(std::llround(at_ms * 1e6)), BLOCK_FRAMES, carries_tune);
        layer.blocks_fed += BLOCK_FRAMES;
    }
}

bool stream_valid(AudioStream stream) { return layer.open && layer.stream && stream == STREAM; }

// Stops what plays and puts the stream at the frame with a fresh clock.
void stream_move(uint64_t frames) {
    if (layer.playing && !layer.paused) page_audio_stop();
    layer.playing = false;
    layer.base_frames = frames;
    layer.clock = audio_clock_create(layer.frequency, BLOCK_FRAMES);
    layer.reader = {};
    layer.blocks_fed = 0.0;
}

// Plays from the stream's base.
void stream_play() {
    layer.playing = true;
    if (!layer.paused) page_audio_play(double(layer.base_frames) / double(layer.frequency));
}

}  // namespace

bool audio_init(int32_t device, uint32_t frequency) {
    if (layer.open || device != AUDIO_DEFAULT_DEVICE || frequency == 0) return false;
    layer = Layer{};
    layer.open = true;
    layer.frequency = frequency;
    layer.clock = audio_clock_create(frequency, BLOCK_FRAMES);
    const double row = page_paused_row();
    layer.paused = row >= 0.0;
    layer.paused_frames = std::round(row / ROWS_PER_SECOND * double(frequency));
    return true;
}

AudioStream audio_stream_create_file(const char* path, uint32_t) {
    if (!layer.open || layer.stream || !path) return 0;
    std::vector<uint8_t> bytes;
    if (!file_read(path, bytes)) return 0;
    if (!layer.paused) {
        double frames = 0.0;
        if (page_audio_decode(bytes.data(), uint32_t(bytes.size()), &frames))
            layer.end_frames = uint64_t(frames);
        else
            page_notice("The browser cannot decode the tune: the presentation runs silent on the page's clock.");
    }
    layer.stream = true;
    return STREAM;
}

bool audio_start() {
    if (!layer.open) return false;
    page_wait_for_start(layer.frequency);
    return true;
}

bool audio_channel_play(AudioStream stream, bool restart) {
    if (!stream_valid(stream)) return false;
    if (layer.playing && !restart) return true;
    stream_move(restart ? 0 : layer.base_frames);
    stream_play();
    return true;
}

uint64_t audio_channel_get_position(AudioStream stream) {
    if (!stream_valid(stream)) return AUDIO_POSITION_INVALID;
    uint64_t frames = layer.base_frames;
    if (layer.paused) {
        frames = uint64_t(layer.paused_frames);
    } else if (layer.playing) {
        clock_feed();
        frames += audio_clock_read(layer.clock.line, int64_t(std::llround(emscripten_get_now() * 1e6)),
                                   layer.end_frames - layer.base_frames, layer.reader);
    }
    page_audio_report(double(frames) / double(layer.frequency));
    return frames * FRAME_BYTES;
}

double audio_channel_bytes_to_seconds(AudioStream stream, uint64_t position) {
    if (!stream_valid(stream) || position == AUDIO_POSITION_INVALID) return -1.0;
    return double(position) / (double(FRAME_BYTES) * double(layer.frequency));
}

uint64_t audio_channel_seconds_to_bytes(AudioStream stream, double seconds) {
    if (!stream_valid(stream)) return 0;
    return audio_clock_frames(seconds, layer.frequency) * FRAME_BYTES;
}

bool audio_channel_pause(AudioStream stream) {
    if (!stream_valid(stream)) return false;
    if (layer.playing) stream_move(audio_channel_get_position(stream) / FRAME_BYTES);
    return true;
}

// A paused page (?row=R) shows the row it was asked for, wherever the stream is.
bool audio_channel_set_position(AudioStream stream, uint64_t position) {
    if (!stream_valid(stream)) return false;
    const bool playing = layer.playing;
    stream_move(std::min(position / FRAME_BYTES, layer.end_frames));
    if (playing) stream_play();
    return true;
}

bool audio_update(uint32_t) { return layer.open; }

bool audio_stream_free(AudioStream stream) {
    if (!stream_valid(stream)) return false;
    if (layer.playing && !layer.paused) page_audio_stop();
    layer.stream = false;
    layer.playing = false;
    return true;
}

bool audio_free() {
    if (!layer.open) return false;
    if (!layer.paused) page_audio_close();
    layer = Layer{};
    return true;
}
