// What one frame shows at a row: the scene and the values of the clock and the
// camera dolly. Shared by the presentation and the offline renderer, so both
// show the same picture for the same moment of the music.
#pragma once

#include "programs.h"
#include "tracks.h"

// The title covers rows 1280 to 1360, both included: seconds 64 to 68.
inline constexpr double TITLE_FIRST_ROW = 1280.0;
inline constexpr double TITLE_LAST_ROW = 1360.0;

// Requested in this order; only the camera tracks are read afterwards.
inline constexpr const char* TRACK_NAMES[] = {"clear.r", "clear.g", "clear.b", "cam.rot", "cam.dist"};

// The two tracks every frame reads; null when the set could not make them.
struct CameraTracks {
    const Track* cam_dist = nullptr;
    const Track* cam_rot = nullptr;
};

// Requests the five tracks in their order, which loads each from its file,
// and keeps the camera's two.
CameraTracks camera_tracks_request(TrackSet& set);

enum class Scene { none, landscape, title };

// The title inside its rows, the landscape outside; nothing for a row that is
// not a number.
Scene scene_for_row(double row);

struct FrameValues {
    float y;    // track "cam.dist": the clock of both scenes
    float rot;  // track "cam.rot": the landscape camera's dolly
};

// Evaluates "cam.dist" first, then "cam.rot", at the same unfloored row; a
// missing track gives 0.
FrameValues frame_values(const CameraTracks& tracks, double row);

// Draws the scene of the row with its values; draws nothing for Scene::none.
void frame_draw(const GlFunctions& gl, const ScenePrograms& programs, Scene scene,
                const FrameValues& values, float width, float height);
