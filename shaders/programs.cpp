// Program building and drawing over entry points looked up by name at each use.
#include "shaders/programs.h"

namespace {

constexpr uint32_t GL_FRAGMENT_SHADER = 0x8B30;
constexpr uint32_t GL_VERTEX_SHADER = 0x8B31;

// The OpenGL 2.0 functions this file calls, with GL's types spelled out.
using CreateProgramFn = uint32_t();
using CreateShaderFn = uint32_t(uint32_t type);
using ShaderSourceFn = void(uint32_t shader, int32_t count, const char* const* strings,
                            const int32_t* lengths);
using ObjectFn = void(uint32_t object);
using AttachShaderFn = void(uint32_t program, uint32_t shader);
using GetUniformLocationFn = int32_t(uint32_t program, const char* name);
using Uniform1fFn = void(int32_t location, float value);
using Uniform2fFn = void(int32_t location, float x, float y);

template <typename Fn>
Fn* entry(const GlFunctions& gl, const char* name) {
    return reinterpret_cast<Fn*>(gl.proc(name));
}

uint32_t create_program(const GlFunctions& gl) {
    auto* create = entry<CreateProgramFn>(gl, "glCreateProgram");
    return create ? create() : 0;
}

void call_object(const GlFunctions& gl, const char* name, uint32_t object) {
    if (auto* fn = entry<ObjectFn>(gl, name)) fn(object);
}

// Creates and compiles one shader from its text and attaches it to the program.
void attach_shader(const GlFunctions& gl, uint32_t program, uint32_t type, const char* text) {
    auto* create = entry<CreateShaderFn>(gl, "glCreateShader");
    const uint32_t shader = create ? create(type) : 0;
    if (auto* source = entry<ShaderSourceFn>(gl, "glShaderSource")) source(shader, 1, &text, nullptr);
    call_object(gl, "glCompileShader", shader);
    if (auto* attach = entry<AttachShaderFn>(gl, "glAttachShader")) attach(program, shader);
}

int32_t uniform_location(const GlFunctions& gl, uint32_t program, const char* name) {
    auto* locate = entry<GetUniformLocationFn>(gl, "glGetUniformLocation");
    return locate ? locate(program, name) : -1;
}

void uniform_1f(const GlFunctions& gl, int32_t location, float value) {
    if (auto* set = entry<Uniform1fFn>(gl, "glUniform1f")) set(location, value);
}

void uniform_2f(const GlFunctions& gl, int32_t location, float x, float y) {
    if (auto* set = entry<Uniform2fFn>(gl, "glUniform2f")) set(location, x, y);
}

}  // namespace

ScenePrograms programs_build(const GlFunctions& gl, const SceneSources& sources, float width,
                             float height) {
    ScenePrograms programs;
    programs.landscape = create_program(gl);
    programs.title = create_program(gl);
    attach_shader(gl, programs.landscape, GL_VERTEX_SHADER, sources.vertex);
    attach_shader(gl, programs.landscape, GL_FRAGMENT_SHADER, sources.landscape);
    attach_shader(gl, programs.title, GL_FRAGMENT_SHADER, sources.title);
    call_object(gl, "glLinkProgram", programs.landscape);
    call_object(gl, "glLinkProgram", programs.title);

    call_object(gl, "glUseProgram", programs.landscape);
    uniform_location(gl, programs.landscape, "y");
    uniform_location(gl, programs.landscape, "rot");
    uniform_2f(gl, uniform_location(gl, programs.landscape, "k"), width, height);
    return programs;
}

void program_draw(const GlFunctions& gl, uint32_t program, float y, float rot, float width,
                  float height) {
    call_object(gl, "glUseProgram", program);
    const int32_t y_location = uniform_location(gl, program, "y");
    const int32_t rot_location = uniform_location(gl, program, "rot");
    const int32_t k_location = uniform_location(gl, program, "k");
    uniform_1f(gl, y_location, y);
    uniform_1f(gl, rot_location, rot);
    uniform_2f(gl, k_location, width, height);
    gl.rect(1, 1, -1, -1);
}
