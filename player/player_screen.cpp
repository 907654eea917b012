// The player's programs, frames, letterbox and frame timing over entry points
// looked up by name, with GL's types and numbers spelled out here.
#include "player/player_screen.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t GL_TEXTURE_2D = 0x0DE1;
constexpr uint32_t GL_UNSIGNED_BYTE = 0x1401;
constexpr uint32_t GL_RGBA = 0x1908;
constexpr uint32_t GL_RENDERER = 0x1F01;
constexpr uint32_t GL_VERSION = 0x1F02;
constexpr uint32_t GL_EXTENSIONS = 0x1F03;
constexpr uint32_t GL_LINEAR = 0x2601;
constexpr uint32_t GL_TEXTURE_MAG_FILTER = 0x2800;
constexpr uint32_t GL_TEXTURE_MIN_FILTER = 0x2801;
constexpr uint32_t GL_COLOR_BUFFER_BIT = 0x4000;
constexpr uint32_t GL_RGBA8 = 0x8058;
constexpr uint32_t GL_QUERY_RESULT = 0x8866;
constexpr uint32_t GL_QUERY_RESULT_AVAILABLE = 0x8867;
constexpr uint32_t GL_TIME_ELAPSED = 0x88BF;
constexpr uint32_t GL_SHADER_TYPE = 0x8B4F;
constexpr uint32_t GL_VERTEX_SHADER = 0x8B31;
constexpr uint32_t GL_COMPILE_STATUS = 0x8B81;
constexpr uint32_t GL_LINK_STATUS = 0x8B82;
constexpr uint32_t GL_INFO_LOG_LENGTH = 0x8B84;
constexpr uint32_t GL_ATTACHED_SHADERS = 0x8B85;
constexpr uint32_t GL_READ_FRAMEBUFFER = 0x8CA8;
constexpr uint32_t GL_DRAW_FRAMEBUFFER = 0x8CA9;
constexpr uint32_t GL_FRAMEBUFFER_COMPLETE = 0x8CD5;
constexpr uint32_t GL_COLOR_ATTACHMENT0 = 0x8CE0;
constexpr uint32_t GL_FRAMEBUFFER = 0x8D40;

// What the scene not being built is given, so that building one scene costs
// one compile of its own text.
constexpr const char* UNUSED_FRAGMENT = "void main() {}\n";

template <typename Fn>
Fn* entry(const GlFunctions& gl, const char* name) {
    return reinterpret_cast<Fn*>(gl.proc(name));
}

using GetStringFn = const unsigned char*(uint32_t name);
using GetIntegerFn = void(uint32_t object, uint32_t name, int32_t* value);
using GetLogFn = void(uint32_t object, int32_t size, int32_t* length, char* log);
using GetAttachedFn = void(uint32_t program, int32_t max, int32_t* count, uint32_t* shaders);
using ObjectFn = void(uint32_t object);
using GenFn = void(int32_t count, uint32_t* names);
using BindFn = void(uint32_t target, uint32_t name);
using TexImageFn = void(uint32_t target, int32_t level, int32_t internal_format, int32_t width, int32_t height,
                        int32_t border, uint32_t format, uint32_t type, const void* pixels);
using TexParameterFn = void(uint32_t target, uint32_t name, int32_t value);
using FramebufferTextureFn = void(uint32_t target, uint32_t attachment, uint32_t texture_target, uint32_t texture,
                                  int32_t level);
using CheckFramebufferFn = uint32_t(uint32_t target);
using BlitFn = void(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t dx0, int32_t dy0, int32_t dx1,
                    int32_t dy1, uint32_t mask, uint32_t filter);
using ViewportFn = void(int32_t x, int32_t y, int32_t width, int32_t height);
using ClearColorFn = void(float r, float g, float b, float a);
using ClearFn = void(uint32_t mask);
using QueryFn = void(uint32_t target, uint32_t query);
using EndQueryFn = void(uint32_t target);
using QueryResultFn = void(uint32_t query, uint32_t name, uint64_t* value);
using QueryAvailableFn = void(uint32_t query, uint32_t name, int32_t* value);
using DeleteNamesFn = void(int32_t count, const uint32_t* names);

std::string gl_text(const GlFunctions& gl, uint32_t name) {
    auto* get = entry<GetStringFn>(gl, "glGetString");
    const unsigned char* text = get ? get(name) : nullptr;
    return text ? reinterpret_cast<const char*>(text) : "";
}

int gl_version(const GlFunctions& gl) { return gl_version_number(gl_text(gl, GL_VERSION).c_str()); }

bool gl_has_extension(const GlFunctions& gl, std::string_view name) {
    const std::string all = gl_text(gl, GL_EXTENSIONS);
    size_t at = 0;
    while ((at = all.find(name, at)) != all.npos) {
        const size_t end = at + name.size();
        if ((at == 0 || all[at - 1] == ' ') && (end == all.size() || all[end] == ' ')) return true;
        at = end;
    }
    return false;
}

std::string info_log(const GlFunctions& gl, uint32_t object, bool program) {
    auto* get = entry<GetIntegerFn>(gl, program ? "glGetProgramiv" : "glGetShaderiv");
    auto* read = entry<GetLogFn>(gl, program ? "glGetProgramInfoLog" : "glGetShaderInfoLog");
    int32_t length = 0;
    if (!get || !read) return {};
    get(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1) return {};
    std::string log(size_t(length), '\0');
    int32_t written = 0;
    read(object, length, &written, log.data());
    log.resize(size_t(std::clamp(written, 0, length)));
    return log;
}

std::vector<uint32_t> attached_shaders(const GlFunctions& gl, uint32_t program) {
    auto* get = entry<GetIntegerFn>(gl, "glGetProgramiv");
    auto* attached = entry<GetAttachedFn>(gl, "glGetAttachedShaders");
    int32_t count = 0;
    if (!get || !attached || !program) return {};
    get(program, GL_ATTACHED_SHADERS, &count);
    std::vector<uint32_t> shaders(size_t(std::max(count, 0)));
    int32_t written = 0;
    if (count > 0) attached(program, count, &written, shaders.data());
    shaders.resize(size_t(std::clamp(written, 0, count)));
    return shaders;
}

// Whether the program linked, and its shaders' and its own logs.
bool program_status(const GlFunctions& gl, uint32_t program, std::string& log) {
    auto* get_shader = entry<GetIntegerFn>(gl, "glGetShaderiv");
    auto* get_program = entry<GetIntegerFn>(gl, "glGetProgramiv");
    if (!program || !get_shader || !get_program) {
        log = "the GL made no program\n";
        return false;
    }
    for (const uint32_t shader : attached_shaders(gl, program)) {
        int32_t type = 0, compiled = 0;
        get_shader(shader, GL_SHADER_TYPE, &type);
        get_shader(shader, GL_COMPILE_STATUS, &compiled);
        const std::string text = info_log(gl, shader, false);
        if (compiled && text.empty()) continue;
        log += type == int32_t(GL_VERTEX_SHADER) ? "vertex shader" : "fragment shader";
        log += compiled ? ":\n" : " did not compile:\n";
        log += text;
    }
    int32_t linked = 0;
    get_program(program, GL_LINK_STATUS, &linked);
    const std::string text = info_log(gl, program, true);
    if (!linked || !text.empty()) log += std::string(linked ? "program:\n" : "program did not link:\n") + text;
    return linked != 0;
}

void program_delete(const GlFunctions& gl, uint32_t program) {
    if (!program) return;
    const std::vector<uint32_t> shaders = attached_shaders(gl, program);
    if (auto* remove = entry<ObjectFn>(gl, "glDeleteProgram")) remove(program);
    if (auto* remove = entry<ObjectFn>(gl, "glDeleteShader"))
        for (const uint32_t shader : shaders) remove(shader);
}

// A 1920x1080 RGBA8 colour target; false (and nothing kept) where the GL has
// no framebuffer objects or will not make this one.
bool framebuffer_create(PlayerScreen& screen) {
    const GlFunctions& gl = screen.gl;
    auto* gen_textures = entry<GenFn>(gl, "glGenTextures");
    auto* bind_texture = entry<BindFn>(gl, "glBindTexture");
    auto* image = entry<TexImageFn>(gl, "glTexImage2D");
    auto* parameter = entry<TexParameterFn>(gl, "glTexParameteri");
    auto* gen_framebuffers = entry<GenFn>(gl, "glGenFramebuffers");
    auto* bind_framebuffer = entry<BindFn>(gl, "glBindFramebuffer");
    auto* attach = entry<FramebufferTextureFn>(gl, "glFramebufferTexture2D");
    auto* check = entry<CheckFramebufferFn>(gl, "glCheckFramebufferStatus");
    if (!gen_textures || !bind_texture || !image || !parameter || !gen_framebuffers || !bind_framebuffer ||
        !attach || !check || !entry<BlitFn>(gl, "glBlitFramebuffer") || gl_version(gl) < 30)
        return false;
    gen_textures(1, &screen.texture);
    bind_texture(GL_TEXTURE_2D, screen.texture);
    parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, int32_t(GL_LINEAR));
    parameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, int32_t(GL_LINEAR));
    image(GL_TEXTURE_2D, 0, int32_t(GL_RGBA8), SCREEN_WIDTH, SCREEN_HEIGHT, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gen_framebuffers(1, &screen.framebuffer);
    bind_framebuffer(GL_FRAMEBUFFER, screen.framebuffer);
    attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, screen.texture, 0);
    const bool complete = check(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    bind_framebuffer(GL_FRAMEBUFFER, 0);
    bind_texture(GL_TEXTURE_2D, 0);
    if (!complete) {
        if (auto* remove = entry<DeleteNamesFn>(gl, "glDeleteFramebuffers")) remove(1, &screen.framebuffer);
        if (auto* remove = entry<DeleteNamesFn>(gl, "glDeleteTextures")) remove(1, &screen.texture);
        screen.framebuffer = screen.texture = 0;
    }
    return complete;
}

void clear_black(const GlFunctions& gl, int32_t width, int32_t height) {
    if (auto* viewport = entry<ViewportFn>(gl, "glViewport")) viewport(0, 0, width, height);
    if (auto* color = entry<ClearColorFn>(gl, "glClearColor")) color(0.0f, 0.0f, 0.0f, 1.0f);
    if (auto* clear = entry<ClearFn>(gl, "glClear")) clear(GL_COLOR_BUFFER_BIT);
}

// The GPU time of a frame timed earlier, once the GL has it: queries take a
// frame or two to come back, and waiting for one would stall the frame.
void timer_collect(PlayerScreen& screen) {
    auto* available = entry<QueryAvailableFn>(screen.gl, "glGetQueryObjectiv");
    auto* result = entry<QueryResultFn>(screen.gl, "glGetQueryObjectui64v");
    if (screen.frames_timed == 0 || !available || !result) return;
    const uint32_t query = screen.queries[(screen.frames_timed - 1) % 2];
    int32_t ready = 0;
    available(query, GL_QUERY_RESULT_AVAILABLE, &ready);
    if (!ready) return;
    uint64_t nanoseconds = 0;
    result(query, GL_QUERY_RESULT, &nanoseconds);
    screen.gpu_ms = float(double(nanoseconds) / 1e6);
}

}  // namespace

Letterbox letterbox_fit(int32_t width, int32_t height) {
    Letterbox box;
    if (width <= 0 || height <= 0) return box;
    // Whole pixels, the wider side cut: 16:9 exactly where the size allows.
    if (int64_t(width) * SCREEN_HEIGHT > int64_t(height) * SCREEN_WIDTH) {
        box.height = height;
        box.width = int32_t(int64_t(height) * SCREEN_WIDTH / SCREEN_HEIGHT);
    } else {
        box.width = width;
        box.height = int32_t(int64_t(width) * SCREEN_HEIGHT / SCREEN_WIDTH);
    }
    box.x = (width - box.width) / 2;
    box.y = (height - box.height) / 2;
    return box;
}

PlayerScreen player_screen_create(const GlFunctions& gl) {
    PlayerScreen screen;
    screen.gl = gl;
    framebuffer_create(screen);
    const bool timer_query = gl_version(gl) >= 33 || gl_has_extension(gl, "GL_ARB_timer_query");
    auto* gen_queries = entry<GenFn>(gl, "glGenQueries");
    if (timer_query && gen_queries && entry<QueryFn>(gl, "glBeginQuery") && entry<EndQueryFn>(gl, "glEndQuery") &&
        entry<QueryResultFn>(gl, "glGetQueryObjectui64v")) {
        gen_queries(2, screen.queries);
        screen.timer = true;
    }
    return screen;
}

PlayerBuild player_screen_build(PlayerScreen& screen, bool landscape, const std::string& text) {
    const GlFunctions& gl = screen.gl;
    const ScenePrograms built =
        programs_build(gl, {vertex_glsl, landscape ? text.c_str() : UNUSED_FRAGMENT,
                            landscape ? UNUSED_FRAGMENT : text.c_str()},
                       float(SCREEN_WIDTH), float(SCREEN_HEIGHT));
    uint32_t& in_use = landscape ? screen.programs.landscape : screen.programs.title;
    const uint32_t fresh = landscape ? built.landscape : built.title;
    program_delete(gl, landscape ? built.title : built.landscape);
    PlayerBuild build;
    build.built = program_status(gl, fresh, build.log);
    if (build.built) {
        program_delete(gl, in_use);
        in_use = fresh;
    } else {
        program_delete(gl, fresh);
    }
    return build;
}

void player_screen_draw(PlayerScreen& screen, Scene scene, const FrameValues& values, int32_t width,
                        int32_t height) {
    const GlFunctions& gl = screen.gl;
    const bool direct = !screen.framebuffer || (width == SCREEN_WIDTH && height == SCREEN_HEIGHT);
    if (screen.timer) {
        timer_collect(screen);
        entry<QueryFn>(gl, "glBeginQuery")(GL_TIME_ELAPSED, screen.queries[screen.frames_timed % 2]);
    }
    auto* bind = entry<BindFn>(gl, "glBindFramebuffer");
    if (direct) {
        // Without framebuffer objects a window of another size gets the
        // picture stretched, with k its own size.
        if (screen.framebuffer) bind(GL_FRAMEBUFFER, 0);
        const bool exact = width == SCREEN_WIDTH && height == SCREEN_HEIGHT;
        clear_black(gl, width, height);
        frame_draw(gl, screen.programs, scene, values, float(exact ? SCREEN_WIDTH : width),
                   float(exact ? SCREEN_HEIGHT : height));
    } else {
        bind(GL_FRAMEBUFFER, screen.framebuffer);
        clear_black(gl, SCREEN_WIDTH, SCREEN_HEIGHT);
        frame_draw(gl, screen.programs, scene, values, float(SCREEN_WIDTH), float(SCREEN_HEIGHT));
        bind(GL_READ_FRAMEBUFFER, screen.framebuffer);
        bind(GL_DRAW_FRAMEBUFFER, 0);
        clear_black(gl, width, height);
        const Letterbox box = letterbox_fit(width, height);
        entry<BlitFn>(gl, "glBlitFramebuffer")(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, box.x, box.y, box.x + box.width,
                                               box.y + box.height, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        bind(GL_FRAMEBUFFER, 0);
    }
    if (screen.timer) {
        entry<EndQueryFn>(gl, "glEndQuery")(GL_TIME_ELAPSED);
        ++screen.frames_timed;
    }
}

std::string player_screen_renderer(const PlayerScreen& screen) { return gl_text(screen.gl, GL_RENDERER); }
std::string player_screen_version(const PlayerScreen& screen) { return gl_text(screen.gl, GL_VERSION); }

void player_screen_release(PlayerScreen& screen) {
    program_delete(screen.gl, screen.programs.landscape);
    program_delete(screen.gl, screen.programs.title);
    if (screen.timer)
        if (auto* remove = entry<DeleteNamesFn>(screen.gl, "glDeleteQueries")) remove(2, screen.queries);
    if (screen.framebuffer) {
        if (auto* remove = entry<DeleteNamesFn>(screen.gl, "glDeleteFramebuffers")) remove(1, &screen.framebuffer);
        if (auto* remove = entry<DeleteNamesFn>(screen.gl, "glDeleteTextures")) remove(1, &screen.texture);
    }
    screen = {};
}
