// Reading a subcommand's arguments: options as "--name value" or "--name=value"
// (so "--y -3.3" is a value, not an option), each value checked in full, the
// options every subcommand shares, and their messages and exit statuses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "presentation/frame.h"
#include "tools/render/render.h"

inline constexpr int EXIT_USAGE = 2;    // the command line is wrong
inline constexpr int EXIT_FAILED = 1;   // the work could not be done

// Largest width or height a frame may have.
inline constexpr int32_t SIZE_MAX_SIDE = 16384;

struct ArgCursor {
    std::span<const std::string_view> args;
    size_t next = 0;
    std::string_view name{};        // the current argument, without any "=value"
    std::string_view inline_value{};  // the text after '=' in "--name=value"
    bool has_inline_value = false;
};

// Moves to the next argument; false when none is left.
bool cursor_next(ArgCursor& cursor);

// The current option's value: its "=value", or else the next argument, taken
// as it stands even when it starts with '-'. False with error when none.
bool cursor_value(ArgCursor& cursor, std::string_view& value, std::string& error);
bool cursor_string(ArgCursor& cursor, std::string& value, std::string& error);

// The current option's value read as a finite double, a float (also finite
// once narrowed), a size "WxH" with sides from 1 to SIZE_MAX_SIDE, or a scene
// name. False with error naming the option and the text.
bool cursor_double(ArgCursor& cursor, double& value, std::string& error);
bool cursor_float(ArgCursor& cursor, float& value, std::string& error);
bool cursor_size(ArgCursor& cursor, int32_t& width, int32_t& height, std::string& error);
bool cursor_scene(ArgCursor& cursor, Scene& scene, std::string& error);

// The current option's value "landscape=FILE" or "title=FILE", put into files.
bool cursor_shader(ArgCursor& cursor, ShaderFiles& files, std::string& error);

// The options every subcommand reads alike: the frames' size, the folder of
// the tracks and the tune, shader files to use instead of the built-in texts,
// and the help.
struct CommonOptions {
    std::string_view size_option = "--size";  // the sheet's frames are its thumbnails: "--thumb"
    int32_t width = 1920;
    int32_t height = 1080;
    std::string dir = ".";
    bool has_dir = false;  // frame takes a folder only with a row
    ShaderFiles shaders{};
    bool help = false;  // -h or --help: the rest of the command line goes unread
};

// Reads the current option into common when it is one every subcommand
// shares; any other is an unknown option or an unexpected argument. False
// with error.
bool cursor_common(ArgCursor& cursor, CommonOptions& common, std::string& error);

// Prints a subcommand's help, whose one "%s" stands for the help lines of the
// shared options that the subcommand's own lines leave out. Returns 0, the
// exit status.
int help_print(const char* help);

// The renderer the shared options ask for: their size and shader files.
RendererPtr renderer_create_from_options(const CommonOptions& common, std::string& error);

// "zirbelon-render COMMAND: message" on stderr, then a pointer to the help for
// usage errors. Return the exit status to end with.
int usage_error(std::string_view command, std::string_view message);
int run_error(std::string_view command, std::string_view message);
