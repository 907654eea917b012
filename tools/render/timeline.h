// The clock of rendered runs: which music position, and so which row, each
// frame of a run shows, how many frames a span takes, and how a moment is
// written for people.
#pragma once

#include <cstdint>
#include <string>

#include "tools/common/cli.h"

// The music position of frame `frame` of a run that starts at `from` seconds
// with N/M frames per second: from + frame * M / N, the product taken in whole
// numbers so that a fractional rate such as 60000/1001 does not drift.
double timeline_seconds(double from, CliRate fps, int64_t frame);

// The number of frames whose positions lie in [from, to): each position is
// taken as timeline_seconds gives it, so a frame that lands exactly on `to`
// is left out. 0 when to <= from.
int64_t timeline_frame_count(double from, double to, CliRate fps);

// "m:ss.s", rounded to a tenth of a second; e.g. "1:04.0" for 64 seconds.
std::string timeline_label(double seconds);

// "60", "59.94" or "60000/1001": the rate as it reads best.
std::string timeline_rate_label(CliRate fps);

// The moment of one of `subframes` renders blended into a frame shown at
// `seconds`: spread evenly over a shutter open for shutter_degrees / 360 of
// the frame interval and centred on the frame's moment, each render in the
// middle of its share. One render is the frame's moment itself.
double timeline_shutter_seconds(double seconds, CliRate fps, int32_t subframes, double shutter_degrees,
                                int32_t subframe);
