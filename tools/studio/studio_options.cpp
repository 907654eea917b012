// The studio's command line, and where it looks when told nothing: the build
// folder it was built in has the stage folder and the generated title text,
// the checkout has the track texts and the landscape's text.
#include "tools/studio/studio_options.h"

#include <filesystem>
#include <system_error>

#include "tools/common/cli.h"

namespace {

bool path_exists(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// The first of the candidates that exists, or "".
std::string first_existing(std::initializer_list<std::filesystem::path> candidates) {
    for (const auto& candidate : candidates)
        if (!candidate.empty() && path_exists(candidate)) return candidate.string();
    return {};
}

void defaults_fill(StudioOptions& options) {
    const std::filesystem::path source = ZIRBELON_SOURCE_DIR, build = ZIRBELON_BUILD_DIR;
    if (options.dir.empty()) {
        options.dir = first_existing({"stage/vaxo.mp3", build / "stage" / "vaxo.mp3"});
        options.dir = options.dir.empty() ? "." : std::filesystem::path(options.dir).parent_path().string();
    }
    if (options.tracks_dir.empty()) options.tracks_dir = first_existing({source / "assets" / "tracks"});
    if (options.shaders.landscape.empty())
        options.shaders.landscape = first_existing({source / "shaders" / "landscape.glsl"});
    if (options.shaders.title.empty()) options.shaders.title = first_existing({build / "shaders" / "title.glsl"});
    if (options.render_tool.empty())
        options.render_tool = first_existing({build / "tools" / "render" / "zirbelon-render"});
}

}  // namespace

std::optional<int> studio_options_parse(std::span<const std::string_view> args, StudioOptions& options) {
    const CliCommand command{
        .tool = "zirbelon-studio",
        .name = "",
        .usage = {"[--dir DIR] [--tracks DIR] [--shader SCENE=FILE] [--row R] [--paused] [--size WxH]\n"
                  "                       [--fullscreen] [--display N] [--shots DIR]"},
        .description =
            "The makers' live loop: the presentation's picture and music play while you\n"
            "edit its tracks and shaders, and every change shows on the next frame.\n"
            "Started with no options from a checkout's build folder, it opens the shipped\n"
            "presentation. F1 in the window lists every key.\n",
        .options =
            {
                {"--dir", "DIR", "the presentation's folder: \"vaxo.mp3\" and sync_*.track\n(default: stage/)",
                 cli_take_string(options.dir), true},
                {"--tracks", "DIR", "the track texts NAME.txt to edit and save\n(default: the checkout's assets/tracks)",
                 cli_take_string(options.tracks_dir), true},
                {"--shader", "SCENE=FILE",
                 "the fragment text of landscape or title, rebuilt when the\nfile changes (default: the checkout's)",
                 cli_take_shader(options.shaders)},
                {"--row", "R", "start at this row (music seconds x 20)",
                 [&options](std::string_view text, std::string& error) {
                     double row = 0.0;
                     if (!cli_number(text, row) || row < 0.0 || row > 1e9) {
                         error = "needs a row from 0 on, not '" + std::string(text) + "'";
                         return false;
                     }
                     options.row = row;
                     return true;
                 }},
                {"--paused", "", "start paused", cli_take_flag(options.paused)},
                {"--size", "WxH", "the window's size (default 1280x720)",
                 [&options](std::string_view text, std::string& error) {
                     if (cli_size(text, 16384, options.width, options.height) && options.width >= 320 &&
                         options.height >= 240)
                         return true;
                     error = "needs WIDTHxHEIGHT from 320x240, not '" + std::string(text) + "'";
                     return false;
                 }},
                {"--fullscreen", "", "fill the screen", cli_take_flag(options.fullscreen)},
                {"--display", "N", "the display to open on (default 0)",
                 [&options](std::string_view text, std::string& error) {
                     int64_t display = 0;
                     if (!cli_integer(text, display) || display < 0 || display > 63) {
                         error = "needs a display number from 0 to 63, not '" + std::string(text) + "'";
                         return false;
                     }
                     options.display = int32_t(display);
                     return true;
                 }},
                {"--shots", "DIR", "where F12 puts its pictures (default: the working folder)",
                 cli_take_string(options.shots)},
                {"--bench", "", "play for ten seconds, print the frame rate, the seek-to-sound\nlatency and "
                                "the shader reload time, and end",
                 cli_take_flag(options.bench)},
            },
        .operand = nullptr,
    };
    if (const auto done = cli_parse(command, args)) return done;
    defaults_fill(options);
    return std::nullopt;
}
