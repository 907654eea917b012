// Reading a subcommand's arguments: options as "--name value" or "--name=value"
// (so "--y -3.3" is a value, not an option), each value checked in full, and
// the messages and exit statuses every subcommand shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "frame.h"
#include "render.h"

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

// The current option's value read as a finite double, a float (also finite
// once narrowed), a size "WxH" with sides from 1 to SIZE_MAX_SIDE, or a scene
// name. False with error naming the option and the text.
bool cursor_double(ArgCursor& cursor, double& value, std::string& error);
bool cursor_float(ArgCursor& cursor, float& value, std::string& error);
bool cursor_size(ArgCursor& cursor, int32_t& width, int32_t& height, std::string& error);
bool cursor_scene(ArgCursor& cursor, Scene& scene, std::string& error);

// The current option's value "landscape=FILE" or "title=FILE", put into files.
bool cursor_shader(ArgCursor& cursor, ShaderFiles& files, std::string& error);

// The help lines of the options every subcommand shares.
inline constexpr const char* HELP_SHADER =
    "  --shader SCENE=FILE  render the scene (landscape or title) with the fragment\n"
    "                   text in FILE instead of the built-in one; a text that does\n"
    "                   not build ends the run with the GL's log\n";

// "zirbelon-render COMMAND: message" on stderr, then a pointer to the help for
// usage errors. Return the exit status to end with.
int usage_error(std::string_view command, std::string_view message);
int run_error(std::string_view command, std::string_view message);
