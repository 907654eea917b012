// How the scene code reaches GL: the two things a platform hands over, so that
// the programs are built and drawn the same way over SDL2, WGL, EGL or a
// recording fake.
#pragma once

#include <cstdint>

struct GlFunctions {
    void* (*proc)(const char* name);                               // an OpenGL 2.0 entry point, or null
    void (*rect)(int32_t x1, int32_t y1, int32_t x2, int32_t y2);  // glRecti
};

// The version a GL_VERSION text begins with ("4.5 (Compatibility Profile) Mesa
// 22.3.6", "4.6.0 NVIDIA 535.54.03") as major * 10 + minor: 45, 46; 0 for a
// text that begins with none. Every program that checks what its GL offers
// reads it here.
inline int gl_version_number(const char* text) {
    int major = 0, minor = 0;
    if (!text || *text < '0' || *text > '9') return 0;
    for (; *text >= '0' && *text <= '9'; ++text) major = major * 10 + (*text - '0');
    if (*text++ != '.' || *text < '0' || *text > '9') return 0;
    for (; *text >= '0' && *text <= '9'; ++text) minor = minor * 10 + (*text - '0');
    return major * 10 + minor;
}
