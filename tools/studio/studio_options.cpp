// The studio's command line, and where it looks when told nothing: a project
// folder, or inside a checkout's build folder the stage folder and the
// generated title text there and the checkout's track texts and landscape
// text. Anywhere else it needs to be told.
#include "tools/studio/studio_options.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tools/common/cli.h"
#include "tools/studio/studio_project.h"
#include "tracks/track_text.h"

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

// The binary runs where the build folder it was built in made it.
bool in_checkout_build(const std::filesystem::path& bin) {
    std::error_code ignored;
    return !bin.empty() &&
           std::filesystem::equivalent(bin, std::filesystem::path(ZIRBELON_BUILD_DIR) / "tools" / "studio", ignored);
}

// The shipped presentation of the checkout, as a new project's sources.
ProjectSources checkout_sources() {
    const std::filesystem::path source = ZIRBELON_SOURCE_DIR, build = ZIRBELON_BUILD_DIR;
    return {build / "stage", source / "assets" / "tracks", source / "shaders" / "landscape.glsl",
            build / "shaders" / "title.glsl"};
}

void checkout_defaults_fill(StudioOptions& options) {
    const std::filesystem::path source = ZIRBELON_SOURCE_DIR, build = ZIRBELON_BUILD_DIR;
    if (options.dir.empty()) {
        options.dir = first_existing({"stage/vaxo.mp3", build / "stage" / "vaxo.mp3"});
        options.dir = options.dir.empty() ? "." : std::filesystem::path(options.dir).parent_path().string();
    }
    if (options.tracks_dir.empty()) options.tracks_dir = first_existing({source / "assets" / "tracks"});
    if (options.shaders.landscape.empty())
        options.shaders.landscape = first_existing({source / "shaders" / "landscape.glsl"});
    if (options.shaders.title.empty()) options.shaders.title = first_existing({build / "shaders" / "title.glsl"});
}

// [ADDR:]PORT, the address 127.0.0.1 unless given.
bool listen_take(std::string_view text, StudioOptions& options, std::string& error) {
    const size_t colon = text.rfind(':');
    const std::string_view address = colon == std::string_view::npos ? "127.0.0.1" : text.substr(0, colon);
    int64_t port = 0;
    if (address.empty() || !cli_integer(text.substr(colon == std::string_view::npos ? 0 : colon + 1), port) ||
        port < 1 || port > 65535) {
        error = "needs [ADDR:]PORT with a port from 1 to 65535, not " + text_quote(text);
        return false;
    }
    options.listen_address = std::string(address);
    options.listen_port = uint16_t(port);
    return true;
}

}  // namespace

bool studio_address_loopback(std::string_view address) {
    // A name that merely starts like one ("127.example.org") may be anywhere.
    const bool numeric = address.find_first_not_of("0123456789.") == std::string_view::npos;
    return address == "localhost" || (numeric && address.starts_with("127."));
}

std::optional<int> studio_options_parse(std::span<const std::string_view> args, StudioOptions& options) {
    std::string fresh;
    const CliCommand command{
        .tool = "zirbelon-studio",
        .name = "",
        .usage = {"[PROJECT] [--new PROJECT] [--dir DIR] [--tracks DIR] [--shader SCENE=FILE] [--row R]\n"
                  "                       [--paused] [--size WxH] [--fullscreen] [--display N] [--shots DIR]\n"
                  "                       [--listen [ADDR:]PORT]"},
        .description =
            "The makers' live loop: the presentation's picture and music play while you\n"
            "edit its tracks and shaders, and every change shows on the next frame.\n"
            "PROJECT is a folder of your own: the presentation's files (\"vaxo.mp3\" and\n"
            "sync_*.track), the track texts in tracks/, the fragment texts in shaders/ and\n"
            "the shots in shots/. --new PROJECT makes one from the installed presentation\n"
            "and opens it. Started with no options from a checkout's build folder, it opens\n"
            "the shipped presentation. It writes only into the folders it is given. F1 in\n"
            "the window lists every key.\n",
        .options =
            {
                {"--new", "PROJECT", "make a project folder from the installed presentation, and\nopen it",
                 cli_take_string(fresh)},
                {"--dir", "DIR",
                 "the presentation's folder: \"vaxo.mp3\" and sync_*.track\n(default: the project, or the build's stage/)",
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
                         error = "needs a row from 0 on, not " + text_quote(text);
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
                     error = "needs WIDTHxHEIGHT from 320x240, not " + text_quote(text);
                     return false;
                 }},
                {"--fullscreen", "", "fill the screen", cli_take_flag(options.fullscreen)},
                {"--display", "N", "the display to open on (default 0)",
                 cli_take_display(options.display)},
                {"--shots", "DIR", "where F12 puts its pictures (default: the working folder)",
                 cli_take_string(options.shots)},
                {"--listen", "[ADDR:]PORT",
                 "drive players over the live link (docs/link.md): take them on\nPORT (1-65535, the link's is 7720) of "
                 "ADDR, 127.0.0.1 unless\ngiven; on any other address anyone on that network can connect",
                 [&options](std::string_view text, std::string& error) { return listen_take(text, options, error); }},
                {"--bench", "", "play for ten seconds, print the frame rate, the seek-to-sound\nlatency and "
                                "the shader reload time, and end",
                 cli_take_flag(options.bench)},
            },
        .operand =
            [&options](std::string_view operand, std::string& error) {
                if (!options.project.empty()) {
                    error = "one project folder at a time, not also " + text_quote(operand);
                    return false;
                }
                options.project = std::string(operand);
                return true;
            },
    };
    if (const auto done = cli_parse(command, args)) return done;
    const std::filesystem::path bin = studio_binary_folder();
    const bool checkout = in_checkout_build(bin);
    if (!fresh.empty()) {
        if (!options.project.empty()) return cli_usage_error(command, "a project folder or --new, not both");
        const std::optional<ProjectSources> sources = checkout ? checkout_sources() : project_sources_installed(bin);
        if (!sources)
            return cli_failure(command, "no installed presentation beside " + bin.string() +
                                            " (PREFIX/lib/zirbelon and PREFIX/share/zirbelon) to make a project from");
        std::string error;
        if (!project_create(fresh, *sources, error)) return cli_failure(command, error);
        options.project = fresh;
    }
    if (!options.project.empty()) {
        std::error_code code;
        if (!std::filesystem::is_directory(options.project, code))
            return cli_usage_error(command, "no project folder " + options.project +
                                                " (zirbelon-studio --new " + options.project + " makes one)");
        project_options_fill(options.project, options);
    } else if (checkout) {
        checkout_defaults_fill(options);
    } else if (options.dir.empty()) {
        return cli_usage_error(command, "which presentation? Give a project folder (zirbelon-studio PROJECT), make one "
                                        "from the installed presentation (zirbelon-studio --new PROJECT), or name "
                                        "the presentation's folder (--dir DIR)");
    }
    if (options.listen_port != 0 && !studio_address_loopback(options.listen_address))
        std::fprintf(stderr,
                     "zirbelon-studio: warning: listening for players on %s, not on loopback: anyone on that "
                     "network can then connect as a player and read every track and shader (the link has no "
                     "password); do so only on a network you trust\n",
                     options.listen_address.c_str());
    if (options.shots.empty()) options.shots = ".";
    // The tools are found beside the studio's own binary first.
    if (options.render_tool.empty())
        options.render_tool = first_existing({bin / "zirbelon-render", std::filesystem::path(ZIRBELON_BUILD_DIR) /
                                                                           "tools" / "render" / "zirbelon-render"});
    return std::nullopt;
}
