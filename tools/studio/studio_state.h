// Everything the studio's window shows and acts on, in one record: the models
// (tracks, transport, sizes, timeline), the picture, the sound, the watched
// files and what the interface is in the middle of. The ImGui code draws it
// (studio_ui.h) and turns input into commands on it (studio_keys.h).
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/tune.h"
#include "tools/raster/raster.h"
#include "tools/studio/edit_model.h"
#include "tools/studio/file_watch.h"
#include "tools/studio/render_size.h"
#include "tools/studio/scene_view.h"
#include "tools/studio/studio_audio.h"
#include "tools/studio/studio_options.h"
#include "tools/studio/timeline_view.h"
#include "tools/studio/transport.h"
#include "tools/studio/video_job.h"

// The tune's loudness per row, for the timeline's waveform: computed once.
struct Waveform {
    std::vector<float> low;   // per row, -1 to 1
    std::vector<float> high;
};

struct StudioState {
    StudioOptions options;
    SDL_Window* window = nullptr;

    EditModel model;
    size_t cursor_track = 0;
    std::optional<std::pair<size_t, int32_t>> anchor;  // the other corner of a block selection
    bool typing = false;                               // a value is being typed
    std::string typed;

    Transport transport;
    StudioAudioPtr audio;  // null: silent
    std::string silent_reason;
    Waveform waveform;
    double seconds = 0.0;  // where the picture is this frame
    double row = 0.0;

    SceneView view;
    std::string renderer_name;
    RenderSizeRule size_rule;
    RenderSize drawn{};       // the size of the picture in the texture
    double scene_ms = 0.0;    // what the last scene render took
    double window_fps = 0.0;
    // What the texture shows, so that it is redrawn only when something changed.
    double drawn_row = -1.0;
    uint64_t drawn_generation = 0;
    uint64_t edits_seen = 0;
    uint64_t edits = 0;       // counts edits, undos and reloads

    TimelineView timeline;
    uint32_t plot_texture = 0;  // the curve view, drawn by the plot's own rules
    std::string plot_key;       // what the plot texture shows

    std::vector<FileWatch> shader_watches;  // landscape, title
    std::vector<FileWatch> track_watches;   // texts and binaries of the model's tracks
    int64_t next_watch_ns = 0;

    VideoJob video;
    bool help = false;
    bool quit_asked = false;
    bool quit = false;
    std::string message;  // the last thing the studio has to say
};

// Rebuilds the scene programs from the watched shader files; the message says
// how it went (the GL's log stays on the picture until a build works).
void studio_shaders_reload(StudioState& state);
// Seeks the transport and the sound to a position in seconds.
void studio_seek(StudioState& state, double seconds);
// The frame at the current row at 1920x1080 as a PNG in the shots folder,
// named by its row.
void studio_shot(StudioState& state);
// The loop span (or the whole tune) to a video, by the render tool.
void studio_video(StudioState& state);
// Saves the tracks; the watches then take the written files as seen.
void studio_save(StudioState& state);
