// A progress line on stderr for long runs: frames done, frames per second and
// the time left. On a terminal it is redrawn in place a few times a second;
// otherwise (a log, a pipe) a line is added only every few seconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct Progress {
    std::string what;  // the unit counted, e.g. "frames"
    int64_t total = 0;
    bool terminal = false;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point last_shown;
    bool shown = false;
    bool quiet = false;  // shows nothing
};

Progress progress_start(std::string what, int64_t total, bool quiet);

// Shows that done of the total are finished, if it is time to.
void progress_update(Progress& progress, int64_t done);

// Shows the final count and ends the line; nothing when nothing was shown.
void progress_finish(Progress& progress, int64_t done);

// Seconds since progress_start.
double progress_seconds(const Progress& progress);
