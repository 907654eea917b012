// The transport's clock: a straight line from its anchor, moved to the current
// position at every change so that no change makes the position jump.
#include "tools/studio/model/transport.h"

#include <algorithm>
#include <cmath>

namespace {

// Every change starts the line afresh from where it stands now.
void transport_anchor(Transport& transport, int64_t now_ns) {
    transport.anchor_seconds = transport_seconds(transport, now_ns);
    transport.anchor_ns = now_ns;
}

// Whether the run from the anchor is caught by the loop: only from before the
// loop's end, so a seek past it plays on.
bool transport_loops(const Transport& transport) {
    return transport.loop && transport.anchor_seconds < transport.loop_out;
}

}  // namespace

Transport transport_create(double length) {
    Transport transport;
    transport.length = std::isfinite(length) ? std::max(length, 0.0) : 0.0;
    return transport;
}

void transport_play(Transport& transport, int64_t now_ns) {
    if (transport.playing) return;
    if (transport.anchor_seconds >= transport.length) transport.anchor_seconds = 0.0;
    transport.anchor_ns = now_ns;
    transport.playing = true;
}

void transport_pause(Transport& transport, int64_t now_ns) {
    if (!transport.playing) return;
    transport_anchor(transport, now_ns);
    transport.playing = false;
}

void transport_seek(Transport& transport, double seconds, int64_t now_ns) {
    if (std::isnan(seconds)) return;
    transport.anchor_seconds = std::clamp(seconds, 0.0, transport.length);
    transport.anchor_ns = now_ns;
}

bool transport_set_span(Transport& transport, double in, double out, int64_t now_ns) {
    // The negated comparisons also refuse NaN.
    if (!(in >= 0.0 && in < out && out <= transport.length)) return false;
    transport_anchor(transport, now_ns);
    transport.loop_in = in;
    transport.loop_out = out;
    return true;
}

bool transport_set_loop(Transport& transport, double in, double out, int64_t now_ns) {
    if (!transport_set_span(transport, in, out, now_ns)) return false;
    transport.loop = true;
    return true;
}

void transport_clear_loop(Transport& transport, int64_t now_ns) {
    transport_anchor(transport, now_ns);
    transport.loop = false;
}

bool transport_set_speed(Transport& transport, double speed, int64_t now_ns) {
    if (speed != 0.5 && speed != 1.0 && speed != 2.0) return false;
    transport_anchor(transport, now_ns);
    transport.speed = speed;
    return true;
}

bool transport_update(Transport& transport, int64_t now_ns) {
    // A loop keeps the position below its end, so a looping transport never stops.
    if (!transport.playing || transport_seconds(transport, now_ns) < transport.length) return false;
    transport.anchor_seconds = transport.length;
    transport.anchor_ns = now_ns;
    transport.playing = false;
    return true;
}

double transport_seconds(const Transport& transport, int64_t now_ns) {
    if (!transport.playing) return transport.anchor_seconds;
    // A time before the anchor (a reading taken before the change) holds.
    const double elapsed = double(std::max<int64_t>(now_ns - transport.anchor_ns, 0)) * 1e-9;
    const double seconds = transport.anchor_seconds + elapsed * transport.speed;
    if (transport_loops(transport)) return transport_wrap(transport, seconds);
    return std::min(seconds, transport.length);
}

double transport_wrap(const Transport& transport, double seconds) {
    if (!transport.loop) return std::clamp(seconds, 0.0, transport.length);
    if (seconds < transport.loop_out) return seconds;
    const double span = transport.loop_out - transport.loop_in;
    const double wrapped = transport.loop_in + std::fmod(seconds - transport.loop_in, span);
    // A hair below the loop's end can round up onto it, which is its start.
    return wrapped < transport.loop_out ? wrapped : transport.loop_in;
}
