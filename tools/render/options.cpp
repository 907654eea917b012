// The shared options of zirbelon-render's subcommands.
#include "tools/render/options.h"
#include "tracks/track_text.h"

void common_options_add(std::vector<CliOption>& options, CommonOptions& common, std::string_view size_option,
                        std::string_view size_help) {
    options.push_back(
        {size_option, "WxH",
         size_help.empty() ? "the frame's size, which the scenes also receive as k\n(default 1920x1080)" : size_help,
         [&common](std::string_view text, std::string& error) {
             if (cli_size(text, SIZE_MAX_SIDE, common.width, common.height)) {
                 common.has_size = true;
                 return true;
             }
             error = "needs WIDTHxHEIGHT with sides from 1 to " + std::to_string(SIZE_MAX_SIDE) + ", not '" +
                     std::string(text) + "'";
             return false;
         }});
    options.push_back({"--dir", "DIR",
                       "the folder of \"vaxo.mp3\" and the track files sync_*.track\n(default: the working directory)",
                       [&common](std::string_view text, std::string&) {
                           common.dir = std::string(text);
                           common.has_dir = true;
                           return true;
                       }});
    options.push_back({"--shader", "SCENE=FILE",
                       "render the scene (landscape or title) with the fragment\ntext in FILE instead of the built-in "
                       "one; a text that does\nnot build ends the run with the GL's log",
                       cli_take_shader(common.shaders)});
}

CliTake cli_take_scene(Scene& scene) {
    return [&scene](std::string_view text, std::string& error) {
        if (text == "landscape") {
            scene = Scene::landscape;
        } else if (text == "title") {
            scene = Scene::title;
        } else {
            error = "needs landscape or title, not " + text_quote(text);
            return false;
        }
        return true;
    };
}

bool render_size_check(const CommonOptions& common, int32_t factor, std::string& error) {
    if (int64_t(common.width) * factor <= SIZE_MAX_SIDE && int64_t(common.height) * factor <= SIZE_MAX_SIDE) return true;
    error = "--ssaa " + std::to_string(factor) + " would render " + std::to_string(int64_t(common.width) * factor) +
            "x" + std::to_string(int64_t(common.height) * factor) + " pixels, more than " +
            std::to_string(SIZE_MAX_SIDE) + " a side";
    return false;
}

RendererPtr renderer_create_from_options(const CommonOptions& common, std::string& error, int32_t factor) {
    return renderer_create_from_files(common.width * factor, common.height * factor, common.shaders, error);
}

CliOption ssaa_option(int32_t& factor) {
    return {"--ssaa", "N",
            "anti-aliasing: render each frame N times as wide and high\n(2, 3 or 4; the scenes receive that size "
            "as k) and take\nthe mean of each N x N block (default 1: off)",
            [&factor](std::string_view text, std::string& error) {
                int64_t value = 0;
                if (!cli_integer(text, value) || value < 1 || value > SSAA_MAX) {
                    error = "needs 1, 2, 3 or 4, not " + text_quote(text);
                    return false;
                }
                factor = int32_t(value);
                return true;
            }};
}
