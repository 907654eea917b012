// Project folders: their layout, the installed presentation, and a new one.
#include "tools/studio/studio_project.h"

#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool path_exists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

// The files a project copies: the tune and track files, the texts, the shaders.
struct ProjectFile {
    fs::path from;
    fs::path to;  // relative to the project
};

bool files_list(const ProjectSources& sources, std::vector<ProjectFile>& files, std::string& error) {
    std::error_code code;
    for (const auto& entry : fs::directory_iterator(sources.presentation, code)) {
        const fs::path name = entry.path().filename();
        if (name == "vaxo.mp3" || (name.string().starts_with("sync_") && name.extension() == ".track"))
            files.push_back({entry.path(), name});
    }
    if (!code)
        for (const auto& entry : fs::directory_iterator(sources.texts, code))
            if (entry.path().extension() == ".txt") files.push_back({entry.path(), "tracks" / entry.path().filename()});
    if (code) {
        error = "cannot read the presentation's files: " + code.message();
        return false;
    }
    files.push_back({sources.landscape, "shaders/landscape.glsl"});
    files.push_back({sources.title, "shaders/title.glsl"});
    for (const ProjectFile& file : files)
        if (!path_exists(file.from)) {
            error = "the presentation's " + file.to.string() + " is missing: no " + file.from.string();
            return false;
        }
    return true;
}

}  // namespace

fs::path studio_binary_folder() {
    std::error_code ignored;
    const fs::path binary = fs::read_symlink("/proc/self/exe", ignored);
    return binary.empty() ? fs::path() : binary.parent_path();
}

std::optional<ProjectSources> project_sources_installed(const fs::path& bin) {
    const fs::path prefix = bin.parent_path();
    ProjectSources sources{prefix / "lib" / "zirbelon", prefix / "share" / "zirbelon" / "tracks",
                           prefix / "share" / "zirbelon" / "shaders" / "landscape.glsl",
                           prefix / "share" / "zirbelon" / "shaders" / "title.glsl"};
    if (bin.empty() || !path_exists(sources.presentation / "vaxo.mp3") || !path_exists(sources.texts)) return std::nullopt;
    return sources;
}

bool project_create(const fs::path& dir, const ProjectSources& sources, std::string& error) {
    std::error_code code;
    if (path_exists(dir) && (!fs::is_directory(dir, code) || !fs::is_empty(dir, code))) {
        error = dir.string() + " is there already and not an empty folder: a new project needs a folder of its own";
        return false;
    }
    std::vector<ProjectFile> files;
    if (!files_list(sources, files, error)) return false;
    // Made beside the folder and renamed into place, so that a failure leaves nothing.
    const fs::path making = dir.string() + ".making";
    fs::remove_all(making, code);
    for (const ProjectFile& file : files) {
        fs::create_directories((making / file.to).parent_path(), code);
        if (!code) fs::copy_file(file.from, making / file.to, code);
        if (code) break;
    }
    if (!code) fs::create_directories(making / "shots", code);
    if (!code) {
        fs::remove(dir, code);  // the empty folder, if there was one
        code.clear();
        fs::rename(making, dir, code);
    }
    if (code) {
        std::error_code ignored;
        fs::remove_all(making, ignored);
        error = "cannot make " + dir.string() + ": " + code.message();
        return false;
    }
    return true;
}

void project_options_fill(const fs::path& dir, StudioOptions& options) {
    if (options.dir.empty()) options.dir = dir.string();
    if (options.tracks_dir.empty() && path_exists(dir / "tracks")) options.tracks_dir = (dir / "tracks").string();
    if (options.shaders.landscape.empty() && path_exists(dir / "shaders" / "landscape.glsl"))
        options.shaders.landscape = (dir / "shaders" / "landscape.glsl").string();
    if (options.shaders.title.empty() && path_exists(dir / "shaders" / "title.glsl"))
        options.shaders.title = (dir / "shaders" / "title.glsl").string();
    if (options.shots.empty()) options.shots = (dir / "shots").string();
}
