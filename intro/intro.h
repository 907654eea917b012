// The presentation's main routine and its one way of telling the user about a
// failure, written once over the platform and audio interfaces.
#pragma once

#include <cstdint>

#include "presentation/presentation.h"
#include "shaders/programs.h"

// The compiled-in configuration, fixed for the run.
struct IntroConfig {
    const char* vertex_source;
    const char* landscape_source;
    const char* title_source;
    int32_t width;
    int32_t height;
    double rows_per_second;
};

inline constexpr IntroConfig INTRO_CONFIG{vertex_glsl,  landscape_glsl, title_glsl,
                                          SCREEN_WIDTH, SCREEN_HEIGHT,  ROWS_PER_SECOND};

// Takes the display, plays the tune, renders frames from the music clock until
// Escape, then ends the process with exit code 0. Reads neither arguments nor
// environment.
[[noreturn]] void intro_main(int argc, char** argv, char** envp);

// Formats printf-style into 4096 bytes (longer texts are cut) and shows the
// text in a modal error box; returns when the box is dismissed.
void show_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
