// The scenes' texts, programs, frames and read-back on the current GL context.
#define GL_GLEXT_PROTOTYPES
#include "tools/gl/scene_pipeline.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "tools/common/files.h"
#include "tools/gl/gl_frame.h"

namespace {

bool text_read(const std::string& path, std::string& text, std::string& error) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        error = "no shader file " + path;
        return false;
    }
    return input_read_text(path, SHADER_BYTES_MAX, text, error);
}

}  // namespace

SceneTexts scene_texts_builtin() { return {landscape_glsl, title_glsl}; }

bool scene_texts_read(const ShaderFiles& files, SceneTexts& texts, std::string& error) {
    texts = scene_texts_builtin();
    if (!files.landscape.empty() && !text_read(files.landscape, texts.landscape, error)) return false;
    if (!files.title.empty() && !text_read(files.title, texts.title, error)) return false;
    return true;
}

SceneBuild scene_build(const GlFunctions& gl, const SceneTexts& texts, float width, float height) {
    SceneBuild build;
    build.programs = programs_build(gl, {vertex_glsl, texts.landscape.c_str(), texts.title.c_str()}, width, height);
    build.landscape = gl_program_status(build.programs.landscape, build.landscape_log);
    build.title = gl_program_status(build.programs.title, build.title_log);
    return build;
}

void scene_programs_delete(const ScenePrograms& programs) {
    for (const uint32_t program : {programs.landscape, programs.title}) {
        if (!program || !glIsProgram(program)) continue;
        GLint count = 0;
        glGetProgramiv(program, GL_ATTACHED_SHADERS, &count);
        std::vector<GLuint> shaders(size_t(count > 0 ? count : 0));
        GLsizei written = 0;
        if (count > 0) glGetAttachedShaders(program, count, &written, shaders.data());
        glDeleteProgram(program);
        for (GLsizei i = 0; i < written; ++i) glDeleteShader(shaders[size_t(i)]);
    }
}

void scene_draw(const GlFunctions& gl, const ScenePrograms& programs, Scene scene, const FrameValues& values,
                int32_t width, int32_t height) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    frame_draw(gl, programs, scene, values, float(width), float(height));
}

void rgba_make_opaque(std::span<uint8_t> rgba) {
    for (size_t alpha = 3; alpha < rgba.size(); alpha += 4) rgba[alpha] = 255;
}
