// zirbelon-render join: the video of a job whose parts were rendered apart
// (video --job --part, here or on other machines), encoded once from the
// chunks of all their folders. It is the video command as the parts recorded
// it, so the file is the one a single run gives; a chunk that is missing or
// damaged everywhere is rendered here first, never skipped.
#include <string>
#include <vector>

#include "tools/common/cli.h"
#include "tools/render/commands.h"
#include "tools/render/job.h"
#include "tools/render/options.h"

int command_join(std::span<const std::string_view> args) {
    std::vector<std::string> folders;
    std::string output;
    bool quiet = false;
    const CliCommand command{
        .tool = RENDER_TOOL,
        .name = "join",
        .usage = {"JOB... -o OUT"},
        .description = "Encodes the video of the job folders' chunks, with the options of the video\n"
                       "command that rendered them (as the first folder records them), into OUT,\n"
                       "the same bytes a single run gives. Run it where the presentation's folder\n"
                       "is at the path the parts were given. Chunks missing or damaged in every\n"
                       "folder are rendered into the first folder first.\n",
        .options = {{"-o, --output", "OUT", "the video to write", cli_take_string(output)}, cli_quiet_option(quiet)},
        .operand =
            [&folders](std::string_view operand, std::string&) {
                folders.emplace_back(operand);
                return true;
            },
    };
    if (const auto done = cli_parse(command, args)) return *done;
    if (folders.empty()) return cli_usage_error(command, "name the job folders to join");
    if (output.empty()) return cli_usage_error(command, "say where the video goes: -o OUT");
    JobManifest manifest;
    std::string error;
    if (!job_manifest_read(folders.front(), manifest, error))
        return cli_failure(command, error.empty() ? folders.front() + " holds no job (no " +
                                                        std::string(JOB_MANIFEST) + ")"
                                                  : error);
    std::vector<std::string> video_args = manifest.arguments;
    for (const std::string& more : {std::string("-o"), output, std::string("--job"), folders.front()})
        video_args.push_back(more);
    if (quiet) video_args.push_back("--quiet");
    const std::vector<std::string_view> views(video_args.begin(), video_args.end());
    return video_run(views, std::vector<std::string>(folders.begin() + 1, folders.end()));
}
