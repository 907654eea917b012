// The Linux backend of platform.h on SDL2: a fullscreen window at the asked
// display mode with an OpenGL 2.x compatibility context, the keyboard, and error
// boxes. The desktop mode comes back on every way out but SIGKILL and a crash
// (Escape, a close request, any signal that would end the process), since they
// all end through platform_exit on the main thread (see signal_watch.cpp).
#include <SDL2/SDL.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/linux/signal_watch.h"
#include "platform/platform.h"

namespace {

SDL_Window* g_window = nullptr;
SDL_GLContext g_context = nullptr;
SDL_DisplayMode g_mode{};
bool g_mode_found = false;
int32_t g_width = 0, g_height = 0;
bool g_escape_latched = false;

// A presentation nobody can see and Escape can never stop is worse than none.
[[noreturn]] void fail(const char* what, const char* why) {
    std::fprintf(stderr, "zirbelon: %s: %s\n", what, why);
    SDL_Quit();
    std::exit(1);
}

// SDL falls back to drivers that draw nowhere when no display is reachable.
bool is_visible_video_driver(std::string_view name) {
    return name != "offscreen" && name != "dummy" && name != "evdev";
}

// SDL would turn only SIGINT and SIGTERM into a quit event; the watch covers
// every signal that ends the process, and must be in place before SDL starts.
void watch_signals() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    signal_watch_start();
}

}  // namespace

// SDL pumps the window's events every frame (platform_escape_pressed): no
// desktop on Linux ever takes it for hung.
void platform_window_ghosting_disable() {}

void platform_display_set_mode(int32_t width, int32_t height) {
    g_width = width;
    g_height = height;
    watch_signals();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) fail("no display", SDL_GetError());
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || !is_visible_video_driver(driver))
        fail("no display", "SDL found no screen to show the presentation on (is DISPLAY set?)");
    // The change itself happens when the fullscreen window appears; without a
    // matching mode the window keeps the desktop's size.
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    g_mode_found = SDL_GetClosestDisplayMode(0, &wanted, &g_mode) != nullptr;
}

void platform_window_create() {
    // The pixel format is part of the window on SDL: ask for it here.
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);

    // At the screen's corner: centred on the desktop's old size, the window would
    // hang off the screen's top left once the mode has changed (with no window
    // manager nothing moves it back).
    g_window = SDL_CreateWindow("zirbelon", 0, 0, g_width, g_height,
                                SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
    if (!g_window) fail("cannot open a window", SDL_GetError());
    if (g_mode_found) SDL_SetWindowDisplayMode(g_window, &g_mode);
    if (SDL_SetWindowFullscreen(g_window, SDL_WINDOW_FULLSCREEN) != 0)
        fail("cannot go fullscreen", SDL_GetError());
    SDL_ShowWindow(g_window);
    SDL_RaiseWindow(g_window);
}

void platform_window_get_dc() {}
void platform_pixel_format_choose() {}
void platform_pixel_format_set() {}

void platform_gl_context_create() {
    g_context = SDL_GL_CreateContext(g_window);
    if (!g_context) fail("no OpenGL 2.0 context", SDL_GetError());
}

void platform_gl_make_current() {
    if (SDL_GL_MakeCurrent(g_window, g_context) != 0) fail("no OpenGL 2.0 context", SDL_GetError());
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || std::atoi(version) < 2)
        fail("no OpenGL 2.0 context", version ? version : "the driver reports no version");
}

void platform_cursor_hide() { SDL_ShowCursor(SDL_DISABLE); }

void* platform_gl_proc(const char* name) { return SDL_GL_GetProcAddress(name); }

void platform_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { glRecti(x1, y1, x2, y2); }

void platform_swap_buffers() { SDL_GL_SwapWindow(g_window); }

namespace {

// Parties require Alt+F4 to end an entry as Escape does. A window manager turns
// it into a close request; without one SDL sees it as keys.
bool is_quit_key(const SDL_KeyboardEvent& key) {
    return key.keysym.scancode == SDL_SCANCODE_ESCAPE ||
           (key.keysym.scancode == SDL_SCANCODE_F4 && (key.keysym.mod & KMOD_ALT) != 0);
}

bool quit_keys_held() {
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    return keys[SDL_SCANCODE_ESCAPE] ||
           (keys[SDL_SCANCODE_F4] && (keys[SDL_SCANCODE_LALT] || keys[SDL_SCANCODE_RALT]));
}

}  // namespace

// Key-down events are latched, so a tap during a slow frame is not lost; a
// close request or a caught signal counts as Escape.
bool platform_escape_pressed() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) g_escape_latched = true;
        if (event.type == SDL_KEYDOWN && is_quit_key(event.key)) g_escape_latched = true;
    }
    const bool pressed = g_escape_latched || signal_caught() != 0 || quit_keys_held();
    g_escape_latched = false;
    return pressed;
}

// A signal caught before or during the box ends the presentation here, at
// once, rather than after the rest of the start-up and a first frame.
void platform_error_box(const char* text) {
    watch_signals();
    if (!signal_caught()) {
        signal_watch_box(true);
        const bool shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, nullptr) == 0;
        signal_watch_box(false);
        if (!shown && !signal_caught()) std::fprintf(stderr, "zirbelon: %s\n", text);
    }
    if (signal_caught()) platform_exit(0);
}

void platform_exit(int code) {
    SDL_Quit();  // destroys the window, which gives the desktop its mode back
    signal_finish(code);
}
