// A maker's project folder, which the studio opens and `--new` makes: the
// presentation's folder itself ("vaxo.mp3" and the sync_*.track files, which
// zirbelon runs from), the track texts in tracks/NAME.txt, the fragment texts
// in shaders/landscape.glsl and shaders/title.glsl, and the shots in shots/.
// The sources of a new one are the installed presentation (PREFIX/lib/zirbelon
// and PREFIX/share/zirbelon, found from the studio's own binary) or, in a
// checkout's build, the stage, the assets and the shaders.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tools/studio/studio_options.h"

// Where a new project's files come from.
struct ProjectSources {
    std::filesystem::path presentation;  // vaxo.mp3 and sync_*.track
    std::filesystem::path texts;         // NAME.txt
    std::filesystem::path landscape;     // the fragment texts
    std::filesystem::path title;
};

// The folder of the running binary ("" when it cannot be told).
std::filesystem::path studio_binary_folder();

// The installed presentation beside bin/: PREFIX/lib/zirbelon and
// PREFIX/share/zirbelon; nullopt when bin's prefix holds none.
std::optional<ProjectSources> project_sources_installed(const std::filesystem::path& bin);

// Makes the project folder dir from the sources: dir must be new or empty.
// False with the reason in error; nothing is left half made.
bool project_create(const std::filesystem::path& dir, const ProjectSources& sources, std::string& error);

// The options that open the project in dir, where the caller named none.
void project_options_fill(const std::filesystem::path& dir, StudioOptions& options);
