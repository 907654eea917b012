// How the scene code reaches GL: the two things a platform hands over, so that
// the programs are built and drawn the same way over SDL2, WGL, EGL or a
// recording fake.
#pragma once

#include <cstdint>

struct GlFunctions {
    void* (*proc)(const char* name);                               // an OpenGL 2.0 entry point, or null
    void (*rect)(int32_t x1, int32_t y1, int32_t x2, int32_t y2);  // glRecti
};
