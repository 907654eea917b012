// The shared options of zirbelon-render's subcommands.
#include "tools/render/options.h"

void common_options_add(std::vector<CliOption>& options, CommonOptions& common, std::string_view size_option,
                        std::string_view size_help) {
    options.push_back(
        {size_option, "WxH",
         size_help.empty() ? "the frame's size, which the scenes also receive as k\n(default 1920x1080)" : size_help,
         [&common](std::string_view text, std::string& error) {
             if (cli_size(text, SIZE_MAX_SIDE, common.width, common.height)) return true;
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
                       [&common](std::string_view text, std::string& error) {
                           const size_t equals = text.find('=');
                           const std::string_view scene = text.substr(0, equals);
                           const std::string_view file =
                               equals == std::string_view::npos ? "" : text.substr(equals + 1);
                           if (file.empty() || (scene != "landscape" && scene != "title")) {
                               error = "needs landscape=FILE or title=FILE, not '" + std::string(text) + "'";
                               return false;
                           }
                           (scene == "landscape" ? common.shaders.landscape : common.shaders.title) =
                               std::string(file);
                           return true;
                       }});
}

CliTake cli_take_scene(Scene& scene) {
    return [&scene](std::string_view text, std::string& error) {
        if (text == "landscape") {
            scene = Scene::landscape;
        } else if (text == "title") {
            scene = Scene::title;
        } else {
            error = "needs landscape or title, not '" + std::string(text) + "'";
            return false;
        }
        return true;
    };
}

RendererPtr renderer_create_from_options(const CommonOptions& common, std::string& error) {
    return renderer_create_from_files(common.width, common.height, common.shaders, error);
}
