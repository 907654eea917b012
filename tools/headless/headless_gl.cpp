// EGL on Mesa's surfaceless platform: a compatibility context (glRecti needs
// one) drawing into an RGBA8 framebuffer object, since the first pbuffer config
// Mesa offers is 10-bit and would round colours differently from the screen.
#define GL_GLEXT_PROTOTYPES
#include "tools/headless/headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

struct HeadlessGl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0;
    GLuint colour = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Present only in programs built with LeakSanitizer.
extern "C" void __lsan_do_leak_check() __attribute__((weak));

namespace {

// Mesa's EGL tears its display down in an exit handler of its own and unloads
// the driver with two blocks still allocated; a leak check after that finds
// them and cannot even name the module, so no suppression can match. The check
// is run instead from a handler registered after Mesa's, which runs before it.
void check_leaks_before_mesa_exits() {
    __lsan_do_leak_check();
}

// Called once Mesa's EGL holds a display, and so has registered its handler.
void leak_check_register() {
    static bool registered = false;
    if (registered || !__lsan_do_leak_check) return;
    registered = true;
    std::atexit(check_leaks_before_mesa_exits);
}

bool has_extension(const char* list, std::string_view name) {
    if (!list) return false;
    std::string_view rest(list);
    while (!rest.empty()) {
        const size_t end = std::min(rest.find(' '), rest.size());
        if (rest.substr(0, end) == name) return true;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
}

// Each call works on this object's context, even when another one was made
// current since.
void make_current(HeadlessGl& gl) {
    if (eglGetCurrentContext() != gl.context)
        eglMakeCurrent(gl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl.context);
}

// The context must run GLSL 1.10 shaders and fixed-function rectangles: 2.0 or
// later, and not a core profile.
bool check_context(std::string& error) {
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2) {
        error = "the EGL context answers no OpenGL version";
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

bool create_framebuffer(HeadlessGl& gl, std::string& error) {
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
    if (gl.width > max_size || gl.height > max_size) {
        error = "the size " + std::to_string(gl.width) + "x" + std::to_string(gl.height) +
                " is larger than the GL's limit of " + std::to_string(max_size);
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

}  // namespace

// The EGL display stays initialised until Mesa's EGL ends it at exit: EGL keeps
// one display per platform, shared by every HeadlessGl alive, and ending it
// would unload the driver that the next context then loads again.
void headless_gl_destroy(HeadlessGl* gl) {
    if (!gl) return;
    if (gl->context != EGL_NO_CONTEXT) {
        const EGLContext previous = eglGetCurrentContext();
        make_current(*gl);
        if (gl->framebuffer) glDeleteFramebuffers(1, &gl->framebuffer);
        if (gl->colour) glDeleteRenderbuffers(1, &gl->colour);
        eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE,
                       previous == gl->context ? EGL_NO_CONTEXT : previous);
        eglDestroyContext(gl->display, gl->context);
    }
    std::default_delete<HeadlessGl>()(gl);
}

HeadlessGlPtr headless_gl_create(int32_t width, int32_t height, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "the framebuffer size must be positive, not " + std::to_string(width) + "x" +
                std::to_string(height);
        return nullptr;
    }
    // Mesa's shader disk cache hands back empty info logs for texts it has seen
    // before; callers read logs to report broken shaders. An explicit setting wins.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);

    if (!has_extension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless")) {
        error = "EGL offers no surfaceless platform (Mesa's EGL, libegl-mesa0, is needed)";
        return nullptr;
    }
    auto* get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) {
        error = "EGL has no eglGetPlatformDisplayEXT";
        return nullptr;
    }

    HeadlessGlPtr gl(std::make_unique<HeadlessGl>().release());
    gl->width = width;
    gl->height = height;
    const EGLDisplay display =
        get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        error = "cannot open an EGL surfaceless display (is libgl1-mesa-dri installed?)";
        return nullptr;
    }
    gl->display = display;
    leak_check_register();

    // Without this EGL hands out OpenGL ES 1.1, where the shaders cannot compile.
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = "EGL offers no desktop OpenGL";
        return nullptr;
    }
    // The surfaceless platform has no window configs: the pbuffer bit is what matches.
    const EGLint config_attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                        EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint config_count = 0;
    if (!eglChooseConfig(display, config_attributes, &config, 1, &config_count) || config_count < 1) {
        error = "EGL has no config for desktop OpenGL";
        return nullptr;
    }
    // No version or profile asked: Mesa then gives its newest compatibility context.
    gl->context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (gl->context == EGL_NO_CONTEXT) {
        error = "EGL cannot create an OpenGL context";
        return nullptr;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl->context)) {
        error = "EGL cannot make the OpenGL context current without a surface";
        return nullptr;
    }
    if (!check_context(error) || !create_framebuffer(*gl, error)) return nullptr;
    return gl;
}

GlFunctions headless_gl_functions() {
    GlFunctions functions;
    functions.proc = [](const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); };
    functions.rect = [](int32_t x1, int32_t y1, int32_t x2, int32_t y2) { glRecti(x1, y1, x2, y2); };
    return functions;
}

void headless_gl_scissor(HeadlessGl& gl, int32_t x, int32_t y, int32_t width, int32_t height) {
    make_current(gl);
    glScissor(x, y, std::max(width, 0), std::max(height, 0));
    glEnable(GL_SCISSOR_TEST);
}

void headless_gl_scissor_off(HeadlessGl& gl) {
    make_current(gl);
    glDisable(GL_SCISSOR_TEST);
}

void headless_gl_clear(HeadlessGl& gl, float red, float green, float blue, float alpha) {
    make_current(gl);
    glClearColor(red, green, blue, alpha);
    glClear(GL_COLOR_BUFFER_BIT);
}

std::vector<uint8_t> headless_gl_read_rgba(HeadlessGl& gl, int32_t x, int32_t y, int32_t width,
                                           int32_t height) {
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || width > gl.width - x || height > gl.height - y)
        return {};
    make_current(gl);
    const size_t row_bytes = size_t(width) * 4;
    std::vector<uint8_t> bottom_up(row_bytes * size_t(height));
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottom_up.data());
    std::vector<uint8_t> top_down(bottom_up.size());
    for (size_t row = 0; row < size_t(height); ++row)
        std::memcpy(&top_down[row * row_bytes], &bottom_up[(size_t(height) - 1 - row) * row_bytes],
                    row_bytes);
    return top_down;
}

bool headless_gl_program_status(HeadlessGl& gl, uint32_t program, std::string& log) {
    make_current(gl);
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

bool headless_gl_shaders_compiled(HeadlessGl& gl, uint32_t program) {
    make_current(gl);
    if (!glIsProgram(program)) return false;
    const std::vector<GLuint> shaders = attached_shaders(program);
    return !shaders.empty() && std::all_of(shaders.begin(), shaders.end(), shader_compiled);
}
