// What one frame shows at a row: the scene and the values of the clock and the
// camera dolly. Shared by the presentation and every tool, so all of them show
// the same picture for the same moment of the music.
#pragma once

#include "presentation/presentation.h"
#include "shaders/programs.h"
#include "tracks/tracks.h"

// The two tracks every frame reads; null when the set could not make them.
struct CameraTracks {
    const Track* cam_dist = nullptr;
    const Track* cam_rot = nullptr;
};

// Requests the presentation's tracks in their order, which loads each from its
// file, and keeps the camera's two.
CameraTracks camera_tracks_request(TrackSet& set);

// Keeps the track when it is one of the camera's two, by its name: for tracks
// held elsewhere than in a set (the studio's).
void camera_tracks_take(CameraTracks& tracks, const Track& track);

enum class Scene { none, landscape, title };

// The title inside its rows, the landscape outside; nothing for a row that is
// not a number.
Scene scene_for_row(double row);

// "landscape", "title" or "nothing", as the tools write a scene.
const char* scene_name(Scene scene);

struct FrameValues {
    float y;    // track "cam.dist": the clock of both scenes
    float rot;  // track "cam.rot": the landscape camera's dolly
};

// Evaluates "cam.dist" first, then "cam.rot", at the same unfloored row; a
// missing track gives 0.
FrameValues frame_values(const CameraTracks& tracks, double row);

// Everything a row shows: its scene, then the uniform values.
struct RowFrame {
    Scene scene;
    FrameValues values;
};
RowFrame row_frame(const CameraTracks& tracks, double row);

// The row of a music position: seconds x 20.
double row_from_seconds(double seconds);

// Draws the scene of the row with its values at a width x height frame (k);
// draws nothing for Scene::none.
void frame_draw(const GlFunctions& gl, const ScenePrograms& programs, Scene scene,
                const FrameValues& values, float width, float height);
