// The player's window on Windows (player_window.h) with Win32 and WGL: a
// borderless window covering a monitor, or an ordinary window of a client size,
// with an OpenGL context on a double-buffered pixel format. Unlike the
// presentation's window, it has a window procedure and a message loop (in
// player_window_poll), so the system sees it answer and it can be moved,
// resized and closed as any window.
#include <windows.h>
#include <GL/gl.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/player_window.h"
#include "shaders/gl_functions.h"

namespace {

constexpr const char* CLASS_NAME = "zirbelon player";

HWND g_window = nullptr;
HDC g_dc = nullptr;
HGLRC g_context = nullptr;
bool g_class = false;         // the window class is registered
bool g_cursor_hidden = false;
bool g_closing = false;

LRESULT CALLBACK window_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        // The player closes the window itself, after its last frame.
        case WM_CLOSE:
        case WM_DESTROY: g_closing = true; return 0;
        case WM_KEYDOWN:
            if (wparam == VK_ESCAPE) g_closing = true;
            return 0;
        case WM_SYSCOMMAND:
            // No screen saver and no display power-down in the middle of a show.
            if ((wparam & 0xFFF0) == SC_SCREENSAVE || (wparam & 0xFFF0) == SC_MONITORPOWER) return 0;
            break;
        default: break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

BOOL CALLBACK monitor_add(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info)) return TRUE;
    auto& found = *reinterpret_cast<std::vector<RECT>*>(list);
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        found.insert(found.begin(), info.rcMonitor);
    else
        found.push_back(info.rcMonitor);
    return TRUE;
}

// The monitors' rectangles on the desktop, the primary one first, the others
// in the system's order.
std::vector<RECT> monitors_find() {
    std::vector<RECT> monitors;
    EnumDisplayMonitors(nullptr, nullptr, monitor_add, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

// Gives up an opening half done, with the system's error code.
bool fail(std::string& error, std::string_view what) {
    error = std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
    player_window_close();
    return false;
}

// A double-buffered OpenGL surface with ordinary 32-bit RGBA colour, as the
// presentation's; the scenes need no depth, stencil or alpha.
PIXELFORMATDESCRIPTOR pixel_format_request() {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 32;
    request.iLayerType = PFD_MAIN_PLANE;
    return request;
}

// The context's version ("4.6.0 NVIDIA ..."), at least 2.1;
// Windows' own GDI renderer gives 1.1.
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
    // Sizes in the display's own pixels: on a scaled display the system would
    // otherwise draw the picture small and stretch it.
    SetProcessDPIAware();
    const std::vector<RECT> monitors = monitors_find();
    if (monitors.empty()) {
        error = "no display";
        return false;
    }
    const RECT monitor = monitors[size_t(std::clamp(config.display, 0, int32_t(monitors.size()) - 1))];

    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    window_class.style = CS_OWNDC;
    window_class.lpfnWndProc = window_message;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = CLASS_NAME;
    if (!RegisterClassA(&window_class)) return fail(error, "cannot register the window class");
    g_class = true;

    DWORD style = WS_POPUP;
    RECT frame = monitor;
    if (!config.fullscreen) {
        // The outer frame around a client area of the asked size, centred on the monitor.
        style = WS_OVERLAPPEDWINDOW;
        const LONG left = monitor.left + (monitor.right - monitor.left - config.width) / 2;
        const LONG top = monitor.top + (monitor.bottom - monitor.top - config.height) / 2;
        frame = RECT{left, top, left + config.width, top + config.height};
        AdjustWindowRectEx(&frame, style, FALSE, 0);
        // The title bar stays on the monitor, where it can be grabbed.
        const LONG down = std::max(monitor.top - frame.top, LONG(0));
        frame.top += down;
        frame.bottom += down;
    }
    g_window = CreateWindowExA(0, CLASS_NAME, "zirbelon player", style, frame.left, frame.top,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                               instance, nullptr);
    if (!g_window) return fail(error, "cannot open a window");
    g_dc = GetDC(g_window);
    if (!g_dc) return fail(error, "cannot draw into the window");

    const PIXELFORMATDESCRIPTOR request = pixel_format_request();
    const int pixel_format = ChoosePixelFormat(g_dc, &request);
    if (pixel_format == 0 || !SetPixelFormat(g_dc, pixel_format, &request))
        return fail(error, "no double-buffered OpenGL pixel format");
    g_context = wglCreateContext(g_dc);
    if (!g_context || !wglMakeCurrent(g_dc, g_context)) return fail(error, "no OpenGL context");
    if (!gl_version_enough()) {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        error = std::string("no OpenGL 2.1 context: the driver gives ") + (version ? version : "no version");
        player_window_close();
        return false;
    }
    // Without a swap in step with the display the player still runs, only as
    // fast as it can draw.
    using SwapInterval = BOOL(WINAPI*)(int);
    if (const auto swap_interval = reinterpret_cast<SwapInterval>(player_gl_proc("wglSwapIntervalEXT")))
        swap_interval(1);

    ShowWindow(g_window, SW_SHOW);
    SetForegroundWindow(g_window);
    if (config.fullscreen) {
        ShowCursor(FALSE);
        g_cursor_hidden = true;
    }
    g_closing = false;
    return true;
}

void player_window_size(int32_t& width, int32_t& height) {
    RECT client{};
    if (g_window) GetClientRect(g_window, &client);
    width = client.right - client.left;
    height = client.bottom - client.top;
}

void* player_gl_proc(const char* name) {
    const PROC entry = wglGetProcAddress(name);
    // Some drivers answer an unknown name with 1, 2, 3 or -1 instead of null;
    // the caller must never call those either.
    const auto value = reinterpret_cast<intptr_t>(entry);
    if (value < -1 || value > 3) return reinterpret_cast<void*>(entry);
    // The functions of OpenGL 1.1 come from the system's library itself.
    const HMODULE opengl = GetModuleHandleA("opengl32.dll");
    return opengl ? reinterpret_cast<void*>(GetProcAddress(opengl, name)) : nullptr;
}

void player_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { glRecti(x1, y1, x2, y2); }

// Once asked to close, the window stays so until it is closed.
bool player_window_poll() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) g_closing = true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return !g_closing;
}

void player_window_swap() {
    if (g_dc) SwapBuffers(g_dc);
}

void player_window_close() {
    if (g_context) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(g_context);
    }
    if (g_dc) ReleaseDC(g_window, g_dc);
    if (g_window) DestroyWindow(g_window);
    if (g_class) UnregisterClassA(CLASS_NAME, GetModuleHandleA(nullptr));
    if (g_cursor_hidden) ShowCursor(TRUE);
    g_context = nullptr;
    g_dc = nullptr;
    g_window = nullptr;
    g_class = false;
    g_cursor_hidden = false;
}

// RtlGetVersion tells the true version; GetVersionExA tells what the program's
// manifest lets it see (6.2 without one, from Windows 8 on).
std::string player_system_name() {
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    using GetVersion = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto rtl_get_version =
        ntdll ? reinterpret_cast<GetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    if (rtl_get_version && rtl_get_version(&version) == 0)
        return "Windows " + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion);
    OSVERSIONINFOA fallback{};
    fallback.dwOSVersionInfoSize = sizeof fallback;
    if (!GetVersionExA(&fallback)) return "Windows";
    return "Windows " + std::to_string(fallback.dwMajorVersion) + "." + std::to_string(fallback.dwMinorVersion);
}
