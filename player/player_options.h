// The player's command line: which presentation, how it is shown, where it
// starts, and which studio it follows.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/player_window.h"

struct PlayerOptions {
    std::string folder = ".";  // "vaxo.mp3" and sync_*.track, as the presentation finds them beside it
    PlayerWindowConfig window;
    double from_seconds = 0.0;
    std::string link_host;     // empty: no link
    uint16_t link_port = 0;
};

// nullopt: go on and play; otherwise the status to end with (help, a usage error).
std::optional<int> player_options_parse(std::span<const std::string_view> args, PlayerOptions& options);
