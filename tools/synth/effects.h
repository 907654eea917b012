// The two shared effects that instruments send to: a ping-pong echo and a
// reverb. Each takes a whole send buffer and gives its wet output, same length.
#pragma once

#include "tools/synth/dsp.h"

// Echoes `seconds` apart, alternating left and right, each `feedback` times the
// one before and a little duller.
StereoBuffer delay_process(const StereoBuffer& send, double seconds, double feedback);

// A room: parallel damped comb filters into series all-passes, tuned slightly
// apart per channel for width. `size` 0 to 1 sets the decay time, `damp` 0 to 1
// how fast the highs fade.
StereoBuffer reverb_process(const StereoBuffer& send, double size, double damp);
