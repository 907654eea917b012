// The presentation's picture inside the studio: both scene programs built from
// their texts as the presentation builds them, drawn into an offscreen RGBA8
// framebuffer at any size (k = that size, as zirbelon-render --size does), and
// rebuilt from new texts without ever losing the last programs that worked.
// Needs a current compatibility GL context (the title's fixed-function
// vertex stage).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "presentation/frame.h"
#include "shaders/gl_functions.h"
#include "shaders/programs.h"
#include "tools/gl/gl_frame.h"
#include "tools/gl/scene_pipeline.h"

struct SceneView {
    GlFunctions gl{};
    ScenePrograms programs{};  // the last that built; 0 before the first
    uint64_t generation = 0;   // counts the programs put in use
    std::string log;           // the GL's log of the last build that failed; empty once one works
    GlFrame frame;             // the picture's framebuffer, at the last size drawn
    uint32_t texture = 0;      // the picture as a texture, for the window
};

// Builds the programs from the texts and, when both link, puts them in use in
// place of the old ones; otherwise the old ones stay and view.log holds the GL's
// log (with line numbers). True when the new programs are in use.
bool scene_view_build(SceneView& view, const SceneTexts& texts);

// Draws the scene at width x height into the framebuffer (recreated when the
// size changes) and copies it into the texture. Draws nothing before the first
// programs built. False with error when no framebuffer of that size can be had.
bool scene_view_draw(SceneView& view, Scene scene, const FrameValues& values, int32_t width, int32_t height,
                     std::string& error);

// The framebuffer's pixels as the screen shows them (top row first, alpha
// opaque), as zirbelon-render reads its frames back.
std::vector<uint8_t> scene_view_pixels(const SceneView& view);

void scene_view_release(SceneView& view);
