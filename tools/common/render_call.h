// How another program asks zirbelon-render for a video (the studio's V key):
// the command line after "zirbelon-render video", written here once beside
// the tool's own options so that the two cannot part (a test runs it).
#pragma once

#include <string>
#include <vector>

#include "tools/common/shader_files.h"

struct RenderVideoCall {
    std::string dir;     // the presentation's folder
    double from = 0.0;   // music seconds
    double to = 0.0;
    std::string output;
    ShaderFiles shaders;
};

std::vector<std::string> render_video_arguments(const RenderVideoCall& call);
