// The tool tests' scratch folders, test inputs and picture helpers.
#include "tests/render/tool_test.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "tools/pictures/raster_png.h"

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

Raster png_read(const fs::path& path) {
    int width = 0, height = 0, channels = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load(path.c_str(), &width, &height, &channels, 4), stbi_image_free);
    Raster image;
    if (!pixels) return image;
    image.width = width;
    image.height = height;
    image.rgba.assign(pixels.get(), pixels.get() + size_t(width) * size_t(height) * 4);
    return image;
}

void save_failure(const Raster& image, const std::string& name) {
    const fs::path failures = RENDER_TEST_FAILURES;
    std::error_code ignored;
    fs::create_directories(failures, ignored);
    const std::vector<uint8_t> png = raster_png_encode(image);
    std::ofstream(failures / (name + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    ADD_FAILURE() << "the picture is kept as " << (failures / (name + ".png"));
}

int64_t rgb_differences(const Raster& a, const Raster& b, int tolerance) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size())
        return int64_t(std::max(a.rgba.size(), b.rgba.size()));
    int64_t differing = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i)
        if (i % 4 != 3 && std::abs(int(a.rgba[i]) - int(b.rgba[i])) > tolerance) ++differing;
    return differing;
}

void ToolTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "zirbelon-render-test-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data())) << std::strerror(errno);
    dir_ = pattern;
}

void ToolTest::TearDown() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string ToolTest::tool_command(const std::vector<std::string>& args, const std::string& environment) {
    std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " '" + ZIRBELON_RENDER + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    return command;
}

ToolRun ToolTest::run(const std::vector<std::string>& args, const std::string& environment,
                      const std::string& prefix) {
    const std::string command = prefix + " " + tool_command(args, environment) + " >out.txt 2>err.txt";
    const int status = shell(command);
    return {status, read_file(dir_ / "out.txt"), read_file(dir_ / "err.txt")};
}

ToolRun ToolTest::run_piped(const std::vector<std::string>& args, const std::string& consumer) {
    std::string command = "{ timeout -k 5 300 env -u DISPLAY -u WAYLAND_DISPLAY '" + std::string(ZIRBELON_RENDER) + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " 2>err.txt; echo $? >status.txt; } | " + consumer + " >out.txt";
    shell(command);
    return {std::atoi(read_file(dir_ / "status.txt").c_str()), read_file(dir_ / "out.txt"),
            read_file(dir_ / "err.txt")};
}

int ToolTest::run_words(const std::string& words) {
    return shell("timeout -k 5 300 env -u DISPLAY -u WAYLAND_DISPLAY '" + std::string(ZIRBELON_RENDER) + "' " + words +
                 " 2>err.txt");
}

int ToolTest::shell(const std::string& command) {
    const std::string in_folder = "cd '" + dir_.string() + "' && " + command;
    const int status = std::system(in_folder.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ToolTest::make_tune(const fs::path& path, const std::string& effects) {
    const std::string wav = path.string() + ".wav";
    // Mono at lame's fastest setting: a minute of tune encodes in a fraction of a second.
    const std::string command = "sox -n -r 44100 -c 1 -b 16 '" + wav + "' " + effects +
                                " && lame --quiet -q 9 -b 64 '" + wav + "' '" + path.string() + "' && rm '" +
                                wav + "'";
    ASSERT_EQ(shell(command), 0) << "sox and lame make the test tune (scripts/setup installs them)";
}

void ToolTest::write_ramp_tracks(const fs::path& folder) {
    write_track(folder / "sync_cam.dist.track", {{0, 0.0f, 1}, {2048, 32.0f, 0}});
    write_track(folder / "sync_cam.rot.track", {{0, 0.75f, 0}});
}
