// The audio layer on Windows: the system's own MP3 codec decodes (through the
// Audio Compression Manager), waveOut plays.
//
// The whole tune is decoded when the stream is opened: opening then proves that
// the file really holds audio and the exact length is known. A playback thread
// of the layer's own keeps a few buffers queued on the device, so the music
// never waits for a slow frame of the driver. The same thread reads the
// device's position (waveOutGetPosition: what has been played out) every few
// milliseconds and feeds each advance to the audible-position clock, which the
// driver's thread reads off between those readings with the monotonic clock.
//
// Threads: the playback thread owns the device's buffers while it runs; the
// clock it feeds is guarded by the stream's mutex, which the driver's thread
// takes only to copy the clock's line. Everything else is used from the
// driver's thread alone, which starts and joins the playback thread.
//
// A seek or a pause stops the playback thread, which takes every queued buffer
// back from the device (so the device falls silent), and starts the clock
// afresh from the frame it leaves the tune at (the stream's base); a seek while
// playing, or play after a pause, starts a new playback thread there.
#include "platform/audio.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/audio_clock.h"
#include "platform/windows/pcm_format.h"
#include "platform/windows/tune_decode.h"

namespace {

// Queued on the device at any time: four buffers of 93 ms at 44.1 kHz.
constexpr size_t QUEUED_BUFFERS = 4;
constexpr uint32_t BUFFER_FRAMES = 4096;
// How often the playback thread reads the device's position when no buffer
// comes back in between.
constexpr DWORD POLL_MS = 4;

struct Stream {
    AudioStream handle = 0;
    Tune tune;
    WAVEFORMATEX format{};  // the tune's
    uint64_t base_frames = 0;  // where the playback thread starts and the clock's count begins
    AudioClockReader reader;
    std::mutex mutex;  // guards clock
    AudioClock clock;
    std::jthread player;  // last: stopped and joined before the tune goes
};

struct Layer {
    HWAVEOUT device = nullptr;
    WAVEFORMATEX device_format{};
    HANDLE buffer_done = nullptr;  // signalled by the device when a buffer comes back
    AudioStream last_handle = 0;
    std::unique_ptr<Stream> stream;
};

Layer layer;

int64_t monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool same_format(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample;
}

std::optional<std::vector<uint8_t>> file_read(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return bytes;
}

// Frames the device has played since it was opened or reset.
uint64_t device_position_frames(HWAVEOUT device, const WAVEFORMATEX& format) {
    MMTIME time{};
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
    switch (time.wType) {
        case TIME_BYTES: return time.u.cb / format.nBlockAlign;
        case TIME_SAMPLES: return time.u.sample;
        case TIME_MS: return uint64_t(time.u.ms) * format.nSamplesPerSec / 1000;
        default: return 0;
    }
}

// The playback thread: keeps the device fed from the tune, buffer by buffer
// from the byte `cursor` on, and tells the clock of every advance of the device's position, until told to
// stop; then takes its buffers back from the device.
void player_run(std::stop_token stop, Stream& stream, HWAVEOUT device, HANDLE buffer_done, size_t cursor) {
    const std::vector<uint8_t>& pcm = stream.tune.pcm;
    const size_t buffer_bytes = size_t(BUFFER_FRAMES) * stream.format.nBlockAlign;
    std::array<WAVEHDR, QUEUED_BUFFERS> buffers{};
    uint64_t played = 0;
    while (!stop.stop_requested()) {
        for (WAVEHDR& buffer : buffers) {
            if ((buffer.dwFlags & WHDR_PREPARED) && !(buffer.dwFlags & WHDR_DONE)) continue;
            if (buffer.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device, &buffer, sizeof buffer);
            if (cursor >= pcm.size()) continue;
            buffer = WAVEHDR{};
            buffer.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(pcm.data() + cursor));
            buffer.dwBufferLength = DWORD(std::min(buffer_bytes, pcm.size() - cursor));
            if (waveOutPrepareHeader(device, &buffer, sizeof buffer) != MMSYSERR_NOERROR) break;
            if (waveOutWrite(device, &buffer, sizeof buffer) != MMSYSERR_NOERROR) {
                waveOutUnprepareHeader(device, &buffer, sizeof buffer);
                break;
            }
            cursor += buffer.dwBufferLength;
        }

        const int64_t now = monotonic_ns();
        const uint64_t position = device_position_frames(device, stream.format);
        if (position > played) {
            const std::lock_guard lock(stream.mutex);
            audio_clock_request(stream.clock, now, uint32_t(position - played), true);
            played = position;
        }
        WaitForSingleObject(buffer_done, POLL_MS);
    }
    waveOutReset(device);  // every queued buffer comes back marked done
    for (WAVEHDR& buffer : buffers)
        if (buffer.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device, &buffer, sizeof buffer);
}

bool device_open(const WAVEFORMATEX& format) {
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, DWORD_PTR(layer.buffer_done), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR)
        return false;
    layer.device = device;
    layer.device_format = format;
    return true;
}

void device_close() {
    if (layer.device) waveOutClose(layer.device);
    layer.device = nullptr;
}

bool stream_valid(AudioStream stream) {
    return stream != 0 && layer.stream && layer.stream->handle == stream;
}

uint64_t stream_end_frames(const Stream& stream) { return stream.tune.pcm.size() / stream.format.nBlockAlign; }

// Stops the playback thread and puts the stream at the frame with a fresh
// clock; the position reads from there until a new thread is started.
void stream_move(Stream& stream, uint64_t frames) {
    stream.player = {};
    stream.base_frames = frames;
    stream.clock = audio_clock_create(stream.format.nSamplesPerSec, 0);
    stream.reader = {};
}

// A playback thread from the stream's base.
bool player_start(Stream& stream) {
    // The device plays the tune's own format; the system converts it for the
    // hardware when it has to.
    if (!same_format(layer.device_format, stream.format)) {
        device_close();
        if (!device_open(stream.format)) return false;
    }
    try {
        stream.player = std::jthread(player_run, std::ref(stream), layer.device, layer.buffer_done,
                                     size_t(stream.base_frames * stream.format.nBlockAlign));
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace

bool audio_init(int32_t device, uint32_t frequency) {
    if (layer.device || device != AUDIO_DEFAULT_DEVICE || frequency == 0) return false;
    if (waveOutGetNumDevs() == 0) return false;
    layer.buffer_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!layer.buffer_done) return false;
    if (!device_open(pcm_format(frequency, 2))) {
        CloseHandle(layer.buffer_done);
        layer.buffer_done = nullptr;
        return false;
    }
    return true;
}

AudioStream audio_stream_create_file(const char* path, uint32_t) {
    // The flags ask at most for a prescan, and the whole tune is decoded anyway.
    // One stream at a time: the presentation plays one tune.
    if (!layer.device || layer.stream || !path) return 0;
    try {
        const std::optional<std::vector<uint8_t>> file = file_read(path);
        if (!file) return 0;
        std::optional<Tune> tune = tune_decode(*file);
        if (!tune) return 0;
        layer.stream = std::make_unique<Stream>();
        layer.stream->format = pcm_format(tune->sample_rate, tune->channels);
        layer.stream->tune = std::move(*tune);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    Stream& stream = *layer.stream;
    stream.handle = ++layer.last_handle;
    stream.clock = audio_clock_create(stream.format.nSamplesPerSec, 0);
    return stream.handle;
}

bool audio_start() {
    if (!layer.device) return false;
    return waveOutRestart(layer.device) == MMSYSERR_NOERROR;
}

bool audio_channel_play(AudioStream stream, bool restart) {
    if (!stream_valid(stream)) return false;
    Stream& s = *layer.stream;
    if (s.player.joinable() && !restart) return true;
    stream_move(s, restart ? 0 : s.base_frames);
    return player_start(s);
}

uint64_t audio_channel_get_position(AudioStream stream) {
    if (!stream_valid(stream)) return AUDIO_POSITION_INVALID;
    Stream& s = *layer.stream;
    AudioClockLine line;
    {
        const std::lock_guard lock(s.mutex);
        line = s.clock.line;
    }
    const uint64_t heard = audio_clock_read(line, monotonic_ns(), stream_end_frames(s) - s.base_frames, s.reader);
    return (s.base_frames + heard) * s.format.nBlockAlign;
}

double audio_channel_bytes_to_seconds(AudioStream stream, uint64_t position) {
    if (!stream_valid(stream) || position == AUDIO_POSITION_INVALID) return -1.0;
    return double(position) / double(layer.stream->format.nAvgBytesPerSec);
}

uint64_t audio_channel_seconds_to_bytes(AudioStream stream, double seconds) {
    if (!stream_valid(stream)) return 0;
    const WAVEFORMATEX& format = layer.stream->format;
    return audio_clock_frames(seconds, format.nSamplesPerSec) * format.nBlockAlign;
}

// What the device had queued is played again on resuming: the music goes on
// from what was heard, not from what was handed out.
bool audio_channel_pause(AudioStream stream) {
    if (!stream_valid(stream)) return false;
    Stream& s = *layer.stream;
    if (s.player.joinable()) stream_move(s, audio_channel_get_position(stream) / s.format.nBlockAlign);
    return true;
}

bool audio_channel_set_position(AudioStream stream, uint64_t position) {
    if (!stream_valid(stream)) return false;
    Stream& s = *layer.stream;
    const bool playing = s.player.joinable();
    stream_move(s, std::min(position / s.format.nBlockAlign, stream_end_frames(s)));
    return !playing || player_start(s);
}

bool audio_update(uint32_t) {
    // The playback thread feeds the device; there is nothing to top up per frame.
    return layer.device != nullptr;
}

bool audio_stream_free(AudioStream stream) {
    if (!stream_valid(stream)) return false;
    layer.stream.reset();
    return true;
}

bool audio_free() {
    if (!layer.buffer_done) return false;
    layer.stream.reset();
    device_close();
    CloseHandle(layer.buffer_done);
    layer.buffer_done = nullptr;
    return true;
}
