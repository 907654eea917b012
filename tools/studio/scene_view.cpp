// Scene programs and their framebuffer in the studio's own GL context.
#define GL_GLEXT_PROTOTYPES
#include "tools/studio/scene_view.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include "presentation/presentation.h"

bool scene_view_build(SceneView& view, const SceneTexts& texts) {
    const SceneBuild built = scene_build(view.gl, texts, float(SCREEN_WIDTH), float(SCREEN_HEIGHT));
    if (!built.landscape || !built.title) {
        view.log.clear();
        if (!built.landscape) view.log += "landscape: " + shader_log_with_source(built.landscape_log, texts.landscape);
        if (!built.title) view.log += "title: " + shader_log_with_source(built.title_log, texts.title);
        scene_programs_delete(built.programs);
        return false;
    }
    scene_programs_delete(view.programs);
    view.programs = built.programs;
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
    // Before the first programs built, the picture is black.
    scene_draw(view.gl, view.programs, view.generation > 0 ? scene : Scene::none, values, width, height);
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
    rgba_make_opaque(rgba);
    return rgba;
}

void scene_view_release(SceneView& view) {
    scene_programs_delete(view.programs);
    gl_frame_destroy(view.frame);
    if (view.texture) glDeleteTextures(1, &view.texture);
    view = SceneView{};
}
