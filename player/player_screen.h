// The player's picture on whatever GL context is current: both scene programs
// built from the texts it was given with the GL's logs, a frame drawn at the
// presentation's own size (k stays 1920x1080) and shown letterboxed at 16:9 in
// a window of any other size, and how long the GPU took for it where the GL
// can time frames. Every entry point is looked up by name.
#pragma once

#include <cstdint>
#include <string>

#include "presentation/frame.h"
#include "shaders/gl_functions.h"
#include "shaders/programs.h"

struct PlayerScreen {
    GlFunctions gl{};
    ScenePrograms programs{};  // the last of each scene that linked; 0 before
    uint32_t framebuffer = 0;  // the 1920x1080 picture for other window sizes; 0 when the GL has none
    uint32_t texture = 0;
    bool timer = false;        // the GL times frames (timer queries)
    uint32_t queries[2] = {0, 0};
    uint32_t frames_timed = 0;
    float gpu_ms = -1.0f;      // the last frame the GPU timed; negative before one, or without a timer
};

// Looks the GL over once its context is current: the framebuffer for
// letterboxing, the timer.
PlayerScreen player_screen_create(const GlFunctions& gl);

// Builds the scene's program from its text (with the presentation's vertex
// stage for the landscape) and puts it in use when it links; otherwise the
// scene goes on with the program it had. The log is the GL's, as it came.
struct PlayerBuild {
    bool built = false;
    std::string log;
};
PlayerBuild player_screen_build(PlayerScreen& screen, bool landscape, const std::string& text);

// Draws the scene with the values and shows it in the window's width x
// height: at 1920x1080 directly, otherwise through the framebuffer, scaled to
// the largest 16:9 rectangle that fits and centred on black.
void player_screen_draw(PlayerScreen& screen, Scene scene, const FrameValues& values, int32_t width,
                        int32_t height);

// The GL's name and version, as glGetString gives them.
std::string player_screen_renderer(const PlayerScreen& screen);
std::string player_screen_version(const PlayerScreen& screen);

// The largest 16:9 rectangle in width x height, centred: x, y, w, h.
struct Letterbox {
    int32_t x = 0, y = 0, width = 0, height = 0;
};
Letterbox letterbox_fit(int32_t width, int32_t height);

void player_screen_release(PlayerScreen& screen);
