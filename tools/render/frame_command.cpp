// zirbelon-render frame: one frame of the presentation to PNG, either for given
// uniform values or for a row of the tracks.
#include <cstdio>
#include <string>

#include "tools/render/commands.h"
#include "tools/render/options.h"
#include "tools/render/png.h"
#include "tools/render/render.h"

namespace {

constexpr std::string_view COMMAND = "frame";

constexpr const char* HELP =
    "Usage: zirbelon-render frame --y Y [--rot R] [--scene landscape|title] [--size WxH] -o OUT.png\n"
    "       zirbelon-render frame --row ROW [--dir DIR] [--size WxH] -o OUT.png\n"
    "\n"
    "Renders one frame of the presentation to a PNG with the presentation's own\n"
    "shader programs, with no display. The PNG is the screen as seen: its first\n"
    "row is the top of the screen.\n"
    "\n"
    "  --y Y            the scenes' clock, uniform y\n"
    "  --rot R          the landscape camera's dolly, uniform rot (default 0)\n"
    "  --scene NAME     landscape (default) or title\n"
    "  --row ROW        a fractional row (music seconds x 20): the scene, y and rot\n"
    "                   are what the presentation shows at that row\n"
    "  --dir DIR        the folder of the track files sync_*.track, with --row\n"
    "                   (default: the working directory)\n"
    "  --size WxH       the frame's size, which the scenes also receive as k\n"
    "                   (default 1920x1080)\n"
    "  -o, --output OUT the PNG to write\n"
    "%s"
    "  -h, --help       this help\n";

struct FrameOptions {
    bool has_y = false;
    bool has_rot = false;
    bool has_scene = false;
    bool has_row = false;
    float y = 0.0f;
    float rot = 0.0f;
    Scene scene = Scene::landscape;
    double row = 0.0;
    std::string output;
    CommonOptions common;
};

const char* scene_name(Scene scene) {
    switch (scene) {
        case Scene::landscape: return "landscape";
        case Scene::title: return "title";
        case Scene::none: break;
    }
    return "nothing";
}

// Reads the options into frame; false with error on a wrong command line.
bool parse(std::span<const std::string_view> args, FrameOptions& frame, std::string& error) {
    ArgCursor cursor{args};
    while (!frame.common.help && cursor_next(cursor)) {
        const std::string_view name = cursor.name;
        bool ok = true;
        if (name == "--y") {
            ok = cursor_float(cursor, frame.y, error);
            frame.has_y = true;
        } else if (name == "--rot") {
            ok = cursor_float(cursor, frame.rot, error);
            frame.has_rot = true;
        } else if (name == "--scene") {
            ok = cursor_scene(cursor, frame.scene, error);
            frame.has_scene = true;
        } else if (name == "--row") {
            ok = cursor_double(cursor, frame.row, error);
            frame.has_row = true;
        } else if (name == "-o" || name == "--output") {
            ok = cursor_string(cursor, frame.output, error);
        } else {
            ok = cursor_common(cursor, frame.common, error);
        }
        if (!ok) return false;
    }
    if (frame.common.help) return true;
    const bool by_values = frame.has_y || frame.has_rot || frame.has_scene;
    if (frame.has_row && by_values) {
        error = "--row takes y, rot and the scene from the tracks: give either --row or --y";
        return false;
    }
    if (!frame.has_row && !frame.has_y) {
        error = "say what to render: --y Y (with --rot and --scene) or --row ROW";
        return false;
    }
    if (frame.common.has_dir && !frame.has_row) {
        error = "--dir names the tracks for --row";
        return false;
    }
    if (frame.output.empty()) {
        error = "name the PNG to write with -o OUT.png";
        return false;
    }
    return true;
}

}  // namespace

int command_frame(std::span<const std::string_view> args) {
    FrameOptions frame;
    std::string error;
    if (!parse(args, frame, error)) return usage_error(COMMAND, error);
    if (frame.common.help) return help_print(HELP);

    SyncTracks tracks;
    if (frame.has_row) {
        if (!sync_tracks_load(frame.common.dir, tracks, error)) return run_error(COMMAND, error);
        const RowFrame shown = row_frame(tracks.camera, frame.row);
        frame.scene = shown.scene;
        frame.y = shown.values.y;
        frame.rot = shown.values.rot;
    }

    RendererPtr renderer = renderer_create_from_options(frame.common, error);
    if (!renderer) return run_error(COMMAND, error);
    const Raster image = renderer_frame(*renderer, frame.scene, {frame.y, frame.rot});
    if (!png_write(frame.output, image, error)) return run_error(COMMAND, error);

    std::printf("%s: %s, y %g, rot %g, %dx%d", frame.output.c_str(), scene_name(frame.scene),
                double(frame.y), double(frame.rot), frame.common.width, frame.common.height);
    if (frame.has_row) std::printf(", row %g of %s", frame.row, frame.common.dir.c_str());
    std::printf("\n");
    return 0;
}
