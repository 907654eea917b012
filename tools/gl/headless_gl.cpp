// EGL on Mesa's surfaceless platform: a compatibility context (glRecti needs
// one) drawing into an RGBA8 framebuffer object, since the first pbuffer config
// Mesa offers is 10-bit and would round colours differently from the screen.
#define GL_GLEXT_PROTOTYPES
#include "tools/gl/headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tools/gl/gl_frame.h"

struct HeadlessGl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GlFrame frame;
    GlPackBuffer pack;
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

}  // namespace

// The EGL display stays initialised until Mesa's EGL ends it at exit: EGL keeps
// one display per platform, shared by every HeadlessGl alive, and ending it
// would unload the driver that the next context then loads again.
void headless_gl_destroy(HeadlessGl* gl) {
    if (!gl) return;
    if (gl->context != EGL_NO_CONTEXT) {
        const EGLContext previous = eglGetCurrentContext();
        make_current(*gl);
        gl_pack_destroy(gl->pack);
        gl_frame_destroy(gl->frame);
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
    if (!gl_context_check(error) || !gl_frame_create(gl->frame, width, height, error)) return nullptr;
    return gl;
}

GlFunctions headless_gl_functions() {
    GlFunctions functions;
    functions.proc = [](const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); };
    functions.rect = [](int32_t x1, int32_t y1, int32_t x2, int32_t y2) { glRecti(x1, y1, x2, y2); };
    return functions;
}

void headless_gl_make_current(HeadlessGl& gl) { make_current(gl); }

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
    make_current(gl);
    return gl_frame_read_rgba(x, y, width, height, gl.width, gl.height);
}

bool headless_gl_read_start(HeadlessGl& gl, int32_t x, int32_t y, int32_t width, int32_t height) {
    make_current(gl);
    return gl_pack_read(gl.pack, x, y, width, height, gl.width, gl.height);
}

std::vector<uint8_t> headless_gl_read_finish(HeadlessGl& gl) {
    make_current(gl);
    return gl_pack_take(gl.pack);
}

void headless_gl_flush(HeadlessGl& gl) {
    make_current(gl);
    gl_flush();
}

bool headless_gl_program_status(HeadlessGl& gl, uint32_t program, std::string& log) {
    make_current(gl);
    return gl_program_status(program, log);
}

bool headless_gl_shaders_compiled(HeadlessGl& gl, uint32_t program) {
    make_current(gl);
    return gl_shaders_compiled(program);
}
