// An OpenGL context with no display, for tools and tests: EGL on Mesa's
// surfaceless platform, drawing into an RGBA8 framebuffer object of a fixed size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shaders/gl_functions.h"

struct HeadlessGl;
void headless_gl_destroy(HeadlessGl* gl);
struct HeadlessGlDeleter {
    void operator()(HeadlessGl* gl) const { headless_gl_destroy(gl); }
};
using HeadlessGlPtr = std::unique_ptr<HeadlessGl, HeadlessGlDeleter>;

// A current context with a width x height RGBA8 framebuffer bound and the
// viewport covering it; null with the reason in error when none can be had.
HeadlessGlPtr headless_gl_create(int32_t width, int32_t height, std::string& error);

// Makes the context current, for GL called directly (scene_pipeline.h).
void headless_gl_make_current(HeadlessGl& gl);

// The entry points of the current context, for programs_build and program_draw.
GlFunctions headless_gl_functions();

// Restricts drawing to a rectangle in window coordinates (x, y from the lower
// left), or lifts the restriction.
void headless_gl_scissor(HeadlessGl& gl, int32_t x, int32_t y, int32_t width, int32_t height);
void headless_gl_scissor_off(HeadlessGl& gl);

// Fills the framebuffer (within the scissor rectangle, when one is set) with
// one colour, channels from 0 to 1.
void headless_gl_clear(HeadlessGl& gl, float red, float green, float blue, float alpha);

// RGBA8 pixels of a rectangle in window coordinates (x, y from the lower left),
// rows from the rectangle's top to its bottom: the screen as seen.
std::vector<uint8_t> headless_gl_read_rgba(HeadlessGl& gl, int32_t x, int32_t y, int32_t width,
                                           int32_t height);

// The read in two halves, for drawing the next frame in between (render.h):
// the first starts reading the rectangle into the context's pack buffer, false
// for a rectangle outside the framebuffer or when the GL has no room for the
// buffer; the second gives the pixels that read, as headless_gl_read_rgba
// would have, or nothing when no read was started since the last one.
bool headless_gl_read_start(HeadlessGl& gl, int32_t x, int32_t y, int32_t width, int32_t height);
std::vector<uint8_t> headless_gl_read_finish(HeadlessGl& gl);

// Sets the GL's threads to work on what was drawn, without waiting for them.
void headless_gl_flush(HeadlessGl& gl);

// True when the program linked; log receives the info logs of the program and
// its shaders.
bool headless_gl_program_status(HeadlessGl& gl, uint32_t program, std::string& log);

// True when the program has shaders attached and every one of them compiled.
bool headless_gl_shaders_compiled(HeadlessGl& gl, uint32_t program);
