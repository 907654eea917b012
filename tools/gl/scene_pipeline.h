// The presentation's scenes on whatever GL context is current, as the offline
// renderer and the studio both need them: the fragment texts (built in, or read
// from files), both programs built the way the presentation builds them with
// the GL's logs, a frame drawn over opaque black, and its pixels read back as
// the screen shows them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "presentation/frame.h"
#include "shaders/gl_functions.h"
#include "shaders/programs.h"
#include "tools/common/shader_files.h"

// A shader text is short; anything bigger is not one.
inline constexpr uint64_t SHADER_BYTES_MAX = 16u << 20;

// The fragment texts of both scenes.
struct SceneTexts {
    std::string landscape;
    std::string title;
};

// The texts compiled into the presentation.
SceneTexts scene_texts_builtin();

// A file's text where one is named, else the built-in one. False with the
// reason in error when a file is missing or cannot be read.
bool scene_texts_read(const ShaderFiles& files, SceneTexts& texts, std::string& error);

// Both programs, with the presentation's vertex text, compiled and linked in
// its order with k = (width, height), and how each went.
struct SceneBuild {
    ScenePrograms programs{};
    bool landscape = false;     // linked
    bool title = false;
    std::string landscape_log;  // the GL's logs of the program and its shaders
    std::string title_log;
};
SceneBuild scene_build(const GlFunctions& gl, const SceneTexts& texts, float width, float height);

// A GL log with the source line each message names written under it
// ("0:12(5): error: ..." then "   12 | the line"), so that a maker sees the
// failing line beside the message. Lines that name none stay as they are.
std::string shader_log_with_source(std::string_view log, std::string_view source);

// Deletes both programs and their shaders; 0 stands for none.
void scene_programs_delete(const ScenePrograms& programs);

// Clears the bound framebuffer to opaque black and draws the scene with the
// values at width x height (k); nothing but black for Scene::none.
void scene_draw(const GlFunctions& gl, const ScenePrograms& programs, Scene scene, const FrameValues& values,
                int32_t width, int32_t height);

// Alpha has no effect on the screen: pixels read back are shown opaque.
void rgba_make_opaque(std::span<uint8_t> rgba);
