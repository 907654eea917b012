// Scene programs and their framebuffer in the studio's own GL context.
#define GL_GLEXT_PROTOTYPES
#include "tools/studio/scene_view.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include "presentation/presentation.h"

namespace {

void programs_delete(const ScenePrograms& programs) {
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

}  // namespace

bool scene_view_build(SceneView& view, const SceneTexts& texts) {
    const ScenePrograms built = programs_build(
        view.gl, {vertex_glsl, texts.landscape.c_str(), texts.title.c_str()}, float(SCREEN_WIDTH),
        float(SCREEN_HEIGHT));
    std::string landscape_log, title_log;
    const bool landscape = gl_program_status(built.landscape, landscape_log);
    const bool title = gl_program_status(built.title, title_log);
    if (!landscape || !title) {
        view.log.clear();
        if (!landscape) view.log += "landscape: " + landscape_log;
        if (!title) view.log += "title: " + title_log;
        programs_delete(built);
        return false;
    }
    programs_delete(view.programs);
    view.programs = built;
    view.log.clear();
    ++view.generation;
    return true;
}

bool scene_view_draw(SceneView& view, Scene scene, const FrameValues& values, int32_t width, int32_t height,
                     std::string& error) {
    if (view.frame.width != width || view.frame.height != height) {
        gl_frame_destroy(view.frame);
        if (!gl_frame_create(view.frame, width, height, error)) return false;
    }
    gl_frame_bind(view.frame);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (view.generation > 0) frame_draw(view.gl, view.programs, scene, values, float(width), float(height));
    glUseProgram(0);

    if (!view.texture) glGenTextures(1, &view.texture);
    glBindTexture(GL_TEXTURE_2D, view.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 0, 0, width, height, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return true;
}

std::vector<uint8_t> scene_view_pixels(const SceneView& view) {
    gl_frame_bind(view.frame);
    std::vector<uint8_t> rgba = gl_frame_read_rgba(0, 0, view.frame.width, view.frame.height, view.frame.width,
                                                   view.frame.height);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    for (size_t alpha = 3; alpha < rgba.size(); alpha += 4) rgba[alpha] = 255;
    return rgba;
}

void scene_view_release(SceneView& view) {
    programs_delete(view.programs);
    gl_frame_destroy(view.frame);
    if (view.texture) glDeleteTextures(1, &view.texture);
    view = SceneView{};
}
