// Offline rendering of the presentation's scenes: a headless GL context with
// both programs built the way the presentation builds them, frames and tiles
// read back as the screen shows them, and the tracks of a folder turned into
// what a row shows. The base of every zirbelon-render subcommand.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "presentation/frame.h"
#include "tools/gl/headless_gl.h"
#include "tools/gl/scene_pipeline.h"
#include "tools/pictures/raster.h"

// A rectangle of the frame in window coordinates: x and y count from the lower
// left, as gl_FragCoord does.
struct Tile {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

struct Renderer {
    HeadlessGlPtr gl;
    GlFunctions functions;
    ScenePrograms programs;
    int32_t width;   // the frame's size, which the scenes also receive as k
    int32_t height;
};

using RendererPtr = std::unique_ptr<Renderer>;

// A width x height frame with both programs built from the texts in the
// presentation's order. Null with the reason in error when no GL can be had or
// a program does not compile or link (error then carries the GL's log).
RendererPtr renderer_create(int32_t width, int32_t height, const SceneTexts& texts, std::string& error);

// renderer_create with the texts; an error from a text that does not build
// names its file, when it came from one.
RendererPtr renderer_create_from_texts(int32_t width, int32_t height, const SceneTexts& texts,
                                       const ShaderFiles& files, std::string& error);

// renderer_create with the files' texts in place of the built-in ones. Null
// with the reason in error when a file cannot be read or its text does not
// build; error then names the file and carries the GL's log.
RendererPtr renderer_create_from_files(int32_t width, int32_t height, const ShaderFiles& files,
                                       std::string& error);

// The whole frame of the scene with the values, as the screen shows it: the
// first row is the top, and alpha is opaque since it has no effect on the
// screen. Scene::none leaves it black.
Raster renderer_frame(Renderer& renderer, Scene scene, const FrameValues& values);

// Only the tile's pixels, shaded exactly as in the whole frame.
Raster renderer_tile(Renderer& renderer, Scene scene, const FrameValues& values, const Tile& tile);

// Renders in flight, for runs of many: each render is drawn and left to the
// GL's threads before the one before it is read back, so that the GL draws
// render N + 1 while the caller turns, mixes and hands on render N. Renders
// come back in the order they went in, each byte for byte what renderer_frame
// gives for it. While renders are in flight the renderer draws nothing else.
struct FramePipeline {
    Renderer* renderer = nullptr;
    // Submitted and not yet taken: with two, the older has been read into the
    // GL's pack buffer and the newer is in the framebuffer.
    int32_t in_flight = 0;
};

FramePipeline frame_pipeline_start(Renderer& renderer);

// Draws the whole frame of the scene with the values and returns without
// waiting for it, once the render before it, if one is in flight, is read.
// False, drawing nothing, when two renders are in flight (take one first) or
// the one before cannot be read.
bool frame_pipeline_submit(FramePipeline& pipeline, Scene scene, const FrameValues& values);

// The oldest render in flight, as renderer_frame gives it; empty when none is
// or its pixels could not be had.
Raster frame_pipeline_take(FramePipeline& pipeline);

// The presentation's track set read from a folder: "sync" and its five tracks,
// requested in the presentation's order.
struct SyncTracks {
    TrackSetPtr set;
    CameraTracks camera;
};

// Loads the tracks of dir. False with the reason in error when a camera track
// file is missing or its path is too long; the presentation would quietly
// evaluate such a track to 0, a tool says so.
bool sync_tracks_load(const std::filesystem::path& dir, SyncTracks& tracks, std::string& error);
