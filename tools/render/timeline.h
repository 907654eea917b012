// The clock of rendered runs: which music position, and so which row, each
// frame of a run shows, how many frames a span takes, and how a moment is
// written for people.
#pragma once

#include <cstdint>
#include <string>

// The music position of frame `frame` of a run that starts at `from` seconds
// with fps frames per second: from + frame / fps.
double timeline_seconds(double from, double fps, int64_t frame);

// The number of frames whose positions lie in [from, to): each position is
// taken as timeline_seconds gives it, so a frame that lands exactly on `to`
// is left out. 0 when to <= from.
int64_t timeline_frame_count(double from, double to, double fps);

// "m:ss.s", rounded to a tenth of a second; e.g. "1:04.0" for 64 seconds.
std::string timeline_label(double seconds);
