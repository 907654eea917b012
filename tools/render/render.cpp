// Headless frames and tiles of the two scenes, and the tracks that drive them.
#include "tools/render/render.h"

#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "presentation/presentation.h"
#include "tools/common/files.h"
#include "tracks/track_file.h"

namespace {

void draw(Renderer& renderer, Scene scene, const FrameValues& values) {
    headless_gl_make_current(*renderer.gl);
    scene_draw(renderer.functions, renderer.programs, scene, values, renderer.width, renderer.height);
}

Raster opaque_raster(std::vector<uint8_t> rgba, int32_t width, int32_t height) {
    Raster image;
    image.rgba = std::move(rgba);
    if (!image.rgba.empty()) {
        image.width = width;
        image.height = height;
    }
    rgba_make_opaque(image.rgba);
    return image;
}

}  // namespace

RendererPtr renderer_create(int32_t width, int32_t height, const SceneTexts& texts, std::string& error) {
    HeadlessGlPtr gl = headless_gl_create(width, height, error);
    if (!gl) return nullptr;
    auto renderer = std::make_unique<Renderer>();
    renderer->gl = std::move(gl);
    renderer->functions = headless_gl_functions();
    renderer->width = width;
    renderer->height = height;
    const SceneBuild build = scene_build(renderer->functions, texts, float(width), float(height));
    renderer->programs = build.programs;
    if (!build.landscape) error = "the landscape program does not build:\n" + build.landscape_log;
    else if (!build.title) error = "the title program does not build:\n" + build.title_log;
    else return renderer;
    return nullptr;
}

RendererPtr renderer_create_from_texts(int32_t width, int32_t height, const SceneTexts& texts,
                                       const ShaderFiles& files, std::string& error) {
    RendererPtr renderer = renderer_create(width, height, texts, error);
    if (renderer) return renderer;
    // Name the file whose text failed, when the failure is one of the texts'.
    const std::string failed = error.starts_with("the landscape") ? files.landscape
                               : error.starts_with("the title")   ? files.title
                                                                  : std::string();
    if (!failed.empty()) error = failed + ": " + error;
    return nullptr;
}

RendererPtr renderer_create_from_files(int32_t width, int32_t height, const ShaderFiles& files,
                                       std::string& error) {
    SceneTexts texts;
    if (!scene_texts_read(files, texts, error)) return nullptr;
    return renderer_create_from_texts(width, height, texts, files, error);
}

Raster renderer_frame(Renderer& renderer, Scene scene, const FrameValues& values) {
    return renderer_tile(renderer, scene, values, {0, 0, renderer.width, renderer.height});
}

Raster renderer_tile(Renderer& renderer, Scene scene, const FrameValues& values, const Tile& tile) {
    const bool whole = tile.x == 0 && tile.y == 0 && tile.width == renderer.width &&
                       tile.height == renderer.height;
    if (!whole) headless_gl_scissor(*renderer.gl, tile.x, tile.y, tile.width, tile.height);
    draw(renderer, scene, values);
    if (!whole) headless_gl_scissor_off(*renderer.gl);
    return opaque_raster(headless_gl_read_rgba(*renderer.gl, tile.x, tile.y, tile.width, tile.height), tile.width,
                         tile.height);
}

FramePipeline frame_pipeline_start(Renderer& renderer) {
    return {&renderer, 0};
}

// llvmpipe copies a read into the pack buffer at once, after waiting for its
// threads to finish what was drawn: so the older render is read before the
// newer one is drawn, never after, and the flush sets the threads going on
// the newer one while the caller maps and turns the older.
bool frame_pipeline_submit(FramePipeline& pipeline, Scene scene, const FrameValues& values) {
    Renderer& renderer = *pipeline.renderer;
    if (pipeline.in_flight >= 2) return false;
    if (pipeline.in_flight == 1 &&
        !headless_gl_read_start(*renderer.gl, 0, 0, renderer.width, renderer.height))
        return false;
    draw(renderer, scene, values);
    headless_gl_flush(*renderer.gl);
    ++pipeline.in_flight;
    return true;
}

Raster frame_pipeline_take(FramePipeline& pipeline) {
    Renderer& renderer = *pipeline.renderer;
    if (pipeline.in_flight == 0) return {};
    // A lone render is still only in the framebuffer.
    const bool read = pipeline.in_flight == 2 ||
                      headless_gl_read_start(*renderer.gl, 0, 0, renderer.width, renderer.height);
    --pipeline.in_flight;
    if (!read) return {};
    return opaque_raster(headless_gl_read_finish(*renderer.gl), renderer.width, renderer.height);
}

bool sync_tracks_load(const std::filesystem::path& dir, SyncTracks& tracks, std::string& error) {
    const std::string base = (dir / TRACKSET_BASE_NAME).string();
    // The camera's tracks first, in the order a frame evaluates them.
    std::vector<std::string_view> checked = {CAMERA_DIST_TRACK, CAMERA_ROT_TRACK};
    checked.insert(checked.end(), std::begin(TRACK_NAMES), std::end(TRACK_NAMES));
    for (const std::string_view name : checked) {
        const std::optional<std::string> path = track_file_path(base, name);
        if (!path) {
            error = "the track file path " + base + "_" + std::string(name) + ".track is longer than " +
                    std::to_string(TRACK_PATH_MAX) + " characters";
            return false;
        }
        std::error_code problem;
        const auto status = std::filesystem::status(*path, problem);
        const bool camera = name == CAMERA_DIST_TRACK || name == CAMERA_ROT_TRACK;
        if (status.type() == std::filesystem::file_type::not_found) {
            if (!camera) continue;  // evaluates to 0, as in the presentation; only the camera is read
            error = "no track file " + *path;
            return false;
        }
        // The set would block on a FIFO and read a device without end.
        if (status.type() != std::filesystem::file_type::regular) {
            error = "the track file " + *path + " is not a regular file";
            return false;
        }
    }
    tracks.set = trackset_create(base);
    if (!tracks.set) {
        error = "out of memory for the track set";
        return false;
    }
    tracks.camera = camera_tracks_request(*tracks.set);
    return true;
}
