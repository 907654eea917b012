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

bool check_program(HeadlessGl& gl, uint32_t program, std::string_view name, std::string& error) {
    std::string log;
    if (headless_gl_program_status(gl, program, log)) return true;
    error = "the " + std::string(name) + " program does not build:\n" + log;
    return false;
}

// A shader text is short; anything bigger is not one.
constexpr uint64_t SHADER_BYTES_MAX = 16u << 20;

// The whole file as text; false with error when it cannot be read.
bool text_read(const std::string& path, std::string& text, std::string& error) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        error = "no shader file " + path;
        return false;
    }
    return input_read_text(path, SHADER_BYTES_MAX, text, error);
}

void draw(Renderer& renderer, Scene scene, const FrameValues& values) {
    headless_gl_clear(*renderer.gl, 0.0f, 0.0f, 0.0f, 1.0f);
    frame_draw(renderer.functions, renderer.programs, scene, values, float(renderer.width),
               float(renderer.height));
}

// Pixels as the screen shows them: alpha has no effect there, so opaque.
Raster opaque_raster(std::vector<uint8_t> rgba, int32_t width, int32_t height) {
    Raster image;
    image.rgba = std::move(rgba);
    if (!image.rgba.empty()) {
        image.width = width;
        image.height = height;
    }
    for (size_t alpha = 3; alpha < image.rgba.size(); alpha += 4) image.rgba[alpha] = 255;
    return image;
}

}  // namespace

SceneSources render_builtin_sources() {
    return {vertex_glsl, landscape_glsl, title_glsl};
}

RendererPtr renderer_create(int32_t width, int32_t height, const SceneSources& sources,
                            std::string& error) {
    HeadlessGlPtr gl = headless_gl_create(width, height, error);
    if (!gl) return nullptr;
    auto renderer = std::make_unique<Renderer>();
    renderer->gl = std::move(gl);
    renderer->functions = headless_gl_functions();
    renderer->width = width;
    renderer->height = height;
    renderer->programs = programs_build(renderer->functions, sources, float(width), float(height));
    if (!check_program(*renderer->gl, renderer->programs.landscape, "landscape", error) ||
        !check_program(*renderer->gl, renderer->programs.title, "title", error))
        return nullptr;
    return renderer;
}

bool scene_texts_read(const ShaderFiles& files, SceneTexts& texts, std::string& error) {
    const SceneSources builtin = render_builtin_sources();
    texts.landscape = builtin.landscape;
    texts.title = builtin.title;
    if (!files.landscape.empty() && !text_read(files.landscape, texts.landscape, error)) return false;
    if (!files.title.empty() && !text_read(files.title, texts.title, error)) return false;
    return true;
}

RendererPtr renderer_create_from_texts(int32_t width, int32_t height, const SceneTexts& texts,
                                       const ShaderFiles& files, std::string& error) {
    SceneSources sources = render_builtin_sources();
    sources.landscape = texts.landscape.c_str();
    sources.title = texts.title.c_str();
    RendererPtr renderer = renderer_create(width, height, sources, error);
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
