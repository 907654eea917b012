// The player's window on SDL, on the virtual display with_xvfb.sh gives
// (1024x768): the sizes it opens at and what kind of window it is, drawing
// through the GL it hands out, Escape and close requests (sent as SDL events,
// as a user's would arrive), the refusals, and the system's name.
#include "platform/player_window.h"

#include <SDL2/SDL.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr int32_t SCREEN_WIDTH = 1024;
constexpr int32_t SCREEN_HEIGHT = 768;

// Closes the window at the end of a test, whatever happened in it.
struct WindowClose {
    ~WindowClose() { player_window_close(); }
};

template <typename Function>
Function gl(const char* name) {
    return reinterpret_cast<Function>(player_gl_proc(name));
}

// The colour at the middle of the back buffer after a clear to black and a
// rectangle in red over the whole picture (glRecti in the default projection).
uint32_t rect_drawn_colour(int32_t width, int32_t height) {
    const auto clear_colour = gl<void (*)(float, float, float, float)>("glClearColor");
    const auto clear = gl<void (*)(unsigned)>("glClear");
    const auto colour = gl<void (*)(float, float, float)>("glColor3f");
    const auto viewport = gl<void (*)(int, int, int, int)>("glViewport");
    const auto read_pixels = gl<void (*)(int, int, int, int, unsigned, unsigned, void*)>("glReadPixels");
    if (!clear_colour || !clear || !colour || !viewport || !read_pixels) return 0xDEAD;
    viewport(0, 0, width, height);
    clear_colour(0.0f, 0.0f, 0.0f, 1.0f);
    clear(GL_COLOR_BUFFER_BIT);
    colour(1.0f, 0.0f, 0.0f);
    player_gl_rect(-1, -1, 1, 1);
    unsigned char rgba[4] = {};
    read_pixels(width / 2, height / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
}

void event_send(Uint32 type, SDL_Scancode key = SDL_SCANCODE_UNKNOWN) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_KEYDOWN) event.key.keysym.scancode = key;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

TEST(PlayerWindow, OpensAResizableWindowOfTheSizeWithAContextThatDraws) {
    std::string error;
    ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << error;
    const WindowClose close;
    int32_t width = 0, height = 0;
    player_window_size(width, height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    ASSERT_NE(window, nullptr) << "the context is current";
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_RESIZABLE);
    EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

    const auto version = gl<const GLubyte* (*)(unsigned)>("glGetString");
    ASSERT_NE(version, nullptr);
    int major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(reinterpret_cast<const char*>(version(GL_VERSION)), "%d.%d", &major, &minor), 2);
    EXPECT_GE(major * 10 + minor, 21);
    EXPECT_NE(player_gl_proc("glCreateShader"), nullptr);
    EXPECT_EQ(rect_drawn_colour(width, height), 0xFF0000u);
    player_window_swap();
    EXPECT_TRUE(player_window_poll());

    // Resized by its user, it tells its new size (X answers in its own time).
    SDL_SetWindowSize(window, 400, 300);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((width != 400 || height != 300) && std::chrono::steady_clock::now() < deadline) {
        EXPECT_TRUE(player_window_poll());
        player_window_size(width, height);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
}

// A display past the last is the last; here there is one.
TEST(PlayerWindow, FullscreenCoversTheDisplayWithoutACursor) {
    std::string error;
    ASSERT_TRUE(player_window_open({true, 640, 480, 3}, error)) << error;
    const WindowClose close;
    int32_t width = 0, height = 0;
    player_window_size(width, height);
    EXPECT_EQ(width, SCREEN_WIDTH);
    EXPECT_EQ(height, SCREEN_HEIGHT);
    EXPECT_TRUE(SDL_GetWindowFlags(SDL_GL_GetCurrentWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(rect_drawn_colour(width, height), 0xFF0000u);
    player_window_swap();
    EXPECT_TRUE(player_window_poll());
}

TEST(PlayerWindow, EscapeOrACloseRequestAsksToCloseUntilItIsClosed) {
    std::string error;
    for (const Uint32 request : {Uint32(SDL_KEYDOWN), Uint32(SDL_QUIT), Uint32(SDL_WINDOWEVENT)}) {
        ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << error;
        EXPECT_TRUE(player_window_poll());
        event_send(SDL_KEYDOWN, SDL_SCANCODE_SPACE);
        EXPECT_TRUE(player_window_poll()) << "another key is no request";
        if (request == SDL_WINDOWEVENT) {
            SDL_Event event{};
            event.type = SDL_WINDOWEVENT;
            event.window.event = SDL_WINDOWEVENT_CLOSE;
            event.window.windowID = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
            ASSERT_EQ(SDL_PushEvent(&event), 1);
        } else {
            event_send(request, SDL_SCANCODE_ESCAPE);
        }
        EXPECT_FALSE(player_window_poll()) << request;
        EXPECT_FALSE(player_window_poll()) << "asked once, it stays asked";
        player_window_close();
    }
    // A window opened afresh is not asked to close.
    ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << error;
    const WindowClose close;
    EXPECT_TRUE(player_window_poll());
}

TEST(PlayerWindow, RefusesWhatItCannotOpen) {
    std::string error;
    EXPECT_FALSE(player_window_open({false, 0, 240, 0}, error));
    EXPECT_NE(error, "");
    error.clear();
    EXPECT_FALSE(player_window_open({false, 320, -1, 0}, error));
    EXPECT_NE(error, "");

    ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << error;
    {
        const WindowClose close;
        error.clear();
        EXPECT_FALSE(player_window_open({false, 320, 240, 0}, error)) << "one window at a time";
        EXPECT_NE(error, "");
    }

    // A driver that shows nothing is no display.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    error.clear();
    EXPECT_FALSE(player_window_open({false, 320, 240, 0}, error));
    unsetenv("SDL_VIDEODRIVER");
    EXPECT_NE(error.find("DISPLAY"), std::string::npos) << error;
    int32_t width = -1, height = -1;
    player_window_size(width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << "the display again: " << error;
    player_window_close();
}

TEST(PlayerWindow, NamesTheSystemWithItsRelease) {
    const std::string name = player_system_name();
    ASSERT_GT(name.size(), 6u);
    EXPECT_EQ(name.substr(0, 6), "Linux ");
    EXPECT_TRUE(name[6] >= '0' && name[6] <= '9') << name;
}

}  // namespace
