// The player's window on Linux (player_window.h) with SDL2: fullscreen on the
// desktop's own mode, or a resizable window, with an OpenGL 2.1 compatibility
// context (the title scene draws with the fixed-function vertex stage).
// Unlike the presentation's window, it never changes the display's mode, so
// nothing needs restoring however the process ends; SDL's own handlers turn
// SIGINT and SIGTERM into a close request.
#include <SDL2/SDL.h>
#include <GL/gl.h>
#include <sys/utsname.h>

#include <algorithm>
#include <string_view>

#include "platform/player_window.h"
#include "shaders/gl_functions.h"

namespace {

bool g_video = false;  // SDL's video is started
SDL_Window* g_window = nullptr;
SDL_GLContext g_context = nullptr;
bool g_closing = false;

// SDL falls back to drivers that draw nowhere when no display is reachable.
bool is_visible_video_driver(std::string_view name) {
    return name != "offscreen" && name != "dummy" && name != "evdev";
}

// Gives up an opening half done, with SDL's reason.
bool fail(std::string& error, std::string_view what) {
    error = std::string(what) + ": " + SDL_GetError();
    player_window_close();
    return false;
}

// The context's version ("2.1 Mesa ..."), at least 2.1.
bool gl_version_enough() {
    return gl_version_number(reinterpret_cast<const char*>(glGetString(GL_VERSION))) >= 21;
}

}  // namespace

bool player_window_open(const PlayerWindowConfig& config, std::string& error) {
    if (g_window) {
        error = "the player's window is already open";
        return false;
    }
    if (!config.fullscreen && (config.width <= 0 || config.height <= 0)) {
        error = "a window needs a width and a height above 0";
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("no display: ") + SDL_GetError();
        return false;
    }
    g_video = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || !is_visible_video_driver(driver)) {
        player_window_close();
        error = "no display: SDL found no screen to show the presentation on (is DISPLAY set?)";
        return false;
    }
    const int displays = SDL_GetNumVideoDisplays();
    if (displays < 1) return fail(error, "no display");
    const int display = std::clamp(int(config.display), 0, displays - 1);

    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);

    // Fullscreen on the desktop's mode covers the display the window is placed
    // on, so it is placed there at the display's size.
    int width = config.width, height = config.height;
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
    if (config.fullscreen) {
        SDL_Rect bounds{};
        if (SDL_GetDisplayBounds(display, &bounds) != 0) return fail(error, "no display");
        width = bounds.w;
        height = bounds.h;
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    } else {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    g_window = SDL_CreateWindow("zirbelon player", int(SDL_WINDOWPOS_CENTERED_DISPLAY(display)),
                                int(SDL_WINDOWPOS_CENTERED_DISPLAY(display)), width, height, flags);
    if (!g_window) return fail(error, "cannot open a window");
    g_context = SDL_GL_CreateContext(g_window);
    if (!g_context) return fail(error, "no OpenGL 2.1 context");
    if (!gl_version_enough()) {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        error = std::string("no OpenGL 2.1 context: the driver gives ") + (version ? version : "no version");
        player_window_close();
        return false;
    }
    // Without a swap in step with the display the player still runs, only as
    // fast as it can draw.
    SDL_GL_SetSwapInterval(1);
    if (config.fullscreen) SDL_ShowCursor(SDL_DISABLE);
    g_closing = false;
    return true;
}

void player_window_size(int32_t& width, int32_t& height) {
    int w = 0, h = 0;
    if (g_window) SDL_GL_GetDrawableSize(g_window, &w, &h);
    width = w;
    height = h;
}

void* player_gl_proc(const char* name) { return SDL_GL_GetProcAddress(name); }

void player_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { glRecti(x1, y1, x2, y2); }

// Once asked to close, the window stays so until it is closed.
bool player_window_poll() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) g_closing = true;
        if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) g_closing = true;
        if (event.type == SDL_KEYDOWN && event.key.keysym.scancode == SDL_SCANCODE_ESCAPE) g_closing = true;
    }
    return !g_closing;
}

void player_window_swap() {
    if (g_window) SDL_GL_SwapWindow(g_window);
}

void player_window_close() {
    if (g_context) SDL_GL_DeleteContext(g_context);
    if (g_window) SDL_DestroyWindow(g_window);
    if (g_video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    g_context = nullptr;
    g_window = nullptr;
    g_video = false;
}

std::string player_system_name() {
    utsname names{};
    if (uname(&names) != 0) return "Linux";
    return std::string(names.sysname) + " " + names.release;
}
