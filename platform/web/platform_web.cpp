// The platform layer in a browser: the page's canvas with a WebGL 2 context,
// html5.h's key and fullscreen events, and the page's screens (start, notices,
// end) from page.js.
//
// The driver's loop is the page's loop too: the program is built with
// Asyncify, so the buffer swap hands the thread back to the browser until its
// next animation frame, and every other call of the driver returns at once.
// WebGL 2 has no fixed-function stage and no glRecti: the title program gets a
// pass-through vertex stage when it is linked, and the rectangle is two
// triangles from a buffer at attribute location 0, where the GLSL ES texts
// take their corners.
#include "platform/platform.h"

#include <GLES3/gl3.h>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <array>
#include <string_view>

#include "platform/web/page.h"

namespace {

constexpr const char* CANVAS = "#canvas";

// What the fixed-function stage does for a program without a vertex stage:
// the corners pass through unchanged.
constexpr const char* PASS_THROUGH_VERTEX =
    "#version 300 es\n"
    "layout(location = 0) in vec4 corner;\n"
    "void main() { gl_Position = corner; }\n";

struct Window {
    int32_t width = 0;
    int32_t height = 0;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    GLuint pass_through = 0;  // compiled on first need
    GLuint rectangle = 0;     // the vertex buffer of the rectangle
    bool escape = false;      // latched until the loop ends
    bool was_fullscreen = false;
};

Window window;

// Escape on the start screen neither starts nor ends anything.
EM_BOOL key_down(int, const EmscriptenKeyboardEvent* event, void*) {
    if (std::string_view(event->key) == "Escape" && page_running()) window.escape = true;
    return EM_FALSE;
}

// Leaving fullscreen (the browser takes Escape for that itself) ends the presentation too.
EM_BOOL fullscreen_change(int, const EmscriptenFullscreenChangeEvent* event, void*) {
    if (event->isFullscreen) window.was_fullscreen = true;
    else if (window.was_fullscreen) window.escape = true;
    return EM_FALSE;
}

bool has_vertex_stage(GLuint program) {
    std::array<GLuint, 4> shaders{};
    GLsizei count = 0;
    glGetAttachedShaders(program, GLsizei(shaders.size()), &count, shaders.data());
    for (GLsizei i = 0; i < count; ++i) {
        GLint type = 0;
        glGetShaderiv(shaders[size_t(i)], GL_SHADER_TYPE, &type);
        if (type == GL_VERTEX_SHADER) return true;
    }
    return false;
}

// The entry points the scene code looks up, with exactly the signatures it
// calls them through.
uint32_t create_program() { return glCreateProgram(); }
uint32_t create_shader(uint32_t type) { return glCreateShader(type); }
void shader_source(uint32_t shader, int32_t count, const char* const* strings, const int32_t* lengths) {
    glShaderSource(shader, count, strings, lengths);
}
void compile_shader(uint32_t shader) { glCompileShader(shader); }
void attach_shader(uint32_t program, uint32_t shader) { glAttachShader(program, shader); }
void link_program(uint32_t program) {
    if (program && !has_vertex_stage(program)) {
        if (!window.pass_through) {
            window.pass_through = glCreateShader(GL_VERTEX_SHADER);
            glShaderSource(window.pass_through, 1, &PASS_THROUGH_VERTEX, nullptr);
            glCompileShader(window.pass_through);
        }
        glAttachShader(program, window.pass_through);
    }
    glLinkProgram(program);
}
void use_program(uint32_t program) { glUseProgram(program); }
int32_t get_uniform_location(uint32_t program, const char* name) {
    return glGetUniformLocation(program, name);
}
void uniform_1f(int32_t location, float value) { glUniform1f(location, value); }
void uniform_2f(int32_t location, float x, float y) { glUniform2f(location, x, y); }

struct Entry {
    std::string_view name;
    void* function;
};

const Entry ENTRIES[] = {
    {"glCreateProgram", reinterpret_cast<void*>(create_program)},
    {"glCreateShader", reinterpret_cast<void*>(create_shader)},
    {"glShaderSource", reinterpret_cast<void*>(shader_source)},
    {"glCompileShader", reinterpret_cast<void*>(compile_shader)},
    {"glAttachShader", reinterpret_cast<void*>(attach_shader)},
    {"glLinkProgram", reinterpret_cast<void*>(link_program)},
    {"glUseProgram", reinterpret_cast<void*>(use_program)},
    {"glGetUniformLocation", reinterpret_cast<void*>(get_uniform_location)},
    {"glUniform1f", reinterpret_cast<void*>(uniform_1f)},
    {"glUniform2f", reinterpret_cast<void*>(uniform_2f)},
};

}  // namespace

void platform_display_set_mode(int32_t width, int32_t height) {
    // The canvas is the display: it draws at this size, and the page
    // letterboxes it at its aspect ratio into whatever the window is.
    window.width = width;
    window.height = height;
    emscripten_set_canvas_element_size(CANVAS, width, height);
}

void platform_window_create() {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, key_down);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE,
                                             fullscreen_change);
}

void platform_window_ghosting_disable() {}
void platform_window_get_dc() {}
void platform_pixel_format_choose() {}
void platform_pixel_format_set() {}

void platform_gl_context_create() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
    // A paused page keeps its picture readable (a test, a shared moment).
    attributes.preserveDrawingBuffer = page_paused_row() ? EM_TRUE : EM_FALSE;
    window.context = emscripten_webgl_create_context(CANVAS, &attributes);
    if (window.context <= 0) page_stop_without_webgl();
}

void platform_gl_make_current() {
    emscripten_webgl_make_context_current(window.context);
    glViewport(0, 0, window.width, window.height);
}

void platform_cursor_hide() { page_cursor_hide(); }

void* platform_gl_proc(const char* name) {
    for (const Entry& entry : ENTRIES)
        if (entry.name == name) return entry.function;
    return nullptr;
}

void platform_gl_rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const std::array<float, 8> corners{float(x1), float(y1), float(x2), float(y1),
                                       float(x1), float(y2), float(x2), float(y2)};
    if (!window.rectangle) glGenBuffers(1, &window.rectangle);
    glBindBuffer(GL_ARRAY_BUFFER, window.rectangle);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners.data(), GL_DYNAMIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void platform_swap_buffers() { page_next_frame(); }

bool platform_escape_pressed() { return window.escape; }

void platform_error_box(const char* text) { page_notice(text); }

void platform_exit(int) {
    page_end();
    __builtin_unreachable();
}
