// zirbelon-render frame: one frame of the presentation to PNG, either for given
// uniform values or for a row of the tracks.
#include <cstdio>
#include <limits>
#include <string>

#include "tools/render/commands.h"
#include "tools/render/frame_mix.h"
#include "tools/render/options.h"
#include "tools/render/png.h"
#include "tools/render/render.h"

namespace {

const char* scene_name(Scene scene) {
    switch (scene) {
        case Scene::landscape: return "landscape";
        case Scene::title: return "title";
        case Scene::none: break;
    }
    return "nothing";
}

// A uniform's value: finite, also once narrowed to single precision.
CliTake take_uniform(float& value, bool& given) {
    return [&value, &given](std::string_view text, std::string& error) {
        double wide = 0.0;
        if (!cli_number(text, wide) || std::abs(wide) > std::numeric_limits<float>::max()) {
            error = "needs a finite number in single precision, not '" + std::string(text) + "'";
            return false;
        }
        value = float(wide);
        given = true;
        return true;
    };
}

}  // namespace

int command_frame(std::span<const std::string_view> args) {
    float y = 0.0f, rot = 0.0f;
    bool has_y = false, has_rot = false, has_scene = false;
    Scene scene = Scene::landscape;
    double row = 0.0;
    bool has_row = false;
    std::string output;
    int32_t ssaa = 1;
    CommonOptions common;
    CliCommand command{
        .tool = RENDER_TOOL,
        .name = "frame",
        .usage = {"--y Y [--rot R] [--scene landscape|title] [--size WxH] [--ssaa N] -o OUT.png",
                  "--row ROW [--dir DIR] [--size WxH] [--ssaa N] -o OUT.png"},
        .description = "Renders one frame of the presentation to a PNG with the presentation's own\n"
                       "shader programs, with no display. The PNG is the screen as seen: its first\n"
                       "row is the top of the screen.\n",
        .options =
            {
                {"--y", "Y", "the scenes' clock, uniform y", take_uniform(y, has_y)},
                {"--rot", "R", "the landscape camera's dolly, uniform rot (default 0)", take_uniform(rot, has_rot)},
                {"--scene", "NAME", "landscape (default) or title",
                 [&](std::string_view text, std::string& error) {
                     has_scene = true;
                     return cli_take_scene(scene)(text, error);
                 }},
                {"--row", "ROW",
                 "a fractional row (music seconds x 20): the scene, y and rot\nare what the presentation shows at "
                 "that row",
                 [&](std::string_view text, std::string& error) {
                     has_row = true;
                     return cli_take_number(row, -1e300, 1e300, "a finite number")(text, error);
                 }},
                {"-o, --output", "OUT", "the PNG to write ('-' for standard output)", cli_take_string(output)},
                ssaa_option(ssaa),
            },
        .operand = nullptr,
    };
    common_options_add(command.options, common);
    if (const auto done = cli_parse(command, args)) return *done;
    const bool by_values = has_y || has_rot || has_scene;
    if (has_row && by_values)
        return cli_usage_error(command, "--row takes y, rot and the scene from the tracks: give either --row or --y");
    if (!has_row && !has_y)
        return cli_usage_error(command, "say what to render: --y Y (with --rot and --scene) or --row ROW");
    if (common.has_dir && !has_row) return cli_usage_error(command, "--dir names the tracks for --row");
    if (output.empty()) return cli_usage_error(command, "name the PNG to write with -o OUT.png");

    std::string error;
    Output target;
    if (!output_prepare(output, target, error)) return cli_failure(command, error);
    SyncTracks tracks;
    if (has_row) {
        if (!sync_tracks_load(common.dir, tracks, error)) return cli_failure(command, error);
        const RowFrame shown = row_frame(tracks.camera, row);
        scene = shown.scene;
        y = shown.values.y;
        rot = shown.values.rot;
    }

    RendererPtr renderer = renderer_create_from_options(common, error, ssaa);
    if (!renderer) return cli_failure(command, error);
    FrameMix mix = frame_mix_start(common.width, common.height, ssaa);
    frame_mix_add(mix, renderer_frame(*renderer, scene, {y, rot}));
    const Raster image = frame_mix_result(mix);
    if (!png_write(target, image, error)) return cli_failure(command, error);

    // With the picture on standard output, the line goes to stderr.
    std::FILE* report = target.kind == OutputKind::standard_output ? stderr : stdout;
    std::fprintf(report, "%s: %s, y %g, rot %g, %dx%d", output.c_str(), scene_name(scene), double(y), double(rot),
                 common.width, common.height);
    if (has_row) std::fprintf(report, ", row %g of %s", row, common.dir.c_str());
    std::fprintf(report, "\n");
    return CLI_OK;
}
