// A recording stand-in for the platform and audio layers: every call the driver
// makes, including each GL call through the looked-up entry points, is written
// to one log in order, and the music clock and the Escape key follow a script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FakeScript {
    bool audio_init_ok = true;
    bool tune_ok = true;
    // Clock reading of each frame, in seconds; the last one repeats.
    std::vector<double> frame_seconds = {0.0};
    // Escape reads as pressed from this frame on (1 = the first frame's poll).
    int escape_at_frame = 1;
    // Entry point names platform_gl_proc has no function for.
    std::vector<std::string> missing_gl_entries;
};

// platform_exit throws this, so that a test can watch intro_main end.
struct FakeExit {
    int code;
};

void fake_platform_reset(const FakeScript& script);
const std::vector<std::string>& fake_platform_log();

// Settings the process makes for itself rather than calls on its window, GL
// or audio: kept apart from the log, each with the log's length when it was
// made, so its place among the logged calls shows.
struct FakeSetting {
    std::string name;
    size_t at;
};
const std::vector<FakeSetting>& fake_platform_settings();
