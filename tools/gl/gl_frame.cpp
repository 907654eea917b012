// GL work shared by the offline renderer and the studio, on the current context.
#define GL_GLEXT_PROTOTYPES
#include "tools/gl/gl_frame.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The context must run GLSL 1.10 shaders and fixed-function rectangles: 2.0 or
// later, and not a core profile.
bool context_check_impl(std::string& error) {
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2) {
        error = "the GL context answers no OpenGL version";
        return false;
    }
    if (major < 2) {
        error = std::string("OpenGL 2.0 is needed, the context has ") + version;
        return false;
    }
    if (major > 3 || (major == 3 && minor >= 2)) {
        GLint profile = 0;
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
        if (!(profile & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT)) {
            error = std::string("a compatibility context is needed, the context is core ") + version;
            return false;
        }
    }
    return true;
}

bool framebuffer_create(GlFrame& gl, std::string& error) {
    // The framebuffer must hold the picture and the viewport must cover it:
    // a viewport cut to the GL's own limit would draw part of each frame.
    GLint max_size = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    if (gl.width > std::min(max_size, viewport[0]) || gl.height > std::min(max_size, viewport[1])) {
        error = "the size " + std::to_string(gl.width) + "x" + std::to_string(gl.height) +
                " is larger than the GL's limit of " + std::to_string(std::min(max_size, viewport[0])) + "x" +
                std::to_string(std::min(max_size, viewport[1]));
        return false;
    }
    glGenRenderbuffers(1, &gl.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, gl.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, gl.width, gl.height);
    glGenFramebuffers(1, &gl.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, gl.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, gl.colour);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "cannot make a " + std::to_string(gl.width) + "x" + std::to_string(gl.height) +
                " RGBA8 framebuffer (out of memory?)";
        return false;
    }
    glViewport(0, 0, gl.width, gl.height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return true;
}

std::string info_log(GLuint object, bool is_program) {
    GLint length = 0;
    if (is_program)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::string text(size_t(length), '\0');
    if (is_program)
        glGetProgramInfoLog(object, length, nullptr, text.data());
    else
        glGetShaderInfoLog(object, length, nullptr, text.data());
    text.resize(std::strlen(text.c_str()));
    if (!text.empty() && text.back() != '\n') text += '\n';
    return text;
}

std::vector<GLuint> attached_shaders(GLuint program) {
    GLint count = 0;
    glGetProgramiv(program, GL_ATTACHED_SHADERS, &count);
    std::vector<GLuint> shaders(size_t(std::max(count, 0)));
    GLsizei written = 0;
    if (count > 0) glGetAttachedShaders(program, count, &written, shaders.data());
    shaders.resize(size_t(written));
    return shaders;
}

bool shader_compiled(GLuint shader) {
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    return status == GL_TRUE;
}

bool rectangle_inside(int32_t x, int32_t y, int32_t width, int32_t height, int32_t frame_width,
                      int32_t frame_height) {
    return x >= 0 && y >= 0 && width > 0 && height > 0 && width <= frame_width - x && height <= frame_height - y;
}

// The GL's rows run from the bottom up; the screen's from the top down.
std::vector<uint8_t> rows_turned(const uint8_t* bottom_up, size_t row_bytes, size_t rows) {
    std::vector<uint8_t> top_down(row_bytes * rows);
    for (size_t row = 0; row < rows; ++row)
        std::memcpy(&top_down[row * row_bytes], bottom_up + (rows - 1 - row) * row_bytes, row_bytes);
    return top_down;
}

}  // namespace

bool gl_context_check(std::string& error) { return context_check_impl(error); }

bool gl_frame_create(GlFrame& frame, int32_t width, int32_t height, std::string& error) {
    frame.width = width;
    frame.height = height;
    return framebuffer_create(frame, error);
}

void gl_frame_destroy(GlFrame& frame) {
    if (frame.framebuffer) glDeleteFramebuffers(1, &frame.framebuffer);
    if (frame.colour) glDeleteRenderbuffers(1, &frame.colour);
    frame = GlFrame{};
}

void gl_frame_bind(const GlFrame& frame) {
    glBindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    glViewport(0, 0, frame.width, frame.height);
}

std::vector<uint8_t> gl_frame_read_rgba(int32_t x, int32_t y, int32_t width, int32_t height, int32_t frame_width,
                                        int32_t frame_height) {
    if (!rectangle_inside(x, y, width, height, frame_width, frame_height)) return {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const size_t row_bytes = size_t(width) * 4;
    std::vector<uint8_t> bottom_up(row_bytes * size_t(height));
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
    return rows_turned(bottom_up.data(), row_bytes, size_t(height));
}

bool gl_pack_read(GlPackBuffer& pack, int32_t x, int32_t y, int32_t width, int32_t height, int32_t frame_width,
                  int32_t frame_height) {
    pack.width = 0;
    pack.height = 0;
    if (!rectangle_inside(x, y, width, height, frame_width, frame_height)) return false;
    const size_t bytes = size_t(width) * size_t(height) * 4;
    if (!pack.buffer) glGenBuffers(1, &pack.buffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pack.buffer);
    if (pack.bytes < bytes) {
        while (glGetError() != GL_NO_ERROR) continue;  // earlier errors are not this call's
        // Read back often, by the CPU: the stream-read hint.
        glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(bytes), nullptr, GL_STREAM_READ);
        if (glGetError() != GL_NO_ERROR) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
            pack.bytes = 0;
            return false;
        }
        pack.bytes = bytes;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    // Unbound, so that no other read of this context lands in the buffer.
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    pack.width = width;
    pack.height = height;
    return true;
}

std::vector<uint8_t> gl_pack_take(GlPackBuffer& pack) {
    if (!pack.buffer || pack.width <= 0 || pack.height <= 0) return {};
    const size_t row_bytes = size_t(pack.width) * 4;
    const size_t rows = size_t(pack.height);
    pack.width = 0;
    pack.height = 0;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, pack.buffer);
    const auto* bottom_up = static_cast<const uint8_t*>(
        glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr(row_bytes * rows), GL_MAP_READ_BIT));
    std::vector<uint8_t> top_down;
    if (bottom_up) {
        top_down = rows_turned(bottom_up, row_bytes, rows);
        // A buffer whose storage was lost while mapped holds nothing to trust.
        if (glUnmapBuffer(GL_PIXEL_PACK_BUFFER) != GL_TRUE) top_down.clear();
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    return top_down;
}

void gl_pack_destroy(GlPackBuffer& pack) {
    if (pack.buffer) glDeleteBuffers(1, &pack.buffer);
    pack = GlPackBuffer{};
}

void gl_flush() { glFlush(); }

bool gl_program_status(uint32_t program, std::string& log) {
    log.clear();
    if (!glIsProgram(program)) {
        log = "program " + std::to_string(program) + " does not exist\n";
        return false;
    }
    for (const GLuint shader : attached_shaders(program)) {
        GLint type = 0;
        glGetShaderiv(shader, GL_SHADER_TYPE, &type);
        const bool compiled = shader_compiled(shader);
        const std::string text = info_log(shader, false);
        if (compiled && text.empty()) continue;
        log += type == GL_VERTEX_SHADER ? "vertex shader" : "fragment shader";
        log += compiled ? ":\n" : " did not compile:\n";
        log += text;
    }
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    const std::string text = info_log(program, true);
    if (linked != GL_TRUE || !text.empty()) {
        log += linked == GL_TRUE ? "program:\n" : "program did not link:\n";
        log += text;
    }
    return linked == GL_TRUE;
}

bool gl_shaders_compiled(uint32_t program) {
    if (!glIsProgram(program)) return false;
    const std::vector<GLuint> shaders = attached_shaders(program);
    return !shaders.empty() && std::all_of(shaders.begin(), shaders.end(), shader_compiled);
}
