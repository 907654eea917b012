// The audible-position clock of the audio layer, free of any platform header so
// that tests can drive it with made-up timings.
//
// The output device asks for one buffer at a time on its own thread. Counting
// those requests alone moves the position in whole-buffer steps (23 ms at 1024
// frames) and carries the scheduler's jitter. Instead each request feeds a
// delay-locked loop, a second-order filter on the request times that learns
// when the next request is due and how long a frame really lasts on this
// device; between requests the position is read off the filtered line with the
// monotonic clock. The position never goes backwards and stops at the end of
// the tune.
#pragma once

#include <cstdint>

// The filtered line as the reading side needs it: p0 frames are audible at t0,
// p1 frames at t1, when the next request is due. Times are nanoseconds after
// origin_ns, the monotonic time of the anchor.
struct AudioClockLine {
    bool anchored = false;   // a request has carried the tune
    bool confirmed = false;  // a later request has come too: the device drains
    int64_t origin_ns = 0;
    double t0 = 0.0;
    double t1 = 0.0;
    double p0 = 0.0;
    double p1 = 0.0;
};

// The request side, changed only on the device's thread.
struct AudioClock {
    double nominal_ns_per_frame = 0.0;
    double ns_per_frame = 0.0;   // learnt by the loop: the device's own pace
    uint32_t buffer_frames = 0;  // what the device holds ahead of what is audible
    uint64_t frames_handed = 0;  // since the anchor, tune and silence after it alike
    double line_start = 0.0;     // when the line last started afresh, as t0
    AudioClockLine line;
};

// The reading side's memory, so that no reading is below an earlier one.
struct AudioClockReader {
    double last = 0.0;
};

AudioClock audio_clock_create(uint32_t frequency, uint32_t buffer_frames);

// The device asked for `frames` frames at now_ns (monotonic). Requests before
// the first one filled from the tune are not counted: that one is the anchor,
// where the tune's first frame becomes audible.
void audio_clock_request(AudioClock& clock, int64_t now_ns, uint32_t frames, bool carries_tune);

// Whole frames in `seconds` at the frequency: the time a byte position gives
// back, converted again, is that position's frame. 0 for a negative time.
uint64_t audio_clock_frames(double seconds, uint32_t frequency);

// Frames audible at now_ns: 0 before the anchor, at most end_frames, never less
// than the reader's previous result.
uint64_t audio_clock_read(const AudioClockLine& line, int64_t now_ns, uint64_t end_frames,
                          AudioClockReader& reader);
