// zirbelon-render frame: one frame of the presentation to PNG, either for given
// uniform values or for a row of the tracks.
#include <cstdio>
#include <limits>
#include <string>

#include "tools/render/commands.h"
#include "tools/render/frame_mix.h"
#include "tools/render/options.h"
#include "tools/pictures/png.h"
#include "tools/render/render.h"
#include "tools/render/steps.h"
#include "tracks/track_text.h"

namespace {

// A uniform's value: finite, also once narrowed to single precision.
CliTake take_uniform(float& value, bool& given) {
    return [&value, &given](std::string_view text, std::string& error) {
        double wide = 0.0;
        if (!cli_number(text, wide) || std::abs(wide) > std::numeric_limits<float>::max()) {
            error = "needs a finite number in single precision, not " + text_quote(text);
            return false;
        }
        value = float(wide);
        given = true;
        return true;
    };
}

// What --steps pictures.
enum class StepsShown { none, pixel, group };

// The frame's picture of loop trips, with a line on what they cost.
bool steps_frame(const CommonOptions& common, Scene scene, const FrameValues& values, StepsShown shown,
                 uint32_t scale, Raster& picture, std::string& report, std::string& error) {
    SceneTexts texts;
    if (!scene_texts_read(common.shaders, texts, error)) return false;
    SceneTexts counting;
    if (!steps_variant(texts.landscape, counting.landscape, error) ||
        !steps_variant(texts.title, counting.title, error)) {
        error = "cannot count the " + std::string(scene_name(scene)) + " text's loops: " + error;
        return false;
    }
    RendererPtr renderer = renderer_create_from_texts(common.width, common.height, counting, common.shaders, error);
    if (!renderer) return false;
    const std::vector<uint32_t> counts = steps_counts(renderer_frame(*renderer, scene, values));
    const StepsSummary summary = steps_summarize(counts, common.width, common.height);
    const std::vector<uint32_t> shown_counts =
        shown == StepsShown::group ? steps_group_counts(counts, common.width, common.height) : counts;
    const uint32_t top = scale > 0 ? scale : std::max(summary.largest, 1u);
    picture = steps_picture(shown_counts, common.width, common.height, top);
    char line[256];
    std::snprintf(line, sizeof line,
                  "loop trips per pixel %.2f (most %u); paid in groups of %dx%d lanes %.2f, %.0f%% of the lanes "
                  "busy; %s trips, ramp 0 to %u",
                  summary.mean, summary.largest, STEPS_GROUP_WIDTH, STEPS_GROUP_HEIGHT, summary.group_mean,
                  summary.group_mean > 0.0 ? 100.0 * summary.mean / summary.group_mean : 100.0,
                  shown == StepsShown::group ? "each group's longest" : "each pixel's", top);
    report = line;
    return true;
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
    StepsShown steps = StepsShown::none;
    double steps_scale = 0.0;
    CommonOptions common;
    CliCommand command{
        .tool = RENDER_TOOL,
        .name = "frame",
        .usage = {"--y Y [--rot R] [--scene landscape|title] [--size WxH] [--ssaa N] -o OUT.png",
                  "--row ROW [--dir DIR] [--size WxH] [--ssaa N] -o OUT.png",
                  "(--y Y ... | --row ROW ...) --steps pixel|group [--steps-scale N] -o OUT.png"},
        .description = "Renders one frame of the presentation to a PNG with the presentation's own\n"
                       "shader programs, with no display. The PNG is the screen as seen: its first\n"
                       "row is the top of the screen.\n"
                       "With --steps, the picture shows where the scene's text spends its loops:\n"
                       "every loop's trips for each pixel, as a colour ramp, from a variant of the\n"
                       "text that counts them. GL software renderers shade pixels in groups of SIMD\n"
                       "lanes (Mesa's llvmpipe: 4 x 2) and a group runs its loops until its longest\n"
                       "pixel is done; 'group' shows what each pixel pays there.\n",
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
                {"--steps", "WHAT",
                 "picture the loop trips instead of the frame: 'pixel' each\npixel's, 'group' its group's longest",
                 [&steps](std::string_view text, std::string& error) {
                     if (text == "pixel" || text == "group") {
                         steps = text == "pixel" ? StepsShown::pixel : StepsShown::group;
                         return true;
                     }
                     error = "needs pixel or group, not " + text_quote(text);
                     return false;
                 }},
                {"--steps-scale", "N", "the trips at the ramp's top (default: the frame's most)",
                 cli_take_number(steps_scale, 1.0, double(STEPS_COUNT_MAX), "a count from 1 to 65535")},
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
    if (steps != StepsShown::none && ssaa != 1)
        return cli_usage_error(command, "--steps counts one sample a pixel: leave out --ssaa");
    if (steps == StepsShown::none && steps_scale > 0.0) return cli_usage_error(command, "--steps-scale needs --steps");
    std::string error;
    if (!render_size_check(common, ssaa, error)) return cli_usage_error(command, error);

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

    Raster image;
    std::string steps_report;
    if (steps != StepsShown::none) {
        if (!steps_frame(common, scene, {y, rot}, steps, uint32_t(steps_scale), image, steps_report, error))
            return cli_failure(command, error);
    } else {
        RendererPtr renderer = renderer_create_from_options(common, error, ssaa);
        if (!renderer) return cli_failure(command, error);
        FrameMix mix = frame_mix_start(common.width, common.height, ssaa);
        frame_mix_add(mix, renderer_frame(*renderer, scene, {y, rot}));
        image = frame_mix_result(mix);
    }
    if (!png_write(target, image, error)) return cli_failure(command, error);

    // With the picture on standard output, the line goes to stderr.
    std::FILE* report = target.kind == OutputKind::standard_output ? stderr : stdout;
    std::fprintf(report, "%s: %s, y %g, rot %g, %dx%d", output.c_str(), scene_name(scene), double(y), double(rot),
                 common.width, common.height);
    if (has_row) std::fprintf(report, ", row %g of %s", row, common.dir.c_str());
    std::fprintf(report, "\n");
    if (!steps_report.empty()) std::fprintf(report, "%s\n", steps_report.c_str());
    return CLI_OK;
}
