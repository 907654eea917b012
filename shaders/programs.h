// Builds the two scene programs from their texts and draws one frame with one of
// them, over whatever GL the platform gives. Every OpenGL 2.0 entry point is
// looked up by name at the point of use, and a missing one is skipped.
#pragma once

#include <cstdint>

#include "shaders/gl_functions.h"

// The shader texts, zero-terminated, compiled into the program.
extern const char vertex_glsl[];
extern const char landscape_glsl[];
extern const char title_glsl[];

struct SceneSources {
    const char* vertex;
    const char* landscape;
    const char* title;
};

struct ScenePrograms {
    uint32_t landscape;  // vertex stage + landscape fragment stage
    uint32_t title;      // title fragment stage alone
};

// Creates, compiles and links both programs in a fixed order, then leaves the
// landscape program in use with k = (width, height). Reads no status or log.
ScenePrograms programs_build(const GlFunctions& gl, const SceneSources& sources, float width,
                             float height);

// One frame: uses the program, queries the locations of "y", "rot" and "k",
// sets them, and draws the rectangle over the whole clip space.
void program_draw(const GlFunctions& gl, uint32_t program, float y, float rot, float width,
                  float height);
