// The delay-locked loop behind the audible position (see audio_clock.h).
#include "platform/audio_clock.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Loop bandwidth: low enough to smooth scheduler jitter of a few milliseconds,
// high enough to learn a device that runs a few percent off its rate within a
// second or two.
constexpr double LOOP_BANDWIDTH_HZ = 0.5;
// A fresh line carries the jitter of the one request it starts from, so the
// loop starts wider and narrows to its bandwidth over the first second.
constexpr double START_BANDWIDTH_HZ = 2.0;
constexpr double NARROWING_NS = 1e9;
// A request this many buffers away from its due time means the device stalled
// or skipped: start the line afresh from that request instead of bending it.
constexpr double RESYNC_BUFFERS = 4.0;
// The learnt frame duration stays within this share of the nominal one, so a
// burst of odd timings cannot run the loop away.
constexpr double PACE_LIMIT = 0.05;
// A time made from a frame count by division is off by a few parts in 2^53;
// rounding down must not lose that frame.
constexpr double FRAME_ROUNDING = 1e-12;
// More frames than any tune has (a hundred years at 1 MHz), and still exact in
// a double and within a byte count.
constexpr double MOST_FRAMES = double(uint64_t(1) << 52);

// A new line through the request at t: p0 frames audible now, one buffer of
// frames at the learnt pace until the next request.
void line_restart(AudioClock& clock, double t, uint32_t frames) {
    AudioClockLine& line = clock.line;
    clock.line_start = t;
    line.t0 = t;
    line.p0 = double(clock.frames_handed) - double(clock.buffer_frames);
    line.t1 = t + double(frames) * clock.ns_per_frame;
    line.p1 = line.p0 + double(frames);
}

double loop_bandwidth(double since_line_start_ns) {
    const double narrowed = std::min(since_line_start_ns / NARROWING_NS, 1.0);
    return START_BANDWIDTH_HZ + (LOOP_BANDWIDTH_HZ - START_BANDWIDTH_HZ) * narrowed;
}

}  // namespace

AudioClock audio_clock_create(uint32_t frequency, uint32_t buffer_frames) {
    AudioClock clock;
    clock.nominal_ns_per_frame = 1e9 / double(frequency);
    clock.ns_per_frame = clock.nominal_ns_per_frame;
    clock.buffer_frames = buffer_frames;
    return clock;
}

void audio_clock_request(AudioClock& clock, int64_t now_ns, uint32_t frames, bool carries_tune) {
    AudioClockLine& line = clock.line;
    if (frames == 0) return;
    if (!line.anchored) {
        if (!carries_tune) return;
        line.anchored = true;
        line.origin_ns = now_ns;
        clock.frames_handed = frames;
        line_restart(clock, 0.0, frames);
        return;
    }

    clock.frames_handed += frames;
    const double t = double(now_ns - line.origin_ns);
    const double period = double(frames) * clock.ns_per_frame;
    const double error = t - line.t1;
    // A request after the anchor shows that the device drains at all (an idle
    // sound server may take seconds to wake).
    line.confirmed = true;
    if (std::abs(error) > RESYNC_BUFFERS * period) {
        line_restart(clock, t, frames);
        return;
    }

    // Second-order loop on the request times: the next due time moves by a share
    // of the error, the frame duration learns from it more slowly.
    const double omega = 2.0 * std::numbers::pi * loop_bandwidth(t - clock.line_start) *
                         double(frames) * clock.nominal_ns_per_frame * 1e-9;
    line.t0 = line.t1;
    line.p0 = double(clock.frames_handed) - double(clock.buffer_frames);
    line.t1 = line.t0 + std::numbers::sqrt2 * omega * error + period;
    line.p1 = line.p0 + double(frames);
    clock.ns_per_frame = std::clamp(clock.ns_per_frame + omega * omega * error / double(frames),
                                    clock.nominal_ns_per_frame * (1.0 - PACE_LIMIT),
                                    clock.nominal_ns_per_frame * (1.0 + PACE_LIMIT));
}

uint64_t audio_clock_frames(double seconds, uint32_t frequency) {
    const double frames = seconds * double(frequency);
    if (!(frames > 0.0)) return 0;  // negative, or not a number
    return uint64_t(std::floor(std::min(frames * (1.0 + FRAME_ROUNDING), MOST_FRAMES)));
}

uint64_t audio_clock_read(const AudioClockLine& line, int64_t now_ns, uint64_t end_frames,
                          AudioClockReader& reader) {
    if (!line.anchored) return 0;
    const double t = double(now_ns - line.origin_ns);
    double frames = line.p0;
    if (line.t1 > line.t0) frames += (t - line.t0) * (line.p1 - line.p0) / (line.t1 - line.t0);
    // A late request is run past by at most one buffer, or a quarter of one
    // until the device is known to drain: a device that stops stops the clock.
    const double buffer = line.p1 - line.p0;
    const double reach = line.p1 + (line.confirmed ? buffer : buffer / 4.0);
    frames = std::min(frames, reach);
    frames = std::min(std::max(frames, reader.last), double(end_frames));
    reader.last = frames;
    return uint64_t(frames);
}
