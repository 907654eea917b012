// A progress line on stderr for long runs: frames done, frames per second and
// the time left. On a terminal it is redrawn in place a few times a second;
// otherwise (a log, a pipe) a line is added only every few seconds. The rate
// and the time left are those of the last several seconds, a moving average,
// since frames cost what their scene costs (the title renders far faster
// than the landscape); the last line gives the mean of the whole run.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

// How far a run had come at a moment.
struct ProgressSample {
    std::chrono::steady_clock::time_point time;
    int64_t done = 0;
};

struct Progress {
    std::string what;  // the unit counted, e.g. "frames"
    int64_t total = 0;
    bool terminal = false;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point last_shown;
    bool shown = false;
    bool quiet = false;  // shows nothing
    std::deque<ProgressSample> recent;  // the moving average's window, oldest first
};

Progress progress_start(std::string what, int64_t total, bool quiet);

// Shows that done of the total are finished, if it is time to.
void progress_update(Progress& progress, int64_t done);

// Shows the final count and ends the line; nothing when nothing was shown.
void progress_finish(Progress& progress, int64_t done);

// Seconds since progress_start.
double progress_seconds(const Progress& progress);

// Units per second over the window of recent samples ending at `now`, or
// over the whole run while the window is not yet a second long.
double progress_rate(const Progress& progress, int64_t done, std::chrono::steady_clock::time_point now);

// Records how far the run is at `now` into the window.
void progress_sample(Progress& progress, int64_t done, std::chrono::steady_clock::time_point now);
