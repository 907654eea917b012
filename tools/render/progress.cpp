// The progress line, throttled so that fast runs print next to nothing and a
// log file is not flooded.
#include "tools/render/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto TERMINAL_PERIOD = std::chrono::milliseconds(200);
constexpr auto LOG_PERIOD = std::chrono::seconds(10);
constexpr int BAR_WIDTH = 24;
// The moving average's window: a sample every half second, the last ten seconds.
constexpr auto SAMPLE_PERIOD = std::chrono::milliseconds(500);
constexpr size_t WINDOW_SAMPLES = 20;

std::string duration_text(double seconds) {
    const long long whole = std::max(0LL, (long long)(seconds + 0.5));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

void show(Progress& progress, int64_t done, bool last) {
    const Clock::time_point now = Clock::now();
    const double elapsed = progress_seconds(progress);
    const double rate = last ? (elapsed > 0.0 ? double(done) / elapsed : 0.0) : progress_rate(progress, done, now);
    const double left = rate > 0.0 ? double(progress.total - done) / rate : 0.0;
    const int filled =
        progress.total > 0 ? int(double(BAR_WIDTH) * double(done) / double(progress.total)) : BAR_WIDTH;
    const std::string bar = std::string(size_t(filled), '#') + std::string(size_t(BAR_WIDTH - filled), '.');
    // On a terminal the line is rewritten from its start and cleared to its
    // end; it is ended only by the last one.
    std::fprintf(stderr, "%s[%s] %lld/%lld %s, %.1f/s, %s %s%s%s", progress.terminal ? "\r" : "",
                 bar.c_str(), (long long)done, (long long)progress.total, progress.what.c_str(), rate,
                 duration_text(last ? elapsed : left).c_str(), last ? "taken" : "left",
                 progress.terminal ? "\033[K" : "", progress.terminal && !last ? "" : "\n");
    std::fflush(stderr);
    progress.shown = true;
}

}  // namespace

Progress progress_start(std::string what, int64_t total, bool quiet) {
    Progress progress;
    progress.quiet = quiet;
    progress.what = std::move(what);
    progress.total = total;
    progress.terminal = isatty(STDERR_FILENO) == 1;
    progress.start = Clock::now();
    progress.last_shown = progress.start;
    return progress;
}

void progress_update(Progress& progress, int64_t done) {
    const Clock::time_point now = Clock::now();
    if (progress.quiet) return;
    progress_sample(progress, done, now);
    if (now - progress.last_shown < (progress.terminal ? TERMINAL_PERIOD : LOG_PERIOD)) return;
    progress.last_shown = now;
    show(progress, done, false);
}

void progress_finish(Progress& progress, int64_t done) {
    if (progress.shown) show(progress, done, true);
}

double progress_seconds(const Progress& progress) {
    return std::chrono::duration<double>(Clock::now() - progress.start).count();
}

double progress_rate(const Progress& progress, int64_t done, Clock::time_point now) {
    const ProgressSample oldest =
        progress.recent.empty() ? ProgressSample{progress.start, 0} : progress.recent.front();
    double seconds = std::chrono::duration<double>(now - oldest.time).count();
    int64_t counted = done - oldest.done;
    if (seconds < 1.0) {
        seconds = std::chrono::duration<double>(now - progress.start).count();
        counted = done;
    }
    return seconds > 0.0 ? double(counted) / seconds : 0.0;
}

void progress_sample(Progress& progress, int64_t done, Clock::time_point now) {
    if (!progress.recent.empty() && now - progress.recent.back().time < SAMPLE_PERIOD) return;
    progress.recent.push_back({now, done});
    if (progress.recent.size() > WINDOW_SAMPLES) progress.recent.pop_front();
}
