// Scene choice and uniform values of one frame.
#include "presentation/frame.h"

Scene scene_for_row(double row) {
    if (row < TITLE_FIRST_ROW || row > TITLE_LAST_ROW) return Scene::landscape;
    if (row >= TITLE_FIRST_ROW && row <= TITLE_LAST_ROW) return Scene::title;
    return Scene::none;
}

const char* scene_name(Scene scene) {
    switch (scene) {
        case Scene::landscape: return "landscape";
        case Scene::title: return "title";
        case Scene::none: break;
    }
    return "nothing";
}

CameraTracks camera_tracks_request(TrackSet& set) {
    CameraTracks tracks;
    for (const char* name : TRACK_NAMES)
        if (const Track* track = trackset_get_track(set, name)) camera_tracks_take(tracks, *track);
    return tracks;
}

void camera_tracks_take(CameraTracks& tracks, const Track& track) {
    if (track.name == CAMERA_DIST_TRACK) tracks.cam_dist = &track;
    if (track.name == CAMERA_ROT_TRACK) tracks.cam_rot = &track;
}

FrameValues frame_values(const CameraTracks& tracks, double row) {
    FrameValues values{};
    values.y = tracks.cam_dist ? float(track_value(*tracks.cam_dist, row)) : 0.0f;
    values.rot = tracks.cam_rot ? float(track_value(*tracks.cam_rot, row)) : 0.0f;
    return values;
}

RowFrame row_frame(const CameraTracks& tracks, double row) {
    return {scene_for_row(row), frame_values(tracks, row)};
}

double row_from_seconds(double seconds) { return seconds * ROWS_PER_SECOND; }

void frame_draw(const GlFunctions& gl, const ScenePrograms& programs, Scene scene,
                const FrameValues& values, float width, float height) {
    if (scene == Scene::none) return;
    const uint32_t program = scene == Scene::title ? programs.title : programs.landscape;
    program_draw(gl, program, values.y, values.rot, width, height);
}
