// What the studio's window holds beyond the session its commands act on: the
// options, the SDL window, the picture, the sound, the watched files, the video
// in the background, the live link's players and what the panels keep between
// frames. The program
// (studio_app.cpp) owns it; the panels (ui/) draw it and the session.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/studio/file_watch.h"
#include "tools/studio/model/render_size.h"
#include "tools/studio/model/timeline_view.h"
#include "tools/studio/scene_view.h"
#include "tools/studio/studio_audio.h"
#include "tools/studio/studio_commands.h"
#include "tools/studio/studio_link.h"
#include "tools/studio/studio_options.h"
#include "tools/studio/video_job.h"

// The tune's loudness per row, for the timeline's waveform: computed once.
struct Waveform {
    std::vector<float> low;   // per row, -1 to 1
    std::vector<float> high;
};

struct StudioWindow {
    StudioOptions options;
    SDL_Window* window = nullptr;
    StudioSession session;
    StudioEffects effects;

    StudioAudioPtr audio;  // null: silent
    std::string silent_reason;
    bool sound_muted = false;  // a linked player leads: its sound is the one heard
    Waveform waveform;

    SceneView view;
    SceneTexts texts;  // as last read, for the players
    std::string renderer_name;
    RenderSizeRule size_rule;
    RenderSize drawn{};      // the size of the picture in the texture
    double scene_ms = 0.0;   // what the last scene render took
    double window_fps = 0.0;
    // What the texture shows, so that it is redrawn only when something changed.
    double drawn_row = -1.0;
    uint64_t drawn_generation = 0;
    uint64_t edits_seen = 0;

    TimelineView timeline;
    uint32_t plot_texture = 0;  // the curve view, drawn by the plot's own rules
    std::string plot_key;       // what the plot texture shows

    std::vector<FileWatch> shader_watches;  // landscape, title
    std::vector<FileWatch> track_watches;   // texts and binaries of the model's tracks
    int64_t next_watch_ns = 0;

    VideoJob video;

    std::unique_ptr<StudioLink> link;  // null without --listen
};
