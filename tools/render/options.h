// The options every zirbelon-render subcommand shares (the frames' size, the
// folder of the tracks and the tune, shader files in place of the built-in
// texts) on the tools' command line, and the renderer they ask for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/common/cli.h"
#include "tools/render/render.h"

inline constexpr std::string_view RENDER_TOOL = "zirbelon-render";

// Largest width or height a frame may have.
inline constexpr int32_t SIZE_MAX_SIDE = 16384;

struct CommonOptions {
    int32_t width = SCREEN_WIDTH;
    int32_t height = SCREEN_HEIGHT;
    bool has_size = false;  // given on the command line, over a preset's
    std::string dir = ".";
    bool has_dir = false;  // frame takes a folder only with a row
    ShaderFiles shaders{};
};

// Adds --size (named size_option: the sheet's frames are its "--thumb"nails),
// --dir and --shader, reading into common.
void common_options_add(std::vector<CliOption>& options, CommonOptions& common,
                        std::string_view size_option = "--size", std::string_view size_help = {});

// Reads "landscape" or "title" into scene.
CliTake cli_take_scene(Scene& scene);

// Whether the size times factor (supersampling) stays within SIZE_MAX_SIDE a
// side; false with error otherwise. A usage error, to be found before any work.
bool render_size_check(const CommonOptions& common, int32_t factor, std::string& error);

// The renderer the shared options ask for: their size (times factor, for
// supersampling: the scenes then receive the larger size as k, which
// render_size_check has allowed) and shader files.
RendererPtr renderer_create_from_options(const CommonOptions& common, std::string& error, int32_t factor = 1);

// --ssaa N: each frame rendered N times as wide and high and averaged down.
inline constexpr int32_t SSAA_MAX = 4;
CliOption ssaa_option(int32_t& factor);
