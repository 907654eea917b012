// The subcommands of zirbelon-render. Each takes the arguments after its name
// and returns the process's exit status.
#pragma once

#include <span>
#include <string_view>

int command_frame(std::span<const std::string_view> args);
int command_video(std::span<const std::string_view> args);
int command_sheet(std::span<const std::string_view> args);
int command_bench(std::span<const std::string_view> args);
