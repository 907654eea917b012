// zirbelon-studio's start options, for people and for tests: a maker's project
// folder (or one made from the installed presentation with --new), the
// folders and files one by one, and the defaults that make it open the
// shipped presentation when started with none from a checkout's build folder.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/common/shader_files.h"

struct StudioOptions {
    std::string dir;             // the presentation's folder: "vaxo.mp3" and sync_*.track
    std::string tracks_dir;      // the track texts NAME.txt ("" when there are none to edit)
    ShaderFiles shaders;         // the fragment texts watched and rebuilt on change
    std::optional<double> row;   // where to start
    bool paused = false;
    int32_t width = 1280;        // the window
    int32_t height = 720;
    bool fullscreen = false;
    int32_t display = 0;
    std::string project;         // a project folder (studio_project.h), "" for none
    std::string shots;           // where F12 puts its pictures
    std::string render_tool;     // zirbelon-render, for videos of the loop span
    bool bench = false;          // play for a while, print figures, end
    // The live link: players are taken on listen_address:listen_port; port 0
    // for no link.
    std::string listen_address;
    uint16_t listen_port = 0;
};

// Whether an address to listen on reaches this machine alone: 127.x.x.x or
// localhost. Anywhere else, whoever reaches the port can connect.
bool studio_address_loopback(std::string_view address);

// Reads the command line after the program's name. nullopt: go on; otherwise
// the status to end with (0 after --help or --version, 2 after a wrong line).
std::optional<int> studio_options_parse(std::span<const std::string_view> args, StudioOptions& options);
