// What the offline renderer and the studio do alike with the current GL
// context, whatever made it current (EGL or SDL's GLX): an RGBA8 framebuffer of
// a size, its pixels read back as the screen shows them, the context's fitness
// for the scenes, and the logs of a program and its shaders. Calls GL directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An RGBA8 framebuffer object, bound with the viewport over it; the RGBA8
// colour matches the screen's rounding.
struct GlFrame {
    uint32_t framebuffer = 0;
    uint32_t colour = 0;  // a renderbuffer
    int32_t width = 0;
    int32_t height = 0;
};

// False with the reason in error (too large for the GL, out of memory).
bool gl_frame_create(GlFrame& frame, int32_t width, int32_t height, std::string& error);
void gl_frame_destroy(GlFrame& frame);
void gl_frame_bind(const GlFrame& frame);

// RGBA8 pixels of a rectangle of the bound framebuffer in window coordinates
// (x, y from the lower left), rows from its top to its bottom: the screen as
// seen. Empty for a rectangle outside width x height.
std::vector<uint8_t> gl_frame_read_rgba(int32_t x, int32_t y, int32_t width, int32_t height, int32_t frame_width,
                                        int32_t frame_height);

// A pixel pack buffer that a rectangle of the bound framebuffer is read into
// and mapped from later. A GPU copies into it behind the caller's back; Mesa's
// llvmpipe copies at once, after waiting for what was drawn, so there the
// order of the calls is what lets drawing and reading overlap (render.h).
struct GlPackBuffer {
    uint32_t buffer = 0;
    size_t bytes = 0;    // its storage
    int32_t width = 0;   // of the rectangle last read into it, 0 when none waits
    int32_t height = 0;
};

// Starts reading the rectangle (window coordinates, x and y from the lower
// left) into the buffer, growing its storage when it has too little. False
// for a rectangle outside frame_width x frame_height or when the GL has no
// room for the storage.
bool gl_pack_read(GlPackBuffer& pack, int32_t x, int32_t y, int32_t width, int32_t height, int32_t frame_width,
                  int32_t frame_height);
// The pixels last read into the buffer, rows from the rectangle's top to its
// bottom as gl_frame_read_rgba gives them, waiting for the copy if it still
// runs; empty when none were read or the buffer cannot be mapped.
std::vector<uint8_t> gl_pack_take(GlPackBuffer& pack);
void gl_pack_destroy(GlPackBuffer& pack);

// Hands what was drawn to the GL's own threads and returns at once.
void gl_flush();

// The scenes need GLSL 1.10 and fixed-function rectangles: OpenGL 2.0 or
// later, not a core profile. False with the reason in error.
bool gl_context_check(std::string& error);

// True when the program linked; log receives the info logs of the program and
// its shaders.
bool gl_program_status(uint32_t program, std::string& log);
// True when the program has shaders attached and every one of them compiled.
bool gl_shaders_compiled(uint32_t program);
