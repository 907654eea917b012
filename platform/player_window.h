// The player's window: fullscreen or a window of a size, on a display, with an
// OpenGL 2.1 compatibility context made current and swaps in step with the
// display. Unlike the presentation's window (platform.h), it takes options and
// resizes, and it is asked to close by Escape or the window's close button.
// One implementation per operating system (SDL2, Win32/WGL); none of their
// headers is included here.
#pragma once

#include <cstdint>
#include <string>

struct PlayerWindowConfig {
    bool fullscreen = true;  // the display's own mode, covering it
    int32_t width = 1920;    // the window's size when not fullscreen
    int32_t height = 1080;
    int32_t display = 0;     // counted from 0; one past the last is the last
};

// False with the reason in error when no window or no context can be had.
bool player_window_open(const PlayerWindowConfig& config, std::string& error);
// The size of what is drawn into, in pixels, now.
void player_window_size(int32_t& width, int32_t& height);
// A GL entry point by name, or null; and glRecti, which the GL library exports.
void* player_gl_proc(const char* name);
void player_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Handles what the system sent; false once Escape was pressed or the window
// was asked to close.
bool player_window_poll();
void player_window_swap();
void player_window_close();
// The operating system's name and version, as the player introduces itself
// ("Linux 6.1.0", "Windows 10.0").
std::string player_system_name();
