// The command line of a zirbelon-render video.
#include "tools/common/render_call.h"

std::vector<std::string> render_video_arguments(const RenderVideoCall& call) {
    std::vector<std::string> arguments = {"--dir", call.dir, "--from", cli_number_text(call.from),
                                          "--to",  cli_number_text(call.to), "-o", call.output};
    if (!call.shaders.landscape.empty())
        arguments.insert(arguments.end(), {"--shader", "landscape=" + call.shaders.landscape});
    if (!call.shaders.title.empty()) arguments.insert(arguments.end(), {"--shader", "title=" + call.shaders.title});
    return arguments;
}
