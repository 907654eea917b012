// Frame comparison and the pictures saved when a render test fails.
#include "tests/title/frame_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "tools/pictures/png.h"

namespace {

int32_t channel_difference(const uint8_t* pixel, uint8_t expected) {
    int32_t largest = 0;
    for (int c = 0; c < 3; ++c) largest = std::max(largest, std::abs(pixel[c] - expected));
    return largest;
}

bool write_png(const std::string& path, int32_t width, int32_t height,
               const std::vector<uint8_t>& rgba) {
    std::string error;
    return png_write(path, Raster{width, height, rgba}, error);
}

}  // namespace

uint8_t grey_byte(float grey) {
    return static_cast<uint8_t>(std::lround(std::clamp(grey, 0.0f, 1.0f) * 255.0f));
}

FrameDifference frame_compare(std::span<const uint8_t> rgba, std::span<const float> reference,
                              int32_t tolerance) {
    FrameDifference difference;
    for (size_t i = 0; i < reference.size() && 4 * i + 3 < rgba.size(); ++i) {
        const int32_t off = channel_difference(&rgba[4 * i], grey_byte(reference[i]));
        difference.largest = std::max(difference.largest, off);
        if (off > tolerance) ++difference.pixels_off;
    }
    if (rgba.size() != 4 * reference.size()) {
        difference.pixels_off += static_cast<int64_t>(reference.size());
    }
    return difference;
}

std::vector<std::string> frame_save_pictures(std::string_view directory, std::string_view name,
                                             int32_t width, int32_t height,
                                             std::span<const uint8_t> rgba,
                                             std::span<const float> reference, int32_t tolerance) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (reference.size() != count || rgba.size() != 4 * count) return {};

    std::vector<uint8_t> expected(4 * count);
    std::vector<uint8_t> difference(4 * count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t grey = grey_byte(reference[i]);
        expected[4 * i + 0] = expected[4 * i + 1] = expected[4 * i + 2] = grey;
        expected[4 * i + 3] = 255;
        const int32_t off = channel_difference(&rgba[4 * i], grey);
        const auto shown = static_cast<uint8_t>(std::min(255, 32 * off));
        difference[4 * i + 0] = off > tolerance ? 255 : shown;
        difference[4 * i + 1] = off > tolerance ? 0 : shown;
        difference[4 * i + 2] = off > tolerance ? 0 : shown;
        difference[4 * i + 3] = 255;
    }
    std::vector<uint8_t> render(rgba.begin(), rgba.end());
    for (size_t i = 0; i < count; ++i) render[4 * i + 3] = 255;

    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(directory), ignored);
    std::vector<std::string> paths;
    const std::string base = (std::filesystem::path(directory) / name).string();
    for (const auto& [suffix, pixels] : {std::pair{"-reference.png", &expected},
                                         std::pair{"-render.png", &render},
                                         std::pair{"-difference.png", &difference}}) {
        const std::string path = base + suffix;
        if (write_png(path, width, height, *pixels)) paths.push_back(path);
    }
    return paths;
}
