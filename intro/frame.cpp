// Scene choice and uniform values of one frame.
#include "frame.h"

Scene scene_for_row(double row) {
    if (row < TITLE_FIRST_ROW || row > TITLE_LAST_ROW) return Scene::landscape;
    if (row >= TITLE_FIRST_ROW && row <= TITLE_LAST_ROW) return Scene::title;
    return Scene::none;
}

FrameValues frame_values(const Track* cam_dist, const Track* cam_rot, double row) {
    FrameValues values{};
    values.y = cam_dist ? float(track_value(*cam_dist, row)) : 0.0f;
    values.rot = cam_rot ? float(track_value(*cam_rot, row)) : 0.0f;
    return values;
}

void frame_draw(const GlFunctions& gl, const ScenePrograms& programs, Scene scene,
                const FrameValues& values, float width, float height) {
    if (scene == Scene::none) return;
    const uint32_t program = scene == Scene::title ? programs.title : programs.landscape;
    program_draw(gl, program, values.y, values.rot, width, height);
}
