// zirbelon-render: pictures of the presentation without a display. Dispatches
// to one subcommand per job.
#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "tools/render/commands.h"
#include "tools/render/options.h"

namespace {

struct Command {
    std::string_view name;
    int (*run)(std::span<const std::string_view> args);
    std::string_view summary;
};

constexpr Command COMMANDS[] = {
    {"frame", command_frame, "one frame, for given values or a row of the tracks, to PNG"},
    {"video", command_video, "the presentation with its music as an MP4 video, or as PNG frames"},
    {"sheet", command_sheet, "a contact sheet: the whole timeline in one labelled PNG"},
    {"bench", command_bench, "milliseconds per frame of each scene and of the whole presentation"},
};

void print_help(std::FILE* stream) {
    std::fputs("Usage: zirbelon-render COMMAND [OPTIONS]\n"
               "\n"
               "Renders the presentation with its own shader programs and tracks, with no\n"
               "display.\n"
               "\n"
               "Commands:\n",
               stream);
    for (const Command& command : COMMANDS)
        std::fprintf(stream, "  %-10.*s %.*s\n", int(command.name.size()), command.name.data(),
                     int(command.summary.size()), command.summary.data());
    std::fputs("\n'zirbelon-render COMMAND --help' describes a command's options.\n", stream);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + std::min(argc, 1), argv + argc);
    if (args.empty()) {
        print_help(stderr);
        return EXIT_USAGE;
    }
    if (args[0] == "-h" || args[0] == "--help") {
        print_help(stdout);
        return 0;
    }
    for (const Command& command : COMMANDS)
        if (args[0] == command.name) return command.run(std::span(args).subspan(1));
    std::fprintf(stderr, "zirbelon-render: unknown command '%.*s'\nTry 'zirbelon-render --help'.\n",
                 int(args[0].size()), args[0].data());
    return EXIT_USAGE;
}
