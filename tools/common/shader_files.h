// Shader files in place of the built-in fragment texts, as zirbelon-render
// and the studio take them on their command lines: --shader SCENE=FILE.
#pragma once

#include <string>

#include "tools/common/cli.h"

// A file name per scene, empty for the built-in text.
struct ShaderFiles {
    std::string landscape;
    std::string title;
};

// Reads SCENE=FILE (landscape or title) into the scene's file.
CliTake cli_take_shader(ShaderFiles& files);
