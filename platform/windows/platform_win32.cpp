// The Windows backend of platform.h: each function makes one Win32, GDI or WGL
// call with the values the presentation has always used. There is no window
// procedure and no message loop: the window is the system's own "edit" class
// (dispatching its messages would let it paint itself over the picture), and
// Escape (or Alt+F4) is read with GetAsyncKeyState, which needs no messages.
#include <windows.h>
#include <GL/gl.h>

#include <cstdint>

#include "platform/platform.h"

namespace {

HWND g_window = nullptr;
HDC g_dc = nullptr;
int g_pixel_format = 0;
HGLRC g_context = nullptr;

// WS_POPUP | WS_VISIBLE | WS_MAXIMIZE: borderless, shown, and as large as the screen.
constexpr DWORD WINDOW_STYLE = WS_POPUP | WS_VISIBLE | WS_MAXIMIZE;
static_assert(WINDOW_STYLE == 0x91000000);
static_assert(sizeof(DEVMODEA) == 156);
static_assert(VK_ESCAPE == 27 && MB_ICONERROR == 0x10);

// A double-buffered OpenGL surface with ordinary 32-bit RGBA colour; the
// scenes need no depth, stencil, alpha or accumulation buffer.
PIXELFORMATDESCRIPTOR pixel_format_request() {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DOUBLEBUFFER | PFD_SUPPORT_OPENGL;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 32;
    return request;
}
static_assert((PFD_DOUBLEBUFFER | PFD_SUPPORT_OPENGL) == 0x21);

}  // namespace

void platform_window_ghosting_disable() { DisableProcessWindowsGhosting(); }

void platform_display_set_mode(int32_t width, int32_t height) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = DWORD(width);
    mode.dmPelsHeight = DWORD(height);
    // Temporary: the system gives the desktop its mode back when the process ends.
    ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
}

void platform_window_create() {
    g_window = CreateWindowExA(0, "edit", nullptr, WINDOW_STYLE, 0, 0, 0, 0, nullptr, nullptr,
                               nullptr, nullptr);
}

void platform_window_get_dc() { g_dc = GetDC(g_window); }

void platform_pixel_format_choose() {
    const PIXELFORMATDESCRIPTOR request = pixel_format_request();
    g_pixel_format = ChoosePixelFormat(g_dc, &request);
}

void platform_pixel_format_set() {
    const PIXELFORMATDESCRIPTOR request = pixel_format_request();
    SetPixelFormat(g_dc, g_pixel_format, &request);
}

void platform_gl_context_create() { g_context = wglCreateContext(g_dc); }

void platform_gl_make_current() { wglMakeCurrent(g_dc, g_context); }

void platform_cursor_hide() { ShowCursor(FALSE); }

void* platform_gl_proc(const char* name) {
    const PROC entry = wglGetProcAddress(name);
    // Some drivers answer an unknown name with 1, 2, 3 or -1 instead of null;
    // the caller must never call those either.
    const auto value = reinterpret_cast<intptr_t>(entry);
    if (value >= -1 && value <= 3) return nullptr;
    return reinterpret_cast<void*>(entry);
}

void platform_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { glRecti(x1, y1, x2, y2); }

void platform_swap_buffers() { SwapBuffers(g_dc); }

// Parties require Alt+F4 to end an entry as Escape does; with no message loop
// the system never turns it into a close, so the same polling finds it.
// Both keys are read every time, so that neither keeps a stale "pressed since"
// mark for a later frame.
bool platform_escape_pressed() {
    const bool escape = GetAsyncKeyState(VK_ESCAPE) != 0;
    const bool alt = GetAsyncKeyState(VK_MENU) != 0;
    const bool f4 = GetAsyncKeyState(VK_F4) != 0;
    return escape || (alt && f4);
}

void platform_error_box(const char* text) { MessageBoxA(nullptr, text, nullptr, MB_ICONERROR); }

void platform_exit(int code) { ExitProcess(UINT(code)); }
