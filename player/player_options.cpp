// The player's options, read by the tools' one command-line parser.
#include "player/player_options.h"

#include "player/player_link.h"
#include "tools/common/cli.h"
#include "tracks/track_text.h"

std::optional<int> player_options_parse(std::span<const std::string_view> args, PlayerOptions& options) {
    bool folder_given = false;
    const CliCommand command{
        .tool = "zirbelon-player",
        .name = "",
        .usage = {"[FOLDER] [--windowed] [--size WxH] [--display N] [--from TIME] [--link HOST[:PORT]]"},
        .description =
            "Plays the presentation in FOLDER (default: here), \"vaxo.mp3\" and its\n"
            "sync_*.track files, as zirbelon does, with a choice of window and start.\n"
            "With --link it follows a zirbelon-studio that listens for players (its\n"
            "--listen): the studio's keys, shaders, seeks and pauses show here as they\n"
            "are made, and a lost studio is looked for again every second while the\n"
            "show goes on. The player writes no file. Escape ends it.\n",
        .options =
            {
                {"--windowed", "", "a window of 1920x1080 instead of the whole screen",
                 [&options](std::string_view, std::string&) {
                     options.window.fullscreen = false;
                     return true;
                 }},
                {"--size", "WxH",
                 "a window of this size (implies --windowed); the picture is\nletterboxed at 16:9 and "
                 "drawn as at 1920x1080",
                 [&options](std::string_view text, std::string& error) {
                     if (cli_size(text, 16384, options.window.width, options.window.height)) {
                         options.window.fullscreen = false;
                         return true;
                     }
                     error = "needs WIDTHxHEIGHT, not " + text_quote(text);
                     return false;
                 }},
                {"--display", "N", "the display to open on, from 0 (default 0)",
                 cli_take_display(options.window.display)},
                {"--from", "TIME", "start at this music position, seconds or M:SS (default 0)",
                 cli_take_time(options.from_seconds, 0.0, 86400.0, "a music position from 0 to 86400 seconds")},
                {"--link", "HOST[:PORT]",
                 "follow the studio listening there (port 7720 unless given)",
                 [&options](std::string_view text, std::string& error) {
                     std::string why;
                     if (player_link_address(text, options.link_host, options.link_port, why)) return true;
                     error = why + ", not " + text_quote(text);
                     return false;
                 }},
            },
        .operand =
            [&](std::string_view operand, std::string& error) {
                if (folder_given) {
                    error = "one presentation folder at a time, not also " + text_quote(operand);
                    return false;
                }
                folder_given = true;
                options.folder = std::string(operand);
                return true;
            },
    };
    return cli_parse(command, args);
}
