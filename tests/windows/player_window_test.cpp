// The player's window on Win32 and WGL under Wine, on the virtual display that
// scripts/test-windows gives every Wine call: the sizes it opens at and what
// kind of window it is, drawing through the GL it hands out (the functions of
// OpenGL 1.1 too, which wglGetProcAddress does not give), Escape and close
// requests sent as the system would, the refusals, and the system's name.
#include <windows.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/player_window.h"

namespace {

// Closes the window at the end of a test, whatever happened in it.
struct WindowClose {
    ~WindowClose() { player_window_close(); }
};

// The window of the context made current here (tests may run side by side).
HWND window_find() { return WindowFromDC(wglGetCurrentDC()); }

template <typename Function>
Function gl(const char* name) {
    return reinterpret_cast<Function>(player_gl_proc(name));
}

// The colour at the middle of the back buffer after a clear to black and a
// rectangle in red over the whole picture (glRecti in the default projection).
uint32_t rect_drawn_colour(int32_t width, int32_t height) {
    const auto clear_colour = gl<void(WINAPI*)(float, float, float, float)>("glClearColor");
    const auto clear = gl<void(WINAPI*)(unsigned)>("glClear");
    const auto colour = gl<void(WINAPI*)(float, float, float)>("glColor3f");
    const auto viewport = gl<void(WINAPI*)(int, int, int, int)>("glViewport");
    const auto read_pixels = gl<void(WINAPI*)(int, int, int, int, unsigned, unsigned, void*)>("glReadPixels");
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

TEST(PlayerWindow, OpensAWindowWithAClientAreaOfTheSizeAndAContextThatDraws) {
    std::string error;
    ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << error;
    const WindowClose close;
    int32_t width = 0, height = 0;
    player_window_size(width, height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    const HWND window = window_find();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_THICKFRAME) << "resizable";

    const auto version = gl<const GLubyte*(WINAPI*)(unsigned)>("glGetString");
    ASSERT_NE(version, nullptr);
    int major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(reinterpret_cast<const char*>(version(GL_VERSION)), "%d.%d", &major, &minor), 2);
    EXPECT_GE(major * 10 + minor, 21);
    EXPECT_NE(player_gl_proc("glCreateShader"), nullptr);
    EXPECT_EQ(player_gl_proc("glNoSuchFunction"), nullptr);
    EXPECT_EQ(rect_drawn_colour(width, height), 0xFF0000u);
    player_window_swap();
    EXPECT_TRUE(player_window_poll());

    // Resized by its user, it tells its new client size.
    RECT frame{0, 0, 400, 300};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongA(window, GWL_STYLE)), FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(player_window_poll());
    player_window_size(width, height);
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 300);
}

// A display past the last is the last; here there is one.
TEST(PlayerWindow, FullscreenCoversTheMonitorWithABorderlessWindow) {
    std::string error;
    ASSERT_TRUE(player_window_open({true, 640, 480, 3}, error)) << error;
    const WindowClose close;
    int32_t width = 0, height = 0;
    player_window_size(width, height);
    EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(height, GetSystemMetrics(SM_CYSCREEN));
    const LONG style = GetWindowLongA(window_find(), GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_EQ(rect_drawn_colour(width, height), 0xFF0000u);
    player_window_swap();
    EXPECT_TRUE(player_window_poll());
}

TEST(PlayerWindow, EscapeOrACloseRequestAsksToCloseUntilItIsClosed) {
    std::string error;
    for (const UINT request : {UINT(WM_KEYDOWN), UINT(WM_CLOSE)}) {
        ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << error;
        const HWND window = window_find();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(player_window_poll());
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_TRUE(player_window_poll()) << "another key is no request";
        PostMessageA(window, request, request == WM_KEYDOWN ? VK_ESCAPE : 0, 0);
        EXPECT_FALSE(player_window_poll()) << request;
        EXPECT_FALSE(player_window_poll()) << "asked once, it stays asked";
        EXPECT_TRUE(IsWindow(window)) << "the player closes it, after its last frame";
        player_window_close();
        EXPECT_FALSE(IsWindow(window));
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
    EXPECT_EQ(wglGetCurrentContext(), nullptr);

    ASSERT_TRUE(player_window_open({false, 320, 240, 0}, error)) << error;
    const WindowClose close;
    error.clear();
    EXPECT_FALSE(player_window_open({false, 320, 240, 0}, error)) << "one window at a time";
    EXPECT_NE(error, "");
    EXPECT_TRUE(player_window_poll()) << "the open window is untouched";
}

TEST(PlayerWindow, NamesTheSystemWithItsVersion) {
    const std::string name = player_system_name();
    unsigned major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(name.c_str(), "Windows %u.%u", &major, &minor), 2) << name;
    EXPECT_GE(major, 6u) << name;
}

}  // namespace
