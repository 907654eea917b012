// The subcommands of zirbelon-render. Each takes the arguments after its name
// and returns the process's exit status.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

int command_frame(std::span<const std::string_view> args);
int command_video(std::span<const std::string_view> args);
int command_sheet(std::span<const std::string_view> args);
int command_bench(std::span<const std::string_view> args);
int command_join(std::span<const std::string_view> args);

// The video command, with the chunks of more job folders counted as the job's
// own: what join runs.
int video_run(std::span<const std::string_view> args, const std::vector<std::string>& join_folders);
