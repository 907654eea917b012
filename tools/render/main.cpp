// zirbelon-render: pictures of the presentation without a display. Dispatches
// to one subcommand per job.
#include "tools/common/cli.h"
#include "tools/render/commands.h"
#include "tools/render/options.h"

namespace {

constexpr CliSubcommand COMMANDS[] = {
    {"frame", "-o OUT.png", "one frame, for given values or a row of the tracks, to PNG", command_frame},
    {"video", "-o OUT.mp4", "the presentation with its music as a video, or as PNG frames", command_video},
    {"sheet", "-o SHEET.png", "a contact sheet: the whole timeline in one labelled PNG", command_sheet},
    {"join", "JOB... -o OUT", "the video of a job's parts, rendered apart, encoded once", command_join},
    {"bench", "", "milliseconds per frame of each scene and of the whole presentation", command_bench},
};

}  // namespace

int main(int argc, char** argv) {
    return cli_tool_main({RENDER_TOOL,
                          "Renders the presentation with its own shader programs and tracks, with no\n"
                          "display.\n",
                          COMMANDS},
                         argc, argv);
}
