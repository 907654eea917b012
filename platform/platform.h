// The narrow interface between the presentation and the operating system: one
// function for each window, GL and system call the driver makes, so that each
// backend (SDL2 on Linux, Win32/WGL on Windows, a recording fake in tests) maps
// them one to one. No platform header is included here.
#pragma once

#include <cstdint>

// Keeps the system from deeming the window hung: it takes no messages, and
// Windows covers a window that has not asked for any for 5 seconds with a
// frozen copy of it (DisableProcessWindowsGhosting). Once, before the window.
void platform_window_ghosting_disable();
// Display mode of width x height for this process only (ChangeDisplaySettingsA
// with CDS_FULLSCREEN); the backend restores it when the process ends.
void platform_display_set_mode(int32_t width, int32_t height);
// A borderless, maximised window covering the screen (CreateWindowExA).
void platform_window_create();
// The window's device context for the rest of the run (GetDC).
void platform_window_get_dc();
// A double-buffered, OpenGL-capable pixel format (ChoosePixelFormat, SetPixelFormat).
void platform_pixel_format_choose();
void platform_pixel_format_set();
// An OpenGL 2.0 compatibility context, then made current (wglCreateContext, wglMakeCurrent).
void platform_gl_context_create();
void platform_gl_make_current();
// Hides the mouse cursor (ShowCursor(FALSE)).
void platform_cursor_hide();
// An OpenGL 2.0 entry point by name, or null (wglGetProcAddress).
void* platform_gl_proc(const char* name);
// glRecti, an OpenGL 1.1 function the system's GL library exports itself.
void platform_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Shows the finished frame (SwapBuffers).
void platform_swap_buffers();
// True while Escape (or Alt with F4, as parties require) is down or when it was
// pressed since the previous call (GetAsyncKeyState(VK_ESCAPE) != 0); never waits.
bool platform_escape_pressed();
// A modal error box with the text and the system's default caption; returns
// when it is dismissed (MessageBoxA(NULL, text, NULL, MB_ICONERROR)).
void platform_error_box(const char* text);
// Ends the process with the exit code (ExitProcess).
[[noreturn]] void platform_exit(int code);
