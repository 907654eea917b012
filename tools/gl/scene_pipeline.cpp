// The scenes' texts, programs, frames and read-back on the current GL context.
#define GL_GLEXT_PROTOTYPES
#include "tools/gl/scene_pipeline.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
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

namespace {

// The line a message names: Mesa writes "SOURCE:LINE(COLUMN): ...".
std::optional<size_t> log_line_number(std::string_view message) {
    const size_t colon = message.find(':');
    const size_t open = message.find('(');
    if (colon == message.npos || open == message.npos || open < colon) return std::nullopt;
    size_t line = 0;
    const char* first = message.data() + colon + 1;
    const auto [end, code] = std::from_chars(first, message.data() + open, line);
    if (code != std::errc() || end != message.data() + open || line == 0) return std::nullopt;
    return line;
}

std::string_view source_line(std::string_view source, size_t number) {
    for (size_t line = 1; line < number; ++line) {
        const size_t newline = source.find('\n');
        if (newline == source.npos) return {};
        source.remove_prefix(newline + 1);
    }
    return source.substr(0, source.find('\n'));
}

}  // namespace

std::string shader_log_with_source(std::string_view log, std::string_view source) {
    std::string out;
    while (!log.empty()) {
        const size_t newline = log.find('\n');
        const std::string_view message = log.substr(0, newline);
        log = newline == log.npos ? std::string_view() : log.substr(newline + 1);
        out.append(message).append("\n");
        const std::optional<size_t> number = log_line_number(message);
        if (!number) continue;
        const std::string_view line = source_line(source, *number);
        char label[32];
        std::snprintf(label, sizeof label, "%6zu | ", *number);
        out.append(label).append(line.substr(0, 160)).append("\n");
    }
    return out;
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
